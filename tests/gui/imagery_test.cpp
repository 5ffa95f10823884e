// The imagery displays in the window: the sector fan and the echogram's
// waterfall show the records of a file, and reading another file clears the echogram.

#include "app/qt/main_form.h"
#include "app/qt/main_window.h"
#include "app/qt/qsettings_store.h"
#include "app/qt/qt_view_port.h"
#include "app/tarvik_view.h"
#include "imagery/imagery_displays.h"
#include "imagery/qt/gl_echogram.h"
#include "imagery/qt/sector_widget.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/sample_records.h"

#include <QImage>
#include <QTest>

#include <algorithm>
#include <memory>
#include <set>

using namespace tarvik;

namespace {

std::size_t colours(const QImage& image) {
    std::set<QRgb> seen;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) seen.insert(image.pixel(x, y));
    return seen.size();
}

} // namespace

class ImageryTest : public QObject {
    Q_OBJECT
private slots:
    void fanAndWaterfallShowTheFile();
};

void ImageryTest::fanAndWaterfallShowTheFile() {
    testing::TempDir dir;
    QSettingsStore settings(dir.file("settings.ini"));
    CMainFrame window(settings, "TCP");
    std::vector<std::string> messages;
    window.port().messageHook = [&](const std::string& text) { messages.push_back(text); };
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The window draws the displays the view owns; empty, the echogram says so.
    QCOMPARE(&window.imagery(), &window.view().imagery());
    QVERIFY(window.form().echogram()->caption);
    QVERIFY(!window.form().echogram()->caption().isEmpty());

    synth::SampleOptions options;
    options.imageryPings = 64;
    const std::string pictures = dir.file("pictures.vxr");
    QVERIFY(synth::writeSampleFile(pictures, options));
    QVERIFY(window.view().openRecordFile(pictures));
    QTRY_VERIFY(window.form().echogram()->ready());
    QVERIFY(window.view().imageryEnabled());

    // The first beam data record: its fan in the sector display.
    std::size_t row = 0;
    while (row < window.view().recordRowCount() && window.view().rowText(row, 0) != "7008") ++row;
    QVERIFY(row < window.view().recordRowCount());
    window.selectRecordRow(row);
    QCOMPARE(window.imagery().sector().picture().height, 1024);
    // The widget paints the fan (not the start-up test picture) on the next turn of the loop.
    const auto fanColours = [&] {
        const RgbaImage& fan = window.form().sector()->frame();
        return colours(QImage(fan.pixels.data(), fan.width, fan.height, fan.width * 4, QImage::Format_RGBA8888));
    };
    QTRY_VERIFY(fanColours() > 30);

    // The side-scan records of the file filled the echogram, and it shows them.
    QVERIFY(window.imagery().echogram().row(0)[100] != 0);
    const QImage waterfall = window.form().echogram()->grabFramebuffer();
    QVERIFY(!waterfall.isNull());
    QVERIFY(colours(waterfall) > 30);
    QVERIFY(window.form().echogram()->caption().isEmpty());

    // Another file without side-scan or beam data records: the echogram
    // starts empty and says what would draw it.
    synth::SampleOptions plain;
    plain.frames = 4;  // 7000, 7004, 7027, 7006
    const std::string other = dir.file("plain.vxr");
    QVERIFY(synth::writeSampleFile(other, plain));
    QVERIFY(window.view().openRecordFile(other));
    const auto& indices = window.imagery().echogram().indices();
    QVERIFY(std::all_of(indices.begin(), indices.end(), [](std::uint8_t v) { return v == 0; }));
    QVERIFY(!window.form().echogram()->caption().isEmpty());
    QVERIFY(messages.empty());
}

QTEST_MAIN(ImageryTest)
#include "imagery_test.moc"
