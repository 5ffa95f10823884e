#include "ctlkit/round_slider_ctrl.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace Nerith::Windows::Controls {

namespace {

constexpr double kPi = std::numbers::pi;

long long rangeLength(const QAbstractSlider& slider) {
    // 64-bit: the full int range has 2^32 values.
    return static_cast<long long>(slider.maximum()) - slider.minimum() + 1;
}

int normalisedDegrees(long long degrees) {
    return static_cast<int>(((degrees % 360) + 360) % 360);
}

// Applies a user-given format to the position without handing the format to
// printf: only the first integer conversion takes the value; other conversions
// (strings, pointers, %n, ...) are shown as they are written.
QString formatPosition(const QString& format, long long value) {
    QString out;
    bool used = false;
    const qsizetype n = format.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = format[i];
        if (c != u'%') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 < n && format[i + 1] == u'%') {
            out += u'%';
            i += 2;
            continue;
        }
        qsizetype j = i + 1;
        std::string flags;
        while (j < n && QStringLiteral("-+ 0#").contains(format[j])) flags += static_cast<char>(format[j++].unicode());
        int width = 0;
        while (j < n && format[j].isDigit()) width = std::min(width * 10 + format[j++].digitValue(), 999);
        int precision = -1;
        if (j < n && format[j] == u'.') {
            ++j;
            precision = 0;
            while (j < n && format[j].isDigit()) precision = std::min(precision * 10 + format[j++].digitValue(), 999);
        }
        while (j < n && QStringLiteral("hlLqjzt").contains(format[j])) ++j;
        if (j >= n) {
            out += format.mid(i);
            break;
        }
        const char conversion = format[j].unicode() < 128 ? static_cast<char>(format[j].unicode()) : '\0';
        const bool isSigned = conversion == 'd' || conversion == 'i';
        const bool isUnsigned = conversion == 'u' || conversion == 'x' || conversion == 'X' || conversion == 'o';
        if (!used && (isSigned || isUnsigned)) {
            std::string conversionText = "%" + flags;
            width = std::min(width, 64);
            precision = std::min(precision, 64);
            if (width > 0) conversionText += std::to_string(width);
            if (precision >= 0) conversionText += "." + std::to_string(precision);
            conversionText += "ll";
            conversionText += conversion;
            char buffer[160];
            if (isSigned)
                std::snprintf(buffer, sizeof buffer, conversionText.c_str(), value);
            else  // positions are 32-bit: an unsigned conversion shows their 32-bit pattern
                std::snprintf(buffer, sizeof buffer, conversionText.c_str(),
                              static_cast<unsigned long long>(static_cast<std::uint32_t>(value)));
            out += QString::fromLatin1(buffer);
            used = true;
        } else {
            out += format.mid(i, j + 1 - i);
        }
        i = j + 1;
    }
    return out;
}

// A circle drawn pixel by pixel with the midpoint walk over its eight octants.
// Each pixel blends two colours by its angle round the centre: the first colour
// at the upper left, the second at the lower right. With dotted set only every
// other step of the walk is drawn. Works in device pixels.
void shadedCircle(QPainter& painter, QPointF centre, int radius, const QColor& first, const QColor& second,
                  bool dotted = false) {
    if (radius <= 0) return;
    const int cx = static_cast<int>(std::lround(centre.x()));
    const int cy = static_cast<int>(std::lround(centre.y()));
    auto plot = [&](int dx, int dy) {
        const double theta = std::atan2(static_cast<double>(dy), static_cast<double>(dx));
        double t = -2.356 - theta;
        while (t > kPi) t -= 6.293;
        while (t <= -kPi) t += 6.293;
        const double w = (std::cos(t) + 1.0) / 2.0;
        const auto mix = [w](int a, int b) { return static_cast<int>(std::lround(a * w + b * (1.0 - w))); };
        painter.setPen(QColor(mix(first.red(), second.red()), mix(first.green(), second.green()),
                              mix(first.blue(), second.blue())));
        painter.drawPoint(cx + dx, cy + dy);
    };
    int x = radius;
    int y = 0;
    int err = 1 - radius;
    int step = 0;
    while (x >= y) {
        if (!dotted || step % 2 == 0) {
            plot(x, y);
            plot(y, x);
            plot(-y, x);
            plot(-x, y);
            plot(-x, -y);
            plot(-y, -x);
            plot(y, -x);
            plot(x, -y);
        }
        ++step;
        ++y;
        if (err < 0) {
            err += 2 * y + 1;
        } else {
            --x;
            err += 2 * (y - x) + 1;
        }
    }
}

} // namespace

CRoundSliderCtrl::CRoundSliderCtrl(QWidget* parent)
    : QAbstractSlider(parent),
      text_(QStringLiteral("%ld\u00B0")),
      startSectorColour_(ToColor(0x00FF00)),
      endSectorColour_(ToColor(0x3232FF)),
      fontDescription_(QApplication::font()),
      font_(fontDescription_),
      textColour_(palette().color(QPalette::WindowText)),
      knobBrush_(palette().color(QPalette::Button)),
      dialBrush_(palette().color(QPalette::Button)) {
    setOrientation(Qt::Horizontal);
    setRange(0, 359);
    setSingleStep(1);
    setPageStep(10);
    setFocusPolicy(Qt::WheelFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted: no background erase
    Init();
}

CRoundSliderCtrl::~CRoundSliderCtrl() = default;

QColor CRoundSliderCtrl::ToColor(ColorValue colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

std::uint32_t CRoundSliderCtrl::ScrollParameter(int code, int position) {
    return (static_cast<std::uint32_t>(position) << 16) | (static_cast<std::uint32_t>(code) & 0xFFFFu);
}

void CRoundSliderCtrl::SyncGeometry() const {
    if (size() != initSize_) const_cast<CRoundSliderCtrl*>(this)->Init();
}

QPoint CRoundSliderCtrl::GetCentre() const {
    SyncGeometry();
    return centre_;
}

int CRoundSliderCtrl::GetMaxRadius() const {
    SyncGeometry();
    return maxRadius_;
}

int CRoundSliderCtrl::GetRadiusPixels() const {
    SyncGeometry();
    return radius_;
}

void CRoundSliderCtrl::Init() {
    initSize_ = size();
    const int side = std::min(width(), height());
    centre_ = QPoint(side / 2, side / 2);
    // A dial too small for its knob has no room for a path: radius 0, never negative.
    maxRadius_ = std::max(0, side / 2 - knobRadius_ - 1);
    radius_ = maxRadius_;
    if (side > 0)
        setMask(QRegion(0, 0, side, side, QRegion::Ellipse));
    else
        clearMask();
}

void CRoundSliderCtrl::resizeEvent(QResizeEvent* event) {
    QAbstractSlider::resizeEvent(event);
    if (size() != initSize_) Init();  // unless the new size has been taken up already
}

void CRoundSliderCtrl::SetKnobRadius(int radius) {
    if (radius >= 0) knobRadius_ = radius;
}
int CRoundSliderCtrl::GetKnobRadius() const { return knobRadius_; }
void CRoundSliderCtrl::SetDragByKnobOnly(bool on) { dragByKnobOnly_ = on; }
bool CRoundSliderCtrl::GetDragByKnobOnly() const { return dragByKnobOnly_; }
void CRoundSliderCtrl::SetZero(int degrees) { zero_ = degrees; }
int CRoundSliderCtrl::GetZero() const { return zero_; }

bool CRoundSliderCtrl::SetRadius(int percent) {
    if (percent < 0 || percent > 100) return false;
    SyncGeometry();
    radius_ = static_cast<int>(static_cast<long long>(maxRadius_) * percent / 100);
    return true;
}

int CRoundSliderCtrl::GetRadius() const {
    SyncGeometry();
    if (maxRadius_ <= 0) return 0;
    return static_cast<int>(std::lround(static_cast<double>(radius_) / maxRadius_ * 100.0));
}

void CRoundSliderCtrl::SetInverted(bool on) { inverted_ = on; }
bool CRoundSliderCtrl::GetInverted() const { return inverted_; }
void CRoundSliderCtrl::SetRadioButtonStyle(bool on) { radioButtonStyle_ = on; }
bool CRoundSliderCtrl::GetRadioButtonStyle() const { return radioButtonStyle_; }
void CRoundSliderCtrl::SetFixedRadius(bool on) { fixedRadius_ = on; }
bool CRoundSliderCtrl::GetFixedRadius() const { return fixedRadius_; }
void CRoundSliderCtrl::SetShowCrossHair(bool on) { showCrossHair_ = on; }
bool CRoundSliderCtrl::GetShowCrossHair() const { return showCrossHair_; }
void CRoundSliderCtrl::SetShowText(bool on) { showText_ = on; }
bool CRoundSliderCtrl::GetShowText() const { return showText_; }
void CRoundSliderCtrl::SetShowSector(bool on) { showSector_ = on; }
void CRoundSliderCtrl::SetShowColorKnob(bool on) { showColorKnob_ = on; }

void CRoundSliderCtrl::SetStartSector(int degrees, ColorValue colour) {
    startSector_ = degrees;
    startSectorColour_ = ToColor(colour);
}

void CRoundSliderCtrl::SetEndSector(int degrees, ColorValue colour) {
    endSector_ = degrees;
    endSectorColour_ = ToColor(colour);
}

void CRoundSliderCtrl::SetStartLimit(int degrees) { startLimit_ = degrees; }
void CRoundSliderCtrl::SetEndLimit(int degrees) { endLimit_ = degrees; }
void CRoundSliderCtrl::SetText(const QString& format) { text_ = format; }
QString CRoundSliderCtrl::GetText() const { return text_; }
void CRoundSliderCtrl::SetDialColor(ColorValue colour) { dialBrush_ = QBrush(ToColor(colour)); }
void CRoundSliderCtrl::SetKnobColor(ColorValue colour) { knobBrush_ = QBrush(ToColor(colour)); }
void CRoundSliderCtrl::SetTextColor(ColorValue colour) { textColour_ = ToColor(colour); }

void CRoundSliderCtrl::SetFontBold(bool on) {
    fontDescription_.setWeight(on ? QFont::Bold : QFont::Normal);
    ReconstructFont();
}

void CRoundSliderCtrl::SetFontUnderline(bool on) {
    fontDescription_.setUnderline(on);
    ReconstructFont();
}

void CRoundSliderCtrl::SetFontItalic(bool on) {
    fontDescription_.setItalic(on);
    ReconstructFont();
}

void CRoundSliderCtrl::SetFontSize(int size) {
    // The size is a character height in pixels; 0 keeps the default GUI font's size.
    if (size != 0)
        fontDescription_.setPixelSize(std::abs(size));
    else
        fontDescription_.setPointSizeF(QApplication::font().pointSizeF());
    ReconstructFont();
}

void CRoundSliderCtrl::SetFontName(const QString& face) {
    fontDescription_.setFamily(face);
    ReconstructFont();
}

void CRoundSliderCtrl::ReconstructFont() {
    font_ = fontDescription_;
    update();
}

QFont CRoundSliderCtrl::GetFont() const { return font_; }

QString CRoundSliderCtrl::OnFormatText() { return formatPosition(text_, value()); }

int CRoundSliderCtrl::AngleOfPosition(int position) const {
    const long long offset = static_cast<long long>(position) - minimum();
    const int degrees = normalisedDegrees(static_cast<long long>(zero_) % 360 + offset * 360 / rangeLength(*this));
    return inverted_ ? (360 - degrees) % 360 : degrees;
}

QPoint CRoundSliderCtrl::PointOfAngle(double degrees, int radius) const {
    SyncGeometry();
    const double a = degrees * kPi / 180.0;
    return QPoint(centre_.x() + static_cast<int>(std::lround(std::sin(a) * radius)),
                  centre_.y() - static_cast<int>(std::lround(std::cos(a) * radius)));
}

int CRoundSliderCtrl::KnobPathRadius() const {
    return radioButtonStyle_ && fixedRadius_ ? radius_ - knobRadius_ : radius_;
}

QPoint CRoundSliderCtrl::GetKnobCentre() const {
    SyncGeometry();
    return PointOfAngle(AngleOfPosition(value()), KnobPathRadius()); }

bool CRoundSliderCtrl::SetKnob(const QPoint& point) {
    SyncGeometry();
    const double dx = inverted_ ? centre_.x() - point.x() : point.x() - centre_.x();
    const double dy = point.y() - centre_.y();
    double a;
    if (dx != 0) {
        a = 90.0 - std::atan(-dy / dx) * 180.0 / kPi;
        if (dx < 0) a += 180.0;
    } else {
        a = dy >= 0 ? 180.0 : 0.0;
    }
    a = std::fmod(a - static_cast<double>(zero_ % 360), 360.0);
    if (a < 0) a += 360.0;
    if (a >= 360.0) a -= 360.0;
    if (!std::isfinite(a)) return false;

    if (dragging_ && !fixedRadius_) {
        const long distance = std::lround(std::hypot(point.x() - centre_.x(), point.y() - centre_.y()));
        if (distance < maxRadius_) radius_ = static_cast<int>(distance);
    }

    const long long length = rangeLength(*this);
    long long position = minimum() + static_cast<long long>(std::trunc(static_cast<double>(length) * a / 360.0));
    position = std::clamp<long long>(position, minimum(), maximum());
    if (position == value()) return false;
    setValue(static_cast<int>(position));
    update();
    return true;
}

void CRoundSliderCtrl::PostMessageToParent(int code) { emit scrollNotified(code, value()); }

void CRoundSliderCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractSlider::mousePressEvent(event);
        return;
    }
    event->accept();
    const QPoint point = event->position().toPoint();
    if (dragByKnobOnly_) {
        const QPoint knob = GetKnobCentre();
        const double distance = std::hypot(point.x() - knob.x(), point.y() - knob.y());
        if (distance > knobRadius_) return;
    }
    dragging_ = true;
    valueChanged_ = false;
    setFocus(Qt::MouseFocusReason);
    setSliderDown(true);
    if (SetKnob(point)) {
        valueChanged_ = true;
        PostMessageToParent(ThumbTrack);
    }
    update();
}

void CRoundSliderCtrl::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (!dragging_) return;
    if (SetKnob(event->position().toPoint())) {
        valueChanged_ = true;
        PostMessageToParent(ThumbTrack);
    }
    update();
}

void CRoundSliderCtrl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) {
        QAbstractSlider::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    if (SetKnob(event->position().toPoint())) {
        valueChanged_ = true;
        PostMessageToParent(ThumbTrack);
    }
    dragging_ = false;
    if (valueChanged_) PostMessageToParent(ThumbPosition);
    setSliderDown(false);
    update();
}

void CRoundSliderCtrl::keyPressEvent(QKeyEvent* event) {
    long long step;
    int code;
    switch (event->key()) {
    case Qt::Key_PageUp: step = -static_cast<long long>(pageStep()); code = PageLeft; break;
    case Qt::Key_PageDown: step = pageStep(); code = PageRight; break;
    case Qt::Key_Left:
    case Qt::Key_Up: step = -static_cast<long long>(singleStep()); code = LineLeft; break;
    case Qt::Key_Right:
    case Qt::Key_Down: step = singleStep(); code = LineRight; break;
    case Qt::Key_Home:
    case Qt::Key_End: event->accept(); return;
    default: QAbstractSlider::keyPressEvent(event); return;
    }
    event->accept();
    // Wrap round the range; a step longer than the range wraps as often as it needs.
    const long long length = rangeLength(*this);
    long long offset = (static_cast<long long>(value()) - minimum() + step) % length;
    if (offset < 0) offset += length;
    setValue(static_cast<int>(minimum() + offset));
    PostMessageToParent(code);
    update();
}

void CRoundSliderCtrl::keyReleaseEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        event->accept();
        if (!event->isAutoRepeat()) PostMessageToParent(EndScroll);
        return;
    default: QAbstractSlider::keyReleaseEvent(event);
    }
}

void CRoundSliderCtrl::wheelEvent(QWheelEvent* event) {
    SyncGeometry();
    const QPoint point = event->position().toPoint();
    const QRegion region = mask();
    if (!rect().contains(point) || (!region.isEmpty() && !region.contains(point))) {
        event->accept();  // not over the dial: swallowed
        return;
    }
    QAbstractSlider::wheelEvent(event);
    update();
}

void CRoundSliderCtrl::paintEvent(QPaintEvent*) {
    SyncGeometry();
    const qreal ratio = devicePixelRatioF();
    const QPalette& pal = palette();
    const QColor face = pal.color(QPalette::Button);
    const QColor darkShadow = pal.color(QPalette::Shadow);
    const QColor shadow = pal.color(QPalette::Dark);
    const QColor highlight = pal.color(QPalette::Light);
    const QColor light = pal.color(QPalette::Midlight);

    QImage image(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(face);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Pixel-exact circles are walked in device pixels: the same look at every scale.
    const QPointF deviceCentre(centre_.x() * ratio, centre_.y() * ratio);
    const auto scaled = [ratio](int logical) { return static_cast<int>(std::lround(logical * ratio)); };
    const auto ring = [&](int radius, const QColor& first, const QColor& second, bool dotted = false) {
        p.save();
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setTransform(QTransform::fromScale(1.0 / ratio, 1.0 / ratio));
        shadedCircle(p, deviceCentre, scaled(radius), first, second, dotted);
        p.restore();
    };
    const auto ringAt = [&](QPoint centre, int radius, const QColor& first, const QColor& second, bool dotted) {
        p.save();
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setTransform(QTransform::fromScale(1.0 / ratio, 1.0 / ratio));
        shadedCircle(p, QPointF(centre.x() * ratio, centre.y() * ratio), scaled(radius), first, second, dotted);
        p.restore();
    };

    knobCentre_ = GetKnobCentre();
    const QPoint startSector = PointOfAngle(startSector_, radius_);
    const QPoint endSector = PointOfAngle(endSector_, radius_);
    const QPoint startLimit = PointOfAngle(startLimit_, radius_);
    const QPoint endLimit = PointOfAngle(endLimit_, radius_);

    int rim = radius_;
    if (fixedRadius_ && !radioButtonStyle_) {
        ring(rim, darkShadow, highlight);
        ring(rim - 1, shadow, light);
        rim -= 1;
    }
    if (isEnabled()) {
        const int dial = radioButtonStyle_ ? maxRadius_ + 2 : maxRadius_ - 2;
        if (dial > 0) {
            p.setPen(Qt::NoPen);
            p.setBrush(dialBrush_);
            p.drawEllipse(QPointF(centre_), dial, dial);
        }
    }
    if (fixedRadius_) {
        ring(rim, highlight, darkShadow);
        ring(rim - 1, light, shadow);
    } else if (maxRadius_ > 0) {
        p.setPen(QPen(shadow, 1));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(centre_), maxRadius_, maxRadius_);
    }

    if (showCrossHair_) {
        p.setPen(QPen(shadow, 1));
        p.drawLine(centre_.x(), centre_.y() - maxRadius_, centre_.x(), centre_.y() + maxRadius_);
        p.drawLine(centre_.x() - maxRadius_, centre_.y(), centre_.x() + maxRadius_, centre_.y());
    }

    if (showSector_) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(shadow, 2));
        p.drawLine(centre_, startLimit);
        p.drawLine(centre_, endLimit);
        // The arc runs from the end sector back to the start sector; equal ends make a full circle.
        const int half = radius_ / 2;
        if (half > 0) {
            int span = normalisedDegrees(static_cast<long long>(endSector_) - startSector_);
            if (span == 0) span = 360;
            const QRectF box(centre_.x() - half, centre_.y() - half, 2.0 * half, 2.0 * half);
            p.drawArc(box, (90 - normalisedDegrees(endSector_)) * 16, span * 16);
        }
        p.setPen(QPen(startSectorColour_, 2));
        p.drawLine(centre_, startSector);
        p.setPen(QPen(endSectorColour_, 2));
        p.drawLine(centre_, endSector);
    }

    if (showText_) {
        p.setFont(font_);
        p.setPen(isEnabled() ? textColour_ : pal.color(QPalette::Disabled, QPalette::WindowText));
        const int side = std::max(width(), height());
        const QRect box(centre_.x() - side, centre_.y() - side, 2 * side, 2 * side);
        p.drawText(box, Qt::AlignCenter | Qt::TextDontClip, OnFormatText());
    }

    const int disc = radioButtonStyle_ ? knobRadius_ * 4 / 5 : knobRadius_;
    if (disc > 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(isEnabled() || showColorKnob_ ? knobBrush_ : QBrush(face));
        p.drawEllipse(QPointF(knobCentre_), disc, disc);
    }
    const bool pressed = dragging_ || radioButtonStyle_;
    ringAt(knobCentre_, knobRadius_ - 1, pressed ? darkShadow : highlight, pressed ? highlight : darkShadow, false);
    ringAt(knobCentre_, knobRadius_ - 2, pressed ? shadow : light, pressed ? light : shadow, false);
    if (hasFocus() && !radioButtonStyle_) {
        const QColor focus = pal.color(QPalette::WindowText);
        ringAt(knobCentre_, knobRadius_ - 4, focus, focus, true);
    }
    p.end();

    QPainter screen(this);
    screen.drawImage(0, 0, image);
}

} // namespace Nerith::Windows::Controls
