#pragma once
// The main window: menu, form, the view logic and its port, and the routing of
// every command to the view logic.

#include "app/settings.h"

#include <QMainWindow>

#include <map>
#include <memory>

class QAction;
class QMenu;
class QUrl;

class QDockWidget;

namespace tarvik {

class CCondensedFileProperties;
class CImageryDisplays;
class CMainForm;
class CMyTarvikView;
class QtViewPort;
class QtLayoutWatcher;
class RecordListModel;

class PlotPane;
class RulesPaneWidget;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // `transport` is the label of the transport in use, "TCP" or "UDP".
    CMainFrame(SettingsStore& settings, const QString& transport, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CMyTarvikView& view() { return *view_; }
    QtViewPort& port() { return *port_; }
    CMainForm& form() { return *form_; }
    RecordListModel& recordModel() { return *model_; }
    CCondensedFileProperties& separatorDialog() { return *separatorDialog_; }
    // The imagery displays the view owns and the window draws.
    CImageryDisplays& imagery();
    // The watcher of the layout folders (main_window_layouts.cpp).
    QtLayoutWatcher& layoutWatcher() { return *layoutWatcher_; }

    // The menu entry of a command number (nullptr when there is none).
    QAction* commandAction(int command) const;
    // Runs a menu command as if it was chosen.
    void runCommand(int command);
    // Selects a row as the user would and brings it into sight.
    void selectRecordRow(std::size_t row);
    // Fills the record filter with the record types the view offers, ascending.
    void fillRecordFilter();

    // Record -> "Statistics": the counts per record type of the list's source.
    void showStatistics();
    // Record -> "Plot": the plot pane, docked under the lists (hidden until
    // asked for, and made only then: a window that never plots has no chart).
    PlotPane& plotPane();
    QDockWidget* plotDock() { return plotDock_; }
    // Record -> "Rules": the Rules pane, docked beside the plot (made when first shown).
    RulesPaneWidget& rulesPane();
    QDockWidget* rulesDock() { return rulesDock_; }
    // Opens a record file as the list's source (recent files, a dropped file).
    void openRecordFile(const QString& path);
    // What a drop on the window does: the first local file is read. False when there is none.
    bool openDroppedFiles(const QList<QUrl>& urls);
    // The window's size, splitter and column widths, kept in the settings.
    void saveLayout();
    void restoreLayout();

    // The smallest client area the window opens with; on a larger screen it
    // opens at nine tenths of the screen (then at the size it was left at).
    static constexpr int kClientWidth = 1060;
    static constexpr int kClientHeight = 600;
    QSize openingSize() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenu();
    QAction* addCommand(QMenu* menu, const QString& text, int command, bool available);
    void showAbout();
    void wireForm();
    void wireImagery();
    void echogramMenu(const QPoint& at);
    void fillRecentFiles();
    void addCopyMenus();
    void addColumnMenus();
    void wireRemotePanel();
    void playScript();
    // The Layouts menu, the watcher of the layout folders and what a reload refills.
    void wireLayouts();

    CMainForm* form_;
    std::unique_ptr<QtViewPort> port_;
    std::unique_ptr<CMyTarvikView> view_;
    RecordListModel* model_;
    CCondensedFileProperties* separatorDialog_ = nullptr;
    std::map<int, QAction*> commands_;
    bool closed_ = false;
    SettingsStore& settings_;
    QMenu* recentMenu_ = nullptr;
    QWidget* statistics_ = nullptr;
    bool closeAfterScript_ = false;
    QAction* stopScript_ = nullptr;
    PlotPane* plotPane_ = nullptr;
    QDockWidget* plotDock_ = nullptr;
    RulesPaneWidget* rulesPane_ = nullptr;
    QDockWidget* rulesDock_ = nullptr;
    QtLayoutWatcher* layoutWatcher_ = nullptr;
};

} // namespace tarvik
