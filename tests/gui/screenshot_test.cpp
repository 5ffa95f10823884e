// tarvik --screenshot: the program starts, shows a record file with a row
// selected, saves a picture of its window and exits by itself.

#include "tests/support/temp_dir.h"
#include "tools/synth/sample_records.h"

#include <QImage>
#include <QProcess>
#include <QTest>

#include <set>

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void savesThePaintedWindow();
    void brokenFileDoesNotWaitOnAMessage();
    void badArguments();

private:
    int run(const QStringList& arguments, QByteArray* errors = nullptr) {
        QProcess program;
        program.start(TARVIK_PROGRAM, arguments);
        if (!program.waitForFinished(30000)) {
            program.kill();
            program.waitForFinished();
            return -1;
        }
        if (errors) *errors = program.readAllStandardError();
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    }
    tarvik::testing::TempDir dir;
};

void ScreenshotTest::savesThePaintedWindow() {
    tarvik::synth::SampleOptions options;
    options.frames = 200;
    const std::string sample = dir.file("sample.vxr");
    QVERIFY(tarvik::synth::writeSampleFile(sample, options));
    const QString picture = QString::fromStdString(dir.file("shot.png"));

    QCOMPARE(run({"--screenshot", picture, "--open", QString::fromStdString(sample), "--select", "5"}), 0);
    QImage image(picture);
    QVERIFY(!image.isNull());
    QCOMPARE(image.width(), 1060);
    QVERIFY(image.height() >= 600 && image.height() <= 660);  // the client area and the menu bar
    // A painted window, not a blank one: the selected row's highlight and the texts.
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
    QVERIFY(colours.size() > 20);
}

void ScreenshotTest::brokenFileDoesNotWaitOnAMessage() {
    const std::string tiny = dir.write("tiny.vxr", tarvik::Bytes(30, 0));
    const QString picture = QString::fromStdString(dir.file("tiny.png"));
    // With --open, and bare as the desktop entry passes a double-clicked file.
    for (const QStringList& open : {QStringList{"--open", QString::fromStdString(tiny)},
                                    QStringList{QString::fromStdString(tiny)}}) {
        QByteArray errors;
        QCOMPARE(run(QStringList{"--screenshot", picture} + open, &errors), 0);
        QVERIFY(errors.contains("First Record Of File tiny.vxr Is Too Small"));
        QVERIFY(!QImage(picture).isNull());
    }
}

void ScreenshotTest::badArguments() {
    QCOMPARE(run({"--select", "many"}), 2);
    QCOMPARE(run({"--screenshot"}), 2);
    QCOMPARE(run({"--screenshot", "/no/such/folder/shot.png"}), 1);
}

QTEST_MAIN(ScreenshotTest)
#include "screenshot_test.moc"
