// Screen2Bmp: the format follows the extension; nothing is written when it cannot be.

#include "ctlkit/screen_capture.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using Nerith::Windows::Utils::Screen2Bmp;

namespace {

// Red on the left half, blue on the right.
class TwoColours : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(0, 0, width() / 2, height(), Qt::red);
        p.fillRect(width() / 2, 0, width() - width() / 2, height(), Qt::blue);
    }
};

QByteArray head(const QString& path, int bytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.read(bytes);
}

} // namespace

class CaptureTest : public QObject {
    Q_OBJECT
private slots:
    void formatFollowsTheExtension();
    void refusalsWriteNothing();
    void rectangleIsClippedToTheWidget();

private:
    QTemporaryDir dir_;
};

void CaptureTest::formatFollowsTheExtension() {
    TwoColours widget;
    widget.resize(100, 40);
    const QString png = dir_.filePath("shot.png");
    QVERIFY(Screen2Bmp(&widget, QRect(10, 5, 30, 20), png));
    QCOMPARE(head(png, 8), QByteArray("\x89PNG\r\n\x1a\n", 8));
    QImage image(png);
    const qreal ratio = widget.devicePixelRatioF();
    QCOMPARE(image.size(), QSize(qRound(30 * ratio), qRound(20 * ratio)));
    QCOMPARE(image.pixelColor(0, 0), QColor(Qt::red));

    const QString bmp = dir_.filePath("shot.bmp");
    QVERIFY(Screen2Bmp(&widget, QRect(60, 0, 40, 40), bmp));
    QCOMPARE(head(bmp, 2), QByteArray("BM"));
    QCOMPARE(QImage(bmp).pixelColor(5, 5), QColor(Qt::blue));

    // The extension is compared without regard to case.
    const QString upper = dir_.filePath("SHOT.PNG");
    QVERIFY(Screen2Bmp(&widget, widget.rect(), upper));
    QCOMPARE(head(upper, 4), QByteArray("\x89PNG", 4));
    const QString mixed = dir_.filePath("shot.BmP");
    QVERIFY(Screen2Bmp(&widget, widget.rect(), mixed));
    QCOMPARE(head(mixed, 2), QByteArray("BM"));
}

void CaptureTest::refusalsWriteNothing() {
    TwoColours widget;
    widget.resize(100, 40);
    struct Case {
        QRect rect;
        QString name;
    };
    const QList<Case> cases{
        {QRect(0, 0, 10, 10), "shot.xyz"},         // no encoder lists the extension
        {QRect(0, 0, 10, 10), "shot"},             // no extension at all
        {QRect(0, 0, 10, 10), "shot.png.txt"},     // only the last extension counts
        {QRect(5, 5, 0, 0), "empty.png"},          // no pixels
        {QRect(5, 5, -10, 10), "negative.png"},    // no pixels either
        {QRect(500, 500, 10, 10), "outside.png"},  // wholly outside the widget
        {QRect(0, 0, 10, 10), "missing/shot.png"}, // a folder that does not exist
    };
    for (const Case& c : cases) {
        const QString path = dir_.filePath(c.name);
        QVERIFY2(!Screen2Bmp(&widget, c.rect, path), qPrintable(c.name));
        QVERIFY2(!QFile::exists(path), qPrintable(c.name));
    }
    QVERIFY(!Screen2Bmp(nullptr, QRect(0, 0, 10, 10), dir_.filePath("none.png")));
    QVERIFY(!QFile::exists(dir_.filePath("none.png")));
}

void CaptureTest::rectangleIsClippedToTheWidget() {
    TwoColours widget;
    widget.resize(100, 40);
    const QString path = dir_.filePath("clipped.png");
    QVERIFY(Screen2Bmp(&widget, QRect(80, -10, 50, 30), path));
    const qreal ratio = widget.devicePixelRatioF();
    QImage image(path);
    QCOMPARE(image.size(), QSize(qRound(20 * ratio), qRound(20 * ratio)));
    QCOMPARE(image.pixelColor(image.width() - 1, image.height() - 1), QColor(Qt::blue));
}

QTEST_MAIN(CaptureTest)
#include "capture_test.moc"
