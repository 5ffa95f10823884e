#include "app/qt/qt_view_port.h"

#include "app/qt/layout_workbench.h"
#include <QDesktopServices>
#include <QUrl>

#include "app/qt/bytes_pane.h"
#include "app/qt/check_combo_box.h"
#include "app/qt/connect_dialogs.h"
#include "app/qt/file_dialog.h"
#include "app/qt/hlist_box.h"
#include "app/qt/main_form.h"
#include "app/qt/record_list_model.h"
#include "app/qt/remote_control_dlg.h"
#include "app/qt/report_printer.h"

#include <QAbstractButton>
#include <QSignalBlocker>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QHeaderView>
#include <QTableView>
#include <QTimer>

namespace tarvik {

namespace {
QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
} // namespace

QtViewPort::QtViewPort(QWidget& window, CMainForm& form)
    : messageHook(initialMessageHook()), window_(window), form_(form) {}

std::function<void(const std::string& text)>& QtViewPort::initialMessageHook() {
    static std::function<void(const std::string& text)> hook;
    return hook;
}

QtViewPort::~QtViewPort() {
    if (waitCursor_) QApplication::restoreOverrideCursor();
}

std::string QtViewPort::text(int control) const {
    QWidget* w = form_.control(control);
    if (auto* c = qobject_cast<CCheckComboBox*>(w)) return c->text().toStdString();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText().toStdString();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text().toStdString();
    if (auto* l = qobject_cast<QListWidget*>(w)) return l->currentItem() ? l->currentItem()->text().toStdString() : "";
    return {};
}

void QtViewPort::setText(int control, std::string_view text) {
    QWidget* w = form_.control(control);
    if (auto* c = qobject_cast<CCheckComboBox*>(w)) c->setJoinedText(qs(text));
    else if (auto* c = qobject_cast<QComboBox*>(w)) c->setCurrentText(qs(text));
    else if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(qs(text));
    else if (auto* l = qobject_cast<QLabel*>(w)) l->setText(qs(text));
    else if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(qs(text));
}

bool QtViewPort::checked(int control) const {
    auto* b = qobject_cast<QAbstractButton*>(form_.control(control));
    return b && b->isChecked();
}

void QtViewPort::setChecked(int control, bool on) {
    if (auto* b = qobject_cast<QAbstractButton*>(form_.control(control))) b->setChecked(on);
}

void QtViewPort::setVisible(int control, bool on) { form_.showControl(control, on); }

void QtViewPort::setEnabled(int control, bool on) { form_.enableControl(control, on); }

void QtViewPort::setRedraw(int control, bool on) {
    if (QWidget* w = form_.control(control)) w->setUpdatesEnabled(on);
}

void QtViewPort::setFocus(int control) {
    if (QWidget* w = form_.control(control)) w->setFocus();
}

std::vector<std::string> QtViewPort::items(int control) const {
    std::vector<std::string> out;
    QWidget* w = form_.control(control);
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        for (int i = 0; i < c->count(); ++i) out.push_back(c->itemText(i).toStdString());
    } else if (auto* l = qobject_cast<QListWidget*>(w)) {
        for (int i = 0; i < l->count(); ++i) out.push_back(l->item(i)->text().toStdString());
    }
    return out;
}

void QtViewPort::setItems(int control, const std::vector<std::string>& items) {
    QWidget* w = form_.control(control);
    if (auto* c = qobject_cast<CCheckComboBox*>(w)) {
        c->clearItems();
        for (const auto& item : items) c->addCheckItem(qs(item));
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        // The edit text is the field's own: changing the list leaves it alone.
        const QString text = c->currentText();
        c->clear();
        for (const auto& item : items) c->addItem(qs(item));
        c->setCurrentText(text);
    } else if (auto* l = qobject_cast<QListWidget*>(w)) {
        l->clear();
        for (const auto& item : items) l->addItem(qs(item));
    }
}

bool QtViewPort::itemChecked(int control, std::size_t index) const {
    auto* c = qobject_cast<CCheckComboBox*>(form_.control(control));
    return c && index < static_cast<std::size_t>(c->count()) && c->isChecked(static_cast<int>(index));
}

void QtViewPort::setItemChecked(int control, std::size_t index, bool on) {
    auto* c = qobject_cast<CCheckComboBox*>(form_.control(control));
    if (c && index < static_cast<std::size_t>(c->count())) c->setChecked(static_cast<int>(index), on);
}

std::optional<std::string> QtViewPort::askNumber(const NumberRequest& request) {
    if (numberDialogHook) return numberDialogHook(request);
    CDlgNumber dialog(request, &window_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.value();
}

bool QtViewPort::connectFailed(const ConnectFailedRequest& request) {
    if (connectFailedHook) return connectFailedHook(request);
    CDlgConnectFailed dialog(&window_);
    dialog.setUp(request);
    return dialog.exec() == QDialog::Accepted && dialog.deleteAnswer();
}

void QtViewPort::messageBox(std::string_view text) {
    if (messageHook) {
        messageHook(std::string(text));
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, "Tarvik", qs(text), QMessageBox::Ok, &window_);
    box.exec();
}

bool QtViewPort::messageBoxOffering(std::string_view text, std::string_view offer) {
    if (messageHook) {
        messageHook(std::string(text));
        return offerHook ? offerHook(std::string(offer)) : false;
    }
    QMessageBox box(QMessageBox::NoIcon, "Tarvik", qs(text), QMessageBox::Ok, &window_);
    QPushButton* take = box.addButton(qs(offer), QMessageBox::AcceptRole);
    box.exec();
    return box.clickedButton() == take;
}

OpenFileResult QtViewPort::openFile(const OpenFileRequest& request) {
    if (fileDialogHook) return fileDialogHook(request);
    return runFileDialog(&window_, request);
}

std::optional<std::string> QtViewPort::chooseFolder(std::string_view start) {
    if (folderDialogHook) return folderDialogHook(start);
    const QString folder = QFileDialog::getExistingDirectory(
        &window_, {}, qs(start), QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (folder.isEmpty()) return std::nullopt;
    return folder.toStdString();
}

// The desktop offers only its bell: pitch and length are not adjustable here.
void QtViewPort::beep(unsigned, unsigned) {
    ++beeps_;
    QApplication::beep();
}

void QtViewPort::setWaitCursor(bool on) {
    if (on == waitCursor_) return;
    waitCursor_ = on;
    if (on) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}

std::string QtViewPort::title() const { return window_.windowTitle().toStdString(); }

void QtViewPort::setTitle(std::string_view title) { window_.setWindowTitle(qs(title)); }

void QtViewPort::setRecordRowCount(std::size_t rows) { form_.recordModel()->setRows(rows); }

std::optional<std::size_t> QtViewPort::selectedRecordRow() const {
    const QModelIndexList rows = form_.recordList()->selectionModel()->selectedRows();
    if (rows.isEmpty()) return std::nullopt;
    return static_cast<std::size_t>(rows.first().row());
}

// Selecting from the view logic does not move the current row, so the list does not scroll.
void QtViewPort::selectRecordRow(std::optional<std::size_t> row) {
    QItemSelectionModel* selection = form_.recordList()->selectionModel();
    RecordListModel* model = form_.recordModel();
    if (!row || *row >= model->rows()) {
        selection->clearSelection();
        return;
    }
    selection->select(model->index(static_cast<int>(*row), 0),
                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void QtViewPort::setReportLines(std::span<const ReportLine> lines) { form_.reportList()->setLines(lines); }

// Before the model is made it takes the columns from the view logic itself.
void QtViewPort::setRecordColumns(std::span<const std::string> titles) {
    if (RecordListModel* model = form_.recordModel()) model->setCustomColumns({titles.begin(), titles.end()});
}

std::vector<std::string> QtViewPort::reportListLines() const {
    std::vector<std::string> out;
    for (const QString& line : form_.reportList()->lines()) out.push_back(line.toStdString());
    return out;
}

// The first row in sight and the rows that fit on a page after it (the row
// partly shown at the bottom included).
std::pair<std::size_t, std::size_t> QtViewPort::visibleRecordRows() const {
    QTableView* list = form_.recordList();
    const int first = std::max(0, list->rowAt(0));
    const int rowHeight = std::max(1, list->verticalHeader()->defaultSectionSize());
    const int perPage = list->viewport()->height() / rowHeight;
    return {static_cast<std::size_t>(first), static_cast<std::size_t>(first + std::max(0, perPage))};
}

// Scrolls without selecting or moving the current row. The last row goes to
// the bottom through scrollToBottom, which first lays out rows just added
// (scrollTo would measure against the scroll range from before they came).
void QtViewPort::showRecordRow(std::size_t row) {
    RecordListModel* model = form_.recordModel();
    QTableView* list = form_.recordList();
    if (row >= model->rows()) return;
    if (row + 1 == model->rows()) list->scrollToBottom();
    else list->scrollTo(model->index(static_cast<int>(row), 0), QAbstractItemView::EnsureVisible);
}

namespace {
constexpr int kProgressSteps = 1000;
} // namespace

void QtViewPort::beginProgress(std::string_view title, std::uint64_t total) {
    endProgress();
    progressTotal_ = total;
    progress_ = new QProgressDialog(qs(title), "Cancel", 0, kProgressSteps, &window_);
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(500);
    progress_->setValue(0);
}

bool QtViewPort::stepProgress(std::uint64_t done) {
    if (!progress_) return true;
    if (progressTotal_ > 0)
        progress_->setValue(static_cast<int>(std::min<std::uint64_t>(done, progressTotal_) * kProgressSteps / progressTotal_));
    QApplication::processEvents();
    return !progress_->wasCanceled();
}

void QtViewPort::endProgress() {
    delete progress_;
    progress_ = nullptr;
}

void QtViewPort::printReport(const std::vector<std::string>& lines, const PrintHeading& heading, bool preview) {
    if (printHook) {
        printHook(lines, preview);
        return;
    }
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    QPrinter printer(QPrinter::HighResolution);
    if (preview) {
        QPrintPreviewDialog dialog(&printer, &window_);
        connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                [&](QPrinter* target) { printReportPages(*target, lines, heading, local); });
        dialog.exec();
        return;
    }
    QPrintDialog dialog(&printer, &window_);
    // The report is printed whole: no page range, current page or selection.
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    if (dialog.exec() == QDialog::Accepted) printReportPages(printer, lines, heading, local);
}

void QtViewPort::setRecordBytes(std::span<const std::uint8_t> bytes) { form_.bytesPane()->setBytes(bytes); }

void QtViewPort::shadeRecordBytes(std::span<const std::pair<std::size_t, std::size_t>> ranges) {
    form_.bytesPane()->shade({ranges.begin(), ranges.end()});
}

// The pane may not exist yet while the view is made; the window fills it then.
void QtViewPort::setLayoutProblems(std::span<const std::string> lines) {
    if (CLayoutProblemsPane* pane = form_.layoutProblems()) pane->setProblems(lines);
}

void QtViewPort::showFolder(std::string_view path) {
    const std::string folder(path);
    if (showFolderHook) return showFolderHook(folder);
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

void QtViewPort::highlightRecordBytes(std::size_t offset, std::size_t count) {
    form_.bytesPane()->highlight(offset, count);
}

// Chosen from a byte: the line is made current without asking for its bytes again.
void QtViewPort::selectReportLine(std::optional<std::size_t> line) {
    CHListBox* list = form_.reportList();
    const QSignalBlocker quiet(list);
    if (!line || *line >= static_cast<std::size_t>(list->count())) {
        list->setCurrentRow(-1);
        return;
    }
    list->setCurrentRow(static_cast<int>(*line));
    list->scrollToItem(list->item(static_cast<int>(*line)));
}

void QtViewPort::startTimer(int id, unsigned milliseconds) {
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] {
            if (timerHandler) timerHandler(id);
        });
    }
    timer->start(static_cast<int>(milliseconds));
}

void QtViewPort::stopTimer(int id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second->stop();
}

bool QtViewPort::timerRunning(int id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

// The task runs on the thread the window lives on, from its event loop.
void QtViewPort::showValues(const std::string& caption, const std::vector<std::string>& lines) {
    CRemoteControlDlg dialog(caption, lines, &window_);
    dialog.exec();
}

// The window keeps painting and takes the user's commands (a stop among them)
// while a script waits.
void QtViewPort::wait(unsigned milliseconds, const std::function<bool()>& stopped) {
    QElapsedTimer clock;
    clock.start();
    while (!(stopped && stopped()) && clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const qint64 left = static_cast<qint64>(milliseconds) - clock.elapsed();
        if (left > 0) QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, 10)));
    }
}

void QtViewPort::processEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); }

void QtViewPort::postToUserInterface(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

} // namespace tarvik
