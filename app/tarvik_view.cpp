#include "app/tarvik_view.h"

#include "app/controls.h"

namespace tarvik {

std::vector<std::uint16_t>& CMyTarvikView::defaultCapturePorts() {
    static std::vector<std::uint16_t> ports;
    return ports;
}

LayoutOptions& CMyTarvikView::layoutOptions() {
    static LayoutOptions options;
    return options;
}

// The constructor and destructor are in view_remote.cpp, beside the script actions they make.

void CMyTarvikView::stopVolatileConnections() {
    if (connection_.connected()) connection_.OnStopVolatileConnections();
}
void CMyTarvikView::stopWritingOutputFile() { outputWriter_.StopWriting(); }

void CMyTarvikView::showConnectionCommands() {
    const bool connected = connection_.connected();
    for (int control : {controls::kPause, controls::kWriteOutputFile, controls::kStopVolatileConnections})
        port_.setEnabled(control, connected);
}

void CMyTarvikView::OnTimer(int id) {
    if (id == kLayoutReloadTimer) return layoutWatch_.timerFired();
    if (id != timers::kArrival) return;
    // The filter box's text is the filter in force, also while it is being
    // typed: the pipeline is handed it afresh for every batch.
    pipeline_.setFilter(recordFilter());
    pipeline_.OnArrivalTimer();
}

void CMyTarvikView::OnLimitRecords() {
    NumberRequest request;
    request.title = "Limit Records In Scrolling Display";
    request.text = "Maximum Number Of Records To Show In Scrolling List";
    request.hint = "(Allowed Values Are 20 to 1000)";
    request.initial = std::to_string(pipeline_.scrollLimit());
    const std::optional<std::string> answer = port_.askNumber(request);
    if (!answer) return;
    // A number field: leading digits count, anything else is not a number in range.
    const long long value = std::atoll(answer->c_str());
    if (value < kMinScrollLimit || value > kMaxScrollLimit || !pipeline_.setScrollLimit(static_cast<std::uint32_t>(value)))
        port_.messageBox("Scroll Limit Must Be Between 20 And 1000");
}

void CMyTarvikView::OnStartCommunicating() {
    if (refusedWhileScriptPlays()) return;
    connection_.OnStartCommunicating();
}

bool CMyTarvikView::refusedWhileScriptPlays() {
    // A script plays on this thread with the window's events running: the
    // commands that replace the list or read it whole wait until it ends.
    if (!scriptRunning_) return false;
    port_.messageBox("A script is playing: stop it first (Scripts, Stop Script)");
    return true;
}

} // namespace tarvik
