#include "app/qt/record_list_model.h"

#include <QColor>

#include "app/tarvik_view.h"

#include <algorithm>
#include <climits>

namespace tarvik {

RecordListModel::RecordListModel(const CMyTarvikView& view, QObject* parent)
    : QAbstractTableModel(parent), view_(view), custom_(view.recordColumns().titles()) {}

void RecordListModel::setCustomColumns(std::vector<std::string> titles) {
    if (titles == custom_) return;
    const int before = static_cast<int>(custom_.size());
    const int after = static_cast<int>(titles.size());
    if (after == before + 1 && std::equal(custom_.begin(), custom_.end(), titles.begin())) {
        beginInsertColumns({}, kColumns + before, kColumns + before);
        custom_ = std::move(titles);
        endInsertColumns();
        return;
    }
    if (after + 1 == before) {
        // Which one went: the first place the lists differ.
        int gone = 0;
        while (gone < after && custom_[static_cast<std::size_t>(gone)] == titles[static_cast<std::size_t>(gone)]) ++gone;
        beginRemoveColumns({}, kColumns + gone, kColumns + gone);
        custom_ = std::move(titles);
        endRemoveColumns();
        return;
    }
    beginResetModel();
    custom_ = std::move(titles);
    endResetModel();
}

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
    if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1), {Qt::DisplayRole});
}

int RecordListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int RecordListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns + static_cast<int>(custom_.size());
}

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
    const auto row = static_cast<std::size_t>(index.row());
    if (index.column() >= kColumns)
        return QString::fromStdString(view_.recordColumnText(row, static_cast<std::size_t>(index.column() - kColumns)));
    return QString::fromStdString(view_.rowText(row, index.column()));
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0) return {};
    if (section < kColumns) return QString(kRecordListTitles[section]);
    if (static_cast<std::size_t>(section - kColumns) < custom_.size())
        return QString::fromStdString(custom_[static_cast<std::size_t>(section - kColumns)]);
    return {};
}

} // namespace tarvik
