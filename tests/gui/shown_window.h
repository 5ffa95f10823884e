#pragma once
// The main window shown for one test: its own settings file in a temporary
// folder, and the message boxes it raises collected instead of shown.

#include "app/qt/main_window.h"
#include "app/qt/qsettings_store.h"
#include "tests/support/temp_dir.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarvik::testing {

struct ShownWindow {
    // `beforeShow`, when given, runs once the window is made and before it is shown.
    void openWindow(const std::function<void()>& beforeShow = {}) {
        if (!dir) dir = std::make_unique<TempDir>();
        settings = std::make_unique<QSettingsStore>(dir->file("settings.ini"));
        window = std::make_unique<CMainFrame>(*settings, "TCP");
        messages.clear();
        window->port().messageHook = [this](const std::string& text) { messages.push_back(text); };
        if (beforeShow) beforeShow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void closeWindow() {
        window.reset();
        settings.reset();
        dir.reset();
    }

    // The action `text` of the menu bar's menu `menu`; null when there is none.
    QAction* menuAction(const QString& menu, const QString& text) const {
        for (QAction* top : window->menuBar()->actions())
            if (top->text() == menu && top->menu())
                for (QAction* a : top->menu()->actions())
                    if (a->text() == text) return a;
        return nullptr;
    }

    std::unique_ptr<TempDir> dir;
    std::unique_ptr<QSettingsStore> settings;
    std::unique_ptr<CMainFrame> window;
    std::vector<std::string> messages;
};

} // namespace tarvik::testing
