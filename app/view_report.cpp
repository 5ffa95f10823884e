// The report of the selected record: decoded through the layout catalogue into
// the report list, with the lines that changed since the previous report of
// the same record type marked.

#include "app/controls.h"
#include "app/tarvik_view.h"

namespace tarvik {

void CMyTarvikView::OnRowSelectionChanged(std::size_t row) {
    if (row >= recordRowCount()) return;
    std::optional<Bytes> record = rowRecord(row);
    if (!record) return;
    // In file-source mode a row's record number is its index position.
    showReport(*record, static_cast<std::uint32_t>(shownIndexPosition(row)));
}

void CMyTarvikView::showReport(ByteSpan entry, std::uint32_t recordNumber) {
    port_.stopTimer(timers::kArrival);
    Report report;
    if (const FrameView frame(entry); frame.isFrame()) {
        report = reporter_.report(entry, recordNumber);
        // The reported record goes to the sector display too.
        if (imageryEnabled && displayRecord)
            displayRecord({frame.deviceId(), frame.systemEnumerator(), frame.recordType()}, Bytes(entry.begin(), entry.end()));
    } else {
        const std::string_view text(reinterpret_cast<const char*>(entry.data()), entry.size());
        report = RecordReporter::markerReport(text).value_or(Report{});
        report.isMarker = true;
    }
    for (const std::string& message : report.messages) port_.messageBox(message);

    const auto& lines = reportHistory_.add(std::move(report.lines), report.recordType, !report.isMarker);
    std::vector<ReportLine> shown;
    shown.reserve(lines.size());
    for (const auto& line : lines) shown.push_back({line.text, line.changed});
    port_.setRedraw(controls::kReportList, false);
    port_.setReportLines(shown);
    port_.setRedraw(controls::kReportList, true);
    port_.startTimer(timers::kArrival, timers::kArrivalPeriodMs);
}

std::vector<std::uint32_t> CMyTarvikView::filterRecordTypes() const {
    std::vector<std::uint32_t> types;
    for (const auto& [key, description] : catalogue_.records)
        if (!description.title.empty() && (types.empty() || types.back() != description.recordType))
            types.push_back(description.recordType);
    return types;
}

} // namespace tarvik
