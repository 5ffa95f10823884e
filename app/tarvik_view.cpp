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
    pipeline_.fileSourceMode = [this] { return fileSourceMode_; };
    pipeline_.imageryEnabled = [this] { return imageryEnabled; };
    pipeline_.displayRecord = [this](const ImageryKey& key, const Bytes& frame) {
        if (displayRecord) displayRecord(key, frame);
    };
    pipeline_.outputRecord = [this](const Bytes& frame) { outputWriter_.WriteArrivedFrame(frame); };
    pipeline_.arrivedFrame = [this](const Bytes& frame) { countLiveRecord(frame); };
    connection_.recordSent = [this](const Bytes& frame) { outputWriter_.WriteSentRecord(frame); };
    connection_.resetImagery = [this] {
        if (imageryEnabled && resetImagery) resetImagery();
    };
    connection_.communicationStarted = [this] {
        // Live rows replace the file's rows; the text output file ends.
        fileSourceMode_ = false;
        endTextOutputFile();
    };
    connection_.communicationEnded = [this] { stopWritingOutputFile(); };
    connection_.loadRememberedAddresses();
}

CMyTarvikView::~CMyTarvikView() = default;

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
