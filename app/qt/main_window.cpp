#include "app/qt/main_window.h"

#include "app/controls.h"
#include "app/qt/about_dialog.h"
#include "app/qt/check_combo_box.h"
#include "app/qt/condensed_file_properties.h"
#include "app/qt/main_form.h"
#include "app/qt/qt_view_port.h"
#include "app/qt/record_list_model.h"
#include "app/qt/remote_control_dlg.h"
#include "app/tarvik_view.h"
#include "imagery/imagery_displays.h"
#include "imagery/qt/gl_echogram.h"
#include "imagery/qt/sector_widget.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QThread>
#include <QTimer>

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
    wireImagery();
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

// The echogram and the sector picture get the records the view hands out.
// Without OpenGL the window works on, with the imagery displays disabled.
void CMainFrame::wireImagery() {
    imagery_ = std::make_unique<CImageryDisplays>();
    CGLEchogram* echogram = form_->echogram();
    CSectorWidget* sector = form_->sector();
    sector->attach(&imagery_->sector(), &imagery_->echogram());
    imagery_->onEchogramChanged = [echogram, sector] {
        if (echogram) echogram->refresh();
        sector->update();  // the sector shares the echogram's colours
    };
    imagery_->sector().onDraw = [sector] { sector->update(); };
    imagery_->StartUp();

    view_->displayRecord = [this](const ImageryKey& key, const Bytes& record) { imagery_->DisplayRecord(key, record); };
    view_->echogramRecord = [this](const ImageryKey& key, const Bytes& record) { imagery_->FeedEchogram(key, record); };
    view_->resetImagery = [this] { imagery_->Reset(); };
    if (echogram == nullptr) {
        // The message waits for the event loop, so it goes where the program sends messages.
        view_->imageryEnabled = false;
        QTimer::singleShot(0, this, [this] { port_->messageBox("Can't Create A GL Rendering Context."); });
        return;
    }
    echogram->setImage(&imagery_->echogram());
    echogram->message = [this](std::string_view text) { port_->messageBox(text); };
    echogram->onInitialised = [this](bool ready) {
        if (!ready) view_->imageryEnabled = false;
    };
    echogram->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(echogram, &QWidget::customContextMenuRequested, this,
            [this, echogram](const QPoint& at) { echogramMenu(echogram->mapToGlobal(at)); });
    view_->imageryEnabled = true;
}

// The echogram's own menu: colour map, brightness, contrast, orientation and
// how long pings are shrunk. The sector picture shares the colours.
void CMainFrame::echogramMenu(const QPoint& at) {
    EchogramImage& e = imagery_->echogram();
    QMenu menu(this);
    auto choices = [&](const QString& title, const QStringList& names, std::uint32_t current, auto apply) {
        QMenu* sub = menu.addMenu(title);
        for (int i = 0; i < names.size(); ++i) {
            QAction* action = sub->addAction(names[i]);
            action->setCheckable(true);
            action->setChecked(current == static_cast<std::uint32_t>(i));
            connect(action, &QAction::triggered, this, [this, apply, i] {
                apply(static_cast<std::uint32_t>(i));
                imagery_->EchogramChanged();
            });
        }
    };
    choices("Colour map", {"Sea floor", "Grey", "Rainbow", "Copper", "Warm to cold"}, e.colourMapChoice(),
            [&e](std::uint32_t i) { e.SetColourMap(i); });
    const QStringList levels = {"0", "25", "50", "75", "100"};
    choices("Brightness", levels, e.brightness() / 25u, [&e](std::uint32_t i) { e.SetBrightness(static_cast<std::uint8_t>(i * 25)); });
    choices("Contrast", levels, e.contrast() / 25u, [&e](std::uint32_t i) { e.SetContrast(static_cast<std::uint8_t>(i * 25)); });
    choices("Rotation", {"None", "180\u00B0", "+90\u00B0", "\u221290\u00B0"}, e.rotation(), [&e](std::uint32_t i) { e.SetRotation(i); });
    choices("Aspect", {"Keep proportions", "Fill the window", "Widen when wide", "Full width"}, e.aspectMode(),
            [&e](std::uint32_t i) { e.SetAspectMode(i); });
    choices("Long pings", {"Mean", "Maximum", "Root mean square"}, e.resamplingMode(),
            [&e](std::uint32_t i) { e.SetResamplingMode(i); });
    menu.exec(at);
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
    auto* write = qobject_cast<QAbstractButton*>(form_->control(controls::kWriteOutputFile));
    connect(write, &QAbstractButton::clicked, this, [this] { view_->OnWriteOutputFile(); });
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
