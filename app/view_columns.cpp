// The record list's own columns, and the report list's "Apply as Column" and
// "Apply as Filter".

#include "app/controls.h"
#include "app/tarvik_view.h"

namespace tarvik {

std::string CMyTarvikView::recordColumnText(std::size_t row, std::size_t column) const {
    if (column >= columns_.size() || row >= recordRowCount()) return {};
    const std::optional<Bytes> record = rowRecord(row);
    if (!record) return {};
    const std::optional<RecordOrigin> origin = source_->rowOrigin(row);
    return columns_.cell(column, *record, {rowRecordNumber(row), origin ? &*origin : nullptr});
}

bool CMyTarvikView::addRecordColumn(std::string_view text) {
    if (Result<void> added = columns_.add(text); !added) {
        port_.messageBox(added.error());
        return false;
    }
    columns_.remember(settings_);
    port_.setRecordColumns(columns_.titles());
    return true;
}

void CMyTarvikView::OnRemoveRecordColumn(std::size_t column) {
    if (column >= columns_.size()) return;
    columns_.remove(column);
    columns_.remember(settings_);
    port_.setRecordColumns(columns_.titles());
}

std::optional<expr::ReportLineField> CMyTarvikView::reportLineField(std::size_t line) {
    if (line >= reportedLines_.size()) return std::nullopt;
    return expr::fieldOfReportLine(columns_.names(), reportedEntry_, reportedLines_, walkedFields_, line);
}

bool CMyTarvikView::OnApplyAsColumn(std::size_t line) {
    const std::optional<expr::ReportLineField> field = reportLineField(line);
    if (!field) return false;
    return addRecordColumn(field->name);
}

bool CMyTarvikView::OnApplyAsFilter(std::size_t line) {
    if (line >= reportedLines_.size()) return false;
    const std::optional<std::string> filter =
        expr::filterOfReportLine(columns_.names(), reportedEntry_, reportedLines_, walkedFields_, line);
    if (!filter) return false;
    port_.setText(controls::kFilterExpression, *filter);
    return OnFilterExpressionEntered();
}

Result<plot::Plot> CMyTarvikView::plotShownRows(const std::vector<std::string>& y, plot::Axis x) {
    if (!indexed_) return failure("plots are drawn of a record file or a capture: read one first");
    Result<plot::PlotModel> model = plot::PlotModel::compile(y, x, catalogue_);
    if (!model) return failure(model.error());
    // The source lists the rows under the filter in force: those are plotted.
    return model->compute(*indexed_);
}

void CMyTarvikView::OnPlotPointClicked(std::size_t row) {
    if (row >= recordRowCount()) return;
    port_.selectRecordRow(row);
    port_.showRecordRow(row);
    OnRowSelectionChanged(row);
}

} // namespace tarvik
