// Commands of the window around the record list: the filter closing and the
// window closing.

#include "app/controls.h"
#include "app/tarvik_view.h"

namespace tarvik {

// The filter applies to the rows of the open record file; live rows are
// re-filtered by the arrival pipeline once it exists.
void CMyTarvikView::OnRecordFilterClosed() { LoadRecordFile(); }

void CMyTarvikView::OnViewClosing() {
    port_.stopTimer(timers::kArrival);
    stopVolatileConnections();
}

} // namespace tarvik
