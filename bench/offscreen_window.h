#pragma once
// The main window on the offscreen platform, for benchmarks of the window:
// its settings in a folder of its own, shown and with its first events handled.
// Call useOffscreenPlatform() before the QApplication is made.

#include "app/qt/main_window.h"
#include "app/qt/qsettings_store.h"

#include <QApplication>
#include <QTemporaryDir>

namespace tarvik::bench {

inline void useOffscreenPlatform() { qputenv("QT_QPA_PLATFORM", "offscreen"); }

struct OffscreenWindow {
    QTemporaryDir dir;
    QSettingsStore settings{dir.filePath("settings.ini").toStdString()};
    CMainFrame window{settings, "TCP"};

    OffscreenWindow() {
        window.show();
        QApplication::processEvents();
    }
};

} // namespace tarvik::bench
