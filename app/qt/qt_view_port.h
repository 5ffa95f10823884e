#pragma once
// The view logic's port on the desktop: form controls by number, dialogs, the
// wait cursor, timers, the window title and posting back to the UI thread.

#include "app/view_port.h"

#include <QObject>

#include <map>

class QProgressDialog;
class QTimer;
class QWidget;

namespace tarvik {

class CMainForm;

class QtViewPort : public QObject, public ViewPort {
    Q_OBJECT
public:
    QtViewPort(QWidget& window, CMainForm& form);
    ~QtViewPort() override;

    std::string text(int control) const override;
    void setText(int control, std::string_view text) override;
    bool checked(int control) const override;
    void setChecked(int control, bool on) override;
    void setVisible(int control, bool on) override;
    void setEnabled(int control, bool on) override;
    void setRedraw(int control, bool on) override;
    void setFocus(int control) override;
    std::vector<std::string> items(int control) const override;
    void setItems(int control, const std::vector<std::string>& items) override;
    bool itemChecked(int control, std::size_t index) const override;
    void setItemChecked(int control, std::size_t index, bool on) override;

    void messageBox(std::string_view text) override;
    bool messageBoxOffering(std::string_view text, std::string_view offer) override;
    OpenFileResult openFile(const OpenFileRequest& request) override;
    std::optional<std::string> chooseFolder(std::string_view start) override;
    std::optional<std::string> askNumber(const NumberRequest& request) override;
    bool connectFailed(const ConnectFailedRequest& request) override;
    void beep(unsigned hertz, unsigned milliseconds) override;
    void setWaitCursor(bool on) override;
    std::string title() const override;
    void setTitle(std::string_view title) override;

    void setRecordRowCount(std::size_t rows) override;
    std::optional<std::size_t> selectedRecordRow() const override;
    void selectRecordRow(std::optional<std::size_t> row) override;
    void setReportLines(std::span<const ReportLine> lines) override;
    std::vector<std::string> reportListLines() const override;
    std::pair<std::size_t, std::size_t> visibleRecordRows() const override;
    void showRecordRow(std::size_t row) override;

    void beginProgress(std::string_view title, std::uint64_t total) override;
    bool stepProgress(std::uint64_t done) override;
    void endProgress() override;
    void printReport(const std::vector<std::string>& lines, const PrintHeading& heading, bool preview) override;
    void setRecordBytes(std::span<const std::uint8_t> bytes) override;
    void highlightRecordBytes(std::size_t offset, std::size_t count) override;
    void selectReportLine(std::optional<std::size_t> line) override;
    void shadeRecordBytes(std::span<const std::pair<std::size_t, std::size_t>> ranges) override;
    void setLayoutProblems(std::span<const std::string> lines) override;
    void setRecordColumns(std::span<const std::string> titles) override;
    void showFolder(std::string_view path) override;
    // When set, receives the folders showFolder would open (tests).
    std::function<void(const std::string& path)> showFolderHook;

    void showValues(const std::string& caption, const std::vector<std::string>& lines) override;
    void wait(unsigned milliseconds, const std::function<bool()>& stopped) override;
    void processEvents() override;
    void startTimer(int id, unsigned milliseconds) override;
    void stopTimer(int id) override;
    void postToUserInterface(std::function<void()> task) override;

    // Receives the ticks of the timers the view logic starts.
    std::function<void(int id)> timerHandler;
    // When set, these answer instead of the modal dialogs (tests, the screenshot run).
    std::function<void(const std::string& text)> messageHook;
    // With the message hook set: whether a message's offer is taken (declined when empty).
    std::function<bool(const std::string& offer)> offerHook;
    // The message hook every port gets when it is made: set before the window
    // exists when nobody will answer a message box, so that even the messages
    // of the window's construction (layout file problems) reach it.
    static std::function<void(const std::string& text)>& initialMessageHook();
    std::function<OpenFileResult(const OpenFileRequest&)> fileDialogHook;
    std::function<std::optional<std::string>(std::string_view start)> folderDialogHook;
    // When set, receives what would go to the print dialog or its preview.
    std::function<void(const std::vector<std::string>& lines, bool preview)> printHook;
    std::function<std::optional<std::string>(const NumberRequest&)> numberDialogHook;
    std::function<bool(const ConnectFailedRequest&)> connectFailedHook;

    std::size_t beepCount() const { return beeps_; }
    bool timerRunning(int id) const;

private:
    QWidget& window_;
    CMainForm& form_;
    std::map<int, QTimer*> timers_;
    bool waitCursor_ = false;
    std::size_t beeps_ = 0;
    QProgressDialog* progress_ = nullptr;
    std::uint64_t progressTotal_ = 0;
};

} // namespace tarvik
