#include "app/qt/label.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

namespace tarvik {

CLabel::CLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    connect(&flashTimer_, &QTimer::timeout, this, &CLabel::onFlashTick);
}

void CLabel::setTextColour(const QColor& colour) {
    textColour_ = colour;
    update();
}

void CLabel::setBackgroundColour(const QColor& colour) {
    backgroundColour_ = colour;
    update();
}

void CLabel::setGradient(const QColor& from, const QColor& to) {
    gradientFrom_ = from;
    gradientTo_ = to;
    update();
}

void CLabel::setFlash(Flash mode) {
    flash_ = mode;
    phase_ = false;
    if (mode == Flash::None) flashTimer_.stop();
    else flashTimer_.start(kFlashPeriodMs);
    update();
}

void CLabel::onFlashTick() {
    phase_ = !phase_;
    update();
}

void CLabel::set3DText(Raised raised, const QColor& colour) {
    raised_ = raised;
    raisedColour_ = colour;
    update();
}

void CLabel::setLink(Link mode, const QString& target) {
    link_ = mode;
    linkTarget_ = target;
    if (mode != Link::None && cursor().shape() == Qt::ArrowCursor) setCursor(Qt::PointingHandCursor);
}

void CLabel::setLinkCursor(const QCursor& cursor) { setCursor(cursor); }

QString CLabel::linkAddress() const {
    if (link_ == Link::None) return {};
    const QString target = linkTarget_.isEmpty() ? text() : linkTarget_;
    return link_ == Link::Mail ? "mailto:" + target : target;
}

// Drawn off-screen first (the widget's backing store) so flashing does not flicker.
void CLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();

    const bool flashBackground = flash_ == Flash::Background && phase_;
    if (gradientFrom_.isValid() && gradientTo_.isValid() && !flashBackground) {
        constexpr int kBands = 100;
        for (int band = 0; band < kBands; ++band) {
            const int left = area.left() + area.width() * band / kBands;
            const int right = area.left() + area.width() * (band + 1) / kBands;
            auto mix = [band](int a, int b) { return a + (b - a) * band / (kBands - 1); };
            painter.fillRect(QRect(left, area.top(), right - left, area.height()),
                             QColor(mix(gradientFrom_.red(), gradientTo_.red()),
                                    mix(gradientFrom_.green(), gradientTo_.green()),
                                    mix(gradientFrom_.blue(), gradientTo_.blue())));
        }
    } else if (backgroundColour_.isValid() && !flashBackground) {
        painter.fillRect(area, backgroundColour_);
    }

    if (flash_ == Flash::Text && phase_) return;
    int flags = static_cast<int>(alignment());
    if (wordWrap()) flags |= Qt::TextWordWrap;
    if (text().contains('\t')) flags |= Qt::TextExpandTabs;
    painter.setFont(font());
    if (raised_ != Raised::None) {
        const int step = raised_ == Raised::DownRight ? 1 : -1;
        painter.setPen(raisedColour_);
        painter.drawText(area.translated(step, step), flags, text());
    }
    painter.setPen(textColour_.isValid() ? textColour_ : palette().color(foregroundRole()));
    painter.drawText(area, flags, text());
}

void CLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || link_ == Link::None) return;
    if (notify_) emit clicked();
    else QDesktopServices::openUrl(QUrl::fromUserInput(linkAddress()));
}

} // namespace tarvik
