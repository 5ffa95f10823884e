#include "imagery/qt/sector_widget.h"

#include <QImage>
#include <QPainter>

#include <cmath>

namespace tarvik {

CSectorWidget::CSectorWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(120, 90);
}

void CSectorWidget::attach(const CVelkSector* sector, const EchogramImage* colours) {
    sector_ = sector;
    colours_ = colours;
    update();
}

QString CSectorWidget::caption() const {
    const QString what = QStringLiteral("Select a 7006, 7008 or 7011 row to draw the sector");
    if (sector_ == nullptr || colours_ == nullptr || sector_->picture().serial == 0) return what;
    if (sector_->picture().testImage) return QStringLiteral("Test image. ") + what;
    return {};
}

void CSectorWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QString text = caption();
    if (sector_ == nullptr || colours_ == nullptr || sector_->picture().serial == 0) {
        painter.fillRect(rect(), QColor(12, 14, 22));
    } else {
        // Drawn in device pixels, so that the fan and its labels stay sharp on a scaled screen.
        const qreal ratio = devicePixelRatioF();
        const int w = std::max(1, static_cast<int>(std::lround(width() * ratio)));
        const int h = std::max(1, static_cast<int>(std::lround(height() * ratio)));
        if (frame_.width != w || frame_.height != h) frame_.resize(w, h);
        const int scale = std::max(1, static_cast<int>(std::lround(ratio)));
        renderer_.render(sector_->picture(), colours_->colourMap(), frame_, scale);
        QImage image(frame_.pixels.data(), frame_.width, frame_.height, frame_.width * 4, QImage::Format_RGBA8888);
        image.setDevicePixelRatio(ratio);
        painter.drawImage(0, 0, image);
    }
    if (text.isEmpty()) return;
    // What fills the pane, at its foot over a band that keeps it readable.
    const QFontMetrics metrics = fontMetrics();
    const QRect band(0, height() - metrics.height() * 2 - 4, width(), metrics.height() * 2 + 4);
    const QString shown = metrics.elidedText(text, Qt::ElideRight, width() * 2 - 16);
    painter.fillRect(band, QColor(12, 14, 22, 200));
    painter.setPen(QColor(200, 200, 210));
    painter.drawText(band.adjusted(6, 2, -6, -2), Qt::AlignCenter | Qt::TextWordWrap, shown);
}

} // namespace tarvik
