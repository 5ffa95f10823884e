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

void CSectorWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (sector_ == nullptr || colours_ == nullptr || sector_->picture().serial == 0) {
        painter.fillRect(rect(), QColor(12, 14, 22));
        return;
    }
    if (frame_.width != width() || frame_.height != height()) frame_.resize(width(), height());
    const SectorPicture& picture = sector_->picture();
    renderer_.render(picture, colours_->colourMap(), frame_);
    const QImage image(frame_.pixels.data(), frame_.width, frame_.height, frame_.width * 4, QImage::Format_RGBA8888);
    painter.drawImage(0, 0, image);

    // Labels: the range of each inner ring along the end edge, the full range
    // beyond the middle of the arc, the two edge angles beyond its ends.
    const SectorLayout& l = renderer_.layout();
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    painter.setPen(QColor(200, 200, 210));
    const double range = picture.properties.range;
    if (std::isfinite(range) && range > 0) {
        for (double ring : l.rings) {
            double x = 0, y = 0;
            const bool outer = ring >= 1.0;
            l.point(outer ? (l.start + l.end) / 2 : l.end, outer ? 1.07 : ring, x, y);
            const QString text = QString::number(ring * range, 'g', 4) + " m";
            if (outer) painter.drawText(QRectF(x - 30, y - 7, 60, 14), Qt::AlignCenter, text);
            else painter.drawText(QPointF(x + 3, y + 4), text);
        }
    }
    for (double angle : {l.start, l.end}) {
        double x = 0, y = 0;
        l.point(angle, 1.1, x, y);
        const QString text = QString::number(angle, 'f', 0) + QChar(0x00B0);
        painter.drawText(QRectF(x - 24, y - 7, 48, 14), Qt::AlignCenter, text);
    }
}

} // namespace tarvik
