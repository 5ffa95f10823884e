#include "app/qt/main_window.h"

#include "app/controls.h"
#include "app/qt/about_dialog.h"
#include "app/qt/check_combo_box.h"
#include "app/qt/condensed_file_properties.h"
#include "app/qt/layout_workbench.h"
#include "app/qt/main_form.h"
#include "app/qt/plot_pane.h"
#include "app/qt/rules_pane_widget.h"
#include "app/qt/qt_view_port.h"
#include "app/qt/record_list_model.h"
#include "app/qt/remote_control_dlg.h"
#include "app/tarvik_view.h"
#include "imagery/imagery_displays.h"
#include "imagery/qt/gl_echogram.h"
#include "imagery/qt/sector_widget.h"

#include <QAbstractButton>
#include "app/qt/bytes_pane.h"
#include "app/qt/hlist_box.h"
#include "app/qt/statistics_dialog.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QMimeData>
#include <QUrl>
#include <QSplitter>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QThread>
#include <QTimer>

namespace tarvik {

CMainFrame::CMainFrame(SettingsStore& settings, const QString& transport, QWidget* parent)
    : QMainWindow(parent), form_(new CMainForm(this)), settings_(settings) {
    setWindowTitle("Tarvik");
    setCentralWidget(form_);
    port_ = std::make_unique<QtViewPort>(*this, *form_);
    view_ = std::make_unique<CMyTarvikView>(*port_, settings);
    model_ = new RecordListModel(*view_, this);
    form_->setRecordModel(model_);
    view_->connection().udp = transport == "UDP";
    port_->setText(controls::kTransportLabel, transport.toStdString());
    port_->timerHandler = [this](int id) { view_->OnTimer(id); };

    // Created once; "Setup For Condensed File" only shows it.
    separatorDialog_ = new CCondensedFileProperties(this);
    buildMenu();
    wireForm();
    wireImagery();
    wireRemotePanel();
    wireLayouts();
    fillRecordFilter();
    resize(openingSize());
    setAcceptDrops(true);
    addCopyMenus();
    restoreLayout();
    // The remote-control panel shows while there is a connection to send to
    // ("Send Remote Control" is enabled exactly then) and folds away without one.
    if (QWidget* send = form_->control(controls::kSendRemoteControl)) {
        send->installEventFilter(this);
        form_->setRemotePanelExpanded(send->isEnabled());
    }
}

// Without a remembered size the window takes most of the screen, and never
// less than the form's own size.
QSize CMainFrame::openingSize() const {
    QSize size(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    if (const QScreen* screen = this->screen()) {
        const QRect room = screen->availableGeometry();
        size = size.expandedTo(QSize(room.width() * 9 / 10, room.height() * 9 / 10)).boundedTo(room.size());
    }
    return size.expandedTo(minimumSizeHint());
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::EnabledChange && watched == form_->control(controls::kSendRemoteControl))
        form_->setRemotePanelExpanded(static_cast<QWidget*>(watched)->isEnabled());
    return QMainWindow::eventFilter(watched, event);
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
    CImageryDisplays& imagery = view_->imagery();
    CGLEchogram* echogram = form_->echogram();
    CSectorWidget* sector = form_->sector();
    sector->attach(&imagery.sector(), &imagery.echogram());
    imagery.onEchogramChanged = [echogram, sector] {
        if (echogram) echogram->refresh();
        sector->update();  // the sector shares the echogram's colours
    };
    imagery.sector().onDraw = [sector] { sector->update(); };
    imagery.EchogramChanged();
    if (echogram == nullptr) {
        // The message waits for the event loop, so it goes where the program sends messages.
        view_->enableImagery(false);
        QTimer::singleShot(0, this, [this] { port_->messageBox("Can't Create A GL Rendering Context."); });
        return;
    }
    echogram->setImage(&imagery.echogram());
    echogram->caption = [this] { return QString::fromStdString(view_->imagery().echogramCaption()); };
    echogram->refresh();
    echogram->message = [this](std::string_view text) { port_->messageBox(text); };
    echogram->onInitialised = [this](bool ready) {
        if (!ready) view_->enableImagery(false);
    };
    echogram->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(echogram, &QWidget::customContextMenuRequested, this,
            [this, echogram](const QPoint& at) { echogramMenu(echogram->mapToGlobal(at)); });
    view_->enableImagery(true);
}

CImageryDisplays& CMainFrame::imagery() { return view_->imagery(); }

// The echogram's own menu: colour map, brightness, contrast, orientation and
// how long pings are shrunk. The sector picture shares the colours.
void CMainFrame::echogramMenu(const QPoint& at) {
    EchogramImage& e = imagery().echogram();
    QMenu menu(this);
    auto choices = [&](const QString& title, const QStringList& names, std::uint32_t current, auto apply) {
        QMenu* sub = menu.addMenu(title);
        for (int i = 0; i < names.size(); ++i) {
            QAction* action = sub->addAction(names[i]);
            action->setCheckable(true);
            action->setChecked(current == static_cast<std::uint32_t>(i));
            connect(action, &QAction::triggered, this, [this, apply, i] {
                apply(static_cast<std::uint32_t>(i));
                imagery().EchogramChanged();
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
    QAction* compareWith = file->addAction("Compare With...");
    connect(compareWith, &QAction::triggered, this, [this] { view_->OnCompareWith(); });
    addCommand(file, "Assign Output File Folder", kAssignOutputFolder, true);
    addCommand(file, "Setup For Condensed File", kSetupCondensedFile, true);
    addCommand(file, "Copy File To Condensed File", kCopyToCondensedFile, true);
    addCommand(file, "Limit Records In Scrolling List", kLimitRecords, true);
    file->addSeparator();
    recentMenu_ = file->addMenu("Recent Files");
    connect(recentMenu_, &QMenu::aboutToShow, this, &CMainFrame::fillRecentFiles);
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
    record->addSeparator();
    connect(record->addAction("Statistics"), &QAction::triggered, this, &CMainFrame::showStatistics);
    plotDock_ = new QDockWidget("Plot", this);
    plotDock_->setObjectName("plotPane");
    addDockWidget(Qt::BottomDockWidgetArea, plotDock_);
    plotDock_->hide();
    connect(plotDock_, &QDockWidget::visibilityChanged, this, [this](bool shown) {
        if (shown) plotPane();
    });
    QAction* showPlot = plotDock_->toggleViewAction();
    showPlot->setText("Plot");
    record->addAction(showPlot);
    rulesDock_ = new QDockWidget("Rules", this);
    rulesDock_->setObjectName("rulesPane");
    addDockWidget(Qt::BottomDockWidgetArea, rulesDock_);
    rulesDock_->hide();
    connect(rulesDock_, &QDockWidget::visibilityChanged, this, [this](bool shown) {
        if (shown) rulesPane();
    });
    QAction* showRules = rulesDock_->toggleViewAction();
    showRules->setText("Rules");
    record->addAction(showRules);

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
    case commands::kLimitRecords: view_->OnLimitRecords(); break;
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
    if (auto* expression = qobject_cast<QLineEdit*>(form_->control(controls::kFilterExpression))) {
        // The box turns red while its expression does not compile.
        auto apply = [this, expression] {
            const bool ok = view_->OnFilterExpressionEntered();
            expression->setStyleSheet(ok ? QString() : QStringLiteral("QLineEdit { background: #ffd7d7; }"));
        };
        connect(expression, &QLineEdit::returnPressed, this, apply);
        // The clear button empties it: the record types apply again.
        connect(expression, &QLineEdit::textChanged, this, [apply](const QString& text) {
            if (text.isEmpty()) apply();
        });
    }
    auto* write = qobject_cast<QAbstractButton*>(form_->control(controls::kWriteOutputFile));
    connect(write, &QAbstractButton::clicked, this, [this] { view_->OnWriteOutputFile(); });
    // The report and the bytes pane point at each other.
    connect(form_->reportList(), &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) view_->OnReportLineSelected(static_cast<std::size_t>(row));
    });
    connect(form_->bytesPane(), &CBytesPane::byteClicked, this,
            [this](std::size_t offset) { view_->OnRecordByteClicked(offset); });

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

void CMainFrame::fillRecentFiles() {
    recentMenu_->clear();
    const auto files = view_->recentFiles().list();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const QString path = QString::fromStdString(files[i]);
        QAction* a = recentMenu_->addAction(QString("&%1 %2").arg(i + 1).arg(path));
        connect(a, &QAction::triggered, this, [this, path] { openRecordFile(path); });
    }
    recentMenu_->setEnabled(true);
    if (files.empty()) recentMenu_->addAction("(none)")->setEnabled(false);
}

void CMainFrame::openRecordFile(const QString& path) {
    port_->setRedraw(controls::kRecordList, true);
    view_->openRecordFile(path.toStdString());
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) event->acceptProposedAction();
}

// A file dropped on the window becomes the list's source; only the first of several.
void CMainFrame::dropEvent(QDropEvent* event) {
    if (openDroppedFiles(event->mimeData()->urls())) event->acceptProposedAction();
}

bool CMainFrame::openDroppedFiles(const QList<QUrl>& urls) {
    if (urls.isEmpty() || !urls.first().isLocalFile()) return false;
    openRecordFile(urls.first().toLocalFile());
    return true;
}

// Copy in the record list's and the report's context menus: the selected rows
// (or lines) as text, columns separated by tabs.
void CMainFrame::addCopyMenus() {
    QTableView* list = form_->recordList();
    list->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* copyRows = new QAction("Copy", list);
    copyRows->setShortcut(QKeySequence::Copy);
    copyRows->setShortcutContext(Qt::WidgetShortcut);
    list->addAction(copyRows);
    connect(copyRows, &QAction::triggered, this, [this, list] {
        QStringList rows;
        for (const QModelIndex& index : list->selectionModel()->selectedRows()) {
            const auto row = static_cast<std::size_t>(index.row());
            rows << QString::fromStdString(view_->rowText(row, 0) + '\t' + view_->rowText(row, 1) + '\t' +
                                           view_->rowText(row, 2));
        }
        QGuiApplication::clipboard()->setText(rows.join('\n'));
    });
    CHListBox* report = form_->reportList();
    report->setSelectionMode(QAbstractItemView::ExtendedSelection);
    report->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* copyLines = new QAction("Copy", report);
    copyLines->setShortcut(QKeySequence::Copy);
    copyLines->setShortcutContext(Qt::WidgetShortcut);
    report->addAction(copyLines);
    connect(copyLines, &QAction::triggered, this, [report] {
        QStringList lines;
        for (int i = 0; i < report->count(); ++i)
            if (report->item(i)->isSelected()) lines << report->item(i)->text();
        if (lines.isEmpty()) lines = report->lines();  // nothing chosen: the whole report
        QGuiApplication::clipboard()->setText(lines.join('\n'));
    });
    addColumnMenus();
}

// The report's "Apply as Column" and "Apply as Filter" for the line under the
// pointer (a right click makes it the current line), enabled where the line
// shows a field; the record list's header removes a custom column.
void CMainFrame::addColumnMenus() {
    CHListBox* report = form_->reportList();
    auto* asColumn = new QAction("Apply as Column", report);
    auto* asFilter = new QAction("Apply as Filter", report);
    report->addAction(asColumn);
    report->addAction(asFilter);
    auto follow = [this, asColumn, asFilter](int row) {
        const bool field = row >= 0 && view_->reportLineField(static_cast<std::size_t>(row)).has_value();
        asColumn->setEnabled(field);
        asFilter->setEnabled(field);
    };
    follow(-1);
    connect(report, &QListWidget::currentRowChanged, this, follow);
    connect(asColumn, &QAction::triggered, this, [this, report] {
        if (report->currentRow() >= 0) view_->OnApplyAsColumn(static_cast<std::size_t>(report->currentRow()));
    });
    connect(asFilter, &QAction::triggered, this, [this, report] {
        if (report->currentRow() >= 0) view_->OnApplyAsFilter(static_cast<std::size_t>(report->currentRow()));
    });

    QHeaderView* header = form_->recordList()->horizontalHeader();
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QWidget::customContextMenuRequested, this, [this, header](const QPoint& at) {
        const int section = header->logicalIndexAt(at);
        if (section < RecordListModel::kColumns) return;
        const auto column = static_cast<std::size_t>(section - RecordListModel::kColumns);
        if (column >= view_->recordColumns().size()) return;
        QMenu menu(header);
        QAction* remove = menu.addAction(QString("Remove Column \"%1\"").arg(QString::fromStdString(view_->recordColumns().title(column))));
        if (menu.exec(header->mapToGlobal(at)) == remove) view_->OnRemoveRecordColumn(column);
    });
}

void CMainFrame::showStatistics() {
    if (statistics_) {
        statistics_->raise();
        statistics_->activateWindow();
        return;
    }
    auto* dialog = new CStatisticsDialog(
        [this] {
            CStatisticsDialog::Snapshot s;
            s.statistics = view_->sourceStatistics();
            s.sourceName = QString::fromStdString(view_->source().name());
            if (view_->source().live()) s.now = CMyTarvikView::statisticsClock();
            return s;
        },
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    statistics_ = dialog;
    connect(dialog, &QObject::destroyed, this, [this] { statistics_ = nullptr; });
    dialog->show();
}

namespace {
const std::string kWindowKey = "Window";

QByteArray storedBytes(const SettingsStore& store, const char* name) {
    const auto v = store.get(kWindowKey, name);
    const std::string* text = v ? std::get_if<std::string>(&*v) : nullptr;
    return text ? QByteArray::fromBase64(QByteArray::fromStdString(*text)) : QByteArray();
}
} // namespace

void CMainFrame::saveLayout() {
    auto put = [this](const char* name, const QByteArray& bytes) {
        settings_.set(kWindowKey, name, bytes.toBase64().toStdString());
    };
    put("Geometry", saveGeometry());
    put("Splitter", form_->rightSplitter()->saveState());
    settings_.set(kWindowKey, "RemotePanel", std::int32_t{form_->remotePanelHeight()});
    QStringList widths;
    for (int c = 0; c < 3; ++c) widths << QString::number(form_->recordList()->columnWidth(c));
    settings_.set(kWindowKey, "Columns", widths.join(',').toStdString());
}

void CMainFrame::restoreLayout() {
    if (const QByteArray g = storedBytes(settings_, "Geometry"); !g.isEmpty()) restoreGeometry(g);
    else if (const QScreen* screen = this->screen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    if (const QByteArray s = storedBytes(settings_, "Splitter"); !s.isEmpty() && form_->rightSplitter()->restoreState(s))
        form_->keepSplit();
    // The height the remote panel unfolds to, as the user left it.
    if (const auto h = settings_.get(kWindowKey, "RemotePanel"))
        if (const auto* height = std::get_if<std::int32_t>(&*h); height && *height > 0 && *height < 5000)
            form_->setRemotePanelHeight(*height);
    const auto v = settings_.get(kWindowKey, "Columns");
    if (const std::string* text = v ? std::get_if<std::string>(&*v) : nullptr) {
        const QStringList widths = QString::fromStdString(*text).split(',');
        for (int c = 0; c < std::min<int>(3, static_cast<int>(widths.size())); ++c) {
            bool ok = false;
            const int w = widths[c].toInt(&ok);
            if (ok && w > 0 && w < 2000) form_->recordList()->setColumnWidth(c, w);
        }
    }
}

// The panel's controls go to the view logic; the view fills them through the port.
void CMainFrame::wireRemotePanel() {
    auto* list = qobject_cast<QComboBox*>(form_->control(controls::kRemoteCommand));
    fillCommandList(list, *view_);
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
    // TERM closes the window once the script has ended.
    view_->scriptDirective = [this](const CMyTarvikView::ScriptDirective& directive) {
        if (directive.kind != CMyTarvikView::ScriptDirective::Kind::Terminate) return false;
        closeAfterScript_ = true;
        return true;
    };
}

void CMainFrame::playScript() {
    if (view_->scriptRunning()) return;
    stopScript_->setEnabled(true);
    // What would replace the list or read it whole waits for the script.
    const int waiting[] = {commands::kReadVxFile, commands::kDumpAllShown, commands::kCopyToCondensedFile};
    for (int command : waiting)
        if (QAction* action = commandAction(command)) action->setEnabled(false);
    port_->setEnabled(controls::kStartCommunicating, false);
    view_->OnPlayScriptFile();
    for (int command : waiting)
        if (QAction* action = commandAction(command)) action->setEnabled(true);
    port_->setEnabled(controls::kStartCommunicating, true);
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

RulesPaneWidget& CMainFrame::rulesPane() {
    if (!rulesPane_) {
        rulesPane_ = new RulesPaneWidget(*view_, rulesDock_);
        rulesDock_->setWidget(rulesPane_);
    }
    return *rulesPane_;
}

PlotPane& CMainFrame::plotPane() {
    if (!plotPane_) {
        plotPane_ = new PlotPane(*view_, plotDock_);
        plotDock_->setWidget(plotPane_);
    }
    return *plotPane_;
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
        saveLayout();
        view_->OnViewClosing();
    }
    event->accept();
}

} // namespace tarvik
