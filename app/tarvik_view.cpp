#include "app/tarvik_view.h"

#include "app/controls.h"

namespace tarvik {

LayoutOptions& CMyTarvikView::layoutOptions() {
    static LayoutOptions options;
    return options;
}

// The constructor and destructor are in view_remote.cpp, beside the script actions they make.

void CMyTarvikView::stopVolatileConnections() {
    if (connection_.connected()) connection_.OnStopVolatileConnections();
}
void CMyTarvikView::stopWritingOutputFile() { outputWriter_.StopWriting(); }

void CMyTarvikView::OnTimer(int id) { pipeline_.OnArrivalTimer(id); }

void CMyTarvikView::OnStartCommunicating() { connection_.OnStartCommunicating(); }

std::size_t CMyTarvikView::recordRowCount() const {
    if (fileSourceMode_) return allShown_ ? recordIndex_.size() : shownRows_.size();
    return pipeline_.rowCount();
}

std::uint32_t CMyTarvikView::rowRecordNumber(std::size_t row) const {
    if (fileSourceMode_) return row < recordRowCount() ? static_cast<std::uint32_t>(shownIndexPosition(row)) : 0;
    const ListedEntry* entry = pipeline_.row(row);
    return entry ? entry->number : 0;
}

std::size_t CMyTarvikView::shownIndexPosition(std::size_t row) const {
    return allShown_ ? row : shownRows_[row];
}

} // namespace tarvik
