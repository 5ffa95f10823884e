#pragma once
// Everything the desktop gives the view logic. The Qt form implements it with
// widgets, the tests in memory, tarvik-cli on the console.

#include "app/print_layout.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace tarvik {

struct OpenFileRequest {
    std::string defaultExtension;  // without the dot, e.g. "vxr"
    std::string filter;            // "Description (*.ext)|*.ext||"
    std::string initialName;       // folder, file or pattern the dialog starts from
    bool readOnly = false;
    bool pathMustExist = false;
    bool fileMustExist = false;
    bool forSaving = false;
};

// The dialog that picks an existing file to read.
inline OpenFileRequest readFileRequest(std::string defaultExtension, std::string filter, std::string initialName) {
    OpenFileRequest request;
    request.defaultExtension = std::move(defaultExtension);
    request.filter = std::move(filter);
    request.initialName = std::move(initialName);
    request.readOnly = true;
    request.pathMustExist = true;
    request.fileMustExist = true;
    return request;
}

struct OpenFileResult {
    enum class Status { Chosen, Cancelled, Failed };
    Status status = Status::Cancelled;
    std::string path;

    static OpenFileResult chosen(std::string p) { return {Status::Chosen, std::move(p)}; }
    static OpenFileResult cancelled() { return {Status::Cancelled, {}}; }
    static OpenFileResult failed() { return {Status::Failed, {}}; }
};

// The dialog "Limit Records In Scrolling Display" and its kind: a text, a hint
// and one number field.
struct NumberRequest {
    std::string title;
    std::string text;
    std::string hint;
    std::string initial;
};

// The dialog shown when a connection fails: the platform's message and, when
// the address is in the recent list, a check box offering to delete it.
struct ConnectFailedRequest {
    std::string message = "The connection failed!";
    std::optional<std::string> address;
};

// One line of the report list. `changed` marks a line that differs from the
// same line of the previous report of the same record type.
struct ReportLine {
    std::string text;
    bool changed = false;
};

// What the desktop gives the view logic, in four roles. A part that needs
// only one role takes only that one (an output file's folder dialog, the
// pipeline's list), so a port for it implements only what it uses;
// ViewPort, all four together, is what the window's view takes.

// Form controls, by the form's control numbers, and the window's title.
class ControlsPort {
public:
    virtual ~ControlsPort() = default;

    virtual std::string text(int control) const = 0;
    virtual void setText(int control, std::string_view text) = 0;
    virtual bool checked(int control) const = 0;
    virtual void setChecked(int control, bool on) = 0;
    virtual void setVisible(int control, bool on) = 0;
    virtual void setEnabled(int control, bool on) = 0;
    virtual void setRedraw(int control, bool on) = 0;
    virtual void setFocus(int control) = 0;
    // The entries of a list control (the IP combo box's recent list, "Devices
    // Found", the sonar selector), first to last.
    virtual std::vector<std::string> items(int control) const = 0;
    virtual void setItems(int control, const std::vector<std::string>& items) = 0;
    // The check marks of a check-combo's entries (the sonar selector).
    virtual bool itemChecked(int control, std::size_t index) const = 0;
    virtual void setItemChecked(int control, std::size_t index, bool on) = 0;
    virtual std::string title() const = 0;
    virtual void setTitle(std::string_view title) = 0;
};

// Dialogs, progress, printing and signals: everything that asks or tells the user.
class DialogsPort {
public:
    virtual ~DialogsPort() = default;

    virtual void messageBox(std::string_view text) = 0;  // the text and an OK button
    // The text with an OK button and a second button labelled `offer`; true
    // when the offer was taken. Ports without such a box show the text and decline.
    virtual bool messageBoxOffering(std::string_view text, std::string_view offer) {
        (void)offer;
        messageBox(text);
        return false;
    }
    virtual OpenFileResult openFile(const OpenFileRequest& request) = 0;
    virtual std::optional<std::string> chooseFolder(std::string_view start) = 0;
    // The number field's text on OK, nullopt on Cancel.
    virtual std::optional<std::string> askNumber(const NumberRequest& request) = 0;
    // True when the user ticked the delete check box and pressed OK.
    virtual bool connectFailed(const ConnectFailedRequest& request) = 0;
    virtual void beep(unsigned hertz, unsigned milliseconds) = 0;
    virtual void setWaitCursor(bool on) = 0;

    // Progress of a long command. `step` returns false once the user asked to
    // cancel; the command then stops after what it has written.
    virtual void beginProgress(std::string_view title, std::uint64_t total) = 0;
    virtual bool stepProgress(std::uint64_t done) = 0;
    virtual void endProgress() = 0;

    // Prints the lines of a report under its heading (the print dialog, or its preview).
    virtual void printReport(const std::vector<std::string>& lines, const PrintHeading& heading, bool preview) = 0;

    // Shows a folder in the desktop's file manager.
    virtual void showFolder(std::string_view path) { (void)path; }

    // The "Remote Control Construction" dialog of "Show Values": its caption and
    // the value list. Ports without the dialog ignore it.
    virtual void showValues(const std::string& caption, const std::vector<std::string>& lines) {
        (void)caption, (void)lines;
    }
};

// The record list (virtual: rows are asked for), the report list, the bytes
// pane and the layout problems pane.
class ListsPort {
public:
    virtual ~ListsPort() = default;

    virtual void setRecordRowCount(std::size_t rows) = 0;
    virtual std::optional<std::size_t> selectedRecordRow() const = 0;
    virtual void selectRecordRow(std::optional<std::size_t> row) = 0;
    virtual void setReportLines(std::span<const ReportLine> lines) = 0;
    // The texts the report list holds now.
    virtual std::vector<std::string> reportListLines() const = 0;
    // The rows of the record list in sight: first and last, both included
    // (clamped by the caller to the rows there are).
    virtual std::pair<std::size_t, std::size_t> visibleRecordRows() const = 0;
    // Scrolls the record list so that `row` is in sight (the live list
    // following its newest row). Ports without a list ignore it.
    virtual void showRecordRow(std::size_t row) { (void)row; }

    // The bytes pane: the reported record's bytes, the bytes picked out in it,
    // and the report line chosen from a byte. Ports without the pane ignore them.
    virtual void setRecordBytes(std::span<const std::uint8_t> bytes) { (void)bytes; }
    virtual void highlightRecordBytes(std::size_t offset, std::size_t count) { (void)offset, (void)count; }
    virtual void selectReportLine(std::optional<std::size_t> line) { (void)line; }
    // The bytes no layout item decoded, shaded in the bytes pane: (offset,
    // count) pairs, ascending. Set after setRecordBytes, which clears them.
    virtual void shadeRecordBytes(std::span<const std::pair<std::size_t, std::size_t>> ranges) { (void)ranges; }

    // The "Layout Problems" pane: one "FILE:LINE: text" a line; none hides it.
    virtual void setLayoutProblems(std::span<const std::string> lines) { (void)lines; }

    // The record list's own columns after its first three, by title (the view
    // logic gives each cell's text, recordColumnText); set whenever they change.
    virtual void setRecordColumns(std::span<const std::string> titles) { (void)titles; }
};

// Time and threads.
class TimersPort {
public:
    virtual ~TimersPort() = default;

    // A wait of `milliseconds` (a script's pause): the desktop goes on meanwhile
    // (it paints, runs its timers and takes the user's commands) and the wait
    // ends early once `stopped` says so. A port without an event loop sleeps.
    virtual void wait(unsigned milliseconds, const std::function<bool()>& stopped) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        for (auto now = std::chrono::steady_clock::now(); now < end && !(stopped && stopped());
             now = std::chrono::steady_clock::now())
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(20)));
    }
    // Lets the desktop handle what is pending (between two lines of a script, so
    // that it repaints and takes a stop request even when the script never waits).
    virtual void processEvents() {}
    virtual void startTimer(int id, unsigned milliseconds) = 0;
    virtual void stopTimer(int id) = 0;
    virtual void postToUserInterface(std::function<void()> task) = 0;  // safe from any thread
};

class ViewPort : public ControlsPort, public DialogsPort, public ListsPort, public TimersPort {};

} // namespace tarvik
