#include "app/tarvik_view.h"

#include "app/controls.h"

namespace tarvik {

LayoutOptions& CMyTarvikView::layoutOptions() {
    static LayoutOptions options;
    return options;
}

// The constructor and destructor are in view_remote.cpp, beside the script actions they make.

// Live communication arrives with its own part of the view; until then there
// is nothing to stop.
void CMyTarvikView::stopVolatileConnections() {}
void CMyTarvikView::stopWritingOutputFile() { outputWriter_.StopWriting(); }

std::size_t CMyTarvikView::recordRowCount() const {
    if (fileSourceMode_) return allShown_ ? recordIndex_.size() : shownRows_.size();
    return 0;
}

std::size_t CMyTarvikView::shownIndexPosition(std::size_t row) const {
    return allShown_ ? row : shownRows_[row];
}

} // namespace tarvik
