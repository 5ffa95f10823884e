// The text outputs of the view: the current report appended to a text file,
// the dump of the rows in sight, the condensed copy of a record file, and
// printing the current report.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "app/text_output.h"
#include "core/text.h"

namespace tarvik {

using namespace text_output;

namespace {
constexpr int kCreateAttempts = 5;
constexpr std::size_t kWriteChunk = std::size_t{1} << 20;
} // namespace

// The output folder of the text outputs. When none has been chosen yet the
// folder browser asks for one (a cancelled browser ends the command).
std::optional<std::string> CMyTarvikView::textOutputFolder() {
    RegistryString folder(setting_names::kLastOutputDirectory, settings_);
    if (folder.Read().empty()) {
        auto chosen = port_.chooseFolder("");
        if (!chosen || chosen->empty()) return std::nullopt;
        folder = *chosen;
        folder.Write();
    }
    return withFolderSeparator(folder.value);
}

// Resolves a free name and creates it; a name another program takes between
// the two steps is given up for the next free one, never overwritten.
bool CMyTarvikView::createTextFile(const std::string& folder, const std::string& base, OutputFile& file) {
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const std::string name = ResolveTextOutputName(port_, folder, base, "txt");
        if (name.empty()) break;
        switch (file.create(name)) {
        case OutputFile::Created::Yes: return true;
        case OutputFile::Created::Exists: continue;
        case OutputFile::Created::Failed:
            port_.messageBox(strprintf("Could not create the text file %s: %s", name.c_str(), file.lastError().c_str()));
            return false;
        }
    }
    port_.messageBox(kNoName);
    return false;
}

bool CMyTarvikView::writeText(OutputFile& file, std::string_view text) {
    if (file.write(text)) return true;
    port_.messageBox(strprintf("Could not write to the text file %s: %s", file.path().c_str(), file.lastError().c_str()));
    return false;
}

void CMyTarvikView::OnWriteCurrentRecord() {
    std::string heading;
    if (textOutputName_.empty()) {
        std::string base;
        if (const std::string path = source_->path(); !path.empty()) {
            heading = std::string(kFileSourceHeading) + path + "\r\n";
            base = std::string(fileNameOf(path));
        } else if (communicating()) {
            base = "TARVIK_" + utcStamp(clock());
            heading = base;
        } else {
            return;  // nothing has been read or received yet
        }
        const auto folder = textOutputFolder();
        if (!folder || !createTextFile(*folder, base, textOutput_)) return;
        textOutputName_ = textOutput_.path();
    }

    std::string text;
    if (!heading.empty()) text += heading + "\r\n";
    for (const std::string& line : port_.reportListLines()) {
        text += line;
        text += "\r\n";
    }
    text += kRecordEnd;
    // A file that cannot be written to is ended; the next record starts a new one.
    if (!writeText(textOutput_, text)) endTextOutputFile();
}

void CMyTarvikView::OnCloseTextOutput() { endTextOutputFile(); }

void CMyTarvikView::endTextOutputFile() {
    textOutputName_.clear();
    textOutput_.close();
}

void CMyTarvikView::OnDumpAllShown() {
    if (refusedWhileScriptPlays()) return;
    lastWrittenTextFile_.clear();
    const auto folder = textOutputFolder();
    if (!folder) return;
    const std::string path = source_->path();
    const std::string base = !path.empty() ? recordFileBase(path) : "Tarvik_" + utcStamp(clock());
    OutputFile file;
    if (!createTextFile(*folder, base, file)) return;
    lastWrittenTextFile_ = file.path();

    const std::size_t rows = recordRowCount();
    auto [first, last] = port_.visibleRecordRows();
    if (rows == 0 || first >= rows) first = last = 0;
    else last = std::min(last, rows - 1);
    const std::size_t count = rows == 0 || first >= rows ? 0 : last - first + 1;
    // The rows in sight as they are now: records that arrive while the dump
    // runs (its progress keeps the window alive) neither drop nor shift them.
    const std::shared_ptr<const RecordSource> shown = source_->snapshot(first, count);

    unsigned long lines = 0;
    bool cancelled = false;
    // A dump that cannot be written whole leaves no file: the one it created is removed.
    auto fail = [&] {
        file.discard();
        lastWrittenTextFile_.clear();
    };
    std::string text = std::string(kLogBanner) + file.path() + "\r\n\r\n" + std::string(kDumpSummaryHeading);
    auto flushIfLarge = [&](bool always) {
        if (text.size() < kWriteChunk && !always) return true;
        bool ok = writeText(file, text);
        text.clear();
        return ok;
    };
    for (std::size_t r = 0; r < shown->rowCount(); ++r) {
        for (int column = 0; column < 3; ++column) {
            if (column > 0) text += '\t';
            text += shown->rowText(r, column);
        }
        text += "\r\n";
        ++lines;
        if (!flushIfLarge(false)) return fail();
    }
    text += kDetailsHeading;

    port_.beginProgress("Dump All Shown To Text File", shown->rowCount());
    for (std::size_t r = 0; r < shown->rowCount(); ++r) {
        if (r % 64 == 0 && !port_.stepProgress(r)) {
            cancelled = true;
            break;
        }
        // Each report is built here, not read back from the report list.
        if (const std::optional<Bytes> record = shown->rowRecord(r)) {
            for (const std::string& line : reportLinesOf(*record, shown->rowRecordNumber(r), shown->rowOrigin(r))) {
                text += line;
                text += "\r\n";
                ++lines;
            }
        }
        text += kRecordSeparator;
        if (!flushIfLarge(false)) {
            port_.endProgress();
            return fail();
        }
    }
    port_.endProgress();
    if (!flushIfLarge(true)) return fail();
    file.close();
    if (cancelled)
        port_.messageBox(strprintf("Cancelled: wrote %lu lines to the log file, %s, and kept them", lines,
                                   file.path().c_str()));
    else
        port_.messageBox(strprintf(kResultMessage, lines, file.path().c_str()));
}

void CMyTarvikView::OnCopyToCondensedFile() {
    if (refusedWhileScriptPlays()) return;
    lastWrittenTextFile_.clear();
    const IndexedRecordSource* source = indexed_.get();
    if (!source || !source->frameFile() || !source->frameFile()->isOpen()) {
        port_.messageBox("Apparently No Input File");
        return;
    }
    const auto folder = textOutputFolder();
    if (!folder) return;
    OutputFile file;
    if (!createTextFile(*folder, recordFileBase(source->path()), file)) return;
    lastWrittenTextFile_ = file.path();
    const std::string opening = std::string(kLogBanner) + file.path() + "\r\n\r\n" +
                                std::string(kCondensedSummaryHeading) + std::string(kCondensedLegend);
    auto fail = [&] {
        file.discard();
        lastWrittenTextFile_.clear();
    };
    if (!writeText(file, opening)) return fail();

    // Under a filter given as a value the condensed file holds the records it passes.
    RecordIndex kept;
    const RecordIndex* index = &source->index();
    if (filterValue_ && !filterValue_->showsEverything()) {
        for (std::size_t row = 0; row < source->rowCount(); ++row)
            if (const std::optional<std::size_t> position = source->rowFrame(row)) kept.push_back(source->index()[*position]);
        index = &kept;
    }
    port_.beginProgress("Copy File To Condensed File", index->size());
    const CondenseResult result = condenseRecords(
        *source->frameFile(), *index, dataSeparator_, pipeline_.lastPings(),
        [&](std::string_view piece) { return writeText(file, piece); },
        [&](std::size_t done, std::size_t) { return port_.stepProgress(done); });
    port_.endProgress();
    if (result.writeFailed) return fail();
    file.close();
    const auto lines = static_cast<unsigned long>(result.lines);
    if (result.cancelled)
        port_.messageBox(strprintf("Cancelled: wrote %lu lines to the log file, %s, and kept them", lines,
                                   file.path().c_str()));
    else
        port_.messageBox(strprintf(kResultMessage, lines, file.path().c_str()));
}

void CMyTarvikView::OnPrintRecord(bool preview) {
    port_.stopTimer(timers::kArrival);
    // The heading names the record: its source, record type and listed row.
    const std::vector<std::string> lines = port_.reportListLines();
    PrintHeading heading;
    if (!source_->live()) {
        const std::string path = source_->path();
        const std::size_t slash = path.find_last_of('/');
        heading.file = slash == std::string::npos ? path : path.substr(slash + 1);
    } else {
        heading.file = "Live records";
    }
    heading.recordType = reportRecordType(lines);
    heading.row = port_.selectedRecordRow();
    port_.printReport(lines, heading, preview);
    port_.startTimer(timers::kArrival, timers::kArrivalPeriodMs);
}

} // namespace tarvik
