#include "app/memory_port.h"

namespace tarvik {

std::string MemoryPort::text(int control) const {
    auto it = texts_.find(control);
    return it == texts_.end() ? std::string{} : it->second;
}
void MemoryPort::setText(int control, std::string_view text) { texts_[control] = std::string(text); }
bool MemoryPort::checked(int control) const {
    auto it = checks_.find(control);
    return it != checks_.end() && it->second;
}
void MemoryPort::setChecked(int control, bool on) { checks_[control] = on; }
void MemoryPort::setVisible(int control, bool on) {
    if (on) hidden.erase(control); else hidden.insert(control);
}
void MemoryPort::setEnabled(int control, bool on) {
    if (on) disabled.erase(control); else disabled.insert(control);
}
void MemoryPort::setRedraw(int, bool) {}
void MemoryPort::setFocus(int control) { focus = control; }
std::vector<std::string> MemoryPort::items(int control) const {
    auto it = items_.find(control);
    return it == items_.end() ? std::vector<std::string>{} : it->second;
}
void MemoryPort::setItems(int control, const std::vector<std::string>& items) {
    items_[control] = items;
    itemChecks_[control].assign(items.size(), false);
}
bool MemoryPort::itemChecked(int control, std::size_t index) const {
    auto it = itemChecks_.find(control);
    return it != itemChecks_.end() && index < it->second.size() && it->second[index];
}
void MemoryPort::setItemChecked(int control, std::size_t index, bool on) {
    auto& checks = itemChecks_[control];
    if (index < checks.size()) checks[index] = on;
}

void MemoryPort::messageBox(std::string_view text) { messages.emplace_back(text); }

bool MemoryPort::messageBoxOffering(std::string_view text, std::string_view offer) {
    messageBox(text);
    offers.emplace_back(offer);
    if (offerAnswers.empty()) return false;
    const bool taken = offerAnswers.front();
    offerAnswers.pop_front();
    return taken;
}
OpenFileResult MemoryPort::openFile(const OpenFileRequest& request) {
    fileRequests.push_back(request);
    if (fileAnswers.empty()) return OpenFileResult::cancelled();
    OpenFileResult answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}
std::optional<std::string> MemoryPort::chooseFolder(std::string_view) {
    if (folderAnswers.empty()) return std::nullopt;
    auto answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}
std::optional<std::string> MemoryPort::askNumber(const NumberRequest& request) {
    numberRequests.push_back(request);
    if (numberAnswers.empty()) return std::nullopt;
    auto answer = numberAnswers.front();
    numberAnswers.pop_front();
    return answer;
}
bool MemoryPort::connectFailed(const ConnectFailedRequest& request) {
    connectFailures.push_back(request);
    if (connectFailedAnswers.empty()) return false;
    bool answer = connectFailedAnswers.front();
    connectFailedAnswers.pop_front();
    return answer;
}
void MemoryPort::beep(unsigned hertz, unsigned milliseconds) { beeps.push_back({hertz, milliseconds}); }
void MemoryPort::setWaitCursor(bool on) { waitCursor = on; }
std::string MemoryPort::title() const { return windowTitle; }
void MemoryPort::setTitle(std::string_view title) { windowTitle = std::string(title); }

void MemoryPort::setRecordRowCount(std::size_t rows) {
    recordRowCount = rows;
    if (selectedRow && *selectedRow >= rows) selectedRow.reset();
}
std::optional<std::size_t> MemoryPort::selectedRecordRow() const { return selectedRow; }
void MemoryPort::selectRecordRow(std::optional<std::size_t> row) { selectedRow = row; }
void MemoryPort::setReportLines(std::span<const ReportLine> lines) {
    reportLines.assign(lines.begin(), lines.end());
}

std::vector<std::string> MemoryPort::reportListLines() const {
    std::vector<std::string> out;
    out.reserve(reportLines.size());
    for (const ReportLine& line : reportLines) out.push_back(line.text);
    return out;
}
std::pair<std::size_t, std::size_t> MemoryPort::visibleRecordRows() const {
    if (visibleRows) return *visibleRows;
    return {0, recordRowCount == 0 ? 0 : recordRowCount - 1};
}

void MemoryPort::showRecordRow(std::size_t row) {
    shownRecordRow = row;
    if (!visibleRows || (row >= visibleRows->first && row <= visibleRows->second)) return;
    const std::size_t span = visibleRows->second - visibleRows->first;
    visibleRows = row < visibleRows->first ? std::pair{row, row + span} : std::pair{row - std::min(row, span), row};
}

void MemoryPort::beginProgress(std::string_view, std::uint64_t) {
    progressShown = true;
    progressSteps.clear();
}
bool MemoryPort::stepProgress(std::uint64_t done) {
    progressSteps.push_back(done);
    return !cancelAfterSteps || progressSteps.size() < *cancelAfterSteps;
}
void MemoryPort::endProgress() { progressShown = false; }
void MemoryPort::printReport(const std::vector<std::string>& lines, const PrintHeading& heading, bool) {
    printed.push_back(lines);
    printedHeadings.push_back(heading);
}

void MemoryPort::startTimer(int id, unsigned milliseconds) { runningTimers[id] = milliseconds; }
void MemoryPort::stopTimer(int id) { runningTimers.erase(id); }
void MemoryPort::postToUserInterface(std::function<void()> task) {
    std::lock_guard lock(postedLock_);
    posted_.push_back(std::move(task));
}
std::size_t MemoryPort::runPosted() {
    std::vector<std::function<void()>> tasks;
    {
        std::lock_guard lock(postedLock_);
        tasks.swap(posted_);
    }
    for (auto& t : tasks) t();
    return tasks.size();
}

} // namespace tarvik
