#include "app/qt/main_window.h"

#include "app/controls.h"
#include "app/qt/about_dialog.h"
#include "app/qt/check_combo_box.h"
#include "app/qt/condensed_file_properties.h"
#include "app/qt/main_form.h"
#include "app/qt/qt_view_port.h"
#include "app/qt/record_list_model.h"
#include "app/tarvik_view.h"

#include <QAbstractButton>
#include <QCloseEvent>
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

    // Created once; "Setup For Condensed File" only shows it.
    separatorDialog_ = new CCondensedFileProperties(this);
    buildMenu();
    wireForm();
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
    addCommand(file, "Assign Output File Folder", kAssignOutputFolder, true);
    addCommand(file, "Setup For Condensed File", kSetupCondensedFile, true);
    addCommand(file, "Copy File To Condensed File", kCopyToCondensedFile, true);
    addCommand(file, "Limit Records In Scrolling List", kLimitRecords, false);
    file->addSeparator();
    addCommand(file, "Exit", kExit, true);

    QAction* print = menuBar()->addAction("Print Record");
    commands_[kPrintRecord] = print;
    connect(print, &QAction::triggered, this, [this] { runCommand(kPrintRecord); });

    QMenu* record = menuBar()->addMenu("Record");
    addCommand(record, "Print Current Record", kPrintCurrentRecord, true);
    QAction* preview = record->addAction("Print Preview");
    connect(preview, &QAction::triggered, this, [this] { view_->OnPrintRecord(true); });
    addCommand(record, "Write Current Record To Text File", kWriteCurrentRecord, true);
    addCommand(record, "Dump All Shown To Text File", kDumpAllShown, true);
    addCommand(record, "Close Text Output File", kCloseTextOutput, true);

    QMenu* scripts = menuBar()->addMenu("Scripts");
    addCommand(scripts, "Play Script File", kPlayScript, false);

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
    case commands::kAssignOutputFolder: view_->OnAssignOutputFolder(); break;
    case commands::kSetupCondensedFile:
        separatorDialog_->showWith(view_->dataSeparator(), [this](DataSeparator s) { view_->setDataSeparator(s); });
        break;
    case commands::kCopyToCondensedFile: view_->OnCopyToCondensedFile(); break;
    case commands::kPrintRecord:
    case commands::kPrintCurrentRecord: view_->OnPrintRecord(); break;
    case commands::kWriteCurrentRecord: view_->OnWriteCurrentRecord(); break;
    case commands::kDumpAllShown: view_->OnDumpAllShown(); break;
    case commands::kCloseTextOutput: view_->OnCloseTextOutput(); break;
    case commands::kExit: close(); break;
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
    auto* write = qobject_cast<QAbstractButton*>(form_->control(controls::kWriteOutputFile));
    connect(write, &QAbstractButton::clicked, this, [this] { view_->OnWriteOutputFile(); });
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
    if (!closed_) {
        closed_ = true;
        view_->OnViewClosing();
    }
    event->accept();
}

} // namespace tarvik
