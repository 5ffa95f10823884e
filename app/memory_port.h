#pragma once
// A ViewPort that keeps everything in memory: the tests' port and the base of
// the console port of tarvik-cli. Dialog answers are queued in advance.

#include "app/view_port.h"

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <vector>

namespace tarvik {

class MemoryPort : public ViewPort {
public:
    struct Beep {
        unsigned hertz, milliseconds;
        bool operator==(const Beep&) const = default;
    };

    std::string text(int control) const override;
    void setText(int control, std::string_view text) override;
    bool checked(int control) const override;
    void setChecked(int control, bool on) override;
    void setVisible(int control, bool on) override;
    void setEnabled(int control, bool on) override;
    void setRedraw(int control, bool on) override;
    void setFocus(int control) override;
    std::vector<std::string> items(int control) const override;
    void setItems(int control, const std::vector<std::string>& items) override;
    bool itemChecked(int control, std::size_t index) const override;
    void setItemChecked(int control, std::size_t index, bool on) override;

    void messageBox(std::string_view text) override;
    // Records the text (in `messages`) and the offer; answers from `offerAnswers`.
    bool messageBoxOffering(std::string_view text, std::string_view offer) override;
    OpenFileResult openFile(const OpenFileRequest& request) override;
    std::optional<std::string> chooseFolder(std::string_view start) override;
    std::optional<std::string> askNumber(const NumberRequest& request) override;
    bool connectFailed(const ConnectFailedRequest& request) override;
    void beep(unsigned hertz, unsigned milliseconds) override;
    void setWaitCursor(bool on) override;
    std::string title() const override;
    void setTitle(std::string_view title) override;

    void setRecordRowCount(std::size_t rows) override;
    std::optional<std::size_t> selectedRecordRow() const override;
    void selectRecordRow(std::optional<std::size_t> row) override;
    void setReportLines(std::span<const ReportLine> lines) override;
    void setRecordColumns(std::span<const std::string> titles) override {
        recordColumns.assign(titles.begin(), titles.end());
    }
    std::vector<std::string> reportListLines() const override;
    std::pair<std::size_t, std::size_t> visibleRecordRows() const override;
    // Keeps the row in `shownRecordRow` (the last one only: the console port
    // lives as long as a listen does); the rows in sight (when set) move so
    // that it is the last of them.
    void showRecordRow(std::size_t row) override;

    void beginProgress(std::string_view title, std::uint64_t total) override;
    bool stepProgress(std::uint64_t done) override;
    void endProgress() override;
    void printReport(const std::vector<std::string>& lines, const PrintHeading& heading, bool preview) override;
    void setRecordBytes(std::span<const std::uint8_t> bytes) override {
        recordBytes.assign(bytes.begin(), bytes.end());
        shadedBytes.clear();
    }
    void highlightRecordBytes(std::size_t offset, std::size_t count) override { highlighted = {offset, count}; }
    void selectReportLine(std::optional<std::size_t> line) override { selectedReportLine = line; }
    void shadeRecordBytes(std::span<const std::pair<std::size_t, std::size_t>> ranges) override {
        shadedBytes.assign(ranges.begin(), ranges.end());
    }
    void setLayoutProblems(std::span<const std::string> lines) override { layoutProblems.assign(lines.begin(), lines.end()); }
    void showFolder(std::string_view path) override { shownFolders.emplace_back(path); }

    // Records the dialog in `valueDialogs`.
    void showValues(const std::string& caption, const std::vector<std::string>& lines) override {
        valueDialogs.push_back({caption, lines});
    }
    // Records the wait in `waits` and hands it to `waitHook` (a test's stand-in
    // for the events that run meanwhile); it takes no time.
    void wait(unsigned milliseconds, const std::function<bool()>& stopped) override {
        waits.push_back(milliseconds);
        if (waitHook) waitHook(milliseconds);
        (void)stopped;
    }
    void processEvents() override { ++eventTurns; }
    void startTimer(int id, unsigned milliseconds) override;
    void stopTimer(int id) override;
    void postToUserInterface(std::function<void()> task) override;
    // Runs the tasks posted so far, on the calling thread.
    std::size_t runPosted();

    // What the view logic did, for tests and the console.
    std::vector<std::string> messages;
    std::vector<std::string> offers;        // the second buttons of the messages that had one
    std::deque<bool> offerAnswers;          // offer taken? false when none left
    std::vector<Beep> beeps;
    std::vector<OpenFileRequest> fileRequests;
    std::deque<OpenFileResult> fileAnswers;  // answered in order; cancelled when empty
    std::deque<std::optional<std::string>> folderAnswers;
    std::deque<std::optional<std::string>> numberAnswers;  // nullopt: Cancel; none left: Cancel
    std::vector<NumberRequest> numberRequests;
    std::vector<ConnectFailedRequest> connectFailures;
    std::deque<bool> connectFailedAnswers;  // delete the address? false when none left
    std::vector<ReportLine> reportLines;
    std::vector<std::string> recordColumns;  // the custom columns' titles
    std::vector<std::uint8_t> recordBytes;
    std::pair<std::size_t, std::size_t> highlighted{0, 0};  // offset, count (count 0: nothing)
    std::optional<std::size_t> selectedReportLine;
    std::vector<std::pair<std::size_t, std::size_t>> shadedBytes;  // cleared by setRecordBytes
    std::vector<std::string> layoutProblems;
    std::vector<std::string> shownFolders;
    int focus = 0;
    std::size_t recordRowCount = 0;
    std::optional<std::size_t> selectedRow;
    std::string windowTitle = "Tarvik";
    bool waitCursor = false;
    std::map<int, unsigned> runningTimers;
    std::set<int> hidden, disabled;
    // Rows in sight (first, last); all rows when unset.
    std::optional<std::pair<std::size_t, std::size_t>> visibleRows;
    std::optional<std::size_t> shownRecordRow;
    // Progress: the steps reported, and the step count after which to cancel.
    std::vector<std::uint64_t> progressSteps;
    std::optional<std::size_t> cancelAfterSteps;
    bool progressShown = false;
    std::vector<std::vector<std::string>> printed;
    std::vector<std::pair<std::string, std::vector<std::string>>> valueDialogs;  // caption, lines
    std::vector<unsigned> waits;
    std::function<void(unsigned milliseconds)> waitHook;
    std::size_t eventTurns = 0;
    std::vector<PrintHeading> printedHeadings;

private:
    std::map<int, std::string> texts_;
    std::map<int, bool> checks_;
    std::map<int, std::vector<std::string>> items_;
    std::map<int, std::vector<bool>> itemChecks_;
    mutable std::mutex postedLock_;
    std::vector<std::function<void()>> posted_;
};

} // namespace tarvik
