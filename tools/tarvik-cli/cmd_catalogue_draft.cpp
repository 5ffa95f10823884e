// tarvik-cli catalogue --draft TYPE FILE... [--out FILE.yaml]: reads every
// record of TYPE in the files and writes a layout draft with a comment on
// each guess. Only statistics per byte position are kept, never the records.

#include "tools/tarvik-cli/cmd_catalogue_draft.h"

#include "app/tarvik_view.h"
#include "capture/capture_file.h"
#include "core/record_file.h"
#include "core/text.h"
#include "core/whole_file_output.h"
#include "decode/layout_draft.h"
#include "tools/tarvik-cli/cli.h"

#include <chrono>
#include <cstdio>

namespace tarvik::cli {

namespace {

// Feeds the records of `type` of one record file (or capture) to the draft;
// false after a line on stderr when the file cannot be read.
bool readFile(const std::string& path, LayoutDraft& draft) {
    RecordFile file;
    RecordIndex index;
    capture::CaptureRecordFile captured;
    std::string path2 = path;
    if (capture::isCaptureFile(path)) {
        std::string message;
        capture::CaptureOptions options;
        options.ports = CMyTarvikView::defaultCapturePorts();
        if (!captured.load(path, options, index, message)) {
            std::fprintf(stderr, "tarvik-cli: cannot read %s: %s\n", shownName(path).c_str(), message.c_str());
            return false;
        }
        path2 = captured.temporaryPath();
        if (!file.open(path2)) {
            std::fprintf(stderr, "tarvik-cli: cannot read %s: %s\n", shownName(path).c_str(), file.lastError().c_str());
            return false;
        }
    } else {
        if (!file.open(path)) {
            std::fprintf(stderr, "tarvik-cli: cannot read %s: %s\n", shownName(path).c_str(), file.lastError().c_str());
            return false;
        }
        // Damage is stepped over: a draft wants every record there is.
        if (auto message = ScanFramesPastDamage(file, index, [](std::uint64_t, std::uint64_t) {}); message) {
            std::fprintf(stderr, "tarvik-cli: cannot read %s: %s\n", shownName(path).c_str(), message->c_str());
            return false;
        }
    }
    Bytes frame;
    const auto typeInIndex = static_cast<std::uint16_t>(draft.recordType());
    for (std::size_t i = 0; i < index.size(); ++i) {
        const RecordIndexEntry& entry = index[i];
        if (entry.recordType() != typeInIndex) continue;
        frame.resize(entry.size());
        frame.resize(file.readAt(entry.offset(), frame));
        draft.add(frame);
    }
    return true;
}

} // namespace

int runCatalogueDraft(std::uint32_t type, const std::vector<std::string>& files, const std::optional<std::string>& out,
                      bool force) {
    if (files.empty()) {
        std::fprintf(stderr, "tarvik-cli: --draft needs the record files to read (FILE...)\n");
        return kExitUsage;
    }
    if (out && !outputAllowed(*out, files, force)) return kExitMessageShown;
    const auto started = std::chrono::steady_clock::now();
    LayoutDraft draft(type);
    bool readAll = true;
    std::vector<std::string> names;
    for (const std::string& f : files) {
        readAll = readFile(f, draft) && readAll;
        names.push_back(shownName(f));
    }
    if (draft.records() == 0) {
        std::fprintf(stderr, "tarvik-cli: no record of type %u in %s\n", type,
                     files.size() == 1 ? shownName(files.front()).c_str() : "the files given");
        return kExitMessageShown;
    }
    // A known record keeps its title: the draft replaces its layout whole.
    const LayoutOptions& options = CMyTarvikView::layoutOptions();
    const LoadedDefinitions loaded = loadLayouts(options.directory, options.userDirectory);
    const RecordKey key{kCatalogueProtocolVersion, kCatalogueRecordVersion, static_cast<std::int32_t>(type)};
    const std::string text = draft.yaml(type <= 0x7fffffffu ? loaded.catalogue.record(key).title : std::string{}, names);

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "%llu records of type %u read (%.1f MB of frames, %.2f s)\n",
                 static_cast<unsigned long long>(draft.records()), type, static_cast<double>(draft.bytes()) / 1e6,
                 seconds);
    if (!out) {
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else {
        std::string error;
        if (!writeWholeFile(*out, asBytes(text), force ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No,
                            error)) {
            sayNotWritten(*out, error, error == "file exists");
            return kExitMessageShown;
        }
        std::printf("%s\n", shownName(*out).c_str());
    }
    return readAll ? kExitOk : kExitMessageShown;
}

} // namespace tarvik::cli
