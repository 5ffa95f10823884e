#pragma once
// Everything the desktop gives the view logic. The Qt form implements it with
// widgets, the tests in memory, tarvik-cli on the console.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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

struct OpenFileResult {
    enum class Status { Chosen, Cancelled, Failed };
    Status status = Status::Cancelled;
    std::string path;

    static OpenFileResult chosen(std::string p) { return {Status::Chosen, std::move(p)}; }
    static OpenFileResult cancelled() { return {Status::Cancelled, {}}; }
    static OpenFileResult failed() { return {Status::Failed, {}}; }
};

// One line of the report list. `changed` marks a line that differs from the
// same line of the previous report of the same record type.
struct ReportLine {
    std::string text;
    bool changed = false;
};

class ViewPort {
public:
    virtual ~ViewPort() = default;

    // Form controls, by the form's control numbers.
    virtual std::string text(int control) const = 0;
    virtual void setText(int control, std::string_view text) = 0;
    virtual bool checked(int control) const = 0;
    virtual void setChecked(int control, bool on) = 0;
    virtual void setVisible(int control, bool on) = 0;
    virtual void setEnabled(int control, bool on) = 0;
    virtual void setRedraw(int control, bool on) = 0;

    // Dialogs, signals and the frame window.
    virtual void messageBox(std::string_view text) = 0;  // the text and an OK button
    virtual OpenFileResult openFile(const OpenFileRequest& request) = 0;
    virtual std::optional<std::string> chooseFolder(std::string_view start) = 0;
    virtual void beep(unsigned hertz, unsigned milliseconds) = 0;
    virtual void setWaitCursor(bool on) = 0;
    virtual std::string title() const = 0;
    virtual void setTitle(std::string_view title) = 0;

    // The record list (virtual: rows are asked for) and the report list.
    virtual void setRecordRowCount(std::size_t rows) = 0;
    virtual std::optional<std::size_t> selectedRecordRow() const = 0;
    virtual void selectRecordRow(std::optional<std::size_t> row) = 0;
    virtual void setReportLines(std::span<const ReportLine> lines) = 0;
    // The texts the report list holds now.
    virtual std::vector<std::string> reportListLines() const = 0;
    // The rows of the record list in sight: first and last, both included
    // (clamped by the caller to the rows there are).
    virtual std::pair<std::size_t, std::size_t> visibleRecordRows() const = 0;

    // Progress of a long command. `step` returns false once the user asked to
    // cancel; the command then stops after what it has written.
    virtual void beginProgress(std::string_view title, std::uint64_t total) = 0;
    virtual bool stepProgress(std::uint64_t done) = 0;
    virtual void endProgress() = 0;

    // Prints the lines of a report (the print dialog, or its preview).
    virtual void printReport(const std::vector<std::string>& lines, bool preview) = 0;

    // The bytes pane: the reported record's bytes, the bytes picked out in it,
    // and the report line chosen from a byte. Ports without the pane ignore them.
    virtual void setRecordBytes(std::span<const std::uint8_t> bytes) { (void)bytes; }
    virtual void highlightRecordBytes(std::size_t offset, std::size_t count) { (void)offset, (void)count; }
    virtual void selectReportLine(std::optional<std::size_t> line) { (void)line; }

    // Time and threads.
    virtual void startTimer(int id, unsigned milliseconds) = 0;
    virtual void stopTimer(int id) = 0;
    virtual void postToUserInterface(std::function<void()> task) = 0;  // safe from any thread
};

} // namespace tarvik
