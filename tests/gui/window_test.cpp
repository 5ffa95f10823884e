// The main window end to end: reading a record file through the menu, the
// record list's model, selecting a row, the filter, messages and dialogs.

#include "app/controls.h"
#include "app/memory_port.h"
#include "app/qt/check_combo_box.h"
#include "app/qt/connect_dialogs.h"
#include "app/qt/file_dialog.h"
#include "app/qt/hlist_box.h"
#include "app/qt/main_form.h"
#include "app/qt/main_window.h"
#include "app/qt/qsettings_store.h"
#include "app/qt/qt_view_port.h"
#include "app/qt/record_list_model.h"
#include "app/tarvik_view.h"
#include "tests/net/sim_process.h"
#include "tests/gui/shown_window.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/sample_records.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <thread>

using namespace tarvik;

namespace {

// What the view logic lists and reports for a file, through the in-memory port.
struct Reference {
    explicit Reference(const std::string& path, const std::string& filter = "ALL RECORDS") {
        port.setText(controls::kRecordFilter, filter);
        view.reportCoverage = true;  // as the window's report, which ends with the undecoded bytes
        view.openRecordFile(path);
    }
    std::vector<ReportLine> report(std::size_t row) {
        view.OnRowSelectionChanged(row);
        return port.reportLines;
    }
    MemoryPort port;
    MemorySettingsStore settings;
    CMyTarvikView view{port, settings};
};

// Answers the next dialog of type D with `answer` once it shows. A dialog that
// is still open ten seconds later is rejected, so no test waits on it forever.
template <class D> void answerModal(std::function<void(D*)> answer) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<D*>(top);
            if (!dialog || !dialog->isVisible()) continue;
            poll->stop();
            poll->deleteLater();
            answer(dialog);
            QTimer::singleShot(10000, dialog, [dialog] { static_cast<QDialog*>(dialog)->reject(); });
            return;
        }
    });
    poll->start(20);
}

} // namespace

class WindowTest : public QObject, tarvik::testing::ShownWindow {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void formAndMenu();
    void readVxFileListsRowsThroughTheModel();
    void selectingARowShowsItsReport();
    void filterChangeRelistsTheFile();
    void brokenFilesShowTheirMessages();
    void fileDialogFailedAndCancelled();
    void portTimersPostingAndExit();
    void liveRowsFromTheServer();
    void connectionDialogsAndScrollLimit();
    void listFollowsAndReportWraps();

private:
    std::string sample(const std::string& name, std::size_t frames) {
        synth::SampleOptions options;
        options.frames = frames;
        const std::string path = dir->file(name);
        if (!synth::writeSampleFile(path, options)) qFatal("cannot write %s", path.c_str());
        return path;
    }
    QString cell(int row, int column) const {
        return window->recordModel().data(window->recordModel().index(row, column), Qt::DisplayRole).toString();
    }
    void read(const std::string& path) {
        window->port().fileDialogHook = [path](const OpenFileRequest&) { return OpenFileResult::chosen(path); };
        window->commandAction(commands::kReadVxFile)->trigger();
    }

};

void WindowTest::init() { openWindow(); }

void WindowTest::cleanup() { closeWindow(); }

void WindowTest::formAndMenu() {
    QCOMPARE(window->windowTitle(), QString("Tarvik"));
    // At least the form's own size (on a larger screen, most of the screen).
    QVERIFY(window->centralWidget()->width() >= CMainFrame::kClientWidth);
    QVERIFY(window->centralWidget()->height() >= CMainFrame::kClientHeight - 2);

    const int everyControl[] = {1001, 1002, 1003, 1004, 1007, 1008, 1009, 1010, 1012, 1014, 1015, 1016, 1017,
                                1018, 1019, 1021, 1022, 1023, 1024, 1025, 1026, 1027, 1028, 1029, 1030, 1031,
                                1032, 1033, 1034, 1035, 1036, 1037, 1038, 1039, 1040, 1041, 1042, 1043, 1044,
                                1048, 1049, 1051, 1059, 1067, 1069, 1073, 1074, 1078, 1087, 1088, 1089, 1255,
                                controls::kRemoteCommandHint, controls::kParameterTable,
                                controls::kFilterExpression, controls::kFilterProblem};
    CMainForm& form = window->form();
    QCOMPARE(form.controls().size(), std::size(everyControl));
    for (int number : everyControl) QVERIFY2(form.control(number), qPrintable(QString::number(number)));
    for (int number : {1008, 1073, 1010, 1012, 1048, 1014}) QVERIFY(!form.control(number)->isVisible());
    // What works is enabled; what waits for its part of the tool is not.
    for (int number : {1001, 1003, 1043, 1255, 1004, 1078, 1049, 1017, 1018, 1023})
        QVERIFY(form.control(number)->isEnabled());
    // "Send Remote Control", "Pause", "Write Vx Output File" and "Stop Volatile
    // Connections" wait for a connection.
    for (int number : {1015, 1002, 1009, 1007}) QVERIFY2(!form.control(number)->isEnabled(), qPrintable(QString::number(number)));
    QCOMPARE(window->port().text(1004), std::string("Start Communicating"));
    QCOMPARE(window->port().text(1069), std::string("TCP"));
    QCOMPARE(window->port().text(1043), std::string("ALL RECORDS"));
    // The expression box turns red, with the reason under it, while what it holds does not compile.
    auto* expression = qobject_cast<QLineEdit*>(form.control(controls::kFilterExpression));
    QVERIFY(expression);
    expression->setText("vx.7000.nonesuch > 1");
    emit expression->returnPressed();
    QVERIFY(!expression->styleSheet().isEmpty());
    QVERIFY(!form.control(controls::kFilterProblem)->isHidden());
    expression->setText("7000 && row > 1");
    emit expression->returnPressed();
    QVERIFY(expression->styleSheet().isEmpty());
    QVERIFY(form.control(controls::kFilterProblem)->isHidden());
    expression->clear();
    // Enter on the form is swallowed: typed text is not added to the address list.
    auto* address = qobject_cast<QComboBox*>(form.control(controls::kAddress));
    QVERIFY(address);
    const int addresses = address->count();
    address->setEditText("10.1.2.3");
    QTest::keyClick(address->lineEdit(), Qt::Key_Return);
    QCOMPARE(address->count(), addresses);
    QCOMPARE(address->currentText(), QString("10.1.2.3"));
    address->setEditText({});

    QString aboutTitle, aboutVersion;
    answerModal<QDialog>([&](QDialog* about) {
        aboutTitle = about->windowTitle();
        if (auto* version = about->findChild<QLabel*>("version")) aboutVersion = version->text();
        about->accept();
    });
    QAction* aboutAction = nullptr;
    for (QAction* a : window->menuBar()->actions().last()->menu()->actions())
        if (a->text() == "&About Tarvik...") aboutAction = a;
    QVERIFY(aboutAction);
    aboutAction->trigger();
    QCOMPARE(aboutTitle, QString("About Tarvik"));
    QVERIFY(aboutVersion.contains(TARVIK_VERSION));

    QVERIFY(window->commandAction(commands::kReadVxFile)->isEnabled());
    QCOMPARE(window->commandAction(commands::kReadVxFile)->text(), QString("Read Vx File"));
    QVERIFY(window->commandAction(commands::kExit)->isEnabled());
    QVERIFY(window->commandAction(commands::kPlayScript)->isEnabled());
    for (int command : {commands::kAssignOutputFolder, commands::kSetupCondensedFile, commands::kCopyToCondensedFile,
                        commands::kPrintRecord, commands::kPrintCurrentRecord, commands::kWriteCurrentRecord,
                        commands::kDumpAllShown, commands::kCloseTextOutput, commands::kLimitRecords})
        QVERIFY(window->commandAction(command)->isEnabled());
}

void WindowTest::readVxFileListsRowsThroughTheModel() {
    const std::string path = sample("run.vxr", 40);
    std::vector<OpenFileRequest> requests;
    window->port().fileDialogHook = [&](const OpenFileRequest& r) {
        requests.push_back(r);
        return OpenFileResult::chosen(path);
    };
    window->commandAction(commands::kReadVxFile)->trigger();

    QCOMPARE(requests.size(), std::size_t{1});
    QCOMPARE(requests[0].filter, std::string(kReadVxFileFilter));
    QCOMPARE(dialogNameFilters(requests[0].filter),
             (QStringList{"VX Files (*.vxr)", "Packet Captures (*.pcap *.pcapng)",
                          "VX Files And Packet Captures (*.vxr *.pcap *.pcapng)"}));
    QVERIFY(messages.empty());
    QCOMPARE(window->recordModel().rowCount(), 42);  // file header, 40 frames, catalog
    QCOMPARE(cell(0, 0), QString("7200"));
    QCOMPARE(cell(0, 1), QString("396 bytes"));
    QCOMPARE(cell(41, 0), QString("7300"));
    QCOMPARE(cell(41, 2), QString("41"));
    Reference reference(path);
    for (int r = 0; r < 42; ++r)
        for (int c = 0; c < 3; ++c)
            QCOMPARE(cell(r, c).toStdString(), reference.view.rowText(static_cast<std::size_t>(r), c));
    QCOMPARE(window->windowTitle(), QString::fromStdString("Tarvik - Reading " + path));
    QCOMPARE(readString(*settings, "Last Vx file read"), std::optional<std::string>(path));
    QVERIFY(!QApplication::overrideCursor());  // the wait cursor is gone again

    // Headed columns, each wide enough for its heading.
    QTableView* list = window->form().recordList();
    QVERIFY(list->horizontalHeader()->isVisible());
    for (int c = 0; c < 3; ++c) {
        const QString heading = window->recordModel().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        QCOMPARE(heading, (QStringList{"Type", "Size", "Number"})[c]);
        QVERIFY(list->columnWidth(c) > list->horizontalHeader()->fontMetrics().horizontalAdvance(heading));
    }
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);

    // Cancelling the next dialog ends the file source: the list must not keep
    // rows the view no longer answers for (they would show blank).
    window->port().fileDialogHook = [](const OpenFileRequest&) { return OpenFileResult::cancelled(); };
    window->runCommand(commands::kReadVxFile);
    QVERIFY(!window->view().fileSourceMode());
    QCOMPARE(std::size_t(window->recordModel().rowCount()), window->view().recordRowCount());
}

void WindowTest::selectingARowShowsItsReport() {
    const std::string path = sample("report.vxr", 12);
    read(path);
    Reference reference(path);

    QTableView* list = window->form().recordList();
    const QRect row3 = list->visualRect(window->recordModel().index(3, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row3.center());
    QCOMPARE(window->port().selectedRecordRow(), std::optional<std::size_t>(3));

    std::vector<ReportLine> expected = reference.report(3);
    QVERIFY(expected.size() > 10);
    QVERIFY(QString::fromStdString(expected[0].text).startsWith("   Record # 3 "));
    QStringList expectedLines;
    for (const ReportLine& line : expected) expectedLines << QString::fromStdString(line.text);
    CHListBox* report = window->form().reportList();
    QCOMPARE(report->lines(), expectedLines);
    for (int i = 0; i < report->count(); ++i) QCOMPARE(report->isMarked(i), expected[std::size_t(i)].changed);

    // Selecting another row of the same record type marks the lines that changed.
    window->selectRecordRow(3 + synth::sampleRecordTypes().size());
    expected = reference.report(3 + synth::sampleRecordTypes().size());
    QCOMPARE(report->count(), int(expected.size()));
    int marked = 0;
    for (int i = 0; i < report->count(); ++i) {
        QCOMPARE(report->lines()[i].toStdString(), expected[std::size_t(i)].text);
        QCOMPARE(report->isMarked(i), expected[std::size_t(i)].changed);
        marked += report->isMarked(i);
    }
    QVERIFY(marked > 0 && marked < report->count());  // at least the record number differs
}

void WindowTest::filterChangeRelistsTheFile() {
    const std::string path = sample("filter.vxr", 30);
    CCheckComboBox* filter = window->form().recordFilter();
    const std::vector<std::uint32_t> offered = window->view().filterRecordTypes();
    QCOMPARE(filter->count(), int(offered.size()));
    for (std::size_t i = 0; i < offered.size(); ++i) QCOMPARE(filter->itemText(int(i)), QString::number(offered[i]));
    QVERIFY(offered.size() > 20 && std::is_sorted(offered.begin(), offered.end()));

    read(path);
    QCOMPARE(window->recordModel().rowCount(), 32);

    filter->showPopup();
    for (int i = 0; i < filter->count(); ++i)
        if (filter->itemText(i) == "7000" || filter->itemText(i) == "7004") filter->toggle(i);
    filter->hidePopup();
    QCOMPARE(filter->text(), QString("7000; 7004"));

    Reference reference(path, "7000; 7004");
    const int rows = window->recordModel().rowCount();
    QCOMPARE(std::size_t(rows), reference.view.recordRowCount());
    QVERIFY(rows > 0 && rows < 32);
    for (int r = 0; r < rows; ++r) {
        QVERIFY(cell(r, 0) == "7000" || cell(r, 0) == "7004");
        QCOMPARE(cell(r, 2).toStdString(), reference.view.rowText(std::size_t(r), 2));
    }

    // Nothing checked lists everything again.
    for (int i = 0; i < filter->count(); ++i)
        if (filter->isChecked(i)) filter->toggle(i);
    filter->hidePopup();
    QCOMPARE(window->recordModel().rowCount(), 32);
}

void WindowTest::brokenFilesShowTheirMessages() {
    // The real message box: the text and an OK button only, answered here.
    window->port().messageHook = nullptr;
    const std::string tiny = dir->write("tiny.vxr", Bytes(30, 0xFF));
    QString shown;
    int buttons = 0;
    answerModal<QMessageBox>([&](QMessageBox* box) {
        shown = box->text();
        buttons = int(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    read(tiny);
    QCOMPARE(shown, QString("First Record Of File tiny.vxr Is Too Small"));
    QCOMPARE(buttons, 1);
    QCOMPARE(window->recordModel().rowCount(), 0);

    window->port().messageHook = [this](const std::string& text) { messages.push_back(text); };
    read(dir->write("empty.vxr", {}));
    read(sample("shown.vxr", 3));
    QCOMPARE(window->recordModel().rowCount(), 5);
    read(dir->file("missing.vxr"));
    QCOMPARE(window->recordModel().rowCount(), 0);  // the shown file's rows went with it
    QCOMPARE(messages, (std::vector<std::string>{"File empty.vxr Is Empty",
                                                 "could not open the specified file " + dir->file("missing.vxr") +
                                                     "\nNo such file or directory"}));
    QVERIFY(!window->view().fileSourceMode());
}

// An initial name in a folder that does not exist fails the dialog; it is then
// shown once more without one, and cancelling it leaves the list as it was.
void WindowTest::fileDialogFailedAndCancelled() {
    QCOMPARE(dialogNameFilters("VX Files (*.vxr)|*.vxr||"), QStringList{"VX Files (*.vxr)"});
    QCOMPARE(dialogNameFilters("Scripts|*.vxs;*.txt||"), QStringList{"Scripts (*.vxs *.txt)"});
    QVERIFY(!dialogStart("/no/such/folder/run.vxr").usable);
    const DialogStart start = dialogStart(dir->file("run.vxr"));
    QVERIFY(start.usable);
    QCOMPARE(start.file, QString("run.vxr"));
    QVERIFY(dialogStart(dir->file("*.vxr")).file.isEmpty());

    window->port().fileDialogHook = nullptr;
    writeString(*settings, "Last Vx file read", "/no/such/folder/run.vxr");
    int shown = 0;
    answerModal<QFileDialog>([&](QFileDialog* dialog) {
        ++shown;
        dialog->reject();
    });
    window->runCommand(commands::kReadVxFile);
    QCOMPARE(shown, 1);
    QVERIFY(!window->view().fileSourceMode());
    QCOMPARE(window->windowTitle(), QString("Tarvik"));

    // Choosing a file in the real dialog reads it.
    const std::string path = sample("chosen.vxr", 5);
    answerModal<QFileDialog>([&](QFileDialog* dialog) {
        // Typed into the file name field, as the user would.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (name) name->setText(QString::fromStdString(path));
        static_cast<QDialog*>(dialog)->accept();
    });
    window->runCommand(commands::kReadVxFile);
    QCOMPARE(window->recordModel().rowCount(), 7);
    QCOMPARE(window->view().currentRecordFileName(), path);
}

void WindowTest::portTimersPostingAndExit() {
    QtViewPort& port = window->port();
    std::vector<int> ticks;
    port.timerHandler = [&](int id) { ticks.push_back(id); };
    port.startTimer(timers::kArrival, 20);
    QTRY_VERIFY(ticks.size() >= 2);
    QCOMPARE(ticks.front(), timers::kArrival);
    port.stopTimer(timers::kArrival);
    QVERIFY(!port.timerRunning(timers::kArrival));

    // Posted from another thread, run on the window's thread.
    QThread* ranOn = nullptr;
    std::thread worker([&] { port.postToUserInterface([&] { ranOn = QThread::currentThread(); }); });
    worker.join();
    QTRY_COMPARE(ranOn, window->thread());

    port.startTimer(timers::kArrival, 1000);
    window->runCommand(commands::kExit);
    QVERIFY(!window->isVisible());
    QVERIFY(!port.timerRunning(timers::kArrival));
}

void WindowTest::liveRowsFromTheServer() {
    // Slow enough that the first rows are still among the newest 100 when they are looked at.
    testing::SimProcess sim({"--devices", "2", "--ping-rate", "5"});
    QtViewPort& port = window->port();
    port.setText(controls::kAddress, "127.0.0.1");
    port.setText(controls::kPort, sim.port());
    window->view().connection().sender().sendPause = std::chrono::milliseconds(0);
    qobject_cast<QPushButton*>(window->form().control(controls::kStartCommunicating))->click();
    QVERIFY(window->view().connection().connected());
    // The remote-control panel shows while connected.
    QVERIFY(window->form().remotePanelExpanded());
    QVERIFY(!window->form().control(controls::kStartCommunicating)->isVisible());
    QCOMPARE(qobject_cast<QListWidget*>(window->form().control(controls::kDevicesFound))->count(), 2);
    QCOMPARE(port.text(controls::kSonarsForCommand), std::string("Sim sonar 1; Sim sonar 2"));
    // The arrival timer lists live rows through the model.
    QTRY_VERIFY_WITH_TIMEOUT(window->recordModel().rowCount() >= 6, 5000);
    QCOMPARE(cell(0, 0), QString("7022"));
    QCOMPARE(cell(0, 1), QString("100 bytes"));
    window->selectRecordRow(0);
    QTRY_VERIFY(window->form().reportList()->count() > 0);

    // Pause and Continue from the button.
    auto* pause = qobject_cast<QPushButton*>(window->form().control(controls::kPause));
    pause->click();
    QCOMPARE(pause->text(), QString("Continue"));
    pause->click();
    QCOMPARE(pause->text(), QString("Pause"));
    QCOMPARE(cell(window->recordModel().rowCount() - 1, 1), QString("PAUSE < 1 sec."));

    qobject_cast<QPushButton*>(window->form().control(controls::kStopVolatileConnections))->click();
    QVERIFY(!window->view().connection().connected());
    QVERIFY(window->form().control(controls::kStartCommunicating)->isVisible());
    QVERIFY(!window->form().remotePanelExpanded());
    window->close();
    QVERIFY(!window->view().connection().receiver().running());
}

void WindowTest::connectionDialogsAndScrollLimit() {
    std::string closedPort;
    {
        testing::SimProcess gone({});
        closedPort = gone.port();
    }
    QtViewPort& port = window->port();
    port.setItems(controls::kAddress, {"127.0.0.1", "10.1.1.1"});
    port.setText(controls::kAddress, "127.0.0.1");
    port.setText(controls::kPort, closedPort);
    // The real dialog, answered as a user would: tick the box and press OK.
    QString checkText;
    answerModal<CDlgConnectFailed>([&](CDlgConnectFailed* dialog) {
        checkText = dialog->deleteBox()->text();
        dialog->deleteBox()->setChecked(true);
        dialog->accept();
    });
    window->view().OnStartCommunicating();
    QCOMPARE(checkText, QString("  Delete  127.0.0.1  from the recent address list?"));
    QCOMPARE(port.items(controls::kAddress), std::vector<std::string>{"10.1.1.1"});
    QCOMPARE(port.text(controls::kAddress), std::string("10.1.1.1"));

    answerModal<CDlgNumber>([](CDlgNumber* dialog) {
        dialog->field()->setText("5");
        dialog->accept();
    });
    window->runCommand(commands::kLimitRecords);
    QCOMPARE(messages, std::vector<std::string>{"Scroll Limit Must Be Between 20 And 1000"});
    answerModal<CDlgNumber>([](CDlgNumber* dialog) {
        dialog->field()->setText("250");
        dialog->accept();
    });
    window->runCommand(commands::kLimitRecords);
    QCOMPARE(window->view().pipeline().scrollLimit(), 250u);
}

// The port scrolls the list to a row without choosing it; the report wraps
// its long lines (7004's angles) and shows its last line whole.
void WindowTest::listFollowsAndReportWraps() {
    const std::string path = sample("long.vxr", 300);
    read(path);
    QtViewPort& port = window->port();
    const std::size_t last = window->view().recordRowCount() - 1;
    QVERIFY(port.visibleRecordRows().second < last);
    port.showRecordRow(last);
    QApplication::processEvents();
    QVERIFY(port.visibleRecordRows().second >= last);
    QCOMPARE(port.selectedRecordRow(), std::nullopt);

    window->selectRecordRow(2);  // 7004, beam geometry
    CHListBox* report = window->form().reportList();
    QTRY_VERIFY(report->count() > 10);
    QCOMPARE(report->horizontalScrollBar()->maximum(), 0);
    int longest = 0;
    for (int i = 0; i < report->count(); ++i)
        if (report->lines()[i].startsWith("Beam horiz. direction angle")) longest = i;
    QVERIFY(longest > 0);
    QVERIFY(report->wrappedLineCount(longest) > 1);
    QVERIFY(report->visualItemRect(report->item(longest)).height() >=
            report->wrappedLineCount(longest) * report->fontMetrics().height());
    report->scrollToBottom();
    QApplication::processEvents();
    const QRect lastLine = report->visualItemRect(report->item(report->count() - 1));
    QVERIFY2(lastLine.bottom() <= report->viewport()->rect().bottom(),
             qPrintable(QString("%1 > %2").arg(lastLine.bottom()).arg(report->viewport()->rect().bottom())));
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
