// The Layouts menu and the live reload of layout definition files: a saved
// file changes the catalogue, and with it the record filter, the selected
// record's report and the shading of its undecoded bytes, without a restart.

#include "app/controls.h"
#include "app/tarvik_view.h"

#include <filesystem>
#include <system_error>

namespace tarvik {

namespace {

// The built-in files are parsed once per process; each reload starts from a
// copy and adds only the user's files.
LoadedDefinitions loadAgain(const LayoutOptions& options) {
    static const LayoutLoader builtIn = [] {
        LayoutLoader loader;
        loader.addBuiltIn();
        return loader;
    }();
    LayoutLoader loader(builtIn);
    if (options.userDirectory) {
        const std::string user = userLayoutDirectory();
        if (!user.empty()) loader.addDirectory(user);
    }
    if (!options.directory.empty()) loader.addDirectory(options.directory, true);
    return loader.finish();
}

} // namespace

std::vector<std::string> CMyTarvikView::layoutFolders() const {
    std::vector<std::string> folders;
    const LayoutOptions& options = layoutOptions();
    if (options.userDirectory)
        if (std::string user = userLayoutDirectory(); !user.empty()) folders.push_back(std::move(user));
    if (!options.directory.empty()) folders.push_back(options.directory);
    return folders;
}

void CMyTarvikView::OnOpenLayoutsFolder() {
    const std::string folder = userLayoutDirectory();
    if (folder.empty()) {
        port_.messageBox("There is no layouts folder: neither XDG_CONFIG_HOME nor HOME is set");
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        port_.messageBox("Cannot make the layouts folder " + folder + ": " + ec.message());
        return;
    }
    // The folder is watched from now on, also when it did not exist before.
    if (layoutWatcher_) layoutWatcher_->watchPaths(layoutWatchPaths(layoutFolders()));
    port_.showFolder(folder);
}

void CMyTarvikView::OnReloadLayouts() { layoutWatch_.reloadNow(); }

void CMyTarvikView::setLayoutWatcher(LayoutWatcher* watcher) {
    layoutWatcher_ = watcher;
    if (layoutWatcher_) layoutWatcher_->watchPaths(layoutWatchPaths(layoutFolders()));
}

void CMyTarvikView::showLayoutProblems() {
    layoutProblemLines_.clear();
    for (const LayoutProblem& p : definitions_.problems) layoutProblemLines_.push_back(p.message());
    for (std::string& problem : checkLayoutCatalogue(catalogue_)) layoutProblemLines_.push_back(std::move(problem));
    port_.setLayoutProblems(layoutProblemLines_);
}

void CMyTarvikView::reloadLayouts() {
    // A script holds the command list while it plays: the reload waits for it.
    if (scriptRunning_) {
        layoutWatch_.changed();
        return;
    }
    readRemoteFields();
    LoadedDefinitions loaded = loadAgain(layoutOptions());
    // The catalogues are replaced in place: the reporter and the panel refer to them.
    catalogue_ = std::move(loaded.catalogue);
    definitions_ = std::move(loaded);
    remoteCommands_ = remote::remoteCommandCatalogue(definitions_);
    remotePanel_.refreshCommandLines();
    showLayoutProblems();
    recompileFilter();
    columns_.recompile(catalogue_);
    port_.setRecordColumns(columns_.titles());
    reportedLines_.clear();  // its walked items named the old catalogue's items
    // The files may have come or gone: watch what there is now.
    if (layoutWatcher_) layoutWatcher_->watchPaths(layoutWatchPaths(layoutFolders()));
    if (layoutsReloaded) layoutsReloaded();
    showRemoteFields();
    // The selected record is reported again under the new catalogue.
    if (const auto row = port_.selectedRecordRow(); row && *row < recordRowCount()) OnRowSelectionChanged(*row);
}

void CMyTarvikView::noteCoverage(Report& report, ByteSpan entry) {
    coverage_ = recordCoverage(entry, walkedFields_);
    if (reportCoverage) report.lines.push_back(coverageLine(coverage_));
}

} // namespace tarvik
