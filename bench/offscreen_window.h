#pragma once
// The main window on the offscreen platform, for benchmarks of the window:
// its settings in a folder of its own, shown and with its first events handled.
// Call useOffscreenPlatform() before the QApplication is made: nobody answers
// a message box here, so messages go to stderr instead of waiting.

#include "app/qt/main_window.h"
#include "app/qt/qsettings_store.h"
#include "app/qt/qt_view_port.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <string>

namespace tarvik::bench {

inline void useOffscreenPlatform() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QtViewPort::initialMessageHook() = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
}

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
