#pragma once
// The main window shown for one test: its own settings file in a temporary
// folder, and the message boxes it raises collected instead of shown.

#include "app/qt/main_window.h"
#include "app/qt/qsettings_store.h"
#include "tests/support/temp_dir.h"

#include <QTest>

#include <memory>
#include <string>
#include <vector>

namespace tarvik::testing {

struct ShownWindow {
    void openWindow() {
        dir = std::make_unique<TempDir>();
        settings = std::make_unique<QSettingsStore>(dir->file("settings.ini"));
        window = std::make_unique<CMainFrame>(*settings, "TCP");
        messages.clear();
        window->port().messageHook = [this](const std::string& text) { messages.push_back(text); };
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void closeWindow() {
        window.reset();
        settings.reset();
        dir.reset();
    }

    std::unique_ptr<TempDir> dir;
    std::unique_ptr<QSettingsStore> settings;
    std::unique_ptr<CMainFrame> window;
    std::vector<std::string> messages;
};

} // namespace tarvik::testing
