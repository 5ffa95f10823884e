#include "app/tarvik_view.h"

#include "app/controls.h"

namespace tarvik {

LayoutOptions& CMyTarvikView::layoutOptions() {
    static LayoutOptions options;
    return options;
}

CMyTarvikView::CMyTarvikView(ViewPort& port, SettingsStore& settings) : port_(port), settings_(settings) {
    // Problems in definition files: all of them in one message, one per line.
    if (!definitions_.problems.empty()) {
        std::string text;
        for (const LayoutProblem& p : definitions_.problems) {
            if (!text.empty()) text += '\n';
            text += p.message();
        }
        port_.messageBox(text);
    }
    for (const std::string& problem : checkLayoutCatalogue(catalogue_)) port_.messageBox(problem);
}

CMyTarvikView::~CMyTarvikView() = default;

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
