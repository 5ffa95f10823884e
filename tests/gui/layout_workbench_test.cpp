// The layout workbench in the window: a layout file saved into a watched
// folder changes the selected record's report and the shading of its bytes;
// a broken save lists its problem under the report and a fixed one clears it;
// the Layouts menu; commands whose parameters are not known are greyed.

#include "app/qt/bytes_pane.h"
#include "app/qt/hlist_box.h"
#include "app/qt/layout_workbench.h"
#include "app/qt/main_form.h"
#include "app/qt/main_window.h"
#include "app/qt/qsettings_store.h"
#include "app/qt/qt_view_port.h"
#include "app/controls.h"
#include "app/tarvik_view.h"
#include "tests/gui/shown_window.h"
#include "tests/support/hidden_records.h"

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>

using namespace tarvik;
using namespace tarvik::testing;

class LayoutWorkbenchTest : public QObject, ShownWindow {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void savedLayoutsReloadTheReportAndTheShading();
    void layoutsMenuAndCommandList();

private:
    QString reportText() const { return window->form().reportList()->lines().join('\n'); }
    // Saves the file in two steps, as some editors do.
    void save(const std::string& text) {
        const std::string path = layouts + "/7032.yaml";
        std::ofstream(path, std::ios::trunc) << text.substr(0, text.size() / 2);
        std::ofstream(path, std::ios::app) << text.substr(text.size() / 2);
    }

    std::string layouts;
    LayoutOptions saved;
};

void LayoutWorkbenchTest::init() {
    dir = std::make_unique<TempDir>();
    layouts = (dir->path() / "layouts").string();
    std::filesystem::create_directories(layouts);
    saved = CMyTarvikView::layoutOptions();
    CMyTarvikView::layoutOptions() = {layouts, false};
    // A short quiet time keeps the test quick.
    openWindow([this] { window->view().layoutWatch().coalesceMs = 20; });
}

void LayoutWorkbenchTest::cleanup() {
    closeWindow();
    CMyTarvikView::layoutOptions() = saved;
}

void LayoutWorkbenchTest::savedLayoutsReloadTheReportAndTheShading() {
    Bytes file;
    for (std::uint32_t i = 0; i < 3; ++i) {
        const Bytes r = hiddenRecord(i);
        file.insert(file.end(), r.begin(), r.end());
    }
    QVERIFY(window->view().openRecordFile(dir->write("hidden.vxr", file)));
    window->selectRecordRow(2);
    CBytesPane* pane = window->form().bytesPane();
    CLayoutProblemsPane* problems = window->form().layoutProblems();
    QTRY_VERIFY(pane->byteCount() > 0);
    const std::size_t data = pane->byteCount() - 64 - 4;
    using Shade = std::vector<std::pair<std::size_t, std::size_t>>;
    QCOMPARE(pane->shaded(), (Shade{{64, data}}));
    QVERIFY(reportText().contains("NOT DECODED: " + QString::number(data)));
    QVERIFY(!problems->isVisibleTo(window.get()));

    QElapsedTimer clock;
    clock.start();
    save(kHiddenLayout);
    QTRY_VERIFY_WITH_TIMEOUT(reportText().contains("Ping"), 5000);
    qInfo("report changed %lld ms after the save", static_cast<long long>(clock.elapsed()));
    QVERIFY(pane->shaded().empty());
    QVERIFY(reportText().endsWith("All " + QString::number(data) + " data bytes decoded"));
    QCOMPARE(window->port().selectedRecordRow(), std::optional<std::size_t>(2));

    save("records:\n  - type: 7032\n    title: \"Vx 7032 Record\"\n    items:\n      - [\"Serial\", zz, 8]\n");
    QTRY_VERIFY_WITH_TIMEOUT(problems->isVisibleTo(window.get()), 5000);
    QCOMPARE(problems->problems().size(), 1);
    QVERIFY(problems->problems().front().startsWith(QString::fromStdString(layouts + "/7032.yaml:5: ")));
    QVERIFY(!reportText().contains("Ping"));
    QCOMPARE(pane->shaded(), (Shade{{64, data}}));

    save(kHiddenLayout);
    QTRY_VERIFY_WITH_TIMEOUT(!problems->isVisibleTo(window.get()), 5000);
    QVERIFY(problems->problems().isEmpty());
    QTRY_VERIFY(reportText().contains("Ping"));
    QVERIFY(pane->shaded().empty());

    // A new file in the folder is seen as well (the folder is watched, not only its files).
    std::ofstream(layouts + "/more.yaml") << "records:\n  - type: 7033\n    title: \"Wedge image\"\n    items:\n"
                                             "      - [\"Wedge\", u, 4]\n";
    QTRY_VERIFY_WITH_TIMEOUT(window->view().layoutCatalogue().record({5, 1, 7033}).items.size() == 1, 5000);
    QTRY_VERIFY(window->layoutWatcher().watched().contains(QString::fromStdString(layouts + "/more.yaml")));
}

void LayoutWorkbenchTest::layoutsMenuAndCommandList() {
    QAction* reload = menuAction("Layouts", "Reload Layouts");
    QVERIFY(reload);
    QCOMPARE(reload->shortcut(), QKeySequence(Qt::Key_F5));
    QVERIFY(menuAction("Layouts", "Open Layouts Folder"));
    // The menu sits before Help.
    const QList<QAction*> top = window->menuBar()->actions();
    QCOMPARE(top.at(top.size() - 2)->text(), QString("Layouts"));

    // Reloading by hand needs no save.
    std::ofstream(layouts + "/7032.yaml") << kHiddenLayout;
    const unsigned long before = window->view().layoutWatch().reloads();
    reload->trigger();
    QCOMPARE(window->view().layoutWatch().reloads(), before + 1);
    QCOMPARE(window->view().layoutCatalogue().record({5, 1, 7032}).items.size(), std::size_t{8});

    // A command whose parameters are not known is greyed and says why; a known one is not.
    auto* list = qobject_cast<QComboBox*>(window->form().control(controls::kRemoteCommand));
    const int unknown = list->findText("1004", Qt::MatchStartsWith);
    const int known = list->findText("1003", Qt::MatchStartsWith);
    QVERIFY(unknown >= 0 && known >= 0);
    QCOMPARE(list->itemData(unknown, Qt::ToolTipRole).toString(), QString(kParametersNotKnownTip));
    QVERIFY(list->itemData(unknown, Qt::ForegroundRole).isValid());
    QVERIFY(!list->itemData(known, Qt::ForegroundRole).isValid());

    // A user file that gives 1004 its parameters makes it an ordinary entry after a reload.
    std::ofstream(layouts + "/commands.yaml") << "commands:\n  - id: \"1004\"\n    title: \"Max ping rate\"\n"
                                                 "    params:\n      - [\"Max ping rate (pings/s)\", f, 4]\n";
    reload->trigger();
    const int now = list->findText("1004", Qt::MatchStartsWith);
    QVERIFY(now >= 0);
    QVERIFY(!list->itemData(now, Qt::ForegroundRole).isValid());
    QCOMPARE(list->count(), 124);
}

QTEST_MAIN(LayoutWorkbenchTest)
#include "layout_workbench_test.moc"
