// Commands of the window around the record list: the filter closing and the
// window closing.

#include "app/controls.h"
#include "app/tarvik_view.h"

namespace tarvik {

// While communicating the live rows are listed again from the history;
// otherwise the open record file's rows are.
void CMyTarvikView::OnRecordFilterClosed() {
    if (pipeline_.communicating)
        pipeline_.RefilterLiveList();
    else
        LoadRecordFile();
}

void CMyTarvikView::OnViewClosing() {
    port_.stopTimer(timers::kArrival);
    connection_.Shutdown();
}

} // namespace tarvik
