#include "app/qt/hlist_box.h"

#include <QFontMetrics>
#include <QPainter>
#include <QScrollBar>

namespace tarvik {

CHListBox::CHListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setWordWrap(false);
}

void CHListBox::setPlaceholderText(const QString& text) {
    placeholder_ = text;
    viewport()->update();
}

void CHListBox::paintEvent(QPaintEvent* event) {
    QListWidget::paintEvent(event);
    if (count() != 0 || placeholder_.isEmpty()) return;
    QPainter painter(viewport());
    QColor colour = palette().color(QPalette::Text);
    colour.setAlpha(128);
    painter.setPen(colour);
    painter.drawText(viewport()->rect().adjusted(6, 6, -6, -6), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                     placeholder_);
}

int CHListBox::lineWidth(const QString& text) const {
    return QFontMetrics(font()).horizontalAdvance(text) + 3 * frameWidth();
}

// Each line's item is as wide as the extent, so the view's scroll range is
// exactly the widest line whatever widths the style would measure.
void CHListBox::applyExtent() {
    const QSize size(extent_, QFontMetrics(font()).height() + 2);
    for (int i = 0; i < count(); ++i) item(i)->setSizeHint(size);
}

void CHListBox::addString(const QString& text, bool marked) {
    auto* line = new QListWidgetItem(text);
    line->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (marked) {
        line->setForeground(markedColour());
        line->setData(Qt::UserRole, true);
    }
    const int width = lineWidth(text);
    if (width > extent_) {
        extent_ = width;
        applyExtent();
    }
    line->setSizeHint(QSize(extent_, QFontMetrics(font()).height() + 2));
    addItem(line);
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
    // Measured once for all lines rather than widening every line added so far.
    for (const ReportLine& line : lines) extent_ = std::max(extent_, lineWidth(QString::fromStdString(line.text)));
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
