// Commands of the window around the record list: the filter closing and the
// window closing.

#include "app/controls.h"
#include "app/tarvik_view.h"

#include "expr/predicate.h"

namespace tarvik {

// The source lists its rows again under the filter's text; nothing is read
// again and the imagery keeps what it shows.
void CMyTarvikView::OnRecordFilterClosed() {
    if (!port_.text(controls::kFilterExpression).empty()) {
        port_.setText(controls::kFilterExpression, "");
        showFilterProblem({});
        filterValue_.reset();
    }
    listUnderFilter();
}

bool CMyTarvikView::OnFilterExpressionEntered() {
    const std::string text = port_.text(controls::kFilterExpression);
    if (text.find_first_not_of(" \t") == std::string::npos) {
        showFilterProblem({});
        filterValue_.reset();
        listUnderFilter();
        return true;
    }
    Result<RecordFilter> filter = expr::compileFilter(text, catalogue_);
    if (!filter) {
        showFilterProblem(filter.error());
        return false;
    }
    showFilterProblem({});
    setRecordFilter(std::move(*filter));
    return true;
}

void CMyTarvikView::recompileFilter() {
    // A compiled expression names the fields of the catalogue it was made
    // from: it is made again from its text. One that no longer compiles
    // gives way to the record-type choices, and the box says why.
    if (!filterValue_ || filterValue_->byTypeOnly()) return;
    // Listing again clears the selection; it goes back to its record when
    // the record is still listed (a record-type filter is not listed again
    // at all, and keeps it too).
    std::optional<std::size_t> selectedFrame;
    if (const auto row = port_.selectedRecordRow(); row && indexed_ && *row < recordRowCount())
        selectedFrame = indexed_->rowFrame(*row);
    Result<RecordFilter> again = expr::compileFilter(filterValue_->text(), catalogue_);
    if (again) {
        setRecordFilter(std::move(*again));
    } else {
        showFilterProblem(again.error());
        filterValue_.reset();
        listUnderFilter();
    }
    if (!selectedFrame) return;
    for (std::size_t row = 0; row < recordRowCount(); ++row)
        if (indexed_->rowFrame(row) == selectedFrame) {
            port_.selectRecordRow(row);
            return;
        }
}

void CMyTarvikView::showFilterProblem(std::string problem) {
    filterProblem_ = std::move(problem);
    port_.setText(controls::kFilterProblem, filterProblem_);
    port_.setVisible(controls::kFilterProblem, !filterProblem_.empty());
}

void CMyTarvikView::listUnderFilter() {
    port_.selectRecordRow(std::nullopt);
    pipeline_.setFilter(recordFilter());
    source_->setFilter(recordFilter());
    port_.setRecordRowCount(recordRowCount());
    port_.setReportLines({});
    reportedLines_.clear();
}

void CMyTarvikView::setRecordFilter(RecordFilter filter) {
    filterValue_ = std::move(filter);
    listUnderFilter();
}

RecordFilter CMyTarvikView::recordFilter() const {
    return filterValue_ ? *filterValue_ : RecordFilter::types(port_.text(controls::kRecordFilter));
}

void CMyTarvikView::OnViewClosing() {
    port_.stopTimer(timers::kArrival);
    connection_.Shutdown();
}

} // namespace tarvik
