// The record list's custom columns in the window: the report list's menu adds
// them and applies a line as the filter, the header's menu removes them, and
// a window opened later has them again.

#include "app/controls.h"
#include "app/qt/hlist_box.h"
#include "app/qt/main_form.h"
#include "app/qt/main_window.h"
#include "app/qt/plot_pane.h"
#include "app/qt/qsettings_store.h"
#include "app/qt/qt_view_port.h"
#include "app/qt/record_list_model.h"
#include "app/qt/rules_pane_widget.h"
#include "app/tarvik_view.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/sample_records.h"

#include <QAction>
#include <QChart>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QXYSeries>
#include <QHeaderView>
#include <QTableView>
#include <QMenu>
#include <QMenuBar>
#include <QTreeWidget>
#include <fstream>
#include <QTest>

using namespace tarvik;

class ColumnsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void reportMenuAddsColumnsAndFilters();
    void plotPaneDrawsTheShownRowsAndAClickSelectsOne();
    void rulesPaneShowsTheProfilesRulesAndTheirMarks();

private:
    QAction* action(QWidget* w, const QString& text) {
        for (QAction* a : w->actions())
            if (a->text() == text) return a;
        return nullptr;
    }
    int lineStarting(CHListBox* report, const QString& start) {
        const QStringList lines = report->lines();
        for (int i = 0; i < lines.size(); ++i)
            if (lines[i].startsWith(start)) return i;
        return -1;
    }
};

void ColumnsWindowTest::reportMenuAddsColumnsAndFilters() {
    testing::TempDir dir;
    QSettingsStore settings(dir.file("settings.ini"));
    synth::SampleOptions o;
    o.frames = 21;
    const std::string path = dir.file("run.vxr");
    QVERIFY(synth::writeSampleFile(path, o));
    {
        CMainFrame window(settings, "TCP");
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.openRecordFile(QString::fromStdString(path));
        RecordListModel& model = window.recordModel();
        QCOMPARE(model.columnCount(), 3);
        int bathymetry = -1, count = 0;
        for (int r = 0; r < model.rowCount(); ++r)
            if (model.data(model.index(r, 0), Qt::DisplayRole).toString() == "7027") {
                if (bathymetry < 0) bathymetry = r;
                ++count;
            }
        QVERIFY(bathymetry >= 0);
        window.selectRecordRow(static_cast<std::size_t>(bathymetry));

        CHListBox* report = window.form().reportList();
        QAction* asColumn = action(report, "Apply as Column");
        QAction* asFilter = action(report, "Apply as Filter");
        QVERIFY(asColumn && asFilter);
        // A title line names no field: the menu's commands are off there.
        report->setCurrentRow(lineStarting(report, "Record type"));
        QVERIFY(!asColumn->isEnabled());
        report->setCurrentRow(lineStarting(report, "Number of detection Points"));
        QVERIFY(asColumn->isEnabled());
        asColumn->trigger();
        QCOMPARE(model.columnCount(), 4);
        QCOMPARE(model.headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), QString("7027.number_of_detection_points"));
        QCOMPARE(model.data(model.index(bathymetry, 3), Qt::DisplayRole).toString(), QString("8"));
        QCOMPARE(model.data(model.index(0, 3), Qt::DisplayRole).toString(), QString());

        report->setCurrentRow(lineStarting(report, "Quality"));
        asFilter->trigger();
        QCOMPARE(window.port().text(controls::kFilterExpression), std::string("7027.quality == 31"));
        QCOMPARE(model.rowCount(), count);
        QCOMPARE(model.data(model.index(0, 3), Qt::DisplayRole).toString(), QString("8"));
    }
    // Remembered: a window opened later has the column; removing it takes it away.
    CMainFrame window(settings, "TCP");
    QCOMPARE(window.recordModel().columnCount(), 4);
    window.view().OnRemoveRecordColumn(0);
    QCOMPARE(window.recordModel().columnCount(), 3);
}

void ColumnsWindowTest::rulesPaneShowsTheProfilesRulesAndTheirMarks() {
    testing::TempDir dir;
    QSettingsStore settings(dir.file("settings.ini"));
    CMainFrame window(settings, "TCP");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QAction* menu = nullptr;
    for (QAction* a : window.menuBar()->actions())
        if (a->menu())
            for (QAction* item : a->menu()->actions())
                if (item->text() == "Rules") menu = item;
    QVERIFY(menu);
    menu->trigger();
    QVERIFY(window.rulesDock()->isVisible());
    RulesPaneWidget& pane = window.rulesPane();
    QCOMPARE(pane.tree()->topLevelItemCount(), 0);
    QVERIFY(pane.findChild<QLabel*>("profilePath")->text().contains("No profile"));

    const std::string path = dir.file("pane.yaml");
    std::ofstream(path) << "rules:\n  - {name: sums, integrity: checksums}\n  - {name: each-ping, relation: {each: \"7000\", has: \"7027\", key: ping}}\n";
    QVERIFY(window.view().rules().load(path, {}, false));
    pane.refresh();
    QCOMPARE(pane.tree()->topLevelItemCount(), 2);
    QCOMPARE(pane.tree()->topLevelItem(0)->text(1), QString("sums"));
    QCOMPARE(pane.tree()->topLevelItem(1)->text(2), QString("0"));
    QVERIFY(pane.findChild<QLabel*>("profilePath")->text().endsWith("pane.yaml"));
}

void ColumnsWindowTest::plotPaneDrawsTheShownRowsAndAClickSelectsOne() {
    testing::TempDir dir;
    QSettingsStore settings(dir.file("settings.ini"));
    synth::SampleOptions o;
    o.frames = 40;
    const std::string path = dir.file("run.vxr");
    QVERIFY(synth::writeSampleFile(path, o));
    CMainFrame window(settings, "TCP");
    window.resize(1200, 900);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.openRecordFile(QString::fromStdString(path));
    window.plotDock()->show();
    PlotPane& pane = window.plotPane();
    // A series that does not compile: the reason under the box.
    QVERIFY(!pane.plot("7027.qualty"));
    QVERIFY(pane.problem()->isVisible());
    QVERIFY(pane.problem()->text().contains("did you mean"));

    QVERIFY(pane.plot("7027.number_of_detection_points, count", plot::Axis::Ping));
    QVERIFY(!pane.problem()->isVisible());
    QChart* chart = pane.chartView()->chart();
    QCOMPARE(chart->series().size(), 2);
    QTest::qWait(50);
    // A click on a point selects its row and reports it.
    const plot::Series& detections = pane.shown().series[0];
    QVERIFY(detections.points.size() > 2);
    const plot::Point& target = detections.points[detections.points.size() / 2];
    const QPointF inChart = chart->mapToPosition(QPointF(target.x, target.y), chart->series()[0]);
    const QPoint inView = pane.chartView()->mapFromScene(chart->mapToScene(inChart));
    QCOMPARE(pane.rowAt(inView), static_cast<long long>(target.row));
    QTest::mouseClick(pane.chartView()->viewport(), Qt::LeftButton, {}, inView);
    QCOMPARE(window.port().selectedRecordRow(), std::optional<std::size_t>(target.row));
    QVERIFY(!window.form().reportList()->lines().isEmpty());
    // Far from every point: nothing.
    QCOMPARE(pane.rowAt(QPointF(2, 2)), -1LL);
    // The chart leaves the window's timers running (the arrival tick).
    std::vector<int> ticks;
    window.port().timerHandler = [&](int id) { ticks.push_back(id); };
    window.port().startTimer(timers::kArrival, 20);
    QTRY_VERIFY(ticks.size() >= 2);
}

QTEST_MAIN(ColumnsWindowTest)
#include "columns_window_test.moc"
