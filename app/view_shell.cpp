// Commands of the window around the record list: the filter closing and the
// window closing.

#include "app/controls.h"
#include "app/tarvik_view.h"

namespace tarvik {

// The source lists its rows again under the filter's text; nothing is read
// again and the imagery keeps what it shows.
void CMyTarvikView::OnRecordFilterClosed() {
    port_.selectRecordRow(std::nullopt);
    source_->setFilter(recordFilter());
    port_.setRecordRowCount(recordRowCount());
    port_.setReportLines({});
}

void CMyTarvikView::setRecordFilter(RecordFilter filter) {
    filterValue_ = std::move(filter);
    pipeline_.setFilterValue(filterValue_);
    OnRecordFilterClosed();
}

RecordFilter CMyTarvikView::recordFilter() const {
    return filterValue_ ? *filterValue_ : RecordFilter::types(port_.text(controls::kRecordFilter));
}

void CMyTarvikView::OnViewClosing() {
    port_.stopTimer(timers::kArrival);
    connection_.Shutdown();
}

} // namespace tarvik
