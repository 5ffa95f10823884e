#include "app/qt/record_list_model.h"

#include <QColor>

#include "app/tarvik_view.h"

#include <climits>

namespace tarvik {

RecordListModel::RecordListModel(const CMyTarvikView& view, QObject* parent)
    : QAbstractTableModel(parent), view_(view) {}

void RecordListModel::setRows(std::size_t rows) {
    // A table view counts rows in int; a longer list shows its first INT_MAX rows.
    const int wanted = static_cast<int>(std::min<std::size_t>(rows, INT_MAX));
    if (wanted > rows_) {
        beginInsertRows({}, rows_, wanted - 1);
        rows_ = wanted;
        endInsertRows();
    } else if (wanted < rows_) {
        beginRemoveRows({}, wanted, rows_ - 1);
        rows_ = wanted;
        endRemoveRows();
    }
    if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, kColumns - 1), {Qt::DisplayRole});
}

int RecordListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int RecordListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::BackgroundRole && index.isValid()) {
        // Under "Compare With...": rows that differ from their partner, or have none.
        switch (view_.rowComparison(static_cast<std::size_t>(index.row()))) {
        case RecordComparison::Mark::Differs: return QColor(255, 224, 178);
        case RecordComparison::Mark::Unpaired: return QColor(255, 190, 190);
        default: return {};
        }
    }
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return QString::fromStdString(view_.rowText(static_cast<std::size_t>(index.row()), index.column()));
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const kTitles[kColumns] = {"Type", "Size", "Number"};
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
    return QString(kTitles[section]);
}

} // namespace tarvik
