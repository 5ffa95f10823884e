// The report of the selected record. The decoding engine is not built yet:
// selecting a row leaves the report list empty and the filter offers no types.

#include "app/tarvik_view.h"

namespace tarvik {

void CMyTarvikView::OnRowSelectionChanged(std::size_t) { port_.setReportLines({}); }

std::vector<std::uint32_t> CMyTarvikView::filterRecordTypes() const { return {}; }

} // namespace tarvik
