// The round slider: geometry, angle arithmetic, keys, mouse, wheel, text and painting.

#include "ctlkit/round_slider_ctrl.h"

#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <climits>

using Nerith::Windows::Controls::CRoundSliderCtrl;

namespace {

// Opens the protected parts the tests look at.
class Probe : public CRoundSliderCtrl {
public:
    using CRoundSliderCtrl::AngleOfPosition;
    using CRoundSliderCtrl::GetCentre;
    using CRoundSliderCtrl::GetKnobCentre;
    using CRoundSliderCtrl::GetMaxRadius;
    using CRoundSliderCtrl::GetRadiusPixels;
    using CRoundSliderCtrl::IsDragging;
    using CRoundSliderCtrl::OnFormatText;
    using CRoundSliderCtrl::SetKnob;
};

// (code, position) pairs of the notifications seen.
QList<QPair<int, int>> notifications(const QSignalSpy& spy) {
    QList<QPair<int, int>> out;
    for (const QList<QVariant>& call : spy) out.append({call[0].toInt(), call[1].toInt()});
    return out;
}

using Codes = QList<QPair<int, int>>;

} // namespace

class RoundSliderTest : public QObject {
    Q_OBJECT
private slots:
    void wideControlUsesTheTopLeftSquareAndCircularClip();
    void tooSmallControlHasNoPathButDoesNotFail();
    void positionsToAngles();
    void pointsToPositions();
    void radiusPercentages();
    void keysWrapAndNotify();
    void keysWithOddSteps();
    void mouseDragNotifications();
    void dragByKnobOnlyAndFreeRadius();
    void wheelOutsideTheDialIsSwallowed();
    void centreTextFormat();
    void fontSetters();
    void paintsKnobAndDialAtDeviceResolution();
};

void RoundSliderTest::wideControlUsesTheTopLeftSquareAndCircularClip() {
    Probe slider;
    slider.resize(200, 120);
    QCOMPARE(slider.GetCentre(), QPoint(60, 60));
    QCOMPARE(slider.GetMaxRadius(), 60 - 7 - 1);
    QCOMPARE(slider.GetRadiusPixels(), slider.GetMaxRadius());
    QCOMPARE(slider.mask(), QRegion(0, 0, 120, 120, QRegion::Ellipse));
    QVERIFY(slider.mask().contains(QPoint(60, 60)));
    QVERIFY(!slider.mask().contains(QPoint(3, 3)));     // corner of the square, outside the circle
    QVERIFY(!slider.mask().contains(QPoint(150, 60)));  // beside the square

    slider.SetDialColor(0x0000FF);  // red
    const QImage image = slider.grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    const auto pixel = [&](int x, int y) { return image.pixelColor(int(x * ratio), int(y * ratio)); };
    QCOMPARE(pixel(60, 95), QColor(255, 0, 0));  // inside the dial
    QVERIFY(pixel(150, 60) != QColor(255, 0, 0));

    // Taller than wide: the square's side is the width.
    slider.resize(80, 300);
    QCOMPARE(slider.GetCentre(), QPoint(40, 40));
    QCOMPARE(slider.mask(), QRegion(0, 0, 80, 80, QRegion::Ellipse));
}

void RoundSliderTest::tooSmallControlHasNoPathButDoesNotFail() {
    Probe slider;
    slider.resize(10, 10);
    QCOMPARE(slider.GetMaxRadius(), 0);  // 5 - 7 - 1 would be negative
    QCOMPARE(slider.GetRadius(), 0);
    QVERIFY(slider.SetRadius(50));
    QVERIFY(!slider.grab().isNull());
    slider.SetKnob(QPoint(9, 5));
    QCOMPARE(slider.value(), 90);
    QTest::keyClick(&slider, Qt::Key_Right);
    QCOMPARE(slider.value(), 91);

    QWidget parent;
    auto* empty = new Probe;
    empty->setParent(&parent);
    empty->resize(0, 0);
    QCOMPARE(empty->GetMaxRadius(), 0);
    QVERIFY(empty->mask().isEmpty());
    QVERIFY(empty->SetKnob(QPoint(0, 0)));  // the centre itself counts as straight down
    QCOMPARE(empty->value(), 180);
    QVERIFY(!parent.grab().isNull());
}

void RoundSliderTest::positionsToAngles() {
    Probe slider;
    slider.resize(100, 100);  // centre (50, 50), radius 42
    QCOMPARE(slider.AngleOfPosition(0), 0);
    QCOMPARE(slider.GetKnobCentre(), QPoint(50, 8));  // the minimum at the top
    slider.setValue(90);
    QCOMPARE(slider.GetKnobCentre(), QPoint(92, 50));

    slider.setValue(0);
    slider.SetZero(90);
    QCOMPARE(slider.AngleOfPosition(0), 90);
    QCOMPARE(slider.GetKnobCentre(), QPoint(92, 50));  // the minimum at the right
    slider.SetZero(90 - 720);  // whole turns either way change nothing
    QCOMPARE(slider.AngleOfPosition(0), 90);
    QCOMPARE(slider.AngleOfPosition(300), 30);

    slider.SetZero(0);
    slider.SetInverted(true);
    QCOMPARE(slider.AngleOfPosition(90), 270);
    QCOMPARE(slider.AngleOfPosition(0), 0);

    // Ranges other than a full turn, and ranges whose length needs 64 bits.
    slider.SetInverted(false);
    slider.setRange(-50, 49);
    QCOMPARE(slider.AngleOfPosition(0), 180);
    QCOMPARE(slider.AngleOfPosition(-25), 90);
    slider.setRange(INT_MIN, INT_MAX);
    QCOMPARE(slider.AngleOfPosition(0), 180);
    QCOMPARE(slider.AngleOfPosition(INT_MAX), 359);
    slider.setRange(10, 5);  // minimum above maximum: one value
    QCOMPARE(slider.minimum(), slider.maximum());
    QCOMPARE(slider.AngleOfPosition(slider.value()), 0);
}

void RoundSliderTest::pointsToPositions() {
    Probe slider;
    slider.resize(100, 100);
    struct Case {
        QPoint point;
        int position;
    };
    for (const Case& c : {Case{{90, 50}, 90}, Case{{50, 90}, 180}, Case{{10, 50}, 270}, Case{{50, 10}, 0},
                          Case{{90, 10}, 45}, Case{{50, 50}, 180}}) {
        slider.setValue(c.position == 0 ? 1 : 0);
        QVERIFY(slider.SetKnob(c.point));
        QCOMPARE(slider.value(), c.position);
        QVERIFY(!slider.SetKnob(c.point));  // the same point again is no change
    }
    slider.SetZero(90);
    slider.SetKnob(QPoint(90, 50));
    QCOMPARE(slider.value(), 0);
    slider.SetKnob(QPoint(50, 10));
    QCOMPARE(slider.value(), 270);
    slider.SetZero(0);
    slider.SetInverted(true);
    slider.SetKnob(QPoint(90, 50));
    QCOMPARE(slider.value(), 270);

    slider.SetInverted(false);
    slider.setRange(0, 99);
    slider.SetKnob(QPoint(90, 50));
    QCOMPARE(slider.value(), 25);
    slider.setRange(INT_MIN, INT_MAX);
    slider.SetKnob(QPoint(90, 50));
    QCOMPARE(slider.value(), INT_MIN + (1 << 30));
    slider.SetKnob(QPoint(50, 9));
    QCOMPARE(slider.value(), INT_MIN);
}

void RoundSliderTest::radiusPercentages() {
    Probe slider;
    slider.resize(120, 120);  // maximum radius 52
    QCOMPARE(slider.GetRadius(), 100);
    QVERIFY(!slider.SetRadius(101));
    QVERIFY(!slider.SetRadius(-1));
    QCOMPARE(slider.GetRadiusPixels(), 52);
    QVERIFY(slider.SetRadius(33));
    QCOMPARE(slider.GetRadiusPixels(), 17);
    QCOMPARE(slider.GetRadius(), 33);  // 17 / 52 = 32.7 %, rounded
    QVERIFY(slider.SetRadius(0));
    QCOMPARE(slider.GetRadius(), 0);
    QVERIFY(!slider.SetRadius(101));
    QCOMPARE(slider.GetRadius(), 0);
}

void RoundSliderTest::keysWrapAndNotify() {
    CRoundSliderCtrl slider;
    QSignalSpy spy(&slider, &CRoundSliderCtrl::scrollNotified);
    slider.setValue(slider.maximum() - 5);
    QTest::keyPress(&slider, Qt::Key_PageDown);
    QCOMPARE(slider.value(), slider.minimum() + 4);
    QTest::keyRelease(&slider, Qt::Key_PageDown);
    QTest::keyClick(&slider, Qt::Key_PageUp);
    QCOMPARE(slider.value(), 354);
    slider.setValue(0);
    QTest::keyClick(&slider, Qt::Key_Left);
    QCOMPARE(slider.value(), 359);
    QTest::keyClick(&slider, Qt::Key_Down);
    QCOMPARE(slider.value(), 0);
    QTest::keyClick(&slider, Qt::Key_Right);
    QTest::keyClick(&slider, Qt::Key_Up);
    QCOMPARE(notifications(spy), (Codes{{3, 4}, {8, 4}, {2, 354}, {8, 354}, {0, 359}, {8, 359}, {1, 0}, {8, 0},
                                        {1, 1}, {8, 1}, {0, 0}, {8, 0}}));

    // Home and End do nothing, not even an end notification; other keys take the normal course.
    spy.clear();
    slider.setValue(200);
    QTest::keyClick(&slider, Qt::Key_Home);
    QTest::keyClick(&slider, Qt::Key_End);
    QTest::keyClick(&slider, Qt::Key_A);
    QCOMPARE(slider.value(), 200);
    QVERIFY(spy.isEmpty());

    // A held key repeats its step but ends the track only once, when it is let go.
    QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(&slider, &repeatRelease);
    QVERIFY(spy.isEmpty());

    QCOMPARE(CRoundSliderCtrl::ScrollParameter(CRoundSliderCtrl::ThumbPosition, 300), (300u << 16) | 4u);
}

void RoundSliderTest::keysWithOddSteps() {
    CRoundSliderCtrl slider;
    slider.setValue(354);
    slider.setPageStep(1000);  // longer than the range: wraps as often as needed
    QTest::keyClick(&slider, Qt::Key_PageDown);
    QCOMPARE(slider.value(), (354 + 1000) % 360);
    QTest::keyClick(&slider, Qt::Key_PageUp);
    QCOMPARE(slider.value(), 354);
    slider.setPageStep(0);
    QSignalSpy spy(&slider, &CRoundSliderCtrl::scrollNotified);
    QTest::keyPress(&slider, Qt::Key_PageDown);
    QCOMPARE(slider.value(), 354);
    QCOMPARE(notifications(spy), (Codes{{3, 354}}));

    slider.setRange(-180, 179);
    slider.setValue(175);
    slider.setPageStep(10);
    QTest::keyClick(&slider, Qt::Key_PageDown);
    QCOMPARE(slider.value(), -175);
    slider.setRange(INT_MIN, INT_MAX);
    slider.setValue(INT_MAX);
    QTest::keyClick(&slider, Qt::Key_Right);
    QCOMPARE(slider.value(), INT_MIN);
    slider.setRange(7, 7);
    QTest::keyClick(&slider, Qt::Key_PageUp);
    QCOMPARE(slider.value(), 7);
}

void RoundSliderTest::mouseDragNotifications() {
    Probe slider;
    slider.resize(100, 100);
    slider.show();
    slider.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&slider));
    QSignalSpy spy(&slider, &CRoundSliderCtrl::scrollNotified);

    // Press and release where the value already is: no change, no notification.
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(50, 10));
    QVERIFY(slider.IsDragging());
    QVERIFY(slider.isSliderDown());
    QVERIFY(slider.hasFocus());
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(50, 10));
    QVERIFY(!slider.IsDragging());
    QVERIFY(spy.isEmpty());

    // A drag that changes the value: track codes while moving, the final position on release.
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(90, 50));
    QTest::mouseMove(&slider, QPoint(50, 90));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(50, 90));
    QCOMPARE(notifications(spy), (Codes{{5, 90}, {5, 180}, {4, 180}}));

    // Back and forth to where it started still counts as a change.
    spy.clear();
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(50, 90));
    QTest::mouseMove(&slider, QPoint(10, 50));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(50, 90));
    QCOMPARE(notifications(spy), (Codes{{5, 270}, {5, 180}, {4, 180}}));

    // Moves without a held button and other buttons do nothing.
    spy.clear();
    QTest::mouseMove(&slider, QPoint(90, 50));
    QTest::mouseClick(&slider, Qt::RightButton, {}, QPoint(90, 50));
    QCOMPARE(slider.value(), 180);
    QVERIFY(spy.isEmpty());
}

void RoundSliderTest::dragByKnobOnlyAndFreeRadius() {
    Probe slider;
    slider.resize(100, 100);
    slider.show();
    QVERIFY(QTest::qWaitForWindowExposed(&slider));
    QSignalSpy spy(&slider, &CRoundSliderCtrl::scrollNotified);
    slider.SetDragByKnobOnly(true);
    QCOMPARE(slider.GetKnobCentre(), QPoint(50, 8));
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(90, 50));  // far from the knob: ignored
    QVERIFY(!slider.IsDragging());
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(90, 50));
    QCOMPARE(slider.value(), 0);
    QVERIFY(spy.isEmpty());
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(53, 12));  // on the knob
    QVERIFY(slider.IsDragging());
    QTest::mouseMove(&slider, QPoint(90, 50));
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(90, 50));
    QCOMPARE(slider.value(), 90);
    QCOMPARE(spy.last().at(0).toInt(), int(CRoundSliderCtrl::ThumbPosition));

    // With a free radius the knob path follows the mouse, inside the maximum radius only.
    slider.SetDragByKnobOnly(false);
    slider.SetFixedRadius(false);
    QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(80, 50));
    QCOMPARE(slider.GetRadiusPixels(), 30);
    QTest::mouseMove(&slider, QPoint(50, 70));
    QCOMPARE(slider.GetRadiusPixels(), 20);
    QCOMPARE(slider.GetKnobCentre(), QPoint(50, 70));
    QTest::mouseMove(&slider, QPoint(50, 99));  // beyond the maximum radius: the radius stays
    QCOMPARE(slider.GetRadiusPixels(), 20);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(50, 99));
    QCOMPARE(slider.value(), 180);
}

void RoundSliderTest::wheelOutsideTheDialIsSwallowed() {
    CRoundSliderCtrl slider;
    slider.resize(200, 100);
    slider.setValue(100);
    const auto wheel = [&](QPointF at) {
        QWheelEvent event(at, slider.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&slider, &event);
        return event.isAccepted();
    };
    QVERIFY(wheel(QPointF(150, 50)));  // beside the dial
    QVERIFY(wheel(QPointF(2, 2)));     // in the square's corner, outside the circle
    QCOMPARE(slider.value(), 100);
    wheel(QPointF(50, 50));
    QVERIFY(slider.value() != 100);
}

void RoundSliderTest::centreTextFormat() {
    Probe slider;
    QCOMPARE(slider.GetText(), QString::fromUtf8("%ld\u00B0"));
    slider.setValue(45);
    QCOMPARE(slider.OnFormatText(), QString::fromUtf8("45\u00B0"));
    // Only one integer conversion takes the value; nothing else reaches a printf.
    slider.SetText(QStringLiteral("%5d|%%|%x|%d|%s%n%p|%"));
    QCOMPARE(slider.OnFormatText(), QStringLiteral("   45|%|%x|%d|%s%n%p|%"));
    slider.SetText(QStringLiteral("bearing %03u of %s"));
    QCOMPARE(slider.OnFormatText(), QStringLiteral("bearing 045 of %s"));
    slider.setRange(-10, 10);
    slider.setValue(-1);
    slider.SetText(QStringLiteral("%+i / %lu / %X"));
    QCOMPARE(slider.OnFormatText(), QStringLiteral("-1 / %lu / %X"));
    slider.SetText(QStringLiteral("%lu"));
    QCOMPARE(slider.OnFormatText(), QStringLiteral("4294967295"));
    slider.SetText(QStringLiteral("%999999999d"));  // an absurd width is capped
    QCOMPARE(slider.OnFormatText().size(), 64);
}

void RoundSliderTest::fontSetters() {
    CRoundSliderCtrl slider;
    slider.SetFontBold(true);
    QVERIFY(slider.GetFont().bold());
    QCOMPARE(slider.GetFont().weight(), QFont::Bold);
    slider.SetFontBold(false);
    QCOMPARE(slider.GetFont().weight(), QFont::Normal);
    slider.SetFontSize(20);
    QCOMPARE(slider.GetFont().pixelSize(), 20);
    slider.SetFontItalic(true);
    slider.SetFontUnderline(true);
    slider.SetFontName(QStringLiteral("DejaVu Serif"));
    QVERIFY(slider.GetFont().italic() && slider.GetFont().underline());
    QCOMPARE(slider.GetFont().family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(slider.GetFont().pixelSize(), 20);
}

void RoundSliderTest::paintsKnobAndDialAtDeviceResolution() {
    Probe slider;
    slider.SetKnobRadius(10);  // takes effect with the next geometry
    slider.resize(120, 120);
    slider.SetDialColor(0x00FF00);  // green
    slider.SetKnobColor(0xFF0000);  // blue
    slider.setValue(90);
    slider.SetShowText(false);
    const QImage image = slider.grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    QCOMPARE(image.width(), qRound(120 * ratio));
    const auto at = [&](double x, double y) { return image.pixelColor(int(x * ratio), int(y * ratio)); };
    const QPoint knob = slider.GetKnobCentre();
    QCOMPARE(knob, QPoint(60 + 49, 60));
    QCOMPARE(at(knob.x(), knob.y()), QColor(0, 0, 255));
    QCOMPARE(at(60, 30), QColor(0, 255, 0));
    // The knob's shaded rim: neither knob nor dial colour just inside its edge.
    const QColor rim = at(knob.x() - 9 + 0.25, knob.y() + 0.25);
    QVERIFY(rim != QColor(0, 0, 255) && rim != QColor(0, 255, 0));

    // Disabled: no dial fill, and the knob takes the button face colour.
    slider.setEnabled(false);
    const QImage disabled = slider.grab().toImage();
    QVERIFY(disabled.pixelColor(int(60 * ratio), int(30 * ratio)) != QColor(0, 255, 0));
    QVERIFY(disabled.pixelColor(int(knob.x() * ratio), int(knob.y() * ratio)) != QColor(0, 0, 255));
    slider.SetShowColorKnob(true);
    const QImage coloured = slider.grab().toImage();
    QCOMPARE(coloured.pixelColor(int(knob.x() * ratio), int(knob.y() * ratio)), QColor(0, 0, 255));
}

QTEST_MAIN(RoundSliderTest)
#include "round_slider_test.moc"
