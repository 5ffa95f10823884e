#include "app/tarvik_view.h"

#include "app/controls.h"

namespace tarvik {

LayoutOptions& CMyTarvikView::layoutOptions() {
    static LayoutOptions options;
    return options;
}

CMyTarvikView::CMyTarvikView(ViewPort& port, SettingsStore& settings)
    : port_(port), settings_(settings), outputWriter_(port, settings) {
    outputWriter_.clock = [this] { return clock(); };
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
