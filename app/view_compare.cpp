// "Compare With...": the shown file against a second recording.

#include "app/controls.h"
#include "app/tarvik_view.h"

namespace tarvik {

void CMyTarvikView::OnCompareWith() {
    const std::string shown = source_->path();
    if (shown.empty() || !indexed_) {
        port_.messageBox("Open a record file or a capture first: it is compared with the one chosen next.");
        return;
    }
    const OpenFileResult chosen = port_.openFile(readFileRequest("vxr", std::string(kReadVxFileFilter), shown));
    if (chosen.status != OpenFileResult::Status::Chosen) return;
    port_.setWaitCursor(true);
    Result<RecordComparison> compared =
        RecordComparison::run(shown, chosen.path, catalogue_, compare::CompareOptions{}, capturePorts);
    port_.setWaitCursor(false);
    if (!compared) {
        port_.messageBox(compared.error());
        return;
    }
    comparison_ = std::move(*compared);
    port_.messageBox(comparison_->summary());
    // The rows are listed again with their marks.
    port_.setRecordRowCount(recordRowCount());
}

RecordComparison::Mark CMyTarvikView::rowComparison(std::size_t row) const {
    if (!comparison_ || row >= recordRowCount()) return RecordComparison::Mark::None;
    if (!rowRecord(row) || !FrameView(*rowRecord(row)).isFrame()) return RecordComparison::Mark::None;
    return comparison_->mark(rowRecordNumber(row));
}

void CMyTarvikView::addPartnerReport(std::vector<ReportLine>& shown, std::uint32_t recordNumber) {
    const std::string heading = "Compared with " + comparison_->otherPath();
    shown.push_back({"", false});
    const std::optional<std::uint64_t> partner = comparison_->partner(recordNumber);
    const Bytes other = partner ? comparison_->otherFrame(*partner) : Bytes{};
    if (!partner || !FrameView(other).isFrame()) {
        shown.push_back({heading + ": no partner for this record", true});
        return;
    }
    shown.push_back({heading + ", record " + std::to_string(*partner) + ":", false});
    // The marking of lines that changed between two reports of one type: the
    // row's report first, its partner's second, and both sides of each
    // differing line marked.
    std::vector<std::string> own;
    const std::size_t ownCount = shown.size() - 2;
    for (std::size_t i = 0; i < ownCount; ++i) own.push_back(shown[i].text);
    const std::uint32_t type = FrameView(other).recordType();
    ReportHistory pair;
    pair.add(std::move(own), type);
    const auto& lines = pair.add(reporter_.report(other, static_cast<std::uint32_t>(*partner)).lines, type);
    for (auto& line : shown) line.changed = false;
    for (const auto& line : lines) {
        shown.push_back({line.text, line.changed});
        if (line.changed && line.previous && *line.previous < ownCount) shown[*line.previous].changed = true;
    }
}

} // namespace tarvik
