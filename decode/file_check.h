#pragma once
// The whole-file check of a record file: walks every frame from the first byte
// to the last with bounded memory and collects what is wrong with it, frame by
// frame and across frames, together with the counts per record type.

#include "core/frame.h"
#include "core/record_statistics.h"
#include "decode/layout.h"
#include "decode/remote_definitions.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

enum class CheckProblemKind {
    Sync,           // no sync pattern where a frame should begin
    Size,           // a Size or Offset the frame cannot have
    Truncated,      // a frame, or a header, that runs past the end of the file
    Checksum,       // the flags claim a checksum and it does not match
    Layout,         // the layout walk ran out of data or met a bad string length
    UnknownType,    // no layout for the record type
    Catalog,        // the file catalog disagrees with the frames, or cannot be used
    PingGap,        // ping numbers skipped, by the record list's rule
    TimeBackwards,  // a device's time stamp earlier than its previous one
    Capture,        // a packet capture held a damaged packet, had a stream given up, or ended early
};
inline constexpr std::size_t kCheckProblemKinds = 10;

// The stable name of a kind ("sync", "ping-gap", ...), used in both outputs.
std::string_view checkProblemName(CheckProblemKind kind);

struct CheckProblem {
    CheckProblemKind kind{};
    std::uint64_t index = 0;   // position of the frame in the walk, from 0
    std::uint64_t offset = 0;  // byte offset in the file
    std::string text;
};

// The first problems of one kind and how many there were in all.
struct CheckProblemList {
    std::vector<CheckProblem> first;
    std::uint64_t count = 0;
};

struct FileCheckResult {
    std::string path;
    std::optional<std::string> unreadable;  // why the file could not be checked at all
    std::uint64_t fileBytes = 0;
    std::uint64_t frames = 0;               // frames walked
    bool hasCatalog = false;                // a usable file catalog was compared with the frames
    std::array<CheckProblemList, kCheckProblemKinds> problems;
    RecordStatistics statistics;

    std::uint64_t problemCount() const;
    bool clean() const { return !unreadable && problemCount() == 0; }
    const CheckProblemList& of(CheckProblemKind k) const { return problems[static_cast<std::size_t>(k)]; }
};

struct FileCheckOptions {
    bool walkLayouts = true;      // decode every frame through the layout catalogue
    std::size_t keepPerKind = 20; // problems kept per kind (the rest are counted)
    bool rememberWalks = true;    // replay the walk's outcome on records that walk alike
    // Read the next stretch of the file on a second thread while this one is
    // checked: for a caller with a core to spare (one file at a time).
    bool readAhead = false;
    // Files smaller than this are read on the one thread all the same: the
    // second thread's buffers are 2.5 MB of fresh memory, and touching those
    // pages costs more than the overlap saves until a file is many times their
    // size (a 1 MB file's check spent 140 more page faults on them than on its
    // whole read; a 50 MB file's check still took more time with them).
    std::uint64_t readAheadFrom = std::uint64_t{64} << 20;
};

// A frame the walk counts, as it passes: where it is, its header and its bytes
// when the walk held it whole (empty for a frame that runs past the end of the
// file or one too large to hold, which is streamed).
struct CheckedFrame {
    std::uint64_t index = 0;
    std::uint64_t offset = 0;
    FrameView header{ByteSpan{}};
    ByteSpan bytes;
};
// Lets a caller gather its own figures in the same pass over the file.
using CheckedFrameObserver = std::function<void(const CheckedFrame&)>;

// Checks record files. One checker serves one thread at a time; the catalogue
// and command definitions are only read and may be shared between checkers.
class FileChecker {
public:
    FileChecker(const LayoutCatalogue& catalogue, const RemoteCommandDefinitions& commands,
                FileCheckOptions options = {})
        : catalogue_(catalogue), commands_(commands), options_(options) {}

    FileCheckResult check(const std::string& path, const CheckedFrameObserver& observer = {}) const;
    const FileCheckOptions& options() const { return options_; }
    const LayoutCatalogue& catalogue() const { return catalogue_; }
    const RemoteCommandDefinitions& commands() const { return commands_; }

    // Frames above this size are checked by streaming their bytes (checksum
    // only, no layout walk), so that memory stays bounded whatever Size says.
    static constexpr std::uint64_t kMaxWholeFrame = std::uint64_t{64} << 20;

private:
    const LayoutCatalogue& catalogue_;
    const RemoteCommandDefinitions& commands_;
    FileCheckOptions options_;
};

// Checks frames handed over one by one as FileChecker::check checks the
// record file they make written back to back: the same findings at the same
// positions, without writing the file. A frame that such a walk would not
// read back as itself is refused (add returns false): one without the sync
// pattern, one whose Size is not its length (the walk would resync, or read
// on into the next frame), and a first frame that names a file catalog (the
// walk compares the catalog with the frames). The caller then writes that
// frame and every one after it to a file where they stand in the walk's file
// (from position() on) and hands it to checkRestOf, which walks it from there.
class FrameSequenceCheck {
public:
    explicit FrameSequenceCheck(const FileChecker& checker, CheckedFrameObserver observer = {});
    ~FrameSequenceCheck();
    FrameSequenceCheck(const FrameSequenceCheck&) = delete;
    FrameSequenceCheck& operator=(const FrameSequenceCheck&) = delete;

    // Whether add would take `frame`, the first one handed over or a later one.
    static bool takes(ByteSpan frame, bool first);
    // Checks one frame (the observer sees it first); false when it is refused,
    // and every add after that refuses too.
    bool add(ByteSpan frame);
    // The bytes of the frames taken: where the next frame stands.
    std::uint64_t position() const;
    // Walks the file at `path` from position() to its end; what it held
    // before position() is not read.
    void checkRestOf(const std::string& path);
    // The result, under `path`.
    FileCheckResult finish(std::string path);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The text summary tarvik-cli check prints for one file.
std::vector<std::string> checkSummaryLines(const FileCheckResult& result);

} // namespace tarvik
