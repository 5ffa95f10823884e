// The time from saving a layout file to the new report in the window: the
// built-in catalogue plus one user file, the watcher and the reload's default
// quiet time, a record of the saved type selected. Twenty saves; the median
// and the slowest. Run under a display (xvfb-run -a build/bin/bench_layout_reload).

#include "app/qt/main_window.h"
#include "app/qt/hlist_box.h"
#include "app/qt/main_form.h"
#include "app/qt/qsettings_store.h"
#include "app/qt/qt_view_port.h"
#include "app/tarvik_view.h"
#include "tests/support/hidden_records.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace tarvik;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    testing::TempDir dir;
    const std::string layouts = (dir.path() / "layouts").string();
    std::filesystem::create_directories(layouts);
    CMyTarvikView::layoutOptions() = {layouts, false};
    QSettingsStore settings(dir.file("settings.ini"));
    CMainFrame window(settings, "TCP");
    window.port().messageHook = [](const std::string&) {};
    window.show();
    Bytes file;
    for (std::uint32_t i = 0; i < 10; ++i) {
        const Bytes r = testing::hiddenRecord(i);
        file.insert(file.end(), r.begin(), r.end());
    }
    window.view().openRecordFile(dir.write("hidden.vxr", file));
    window.selectRecordRow(3);
    QApplication::processEvents();

    std::vector<qint64> times;
    for (int round = 0; round < 20; ++round) {
        // Alternate between the full layout and one whose first item is renamed.
        std::string text = testing::kHiddenLayout;
        const std::string mark = round % 2 ? "Serial A" : "Serial B";
        text.replace(text.find("\"Serial\""), 8, "\"" + mark + "\"");
        QElapsedTimer clock;
        clock.start();
        std::ofstream(layouts + "/7032.yaml", std::ios::trunc) << text;
        const QString want = QString::fromStdString(mark);
        while (!window.form().reportList()->lines().join('\n').contains(want) && clock.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        times.push_back(clock.elapsed());
    }
    std::sort(times.begin(), times.end());
    std::printf("reload after a save: median %lld ms, slowest %lld ms (quiet time %u ms, %zu record layouts)\n",
                static_cast<long long>(times[times.size() / 2]), static_cast<long long>(times.back()),
                window.view().layoutWatch().coalesceMs, window.view().layoutCatalogue().records.size());
    return 0;
}
