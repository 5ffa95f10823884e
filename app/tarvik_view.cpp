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
    pipeline_.OnArrivalTimer(id);
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
