#include "app/qt/main_form.h"

#include "app/controls.h"
#include "app/qt/bytes_pane.h"
#include "app/qt/check_combo_box.h"
#include "app/qt/hlist_box.h"
#include "app/qt/label.h"
#include "app/qt/layout_workbench.h"
#include "app/qt/record_list_model.h"
#include "app/tarvik_view.h"
#include "imagery/qt/gl_echogram.h"
#include "imagery/qt/sector_widget.h"

#include <QCheckBox>
#include <algorithm>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>
#include <QTableView>
#include <QVBoxLayout>

namespace tarvik {

using namespace controls;

namespace {

// The parameter rows of the remote-control panel: Type, Data Value, Data
// Description and the "Show Values" button of each row.
struct ParameterRow {
    int type, value, description, showValues;
};
constexpr ParameterRow kParameterRows[] = {
    {1022, 1023, 1025, 1016}, {1024, 1026, 1027, 1021}, {1028, 1029, 1030, 1031},
    {1032, 1033, 1034, 1035}, {1036, 1037, 1038, 1039}, {1040, 1041, 1042, 1067},
};

// Controls shown later by the connection once the server has answered.
constexpr int kHiddenAtStart[] = {kSendRequestRecords, kRequestOneLabel, kRequestOneNumber, kRequestOneButton,
                                  kButton1010, kChooseDevice};

// Controls whose commands are carried out by the view logic in the window.
constexpr int kWorking[] = {kRecordFilter, kRecordList, kReportList, kWriteOutputFile, kOutputFileLabel, kEchogram,
                            kRemoteCommand, kSonarsForCommand, kTicket, kTrackingNumber, kHeadPort, kHeadStarboard,
                            kHeadBoth,
                            1022, 1023, 1025, 1016, 1024, 1026, 1027, 1021, 1028, 1029, 1030, 1031,
                            1032, 1033, 1034, 1035, 1036, 1037, 1038, 1039, 1040, 1041, 1042, 1067,
                            kAddress, kPort, kStartCommunicating,
                            kTransportLabel, kStopVolatileConnections, kDisableInitialSubscription,
                            kSendRequestRecords, kButton1010, kRequestOneLabel, kRequestOneNumber, kRequestOneButton,
                            kDevicesFound, kPause, kRemoteCommandHint, kParameterTable, kFilterExpression, kFilterProblem};

// The least height of the sector picture and the waterfall beside it, and the
// height they keep when the remote panel unfolds by itself: enough for the fan
// and a few seconds of pings, whatever the panel under them needs.
constexpr int kPicturesMinHeight = 160, kPicturesKeptHeight = 220;
// The least heights the report and the bytes keep when the remote panel unfolds.
constexpr int kReportKeptHeight = 120, kBytesKeptHeight = 80;

// The width a line edit needs to show `text` whole, in its own font and style.
int fieldWidthFor(const QLineEdit* field, const QString& text) {
    QStyleOptionFrame option;
    option.initFrom(field);
    option.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field);
    const QMargins margins = field->textMargins();
    // The line edit keeps two pixels each side of its text, and room for the cursor.
    const QSize contents(field->fontMetrics().horizontalAdvance(text) + 2 * 2 + 2 + margins.left() + margins.right(),
                         field->fontMetrics().height());
    return field->style()->sizeFromContents(QStyle::CT_LineEdit, &option, contents, field).width();
}

} // namespace

template <class W> W* CMainForm::add(int number, W* widget, const QString& caption) {
    controls_[number] = widget;
    if (!caption.isEmpty()) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(widget);
        captions_[number] = label;
    }
    return widget;
}

QWidget* CMainForm::control(int number) const {
    auto it = controls_.find(number);
    return it == controls_.end() ? nullptr : it->second;
}

void CMainForm::showControl(int number, bool on) {
    if (QWidget* w = control(number)) w->setVisible(on);
    if (auto it = captions_.find(number); it != captions_.end()) it->second->setVisible(on);
}

void CMainForm::enableControl(int number, bool on) {
    if (QWidget* w = control(number)) w->setEnabled(on);
    if (auto it = captions_.find(number); it != captions_.end()) it->second->setEnabled(on);
}

void CMainForm::setRecordModel(RecordListModel* model) {
    recordModel_ = model;
    recordList_->setModel(model);
    // Wide enough for a five-digit type, a frame of many megabytes and a
    // seven-digit index position, and for each column's heading; the last
    // column takes what is left.
    const QFontMetrics metrics = recordList_->fontMetrics();
    const QFontMetrics heading = recordList_->horizontalHeader()->fontMetrics();
    const char* const widest[] = {"00000", "000000000 bytes", "0000000"};
    for (int c = 0; c < 3; ++c) {
        const QString title = model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        recordList_->setColumnWidth(c, std::max(metrics.horizontalAdvance(widest[c]), heading.horizontalAdvance(title) + 8) + 12);
    }
}

CMainForm::CMainForm(QWidget* parent) : QWidget(parent) {
    auto* columns = new QHBoxLayout(this);
    columns->setContentsMargins(6, 6, 6, 6);
    // The two left columns take the width their texts need; the right side the rest.
    columns->addWidget(connectionGroup(), 0);
    columns->addWidget(recordGroup(), 0);

    // The report, its bytes, the pictures and the remote-control panel share the
    // right side; the user can move the borders between them.
    auto* right = new QSplitter(Qt::Vertical, this);
    reportList_ = add(kReportList, new CHListBox(right));
    reportList_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Long lines (a list of beam angles) wrap rather than scroll sideways.
    reportList_->setWrapLines(true);
    reportList_->setPlaceholderText("Select a row to see its report");
    // The problems of the layout files, docked under the report while there are any.
    auto* report = new QSplitter(Qt::Vertical, right);
    report->addWidget(reportList_);
    layoutProblems_ = new CLayoutProblemsPane(report);
    report->addWidget(layoutProblems_);
    report->setStretchFactor(0, 4);
    report->setStretchFactor(1, 1);
    report->setChildrenCollapsible(false);
    right->addWidget(report);
    // The reported record's bytes, beneath the report.
    bytesPane_ = new CBytesPane(right);
    bytesPane_->setPlaceholderText("Select a row to see its bytes");
    right->addWidget(bytesPane_);
    right->addWidget(imageryPane(right));
    right->addWidget(remotePanel());
    // The report and the bytes take most of the height; the panel only what it needs.
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 2);
    right->setStretchFactor(2, 2);
    right->setStretchFactor(3, 0);
    right_ = right;
    right->setChildrenCollapsible(false);
    // A border the user moves while the panel shows sets the height it unfolds to.
    connect(right, &QSplitter::splitterMoved, this, [this] {
        if (remotePanelExpanded()) panelHeight_ = right_->sizes().value(3);
    });
    columns->addWidget(right, 1);
    setRemotePanelExpanded(false);

    for (int number : kHiddenAtStart) showControl(number, false);
    // Everything waits for the parts of the tool that carry it out, except the
    // connection, the record list, its filter, Pause and the report.
    for (const auto& [number, widget] : controls_) {
        bool working = false;
        for (int w : kWorking) working = working || w == number;
        if (!working) enableControl(number, false);
    }
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

// The first time the right side has its height, the report gets two fifths of
// it, the bytes a quarter and the pictures the rest, unless a remembered split
// was restored.
void CMainForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (splitSet_ || !right_ || right_->height() < 100) return;
    splitSet_ = true;
    const int panel = remotePanelExpanded() ? right_->sizes().value(3) : remoteToggle_->sizeHint().height();
    const int rest = std::max(0, right_->height() - panel - 3 * right_->handleWidth());
    right_->setSizes({rest * 40 / 100, rest * 25 / 100, rest - rest * 40 / 100 - rest * 25 / 100, panel});
}

bool CMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
    }
    return QWidget::eventFilter(watched, event);
}

QWidget* CMainForm::connectionGroup() {
    auto* box = new QGroupBox("Connection", this);
    auto* grid = new QGridLayout(box);
    auto* address = add(kAddress, new QComboBox(box), "IP");
    address->setEditable(true);
    address->setMinimumContentsLength(15);  // "255.255.255.255"
    address->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    auto* port = add(kPort, new QLineEdit(box), "Port");
    port->setFixedWidth(fieldWidthFor(port, "65535"));
    grid->addWidget(captions_[kAddress], 0, 0);
    grid->addWidget(captions_[kPort], 0, 1);
    grid->addWidget(address, 1, 0);
    grid->addWidget(port, 1, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 1);

    grid->addWidget(add(kStartCommunicating, new QPushButton("Start Communicating", box)), 2, 0);
    grid->addWidget(add(kTransportLabel, new CLabel({}, box)), 2, 1);
    grid->addWidget(add(kStopVolatileConnections, new QPushButton("Stop Volatile Connections", box)), 3, 0, 1, 2);
    grid->addWidget(add(kDisableInitialSubscription, new QCheckBox("Disable Initial Subscription", box)), 4, 0, 1, 2);
    grid->addWidget(add(kSendRequestRecords, new QPushButton("Send Vx Request Records", box)), 5, 0);
    grid->addWidget(add(kButton1010, new QPushButton("1010", box)), 5, 1);
    grid->addWidget(add(kRequestOneLabel, new QLabel("Request One Record By Number", box)), 6, 0, 1, 2);
    auto* requestNumber = add(kRequestOneNumber, new QLineEdit(box));
    requestNumber->setFixedWidth(fieldWidthFor(requestNumber, "00000"));
    grid->addWidget(requestNumber, 7, 1);
    grid->addWidget(add(kRequestOneButton, new QPushButton("Send The Record Request", box)), 7, 0);

    add(kDevicesFound, new QListWidget(box), "Devices Found");
    grid->addWidget(captions_[kDevicesFound], 8, 0, 1, 2);
    grid->addWidget(controls_[kDevicesFound], 9, 0, 1, 2);
    grid->setRowStretch(9, 1);
    add(kChooseDevice, new QComboBox(box), "Choose Device");
    grid->addWidget(captions_[kChooseDevice], 10, 0, 1, 2);
    grid->addWidget(controls_[kChooseDevice], 11, 0, 1, 2);
    // As wide as its widest text needs, no wider.
    box->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    return box;
}

QWidget* CMainForm::recordGroup() {
    auto* box = new QGroupBox("Records", this);
    auto* layout = new QVBoxLayout(box);
    recordFilter_ = add(kRecordFilter, new CCheckComboBox(QString::fromUtf8(kAllRecords.data(), kAllRecords.size()), box),
                        "Record Filter (To Display)");
    layout->addWidget(captions_[kRecordFilter]);
    layout->addWidget(recordFilter_);
    // An expression over the records' fields, in place of the record-type
    // choices while it holds one; the line under it says why one does not compile.
    auto* expression = add(kFilterExpression, new QLineEdit(box));
    expression->setPlaceholderText("Filter expression, e.g. 7027 && vx.7027.number_of_detection_points > 100");
    expression->setClearButtonEnabled(true);
    expression->setToolTip("Return applies it; an empty box goes back to the record types above");
    layout->addWidget(expression);
    auto* problem = add(kFilterProblem, new QLabel(box));
    problem->setWordWrap(true);
    problem->setStyleSheet("color: #b00020;");
    problem->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    problem->hide();
    layout->addWidget(problem);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add(kPause, new QPushButton("Pause", box)));
    buttons->addWidget(add(kWriteOutputFile, new QPushButton("Write Vx Output File", box)));
    layout->addLayout(buttons);
    layout->addWidget(add(kOutputFileLabel, new CLabel({}, box)));

    recordList_ = add(kRecordList, new QTableView(box));
    recordList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    recordList_->setSelectionMode(QAbstractItemView::SingleSelection);
    recordList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    recordList_->setShowGrid(false);
    recordList_->setWordWrap(false);
    // Headed columns (type, size, number); the headings do not sort: the
    // rows stay in the order they arrived or stand in the file.
    QHeaderView* columns = recordList_->horizontalHeader();
    columns->setStretchLastSection(true);
    columns->setSectionsClickable(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setHighlightSections(false);
    // Every row has the same height, so the table never measures rows: a
    // million rows list and scroll as fast as a hundred.
    QHeaderView* rows = recordList_->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(recordList_->fontMetrics().height() + 4);
    recordList_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    layout->addWidget(recordList_, 1);
    box->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    return box;
}

// The sector picture beside the echogram's waterfall.
QWidget* CMainForm::imageryPane(QWidget* parent) {
    auto* pane = new QWidget(parent);
    auto* row = new QHBoxLayout(pane);
    row->setContentsMargins(0, 0, 0, 0);
    sector_ = new CSectorWidget(pane);
    row->addWidget(sector_, 1);
    if (COpenGLBase::available()) {
        echogram_ = add(kEchogram, new CGLEchogram(pane));
        echogram_->setMinimumSize(160, 120);
        row->addWidget(echogram_, 1);
    } else {
        // Without OpenGL the echogram's place stays empty; the window says why once shown.
        auto* empty = add(kEchogram, new QLabel(pane));
        empty->setMinimumSize(160, 120);
        empty->setFrameShape(QFrame::Box);
        row->addWidget(empty, 1);
    }
    pane->setMinimumHeight(kPicturesMinHeight);
    return pane;
}

// The remote-control panel under a header that folds it away; folded while
// there is no connection to send to.
QWidget* CMainForm::remotePanel() {
    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    remoteToggle_ = new QToolButton(panel);
    remoteToggle_->setText("Remote Control");
    remoteToggle_->setCheckable(true);
    remoteToggle_->setAutoRaise(true);
    remoteToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    column->addWidget(remoteToggle_);
    // The panel's rows scroll when it is lower than they need, so that it never
    // takes the pictures' height to show them all.
    auto* scroll = new QScrollArea(panel);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(remoteGroup());
    scroll->setMinimumHeight(3 * fontMetrics().height());
    remoteBody_ = scroll;
    column->addWidget(remoteBody_, 1);
    remotePanel_ = panel;
    connect(remoteToggle_, &QToolButton::toggled, this, [this](bool on) { setRemotePanelExpanded(on); });
    return panel;
}

void CMainForm::setRemotePanelExpanded(bool on) {
    if (!remotePanel_) return;
    {
        const QSignalBlocker quiet(remoteToggle_);
        remoteToggle_->setChecked(on);
    }
    remoteToggle_->setArrowType(on ? Qt::DownArrow : Qt::RightArrow);
    remoteToggle_->setToolTip(on ? "Fold the remote control panel away" : "Show the remote control panel");
    const bool changed = remoteBody_->isVisibleTo(remotePanel_) != on;
    remoteBody_->setVisible(on);
    const int folded = remoteToggle_->sizeHint().height();
    remotePanel_->setMaximumHeight(on ? QWIDGETSIZE_MAX : folded);
    remotePanel_->setMinimumHeight(on ? folded + std::max(remoteBody_->minimumHeight(), remoteBody_->minimumSizeHint().height()) : folded);
    if (!right_ || !changed) return;
    // Folded, the panel's height goes back to the report.
    QList<int> sizes = right_->sizes();
    if (sizes.size() != 4) return;
    if (on) {
        // What its rows need, taken from the report and the bytes first, and
        // the pictures last, none of them going below the height it keeps (the
        // panel scrolls instead); or the height the user gave it by moving the
        // border, which any other pane's least height allows.
        const auto* scroll = static_cast<const QScrollArea*>(remoteBody_);
        const bool chosen = panelHeight_ > 0;
        const int wanted = chosen ? panelHeight_ : folded + scroll->widget()->sizeHint().height();
        int need = wanted - sizes[3];
        int least[3];
        const int kept[] = {kReportKeptHeight, kBytesKeptHeight, kPicturesKeptHeight};
        for (int pane = 0; pane < 3; ++pane) {
            const QWidget* w = right_->widget(pane);
            least[pane] = chosen ? std::max(w->minimumHeight(), w->minimumSizeHint().height()) : kept[pane];
        }
        auto take = [&](int pane, int most) {
            const int taken = std::clamp(std::min(most, sizes[pane] - least[pane]), 0, need);
            sizes[pane] -= taken;
            sizes[3] += taken;
            need -= taken;
        };
        // The report and the bytes give in proportion to what they have to spare.
        const int spareReport = std::max(0, sizes[0] - least[0]), spareBytes = std::max(0, sizes[1] - least[1]);
        if (spareReport + spareBytes > 0 && need > 0) {
            const int fromBytes = static_cast<int>(static_cast<long long>(need) * spareBytes / (spareReport + spareBytes));
            take(1, fromBytes);
            take(0, need);
            take(1, need);
        }
        take(2, need);
    } else {
        sizes[0] += std::max(0, sizes[3] - folded);
        sizes[3] = folded;
    }
    right_->setSizes(sizes);
}

bool CMainForm::remotePanelExpanded() const { return remoteBody_ && remoteBody_->isVisibleTo(remotePanel_); }

QWidget* CMainForm::remoteGroup() {
    auto* box = new QGroupBox(this);
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(2);

    add(kRemoteCommand, new QComboBox(box), "Remote Command");
    add(kSonarsForCommand, new CCheckComboBox({}, box), "Select Sonar(s) For Command");
    add(kTicket, new QLineEdit(box), "Ticket");
    add(kTrackingNumber, new QLineEdit(box), "Tracking Number");
    // The two combo boxes side by side over two columns each, the header values under them.
    grid->addWidget(captions_[kRemoteCommand], 0, 0, 1, 2);
    grid->addWidget(controls_[kRemoteCommand], 1, 0, 1, 2);
    grid->addWidget(captions_[kSonarsForCommand], 0, 2, 1, 2);
    grid->addWidget(controls_[kSonarsForCommand], 1, 2, 1, 2);
    auto* header = new QHBoxLayout;
    for (int number : {kTicket, kTrackingNumber}) {
        header->addWidget(captions_[number]);
        header->addWidget(controls_[number], 1);
    }

    auto* heads = new QHBoxLayout;
    auto* headPort = add(kHeadPort, new QRadioButton("Port", box), "IDH - Cmd Head Select");
    heads->addWidget(captions_[kHeadPort]);
    heads->addSpacing(fontMetrics().horizontalAdvance("  "));
    heads->addWidget(headPort);
    heads->addWidget(add(kHeadStarboard, new QRadioButton("Starboard", box)));
    heads->addWidget(add(kHeadBoth, new QRadioButton("BOTH", box)));
    heads->addStretch(1);
    header->addWidget(add(kSendRemoteControl, new QPushButton("Send Remote Control", box)));
    grid->addLayout(heads, 2, 0, 1, 4);
    grid->addLayout(header, 3, 0, 1, 4);

    // Before a command is chosen one line says so; the rows and their headings
    // show once a command needs them.
    auto* hint = add(kRemoteCommandHint, new QLabel(box));
    hint->setWordWrap(true);
    grid->addWidget(hint, 4, 0, 1, 4);
    auto* table = add(kParameterTable, new QWidget(box));
    auto* rows = new QGridLayout(table);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setVerticalSpacing(2);
    const char* const headings[] = {"Type", "Data Value", "Data Description", "Extra Info"};
    for (int c = 0; c < 4; ++c) rows->addWidget(new QLabel(headings[c], table), 0, c);
    int row = 1;
    for (const ParameterRow& p : kParameterRows) {
        auto* type = add(p.type, new QLineEdit(table));
        type->setReadOnly(true);
        auto* description = add(p.description, new QLineEdit(table));
        description->setReadOnly(true);
        rows->addWidget(type, row, 0);
        rows->addWidget(add(p.value, new QLineEdit(table)), row, 1);
        rows->addWidget(description, row, 2);
        rows->addWidget(add(p.showValues, new QPushButton("Show Values", table)), row, 3);
        ++row;
    }
    rows->setColumnStretch(0, 3);
    rows->setColumnStretch(1, 2);
    rows->setColumnStretch(2, 4);
    rows->setColumnStretch(3, 2);
    grid->addWidget(table, 5, 0, 1, 4);
    grid->setRowStretch(6, 1);
    return box;
}

} // namespace tarvik
