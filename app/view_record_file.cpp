// The file source of the record list: reading a record file into the list.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/text.h"
#include "sources/open_source.h"

#include <chrono>

namespace tarvik {

namespace {
// The second button of the message that stops a file's list at a broken frame.
constexpr std::string_view kReadPastDamage = "Read Past Damage";
// The second button of the question asked before a file replaces a live connection.
constexpr std::string_view kStopAndRead = "Stop And Read";
// The window's title without what follows its name (" - Reading ...").
std::string titleBase(const std::string& title) { return title.substr(0, title.find_first_of(" -\r\n")); }
} // namespace

void CMyTarvikView::setSource(std::shared_ptr<RecordSource> source) {
    source_ = std::move(source);
    indexed_.reset();
    comparison_.reset();  // it was of the file shown before
    // Live entries are listed only while the list shows them.
    pipeline_.listing = source_->live();
}

void CMyTarvikView::setIndexedSource(std::shared_ptr<IndexedRecordSource> source) {
    setSource(source);
    indexed_ = std::move(source);
}

void CMyTarvikView::useLiveSource() {
    if (!source_ || !source_->live()) setSource(std::make_shared<LiveRecordSource>(pipeline_, liveStatistics_));
    pipeline_.listing = true;
}

const RecordIndex& CMyTarvikView::recordIndex() const {
    static const RecordIndex kNone;
    return indexed_ ? indexed_->index() : kNone;
}

void CMyTarvikView::OnReadVxFile() {
    if (refusedWhileScriptPlays()) return;
    port_.setRedraw(controls::kRecordList, true);
    // Nothing live is listed while the dialog is up.
    pipeline_.listing = false;
    stopVolatileConnections();
    stopWritingOutputFile();

    RegistryString lastFile(setting_names::kLastVxFileRead, settings_);
    std::string initial = recordFileName_;
    if (initial.empty()) initial = lastFile.Read();
    // A remembered record file or capture is offered again; otherwise the folder with the pattern.
    const auto endsWith = [&](std::string_view ending) {
        return initial.size() >= ending.size() && initial.compare(initial.size() - ending.size(), ending.size(), ending) == 0;
    };
    if (initial.find(".vxr") == std::string::npos && !endsWith(".pcap") && !endsWith(".pcapng")) initial += "*.vxr";

    OpenFileRequest request = readFileRequest("vxr", std::string(kReadVxFileFilter), initial);
    OpenFileResult chosen = port_.openFile(request);
    if (chosen.status == OpenFileResult::Status::Failed) {
        request.initialName.clear();
        chosen = port_.openFile(request);
    }
    if (chosen.status != OpenFileResult::Status::Chosen) {
        // The list leaves the file: it must not keep rows nobody answers for.
        setSource(std::make_shared<LiveRecordSource>(pipeline_, liveStatistics_));
        port_.setRecordRowCount(recordRowCount());
        return;
    }
    openRecordFile(chosen.path);
}

bool CMyTarvikView::openRecordFile(const std::string& path) {
    // Every way of opening a file (the menu, the recent files, a file dropped
    // on the window, the command line) ends live communication first; the
    // menu's dialog has already done so, the others ask here.
    if (refusedWhileScriptPlays() || !stoppedLiveForFile(path)) return false;
    if (path == recordFileName_ && source_->path() == path && source_->rowCount() + recordIndex().size() > 0) {
        // Already indexed: the rows are given back rather than read again.
        pipeline_.listing = false;
        port_.setRecordRowCount(recordRowCount());
        return true;
    }

    recordFileName_ = path;
    RegistryString lastFile(setting_names::kLastVxFileRead, settings_);
    lastFile = path;
    lastFile.Write();
    return loadSource(path, true);
}

bool CMyTarvikView::loadSource(const std::string& path, bool opening) {
    SourceOptions options;
    options.capturePorts = capturePorts;
    options.readPastDamage = readPastDamage;
    options.filter = recordFilter();
    port_.setWaitCursor(true);
    Result<OpenedSource> opened = openSource(path, options);
    port_.setWaitCursor(false);
    if (opened && opened->live) {
        // A server named where a file was expected: the connection connects it.
        port_.setText(controls::kAddress, opened->live->address);
        if (!opened->live->port.empty()) port_.setText(controls::kPort, opened->live->port);
        OnStartCommunicating();
        return connection_.connected();
    }
    if (!opened) {
        port_.messageBox(opened.error());
        setSource(std::make_shared<LiveRecordSource>(pipeline_, liveStatistics_));
        port_.setRecordRowCount(recordRowCount());
        return false;
    }
    setIndexedSource(opened->source);
    if (opening) recentFiles_.add(path);
    pipeline_.clear();

    // A catalog that disagrees with its frames is not used: say so before anything else.
    if (!opened->catalogDisagreement.empty()) port_.messageBox(opened->catalogDisagreement);
    if (opened->damage) {
        // The message that stops the list at a broken frame offers to read on
        // past the damage (an empty or too short file has nothing to go on to).
        if (!opened->canReadPastDamage) {
            port_.messageBox(*opened->damage);
        } else if (port_.messageBoxOffering(*opened->damage, kReadPastDamage)) {
            options.readPastDamage = true;
            port_.setWaitCursor(true);
            Result<OpenedSource> past = openSource(path, options);
            port_.setWaitCursor(false);
            if (past && past->source) {
                opened = std::move(past);
                setIndexedSource(opened->source);
                if (opened->damage) port_.messageBox(*opened->damage);
            } else if (!past) {
                port_.messageBox(past.error());
            }
        }
    }
    // A file cut off inside its last frame lists that frame, marked, and says so once.
    if (opened->cutFrame) port_.messageBox(*opened->cutFrame);
    // A capture that ends early lists what it held, and says so.
    if (!opened->captureNote.empty()) port_.messageBox(opened->captureNote);

    if (indexed_->index().empty()) {
        port_.setRecordRowCount(0);
        port_.setReportLines({});
    }
    // The shown source's first records reach the pictures through the
    // pipeline, as live records do.
    pipeline_.replay(*indexed_);

    port_.setRedraw(controls::kRecordList, false);
    port_.setRedraw(controls::kReportList, false);
    port_.setRecordRowCount(0);
    port_.setReportLines({});
    port_.setRedraw(controls::kRecordList, true);
    port_.setRedraw(controls::kReportList, true);
    port_.setRecordRowCount(recordRowCount());
    if (opening) {
        endTextOutputFile();
        showRecordFileInTitle(path);
    }
    return true;
}

bool CMyTarvikView::stoppedLiveForFile(const std::string& path) {
    if (!connection_.connected()) return true;
    const std::string question = "Reading " + shownName(path.substr(path.find_last_of('/') + 1)) +
                                 " Stops Live Communication" +
                                 (outputWriter_.writing() ? " And Closes The Vx Output File" : "");
    if (!port_.messageBoxOffering(question, kStopAndRead)) return false;
    stopVolatileConnections();
    stopWritingOutputFile();
    return true;
}

// " - Reading PATH" once the file is listed, kept while it is shown: the
// window's established title for a record file.
void CMyTarvikView::showRecordFileInTitle(const std::string& path) {
    port_.setTitle(titleBase(port_.title()) + " - Reading " + path);
}

void CMyTarvikView::LoadRecordFile() {
    if (indexed_) loadSource(indexed_->path(), false);
}

void CMyTarvikView::drawShownRowsInEchogram() { pipeline_.replayForEchogram(*source_); }

} // namespace tarvik

namespace tarvik {

double CMyTarvikView::statisticsClock() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

RecordStatistics CMyTarvikView::sourceStatistics() const { return source_->statistics(); }

} // namespace tarvik
