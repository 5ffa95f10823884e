#include "app/qt/hlist_box.h"

#include <QFontMetrics>
#include <QScrollBar>

namespace tarvik {

CHListBox::CHListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setUniformItemSizes(true);
    setWordWrap(false);
}

int CHListBox::lineWidth(const QString& text) const {
    return QFontMetrics(font()).horizontalAdvance(text) + 3 * frameWidth();
}

// With uniform item sizes the view takes every line's size from the first
// item; giving that item the widest width makes the scroll range follow it.
void CHListBox::applyExtent() {
    if (QListWidgetItem* first = item(0))
        first->setSizeHint(QSize(extent_, QFontMetrics(font()).height() + 2));
}

void CHListBox::addString(const QString& text, bool marked) {
    auto* line = new QListWidgetItem(text);
    line->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (marked) {
        line->setForeground(markedColour());
        line->setData(Qt::UserRole, true);
    }
    addItem(line);
    const int width = lineWidth(text);
    if (width > extent_ || count() == 1) {
        extent_ = std::max(extent_, width);
        applyExtent();
    }
}

void CHListBox::deleteString(int row) {
    delete takeItem(row);
    extent_ = 0;
    for (int i = 0; i < count(); ++i) extent_ = std::max(extent_, lineWidth(item(i)->text()));
    applyExtent();
}

void CHListBox::resetContent() {
    clear();
    extent_ = 0;
}

void CHListBox::setLines(std::span<const ReportLine> lines) {
    setUpdatesEnabled(false);
    resetContent();
    for (const ReportLine& line : lines) addString(QString::fromStdString(line.text), line.changed);
    setUpdatesEnabled(true);
}

bool CHListBox::isMarked(int row) const {
    const QListWidgetItem* line = item(row);
    return line && line->data(Qt::UserRole).toBool();
}

QStringList CHListBox::lines() const {
    QStringList all;
    for (int i = 0; i < count(); ++i) all << item(i)->text();
    return all;
}

} // namespace tarvik
