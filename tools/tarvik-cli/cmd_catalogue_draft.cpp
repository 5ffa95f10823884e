// tarvik-cli catalogue --draft TYPE FILE... [--out FILE.yaml]: reads every
// record of TYPE in the files and writes a layout draft with a comment on
// each guess. Only statistics per byte position are kept, never the records.

#include "tools/tarvik-cli/cmd_catalogue_draft.h"

#include "app/tarvik_view.h"
#include "sources/open_source.h"
#include "core/record_file.h"
#include "core/text.h"
#include "core/whole_file_output.h"
#include "decode/layout_draft.h"
#include "tools/tarvik-cli/cli.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <cstdio>

namespace tarvik::cli {

namespace {

// Walks the frames of a record file in order, reading it in large pieces,
// and feeds those of the draft's type to it. Memory stays the same however
// many frames the file holds; damage is stepped over at the next frame.
void streamFrames(const RecordFile& file, LayoutDraft& draft) {
    constexpr std::size_t kPiece = 4u << 20;
    const std::uint64_t size = file.size();
    Bytes piece(kPiece);
    std::uint64_t pieceAt = 0;
    std::size_t held = 0;
    Bytes big;  // a frame larger than a piece
    for (std::uint64_t at = 0; at + kFrameHeaderSize <= size;) {
        if (at < pieceAt || at + kFrameHeaderSize > pieceAt + held) {
            pieceAt = at;
            held = file.readAt(at, piece);
            if (held < kFrameHeaderSize) return;
        }
        const ByteSpan header(piece.data() + (at - pieceAt), kFrameHeaderSize);
        const FrameView f(header);
        if (!f.isFrame() || f.size() < kFrameHeaderSize) {
            const std::optional<std::uint64_t> next = FindNextFrame(file, at);
            if (!next || *next <= at) return;
            at = *next;
            continue;
        }
        // Read before the piece may be read again below.
        const std::uint32_t frameLength = f.size();
        const std::uint64_t frameSize = std::min<std::uint64_t>(frameLength, size - at);
        if (f.recordType() == draft.recordType()) {
            if (at + frameSize <= pieceAt + held) {
                draft.add(ByteSpan(piece.data() + (at - pieceAt), frameSize));
            } else if (frameSize <= kPiece) {
                pieceAt = at;
                held = file.readAt(at, piece);
                draft.add(ByteSpan(piece.data(), std::min<std::uint64_t>(frameSize, held)));
            } else {
                big.resize(frameSize);
                big.resize(file.readAt(at, big));
                draft.add(big);
            }
        }
        at += frameLength;
    }
}

// Feeds the records of `type` of one record file (or capture) to the draft;
// false after a line on stderr when the file cannot be read, or when a
// capture could be read only in part (its records are still fed).
bool readFile(const std::string& path, LayoutDraft& draft) {
    bool whole = true;
    bool read = false;
    std::string note;
    // A capture's records are read from the record file it makes.
    const Result<void> done = readRecordsAsFile(path, CMyTarvikView::defaultCapturePorts(), [&](const std::string& records) {
        if (!note.empty()) {
            // The early end, each stream given up: said, and the status says it.
            std::fprintf(stderr, "tarvik-cli: %s\n", note.c_str());
            whole = false;
        }
        RecordFile file;
        if (!file.open(records)) {
            std::fprintf(stderr, "tarvik-cli: cannot read %s: %s\n", shownName(path).c_str(), file.lastError().c_str());
            return;
        }
        streamFrames(file, draft);
        read = true;
    }, note);
    if (!done) {
        std::fprintf(stderr, "tarvik-cli: cannot read %s: %s\n", shownName(path).c_str(), done.error().c_str());
        return false;
    }
    return read && whole;
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
    // The layouts (for a known record's title) load while the files are read.
    auto loading = std::async(std::launch::async, [] {
        const LayoutOptions& options = CMyTarvikView::layoutOptions();
        return loadLayouts(options.directory, options.userDirectory);
    });
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
    const LoadedDefinitions loaded = loading.get();
    const RecordKey key{kCatalogueProtocolVersion, kCatalogueRecordVersion, static_cast<std::int32_t>(type)};
    const std::string text = draft.yaml(type <= 0x7fffffffu ? loaded.catalogue.record(key).title : std::string{}, names);

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "%llu records of type %u read (%.1f MB of frames, %.2f s)\n",
                 static_cast<unsigned long long>(draft.records()), type, static_cast<double>(draft.bytes()) / 1e6,
                 seconds);
    if (!out) {
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else {
        const Result<void> written =
            writeWholeFile(*out, asBytes(text), force ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No);
        if (!written) {
            sayNotWritten(*out, written.error(), written.error() == "file exists");
            return kExitMessageShown;
        }
        std::printf("%s\n", shownName(*out).c_str());
    }
    return readAll ? kExitOk : kExitMessageShown;
}

} // namespace tarvik::cli
