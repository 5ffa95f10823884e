#pragma once
// The main form: every control of the tool, reachable by its control number.
// It only builds and lays out the widgets; the window wires them to the view logic.

#include <QWidget>

#include <algorithm>
#include <map>

class QTableView;
class QComboBox;
class QLabel;
class QPushButton;
class QSplitter;
class QToolButton;

namespace tarvik {

class CBytesPane;
class CCheckComboBox;
class CGLEchogram;
class CSectorWidget;
class CHListBox;
class CLabel;
class CLayoutProblemsPane;
class RecordListModel;

class CMainForm : public QWidget {
    Q_OBJECT
public:
    explicit CMainForm(QWidget* parent = nullptr);

    // The control with this number, or nullptr.
    QWidget* control(int number) const;
    // Shows, hides, enables or disables a control together with its caption.
    void showControl(int number, bool on);
    void enableControl(int number, bool on);
    const std::map<int, QWidget*>& controls() const { return controls_; }

    void setRecordModel(RecordListModel* model);
    RecordListModel* recordModel() const { return recordModel_; }
    QTableView* recordList() const { return recordList_; }
    CHListBox* reportList() const { return reportList_; }
    CCheckComboBox* recordFilter() const { return recordFilter_; }
    // Nothing when OpenGL is missing.
    CGLEchogram* echogram() const { return echogram_; }
    CSectorWidget* sector() const { return sector_; }
    CBytesPane* bytesPane() const { return bytesPane_; }
    // "Layout Problems", under the report; hidden while there are none.
    CLayoutProblemsPane* layoutProblems() const { return layoutProblems_; }
    // The splitter between the report, the bytes pane, the pictures and the remote panel.
    QSplitter* rightSplitter() const { return right_; }
    // Shows or folds away the remote-control panel (its header stays).
    void setRemotePanelExpanded(bool on);
    bool remotePanelExpanded() const;
    QToolButton* remotePanelToggle() const { return remoteToggle_; }
    // A remembered split was restored: the first layout keeps it.
    void keepSplit() { splitSet_ = true; }
    // The height the remote panel unfolds to (0: what its rows need); the
    // user sets it by moving the border above the unfolded panel.
    int remotePanelHeight() const { return panelHeight_; }
    void setRemotePanelHeight(int height) { panelHeight_ = std::max(0, height); }

protected:
    // Swallows Enter on the form's controls, so that it adds no typed text to
    // the address list and sets nothing off.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    template <class W> W* add(int number, W* widget, const QString& caption = {});
    QWidget* connectionGroup();
    QWidget* recordGroup();
    QWidget* remoteGroup();
    QWidget* remotePanel();
    QWidget* imageryPane(QWidget* parent);

    std::map<int, QWidget*> controls_;
    std::map<int, QLabel*> captions_;
    QTableView* recordList_ = nullptr;
    CHListBox* reportList_ = nullptr;
    CCheckComboBox* recordFilter_ = nullptr;
    RecordListModel* recordModel_ = nullptr;
    CGLEchogram* echogram_ = nullptr;
    CSectorWidget* sector_ = nullptr;
    CBytesPane* bytesPane_ = nullptr;
    CLayoutProblemsPane* layoutProblems_ = nullptr;
    QSplitter* right_ = nullptr;
    QWidget* remotePanel_ = nullptr;
    QWidget* remoteBody_ = nullptr;
    QToolButton* remoteToggle_ = nullptr;
    bool splitSet_ = false;
    int panelHeight_ = 0;
};

} // namespace tarvik
