#include "app/qt/hlist_box.h"

#include <QFontMetrics>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>

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

void CHListBox::setWrapLines(bool on) {
    wrap_ = on;
    setWordWrap(on);
    setTextElideMode(on ? Qt::ElideNone : Qt::ElideRight);
    setHorizontalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    // The scroll bar's coming and going would change the width the lines wrap at.
    setVerticalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
    // Lines of several heights scroll by pixels, so the last one can be shown whole.
    setVerticalScrollMode(on ? QAbstractItemView::ScrollPerPixel : QAbstractItemView::ScrollPerItem);
    applyExtent();
}

// The lines `text` wraps into, as the style draws an item's wrapped text: at
// word boundaries or anywhere, inside the item less the style's text margins.
// Measured a little narrower than drawn, so a line is never given less height
// than its text needs.
int CHListBox::textLines(const QString& text) const {
    if (!wrap_ || text.isEmpty()) return 1;
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const qreal width = std::max(20, viewport()->width() - 2 * margin - 4);
    QTextLayout layout(text, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    int lines = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        ++lines;
    }
    layout.endLayout();
    return std::max(1, lines);
}

QSize CHListBox::lineSize(const QString& text) const {
    const QFontMetrics metrics(font());
    if (!wrap_) return {extent_, metrics.height() + 2};
    return {viewport()->width(), (textLines(text) - 1) * metrics.lineSpacing() + metrics.height() + 2};
}

int CHListBox::wrappedLineCount(int row) const {
    const QListWidgetItem* line = item(row);
    return line ? textLines(line->text()) : 0;
}

// Unwrapped, each line's item is as wide as the extent, so the view's scroll
// range is exactly the widest line whatever widths the style would measure.
// Wrapped, each is as wide as the list and as high as its text.
void CHListBox::applyExtent() {
    wrapWidth_ = viewport()->width();
    for (int i = 0; i < count(); ++i) item(i)->setSizeHint(lineSize(item(i)->text()));
}

void CHListBox::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    if (wrap_ && viewport()->width() != wrapWidth_) applyExtent();
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
        if (!wrap_) applyExtent();
    }
    line->setSizeHint(lineSize(text));
    addItem(line);
}

void CHListBox::deleteString(int row) {
    delete takeItem(row);
    extent_ = 0;
    for (int i = 0; i < count(); ++i) extent_ = std::max(extent_, lineWidth(item(i)->text()));
    if (!wrap_) applyExtent();
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
