// The remote control panel in the window: the command list, a choice by the
// user, "Show Values" and its dialog, and a script played from the menu.

#include "app/controls.h"
#include "app/qt/main_form.h"
#include "app/qt/main_window.h"
#include "app/qt/qsettings_store.h"
#include "app/qt/qt_view_port.h"
#include "app/qt/remote_control_dlg.h"
#include "app/tarvik_view.h"
#include "tests/gui/shown_window.h"
#include "tests/support/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace tarvik;

class RemotePanelTest : public QObject, tarvik::testing::ShownWindow {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void choosingACommandFillsTheRows();
    void showValuesDialog();
    void scriptFromTheMenu();

private:
    QComboBox* commandList() const { return qobject_cast<QComboBox*>(window->form().control(controls::kRemoteCommand)); }
    void choose(const QString& line) {
        QComboBox* list = commandList();
        const int index = list->findText(line);
        QVERIFY(index >= 0);
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

};

void RemotePanelTest::init() { openWindow(); }

void RemotePanelTest::cleanup() { closeWindow(); }

void RemotePanelTest::choosingACommandFillsTheRows() {
    QCOMPARE(commandList()->count(), 124);
    QCOMPARE(commandList()->currentIndex(), -1);
    CMainForm& form = window->form();
    form.setRemotePanelExpanded(true);  // folded while there is no connection
    choose("1046  Power Saving Mode");
    QCOMPARE(qobject_cast<QLineEdit*>(form.control(1022))->text(), QString("u1"));
    QCOMPARE(qobject_cast<QLineEdit*>(form.control(1027))->text(), QString("Reserved"));
    QVERIFY(form.control(1016)->isVisible());   // "Mode" has a value list
    QVERIFY(!form.control(1021)->isVisible());
    QVERIFY(!form.control(1033)->isVisible());  // no fourth parameter
    QVERIFY(!qobject_cast<QLineEdit*>(form.control(controls::kTicket))->text().isEmpty());

    choose("P1010  CTD (SCRIPTS ONLY)");
    QCOMPARE(messages, std::vector<std::string>{"Large record size works only for scripts"});
}

void RemotePanelTest::showValuesDialog() {
    choose("1014  System mode");
    QStringList lines;
    QColor background;
    QString caption;
    QTimer::singleShot(0, this, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<CRemoteControlDlg*>(top);
            if (!dialog) continue;
            caption = dialog->windowTitle();
            background = dialog->palette().color(QPalette::Window);
            for (int i = 0; i < dialog->listBox()->count(); ++i) lines << dialog->listBox()->item(i)->text();
            dialog->accept();
        }
    });
    QTest::mouseClick(qobject_cast<QPushButton*>(window->form().control(1021)), Qt::LeftButton);
    QCOMPARE(caption, QString("System mode"));
    QCOMPARE(background, QColor(175, 185, 175));
    QCOMPARE(lines, (QStringList{"Flags", "", "BITFIELD", "0 - 14  Reserved",
                                 "15 - 15  Use legacy AutoPilot instead of Tracker"}));
}

void RemotePanelTest::scriptFromTheMenu() {
    const std::string text = "PACE, 100\r\n1003, 75\r\nNOSUB\r\n";
    const std::string path = dir->write("s.vxs", Bytes(text.begin(), text.end()));
    window->port().fileDialogHook = [&](const OpenFileRequest&) { return OpenFileResult::chosen(path); };
    bool painted = false;
    QTimer::singleShot(50, this, [&] { painted = window->view().scriptRunning(); });
    window->runCommand(commands::kPlayScript);
    QVERIFY(painted);  // the window ran its events while the script waited
    QCOMPARE(window->port().text(controls::kRemoteCommand), std::string("1003  Set range"));
    QCOMPARE(window->port().text(1023), std::string("75"));
    QVERIFY(window->port().checked(controls::kDisableInitialSubscription));
    QVERIFY(messages.empty());
}

QTEST_MAIN(RemotePanelTest)
#include "remote_panel_test.moc"
