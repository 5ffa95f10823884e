#include "app/qt/main_window.h"

#include "app/controls.h"
#include "app/qt/about_dialog.h"
#include "app/qt/check_combo_box.h"
#include "app/qt/main_form.h"
#include "app/qt/qt_view_port.h"
#include "app/qt/record_list_model.h"
#include "app/tarvik_view.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
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
    view_->connection().udp = transport == "UDP";
    port_->setText(controls::kTransportLabel, transport.toStdString());
    port_->timerHandler = [this](int id) { view_->OnTimer(id); };

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
    addCommand(file, "Assign Output File Folder", kAssignOutputFolder, false);
    addCommand(file, "Setup For Condensed File", kSetupCondensedFile, false);
    addCommand(file, "Copy File To Condensed File", kCopyToCondensedFile, false);
    addCommand(file, "Limit Records In Scrolling List", kLimitRecords, true);
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
    case commands::kLimitRecords: view_->OnLimitRecords(); break;
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

    auto button = [this](int number, void (CMyTarvikView::*handler)()) {
        if (auto* b = qobject_cast<QPushButton*>(form_->control(number)))
            connect(b, &QPushButton::clicked, this, [this, handler] { (view_.get()->*handler)(); });
    };
    button(controls::kStartCommunicating, &CMyTarvikView::OnStartCommunicating);
    button(controls::kStopVolatileConnections, &CMyTarvikView::OnStopVolatileConnections);
    button(controls::kSendRequestRecords, &CMyTarvikView::OnSendRequestRecords);
    button(controls::kRequestOneButton, &CMyTarvikView::OnSendRecordRequest);
    button(controls::kButton1010, &CMyTarvikView::OnTestRecord);
    button(controls::kPause, &CMyTarvikView::OnPauseContinue);
    // Focus leaving the IP field runs the address check.
    if (auto* address = qobject_cast<QComboBox*>(form_->control(controls::kAddress)); address && address->lineEdit())
        connect(address->lineEdit(), &QLineEdit::editingFinished, this, [this] {
            if (!closed_) view_->OnAddressKillFocus();
        });
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
