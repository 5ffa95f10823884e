#pragma once
// Record -> "Statistics": a table per record type of the list's source,
// refreshed once a second while it is open.

#include "core/record_statistics.h"

#include <QDialog>

#include <functional>
#include <optional>

class QTableWidget;
class QLabel;

namespace tarvik {

class CStatisticsDialog : public QDialog {
    Q_OBJECT
public:
    // `source` gives the counts and, for live data, the clock for the rates.
    struct Snapshot {
        RecordStatistics statistics;
        std::optional<double> now;  // set for live data
        QString sourceName;
    };
    explicit CStatisticsDialog(std::function<Snapshot()> source, QWidget* parent = nullptr);

    void refresh();
    QTableWidget* table() const { return table_; }

private:
    std::function<Snapshot()> source_;
    QTableWidget* table_;
    QLabel* summary_;
};

} // namespace tarvik
