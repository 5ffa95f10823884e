#include "app/qt/statistics_dialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tarvik {

CStatisticsDialog::CStatisticsDialog(std::function<Snapshot()> source, QWidget* parent)
    : QDialog(parent), source_(std::move(source)), table_(new QTableWidget(this)), summary_(new QLabel(this)) {
    setWindowTitle("Statistics");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(table_, 1);
    table_->setColumnCount(6);
    table_->setHorizontalHeaderLabels({"Type", "Count", "Bytes", "Share", "Rate/s", "Last seen"});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->horizontalHeader()->setStretchLastSection(true);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CStatisticsDialog::refresh);
    timer->start(1000);
    resize(620, 360);
    refresh();
}

void CStatisticsDialog::refresh() {
    const Snapshot s = source_();
    const auto rows = s.statistics.rows(s.now);
    summary_->setText(QString("%1: %2 frames, %3 bytes")
                          .arg(s.sourceName)
                          .arg(s.statistics.frames())
                          .arg(s.statistics.bytes()));
    table_->setRowCount(static_cast<int>(rows.size()));
    int r = 0;
    for (const auto& row : rows) {
        auto set = [&](int column, const QString& text) {
            auto* item = new QTableWidgetItem(text);
            if (column < 5) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(r, column, item);
        };
        set(0, QString::number(row.recordType));
        set(1, QString::number(row.count));
        set(2, QString::number(row.bytes));
        set(3, QString::asprintf("%.2f%%", row.share));
        set(4, row.rate ? QString::asprintf("%.2f", *row.rate) : QString("-"));
        QString last = "-";
        if (s.now) last = QString::asprintf("%.1f s ago", *s.now - row.lastSeen);
        else if (row.lastTime) last = QString::fromStdString(formatDateTime(*row.lastTime).value_or("-"));
        set(5, last);
        ++r;
    }
}

} // namespace tarvik
