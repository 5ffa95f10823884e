#pragma once
// The window's side of the layout workbench: the "Layout Problems" pane under
// the report, the file-system watcher of the layout folders, and the command
// list that greys the commands whose parameters are not known.

#include "app/layout_watch.h"

#include <QFileSystemWatcher>
#include <QWidget>

#include <functional>
#include <span>
#include <string>

class QComboBox;
class QLabel;
class QListWidget;

namespace tarvik {

class CMyTarvikView;

// "Layout Problems": one "FILE:LINE: text" a line; hidden while there are none.
class CLayoutProblemsPane : public QWidget {
    Q_OBJECT
public:
    explicit CLayoutProblemsPane(QWidget* parent = nullptr);
    void setProblems(std::span<const std::string> lines);
    QStringList problems() const;
    QListWidget* list() const { return list_; }

private:
    QLabel* title_;
    QListWidget* list_;
};

// Watches the layout folders and files; every change goes to `changed`.
class QtLayoutWatcher : public QObject, public LayoutWatcher {
    Q_OBJECT
public:
    explicit QtLayoutWatcher(std::function<void()> changed, QObject* parent = nullptr);
    void watchPaths(const std::vector<std::string>& paths) override;
    QStringList watched() const;

private:
    QFileSystemWatcher watcher_;
    std::function<void()> changed_;
};

// Fills the remote-control command list from the view's panel; a command whose
// parameters are not known is greyed, with a tool tip that says so.
void fillCommandList(QComboBox* list, CMyTarvikView& view);
// The tool tip of such an entry.
inline constexpr const char* kParametersNotKnownTip =
    "Parameters not known: a layout file can describe them (see docs/layouts.md)";

} // namespace tarvik
