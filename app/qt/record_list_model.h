#pragma once
// The record list's model: it holds only a row count and asks the view logic
// for each cell's text when the table draws it.

#include <QAbstractTableModel>

#include <string>
#include <vector>

namespace tarvik {

class CMyTarvikView;

class RecordListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordListModel(const CMyTarvikView& view, QObject* parent = nullptr);

    // The list's row count as the view logic sets it. Rows that stay keep their
    // place (no reset), so the scroll position survives; their texts are asked again.
    void setRows(std::size_t rows);
    std::size_t rows() const { return rows_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The list's own columns (type, size, number); custom columns follow them.
    static constexpr int kColumns = 3;
    // The custom columns by title, as the view logic sets them: one added at
    // the end or one removed keeps the rest of the table as it is.
    void setCustomColumns(std::vector<std::string> titles);

private:
    const CMyTarvikView& view_;
    int rows_ = 0;
    std::vector<std::string> custom_;
};

} // namespace tarvik
