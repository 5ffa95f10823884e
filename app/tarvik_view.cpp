#include "app/tarvik_view.h"

#include "app/controls.h"

namespace tarvik {

// The constructor and destructor are in view_remote.cpp, beside the script actions they make.

// Live communication, the output record file and the text output arrive with
// their own parts of the view; with none of them running there is nothing to stop.
void CMyTarvikView::stopVolatileConnections() {}
void CMyTarvikView::stopWritingOutputFile() {}
void CMyTarvikView::endTextOutputFile() {}

std::size_t CMyTarvikView::recordRowCount() const {
    if (fileSourceMode_) return allShown_ ? recordIndex_.size() : shownRows_.size();
    return 0;
}

std::size_t CMyTarvikView::shownIndexPosition(std::size_t row) const {
    return allShown_ ? row : shownRows_[row];
}

} // namespace tarvik
