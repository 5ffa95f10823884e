// The file source of the record list: reading a record file into the list.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/text.h"

#include <chrono>

namespace tarvik {

namespace {
constexpr std::size_t kPreloadWindow = 1000;
constexpr std::uint32_t kPreloadTypes[] = {7000, 7001, 7004};
// The echogram's rows, and how far into the index its preload looks for them.
constexpr std::size_t kEchogramRows = 512, kEchogramWindow = 20000;
constexpr std::uint32_t kSideScan = 7007;
} // namespace

void CMyTarvikView::OnReadVxFile() {
    port_.setRedraw(controls::kRecordList, true);
    fileSourceMode_ = true;
    stopVolatileConnections();
    stopWritingOutputFile();

    RegistryString lastFile(setting_names::kLastVxFileRead, settings_);
    std::string initial = recordFileName_;
    if (initial.empty()) initial = lastFile.Read();
    if (initial.find(".vxr") == std::string::npos) initial += "*.vxr";

    OpenFileRequest request;
    request.defaultExtension = "vxr";
    request.filter = "VX Files (*.vxr)|*.vxr||";
    request.initialName = initial;
    request.readOnly = true;
    request.pathMustExist = true;
    request.fileMustExist = true;
    OpenFileResult chosen = port_.openFile(request);
    if (chosen.status == OpenFileResult::Status::Failed) {
        request.initialName.clear();
        chosen = port_.openFile(request);
    }
    if (chosen.status != OpenFileResult::Status::Chosen) {
        fileSourceMode_ = false;
        // The list leaves the file: it must not keep rows nobody answers for.
        port_.setRecordRowCount(recordRowCount());
        return;
    }
    openRecordFile(chosen.path);
}

bool CMyTarvikView::openRecordFile(const std::string& path) {
    fileSourceMode_ = true;
    if (path == recordFileName_ && !recordIndex_.empty()) {
        // Already indexed. A cancelled dialog in between emptied the list, so
        // the rows are given back rather than left blank.
        port_.setRecordRowCount(recordRowCount());
        return true;
    }

    recordFileName_ = path;
    RegistryString lastFile(setting_names::kLastVxFileRead, settings_);
    lastFile = path;
    lastFile.Write();

    recordFile_.close();
    if (!recordFile_.open(path)) {
        // The fixed text, then why on a line of its own: what the path is when
        // it is not a regular file, otherwise the system's reason.
        std::string text = strprintf("could not open the specified file %s", shownName(path).c_str());
        if (!recordFile_.lastError().empty()) text += "\n" + recordFile_.lastError();
        port_.messageBox(text);
        fileSourceMode_ = false;
        recordIndex_.clear();
        port_.setRecordRowCount(recordRowCount());
        return false;
    }
    recentFiles_.add(path);
    port_.setWaitCursor(true);
    LoadRecordFile();
    endTextOutputFile();
    showRecordFileInTitle(path);
    port_.setWaitCursor(false);
    return true;
}

void CMyTarvikView::showRecordFileInTitle(const std::string& path) {
    std::string title = port_.title();
    title = title.substr(0, title.find_first_of(" -\r\n"));
    port_.setTitle(title + " - Reading " + path);
}

void CMyTarvikView::LoadRecordFile() {
    if (!recordFile_.isOpen() || !fileSourceMode_) return;

    recordIndex_.clear();
    shownRows_.clear();
    allShown_ = false;
    pipeline_.clear();
    if (imageryEnabled && resetImagery) resetImagery();

    std::optional<std::string> problem;
    std::string catalogProblem;
    if (!ReadCatalog(recordFile_, recordIndex_, &catalogProblem)) {
        if (!catalogProblem.empty()) port_.messageBox(catalogProblem);
        problem = ScanFrames(recordFile_, recordIndex_);
    }
    if (problem) port_.messageBox(*problem);

    if (recordIndex_.empty()) {
        port_.setRecordRowCount(0);
        port_.setReportLines({});
    }
    preloadImagery();

    const std::string filter = port_.text(controls::kRecordFilter);
    port_.setRedraw(controls::kRecordList, false);
    port_.setRedraw(controls::kReportList, false);
    port_.setRecordRowCount(0);
    port_.setReportLines({});

    if (filter == kAllRecords) {
        allShown_ = true;
    } else {
        for (std::size_t i = 0; i < recordIndex_.size(); ++i)
            if (passesRecordFilter(filter, recordIndex_[i].recordType()))
                shownRows_.push_back(static_cast<std::uint32_t>(i));
    }

    port_.setRedraw(controls::kRecordList, true);
    port_.setRedraw(controls::kReportList, true);
    port_.setRecordRowCount(recordRowCount());
}

void CMyTarvikView::preloadImagery() {
    bool found[std::size(kPreloadTypes)] = {};
    std::size_t remaining = std::size(kPreloadTypes);
    const std::size_t window = std::min(recordIndex_.size(), kPreloadWindow);
    for (std::size_t i = 0; i < window && remaining > 0; ++i) {
        const RecordIndexEntry& entry = recordIndex_[i];
        for (std::size_t t = 0; t < std::size(kPreloadTypes); ++t) {
            if (found[t] || entry.recordType() != kPreloadTypes[t]) continue;
            found[t] = true;
            --remaining;
            Bytes frame = ReadFrame(recordFile_, entry);
            if (imageryEnabled && displayRecord)
                displayRecord({entry.deviceId(), entry.systemEnumerator(), entry.recordType()}, frame);
        }
    }
    if (!imageryEnabled || !echogramRecord) return;
    std::size_t lines = 0;
    for (std::size_t i = 0; i < recordIndex_.size() && i < kEchogramWindow && lines < kEchogramRows; ++i) {
        const RecordIndexEntry& entry = recordIndex_[i];
        if (entry.recordType() != kSideScan) continue;
        ++lines;
        echogramRecord({entry.deviceId(), entry.systemEnumerator(), entry.recordType()}, ReadFrame(recordFile_, entry));
    }
}

std::string CMyTarvikView::rowText(std::size_t row, int column) const {
    if (!fileSourceMode_) return pipeline_.rowText(row, column);
    if (row >= recordRowCount()) return {};
    const std::size_t position = shownIndexPosition(row);
    const RecordIndexEntry& entry = recordIndex_[position];
    switch (column) {
    case 0: return strprintf("%hu", entry.recordType());
    case 1: return strprintf("%lu bytes", static_cast<unsigned long>(entry.size()));
    case 2: return strprintf("%d", static_cast<int>(position));
    default: return {};
    }
}

std::optional<Bytes> CMyTarvikView::rowRecord(std::size_t row) const {
    if (!fileSourceMode_) {
        const ListedEntry* entry = pipeline_.row(row);
        if (!entry) return std::nullopt;
        return entry->bytes();
    }
    if (row >= recordRowCount()) return std::nullopt;
    return ReadFrame(recordFile_, recordIndex_[shownIndexPosition(row)]);
}

} // namespace tarvik

namespace tarvik {

double CMyTarvikView::statisticsClock() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

RecordStatistics CMyTarvikView::sourceStatistics() const {
    if (!fileSourceMode_) return liveStatistics_;
    RecordStatistics s;
    for (std::size_t i = 0; i < recordIndex_.size(); ++i) {
        const RecordIndexEntry& e = recordIndex_[i];
        s.add(e.recordType(), e.size(), e.time());
    }
    return s;
}

} // namespace tarvik
