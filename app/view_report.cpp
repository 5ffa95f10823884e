// The report of the selected record: decoded through the layout catalogue into
// the report list, with the lines that changed since the previous report of
// the same record type marked.

#include "app/controls.h"
#include "app/tarvik_view.h"

namespace tarvik {

void CMyTarvikView::OnRowSelectionChanged(std::size_t row) {
    // The pipeline's own selection changes while it refreshes the list start no report.
    if (pipeline_.updating()) return;
    if (row >= recordRowCount()) return;
    std::optional<Bytes> record = rowRecord(row);
    if (!record) return;
    // A file row's record number is its index position; a live row's the number
    // it arrived under.
    showReport(*record, rowRecordNumber(row), source_->rowOrigin(row));
}

namespace {
// A captured record's report opens with where and when it was seen.
void addOriginLine(Report& report, std::vector<WalkedField>* fields, const std::optional<RecordOrigin>& origin) {
    if (!origin) return;
    report.lines.insert(report.lines.begin(), "   " + origin->line());
    if (fields)
        for (WalkedField& field : *fields) {
            ++field.lineBegin;
            ++field.lineEnd;
        }
}
} // namespace

void CMyTarvikView::showReport(ByteSpan entry, std::uint32_t recordNumber, const std::optional<RecordOrigin>& origin) {
    port_.stopTimer(timers::kArrival);
    Report report;
    walkedFields_.clear();
    if (const FrameView frame(entry); frame.isFrame()) {
        reporter_.collectFields(&walkedFields_);
        report = reporter_.report(entry, recordNumber);
        reporter_.collectFields(nullptr);
        addOriginLine(report, &walkedFields_, origin);
        byteMap_.build(report.lines, walkedFields_, entry.size());
        noteCoverage(report, entry);
        // The reported record goes to the sector display too.
        pipeline_.present(entry);
    } else {
        byteMap_.clear();
        coverage_ = {};
        const std::string_view text(reinterpret_cast<const char*>(entry.data()), entry.size());
        report = RecordReporter::markerReport(text).value_or(Report{});
        report.isMarker = true;
    }
    for (const std::string& message : report.messages) port_.messageBox(message);

    const auto& lines = reportHistory_.add(std::move(report.lines), report.recordType, !report.isMarker);
    std::vector<ReportLine> shown;
    shown.reserve(lines.size());
    for (const auto& line : lines) shown.push_back({line.text, line.changed});
    if (comparison_ && !report.isMarker) addPartnerReport(shown, recordNumber);
    reportedEntry_.assign(entry.begin(), entry.end());
    reportedLines_.clear();
    for (const auto& line : lines) reportedLines_.push_back(line.text);
    port_.setRedraw(controls::kReportList, false);
    port_.setReportLines(shown);
    port_.setRedraw(controls::kReportList, true);
    // Every record can at least be read byte by byte, with or without an item list.
    port_.setRecordBytes(entry);
    std::vector<std::pair<std::size_t, std::size_t>> shaded;
    // Only bytes held are shown: the missing tail of a cut-off frame has no place to shade.
    for (const UndecodedRange& r : coverage_.undecoded)
        if (r.offset < entry.size()) shaded.emplace_back(r.offset, std::min(r.count, entry.size() - r.offset));
    if (!shaded.empty()) port_.shadeRecordBytes(shaded);
    port_.startTimer(timers::kArrival, timers::kArrivalPeriodMs);
}

std::vector<std::string> CMyTarvikView::reportLinesOf(ByteSpan entry, std::uint32_t recordNumber,
                                                     const std::optional<RecordOrigin>& origin) {
    if (FrameView(entry).isFrame()) {
        Report report = reporter_.report(entry, recordNumber);
        addOriginLine(report, nullptr, origin);
        return report.lines;
    }
    const std::string_view text(reinterpret_cast<const char*>(entry.data()), entry.size());
    return RecordReporter::markerReport(text).value_or(Report{}).lines;
}

void CMyTarvikView::OnReportLineSelected(std::size_t line) {
    const auto range = byteMap_.bytesOfLine(line);
    port_.highlightRecordBytes(range ? range->offset : 0, range ? range->count : 0);
}

void CMyTarvikView::OnRecordByteClicked(std::size_t offset) {
    const auto line = byteMap_.lineOfByte(offset);
    port_.selectReportLine(line);
    if (line) OnReportLineSelected(*line);
    else port_.highlightRecordBytes(offset, 1);
}

std::vector<std::uint32_t> CMyTarvikView::filterRecordTypes() const {
    std::vector<std::uint32_t> types;
    for (const auto& [key, description] : catalogue_.whole().records)
        if (!description.title.empty() && (types.empty() || types.back() != description.recordType))
            types.push_back(description.recordType);
    return types;
}

} // namespace tarvik
