#include "app/qt/main_window.h"

#include "app/controls.h"
#include "app/qt/about_dialog.h"
#include "app/qt/check_combo_box.h"
#include "app/qt/main_form.h"
#include "app/qt/qt_view_port.h"
#include "app/qt/record_list_model.h"
#include "app/qt/remote_control_dlg.h"
#include "app/tarvik_view.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QItemSelectionModel>
#include <QMenuBar>
#include <QTableView>

namespace tarvik {

CMainFrame::CMainFrame(SettingsStore& settings, const QString& transport, QWidget* parent)
    : QMainWindow(parent), form_(new CMainForm(this)) {
    setWindowTitle("Tarvik");
    setCentralWidget(form_);
    port_ = std::make_unique<QtViewPort>(*this, *form_);
    view_ = std::make_unique<CMyTarvikView>(*port_, settings);
    model_ = new RecordListModel(*view_, this);
    form_->setRecordModel(model_);
    port_->setText(controls::kTransportLabel, transport.toStdString());

    buildMenu();
    wireForm();
    wireRemotePanel();
    fillRecordFilter();
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
}

// The view logic may still use its port (and so the form) while it closes;
// nothing asks it for row texts between here and the widgets going.
CMainFrame::~CMainFrame() {
    view_.reset();
    delete form_;
    delete model_;
}

QAction* CMainFrame::addCommand(QMenu* menu, const QString& text, int command, bool available) {
    QAction* action = menu->addAction(text);
    action->setEnabled(available);
    if (command != 0) {
        commands_[command] = action;
        connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
    }
    return action;
}

// Menu commands whose parts of the tool are not built yet stay disabled.
void CMainFrame::buildMenu() {
    using namespace commands;
    QMenu* file = menuBar()->addMenu("File");
    addCommand(file, "Read Vx File", kReadVxFile, true);
    addCommand(file, "Assign Output File Folder", kAssignOutputFolder, false);
    addCommand(file, "Setup For Condensed File", kSetupCondensedFile, false);
    addCommand(file, "Copy File To Condensed File", kCopyToCondensedFile, false);
    addCommand(file, "Limit Records In Scrolling List", kLimitRecords, false);
    file->addSeparator();
    addCommand(file, "Exit", kExit, true);

    QAction* print = menuBar()->addAction("Print Record");
    print->setEnabled(false);
    commands_[kPrintRecord] = print;

    QMenu* record = menuBar()->addMenu("Record");
    addCommand(record, "Print Current Record", kPrintCurrentRecord, false);
    addCommand(record, "Write Current Record To Text File", kWriteCurrentRecord, false);
    addCommand(record, "Dump All Shown To Text File", kDumpAllShown, false);
    addCommand(record, "Close Text Output File", kCloseTextOutput, false);

    QMenu* scripts = menuBar()->addMenu("Scripts");
    addCommand(scripts, "Play Script File", kPlayScript, true);
    stopScript_ = scripts->addAction("Stop Script");
    stopScript_->setEnabled(false);
    connect(stopScript_, &QAction::triggered, this, [this] { view_->stopScript(); });

    QMenu* help = menuBar()->addMenu("&Help");
    addCommand(help, "Help", 0, false);
    QAction* about = help->addAction("&About Tarvik...");
    connect(about, &QAction::triggered, this, &CMainFrame::showAbout);
}

QAction* CMainFrame::commandAction(int command) const {
    auto it = commands_.find(command);
    return it == commands_.end() ? nullptr : it->second;
}

void CMainFrame::runCommand(int command) {
    switch (command) {
    case commands::kReadVxFile: view_->OnReadVxFile(); break;
    case commands::kExit: close(); break;
    case commands::kPlayScript: playScript(); break;
    default: break;
    }
}

void CMainFrame::wireForm() {
    QTableView* list = form_->recordList();
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) {
                const QModelIndexList rows = selected.indexes();
                if (!rows.isEmpty()) view_->OnRowSelectionChanged(static_cast<std::size_t>(rows.first().row()));
            });
    connect(form_->recordFilter(), &CCheckComboBox::dropDownClosed, this, [this] { view_->OnRecordFilterClosed(); });
}

// The panel's controls go to the view logic; the view fills them through the port.
void CMainFrame::wireRemotePanel() {
    auto* list = qobject_cast<QComboBox*>(form_->control(controls::kRemoteCommand));
    for (const auto& line : view_->remotePanel().commandLines()) list->addItem(QString::fromStdString(line));
    list->setCurrentIndex(-1);
    list->setMaxVisibleItems(30);
    // Only the user's choices: the view setting the selection is no new choice.
    connect(list, &QComboBox::activated, this, [this] { view_->OnSelchangeRemoteCommand(); });
    connect(qobject_cast<QPushButton*>(form_->control(controls::kSendRemoteControl)), &QPushButton::clicked, this,
            [this] { view_->OnSendRemoteControl(); });
    const int showValues[] = {1016, 1021, 1031, 1035, 1039, 1067};
    for (std::size_t row = 0; row < 6; ++row) {
        auto* button = qobject_cast<QPushButton*>(form_->control(showValues[row]));
        connect(button, &QPushButton::clicked, this, [this, row] { view_->OnShowValues(row); });
        button->setVisible(false);
    }
    view_->showValuesDialog = [this](const std::string& caption, const std::vector<std::string>& lines) {
        CRemoteControlDlg dialog(caption, lines, this);
        dialog.exec();
    };
    // A script's waits keep the window painting and let the user stop the script.
    view_->scriptWait = [this](unsigned ms) {
        QElapsedTimer clock;
        clock.start();
        while (!view_->scriptStopRequested() && clock.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            const qint64 left = static_cast<qint64>(ms) - clock.elapsed();
            if (left > 0) QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, 10)));
        }
    };
    view_->scriptIdle = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); };
    view_->terminateWindow = [this] { closeAfterScript_ = true; };
}

void CMainFrame::playScript() {
    if (view_->scriptRunning()) return;
    stopScript_->setEnabled(true);
    view_->OnPlayScriptFile();
    stopScript_->setEnabled(false);
    if (closeAfterScript_) QTimer::singleShot(0, this, &QWidget::close);
}

void CMainFrame::fillRecordFilter() {
    CCheckComboBox* filter = form_->recordFilter();
    filter->clearItems();
    for (std::uint32_t type : view_->filterRecordTypes()) filter->addCheckItem(QString::number(type));
}

void CMainFrame::selectRecordRow(std::size_t row) {
    if (row >= model_->rows()) return;
    const QModelIndex index = model_->index(static_cast<int>(row), 0);
    QTableView* list = form_->recordList();
    list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void CMainFrame::showAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (view_->scriptRunning()) {
        // The script ends first; the window closes once it has.
        view_->stopScript();
        closeAfterScript_ = true;
        event->ignore();
        return;
    }
    if (!closed_) {
        closed_ = true;
        view_->OnViewClosing();
    }
    event->accept();
}

} // namespace tarvik
