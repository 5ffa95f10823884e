// The window's Layouts menu and the live reload of layout files: the watcher
// reports changes to the view logic, which reloads once they pause; the
// window then refills what it built from the catalogue.

#include "app/controls.h"
#include "app/qt/check_combo_box.h"
#include "app/qt/layout_workbench.h"
#include "app/qt/main_form.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_view_port.h"
#include "app/tarvik_view.h"

#include <QComboBox>
#include <QMenu>
#include <QMenuBar>

namespace tarvik {

void CMainFrame::wireLayouts() {
    // The report ends with the line on undecoded bytes; the bytes pane shades them.
    view_->reportCoverage = true;

    QMenu* layouts = new QMenu("Layouts", this);
    const QList<QAction*> top = menuBar()->actions();
    menuBar()->insertMenu(top.isEmpty() ? nullptr : top.last(), layouts);  // before Help
    connect(layouts->addAction("Open Layouts Folder"), &QAction::triggered, this,
            [this] { view_->OnOpenLayoutsFolder(); });
    QAction* reload = layouts->addAction("Reload Layouts");
    reload->setShortcut(QKeySequence(Qt::Key_F5));
    reload->setShortcutContext(Qt::ApplicationShortcut);
    connect(reload, &QAction::triggered, this, [this] { view_->OnReloadLayouts(); });

    view_->layoutsReloaded = [this] {
        CCheckComboBox* filter = form_->recordFilter();
        const QString chosen = filter->text();
        fillRecordFilter();
        filter->setJoinedText(chosen);
        if (auto* list = qobject_cast<QComboBox*>(form_->control(controls::kRemoteCommand))) fillCommandList(list, *view_);
        // A record type the filter named has gone: the list follows the filter as it is now.
        if (filter->text() != chosen) view_->OnRecordFilterClosed();
    };
    layoutWatcher_ = new QtLayoutWatcher([this] { view_->OnLayoutFilesChanged(); }, this);
    view_->setLayoutWatcher(layoutWatcher_);
}

} // namespace tarvik
