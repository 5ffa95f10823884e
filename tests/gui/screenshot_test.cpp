// tarvik --screenshot: the program starts, shows a record file with a row
// selected, saves a picture of its window and exits by itself.

#include "tests/support/temp_dir.h"
#include "imagery/echogram.h"
#include "capture/capture_reader.h"
#include "tools/synth/capture_records.h"
#include "tools/synth/sample_records.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTest>

#include <set>

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void savesThePaintedWindow();
    void showsTheFanAndTheWaterfall();
    void worksOnWithoutOpenGL();
    void brokenFileDoesNotWaitOnAMessage();
    void opensACaptureGivenOnTheCommandLine();
    void badArguments();
    void unknownOptionsAreRefusedInOneLine();
    void missingFileFailsThePicture();

private:
    int run(const QStringList& arguments, QByteArray* errors = nullptr, bool withoutOpenGL = false) {
        QProcess program;
        if (withoutOpenGL) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("QT_XCB_GL_INTEGRATION", "none");
            program.setProcessEnvironment(environment);
        }
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
    // The window takes most of the screen, at least the form's own size.
    QVERIFY2(image.width() >= 1060, qPrintable(QString::number(image.width())));
    QVERIFY(image.height() >= 600);
    // A painted window, not a blank one: the selected row's highlight and the texts.
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
    QVERIFY(colours.size() > 20);
}

// A file of picture records with a beam data record selected: the sector's fan
// and the echogram's waterfall are in the picture, in the colours of their map.
void ScreenshotTest::showsTheFanAndTheWaterfall() {
    tarvik::synth::SampleOptions options;
    options.imageryPings = 48;
    const std::string pictures = dir.file("pictures.vxr");
    QVERIFY(tarvik::synth::writeSampleFile(pictures, options));
    const QString picture = QString::fromStdString(dir.file("imagery.png"));
    // Rows: header, configuration, settings, geometry, 16 side-scan records, 7006, 7008.
    QCOMPARE(run({"--screenshot", picture, "--open", QString::fromStdString(pictures), "--select", "21"}), 0);
    QImage image(picture);
    QVERIFY(!image.isNull());
    image = image.convertToFormat(QImage::Format_RGB32);
    std::set<QRgb> mapColours;
    const tarvik::ColourMap map = tarvik::baseColourMap(0);
    for (std::size_t i = 40; i < map.size(); ++i) mapColours.insert(qRgb(map[i].r, map[i].g, map[i].b));
    int inMap = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) inMap += mapColours.count(image.pixel(x, y) | 0xFF000000u) ? 1 : 0;
    QVERIFY2(inMap > 8000, qPrintable(QString::number(inMap)));
}

// No OpenGL: the message, and the window lists, reports and pictures on.
void ScreenshotTest::worksOnWithoutOpenGL() {
    tarvik::synth::SampleOptions options;
    options.imageryPings = 20;
    const std::string pictures = dir.file("no-gl.vxr");
    QVERIFY(tarvik::synth::writeSampleFile(pictures, options));
    const QString picture = QString::fromStdString(dir.file("no-gl.png"));
    QByteArray errors;
    QCOMPARE(run({"--screenshot", picture, "--open", QString::fromStdString(pictures), "--select", "5"}, &errors, true), 0);
    QVERIFY(errors.contains("Can't Create A GL Rendering Context.\n"));
    QVERIFY(!QImage(picture).isNull());
}

// tarvik capture.pcapng lists the capture's records as it lists a record file's.
void ScreenshotTest::opensACaptureGivenOnTheCommandLine() {
    const tarvik::synth::SampleCapture sample = tarvik::synth::sampleCapture({});
    const QString capture = QString::fromStdString(dir.write("session.pcapng", sample.file));
    const std::size_t rows = tarvik::capture::readCapture(capture.toStdString()).records.size();
    const QString picture = QString::fromStdString(dir.file("capture.png"));
    QCOMPARE(run({"--screenshot", picture, capture, "--select", "3"}), 0);
    QVERIFY(!QImage(picture).isNull());
    // A row past the last says how many the capture listed.
    QByteArray errors;
    QCOMPARE(run({"--screenshot", picture, capture, "--select", "100000"}, &errors), 2);
    QVERIFY2(errors.contains(QByteArray("(") + QByteArray::number(static_cast<qulonglong>(rows)) + " rows listed)"),
             errors.constData());
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
    QCOMPARE(run({"--select", "-1"}), 2);
    // Refused as tarvik-cli refuses them, before any window shows.
    QByteArray errors;
    QCOMPARE(run({"--port", "99999"}, &errors), 2);
    QVERIFY2(errors.contains("--port: 99999 is not a port number from 1 to 65535"), errors.constData());
    QCOMPARE(run({"--port", "70x0"}), 2);
    // Without a display too, as tarvik-cli.
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");
        environment.remove("WAYLAND_DISPLAY");
        program.setProcessEnvironment(environment);
        program.start(TARVIK_PROGRAM, {"--port", "99999"});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 2);
    }
    QCOMPARE(run({"--address", "300.1.2.3"}), 2);
    // A row the list does not have.
    tarvik::synth::SampleOptions options;
    options.frames = 20;
    const std::string sample = dir.file("twenty.vxr");
    QVERIFY(tarvik::synth::writeSampleFile(sample, options));
    const QString picture = QString::fromStdString(dir.file("none.png"));
    QCOMPARE(run({"--screenshot", picture, "--open", QString::fromStdString(sample), "--select", "999"}, &errors), 2);
    QVERIFY2(errors.contains("--select: there is no listed row 999"), errors.constData());
    QVERIFY(!QFile::exists(picture));
    QCOMPARE(run({"--select", "0"}), 2);  // nothing listed at all
    QCOMPARE(run({"--screenshot"}), 2);
    QCOMPARE(run({"a.vxr", "b.vxr"}), 2);  // one record file at a time
    QCOMPARE(run({"--screenshot", "/no/such/folder/shot.png"}), 1);
}

// Every usage error is one line of ours, before any window shows (so no
// picture waits on it), and a mistyped option names the one meant.
void ScreenshotTest::unknownOptionsAreRefusedInOneLine() {
    const QString picture = QString::fromStdString(dir.file("never.png"));
    const struct {
        QStringList arguments;
        QByteArray line;
    } cases[] = {
        {{"--screenshot", picture, "--sellect", "3"}, "tarvik: --sellect is not an option; did you mean --select?\n"},
        {{"--opne", "x.vxr"}, "tarvik: --opne is not an option; did you mean --open?\n"},
        {{"--frobnicate"}, "tarvik: --frobnicate is not an option (tarvik --help lists them)\n"},
        {{"-x.vxr"}, "tarvik: -x.vxr is not an option (tarvik --help lists them)\n"},
        {{"--port", "0"}, "tarvik: --port: 0 is not a port number from 1 to 65535\n"},
        {{"--screenshot"}, "tarvik: --screenshot needs a value\n"},
    };
    for (const auto& c : cases) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY");  // refused without a display too
        environment.remove("WAYLAND_DISPLAY");
        program.setProcessEnvironment(environment);
        program.start(TARVIK_PROGRAM, c.arguments);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 2);
        QCOMPARE(program.readAllStandardError(), c.line);
        QVERIFY(program.readAllStandardOutput().isEmpty());
    }
    QVERIFY(!QFile::exists(picture));
    // Good arguments and no display at all: said in one line, not an abort.
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
        program.setProcessEnvironment(environment);
        program.start(TARVIK_PROGRAM, {"--screenshot", picture});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        QVERIFY(program.readAllStandardError().startsWith("tarvik: there is no display"));
    }
    // The toolkit's own options are left to it.
    QByteArray errors;
    QCOMPARE(run({"-platform", "offscreen", "--select", "0"}, &errors), 2);  // nothing listed: the row is refused
    QVERIFY2(errors.contains("--select: there is no listed row 0 (0 rows listed)"), errors.constData());
}

// A record file that cannot be opened makes the picture fail, naming the file.
void ScreenshotTest::missingFileFailsThePicture() {
    const QString picture = QString::fromStdString(dir.file("missing.png"));
    const QString missing = QString::fromStdString(dir.file("nosuch.vxr"));
    for (const QStringList& open : {QStringList{missing}, QStringList{"--open", missing}}) {
        QByteArray errors;
        QCOMPARE(run(open + QStringList{"--screenshot", picture}, &errors), 1);
        QVERIFY2(errors.contains("nosuch.vxr"), errors.constData());
        QVERIFY(!QFile::exists(picture));
    }
}

QTEST_MAIN(ScreenshotTest)
#include "screenshot_test.moc"
