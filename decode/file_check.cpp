#include "decode/file_check.h"

#include "core/frame.h"
#include "core/file_window.h"
#include "core/ping_gaps.h"
#include "core/record_file.h"
#include "core/record_index.h"
#include "core/text.h"
#include "decode/report.h"
#include "decode/walk_memo.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace tarvik {

namespace {

constexpr std::string_view kNames[kCheckProblemKinds] = {
    "sync", "size", "truncated", "checksum", "layout", "unknown-type", "catalog", "ping-gap", "time-backwards", "capture"};

constexpr std::size_t kWindow = FileWindow::kWindow;
// 24 kB a batch: read into one buffer that stays under the allocator's
// mapping threshold, so it is not fresh pages (a fault each) for every batch.
constexpr std::size_t kCatalogBatch = 512;

class Collector {
public:
    Collector(FileCheckResult& r, std::size_t keep) : r_(r), keep_(keep) {}
    void add(CheckProblemKind kind, std::uint64_t index, std::uint64_t offset, std::string text) {
        CheckProblemList& list = r_.problems[static_cast<std::size_t>(kind)];
        if (list.first.size() < keep_) list.first.push_back({kind, index, offset, std::move(text)});
        ++list.count;
    }

private:
    FileCheckResult& r_;
    std::size_t keep_;
};

// The file catalog named by the file header record, read a batch at a time.
struct Catalog {
    std::uint64_t frameOffset = 0;
    std::uint64_t entriesAt = 0;
    std::uint64_t count = 0;
    Bytes batch;
    std::uint64_t batchFirst = 0;

    std::optional<RecordIndexEntry> entry(const RecordFile& file, std::uint64_t i) {
        if (i >= count) return std::nullopt;
        if (batch.empty() || i < batchFirst || i >= batchFirst + batch.size() / RecordIndexEntry::kSize) {
            const std::uint64_t n = std::min<std::uint64_t>(kCatalogBatch, count - i);
            batch.resize(static_cast<std::size_t>(n * RecordIndexEntry::kSize));
            batch.resize(file.readAt(entriesAt + i * RecordIndexEntry::kSize, batch));
            batchFirst = i;
            if (batch.size() < RecordIndexEntry::kSize) return std::nullopt;
        }
        const std::uint64_t at = (i - batchFirst) * RecordIndexEntry::kSize;
        if (!fits(batch.size(), at, RecordIndexEntry::kSize)) return std::nullopt;
        return RecordIndexEntry::fromBytes(ByteSpan(batch).subspan(static_cast<std::size_t>(at), RecordIndexEntry::kSize));
    }
};

// Reads the catalog pointer of a file header record. A file that does not
// claim a catalog has none; one that claims it and cannot be followed is a problem.
std::optional<Catalog> openCatalog(const RecordFile& file, std::uint64_t fileSize, Collector& problems) {
    std::array<std::uint8_t, kFrameHeaderSize> header{};
    if (file.readAt(0, header) != header.size()) return std::nullopt;
    const FrameView first(header);
    if (!first.isFrame() || first.recordType() != kFileHeaderRecordType ||
        first.optionalDataId() != kFileCatalogRecordType)
        return std::nullopt;
    auto fail = [&](std::string text) {
        problems.add(CheckProblemKind::Catalog, 0, 0, std::move(text));
        return std::nullopt;
    };
    std::array<std::uint8_t, 12> pointer{};
    if (first.optionalDataOffset() == 0 || file.readAt(first.optionalDataOffset(), pointer) != pointer.size())
        return fail("the file header record names a file catalog but holds no pointer to it");
    const auto size = readLEOr0<std::uint32_t>(pointer, 0);
    const auto offset = readLEOr0<std::uint64_t>(pointer, 4);
    if (size == 0 || offset == 0)
        return fail(strprintf("the file catalog pointer is unset (size %lu, offset %llu)", (unsigned long)size,
                              (unsigned long long)offset));
    if (file.readAt(offset, header) != header.size())
        return fail(strprintf("the file catalog pointer (offset %llu) lies past the end of the file",
                              (unsigned long long)offset));
    const FrameView catalog(header);
    if (!catalog.isFrame() || catalog.recordType() != kFileCatalogRecordType)
        return fail(strprintf("no file catalog record at offset %llu, where the file header record points",
                              (unsigned long long)offset));
    const std::uint64_t dataStart = offset + (catalog.offset() == 0 ? 64u : catalog.dataStart());
    std::array<std::uint8_t, 14> dataHeader{};
    if (file.readAt(dataStart, dataHeader) != dataHeader.size())
        return fail("the file catalog record ends before its record count");
    Catalog c;
    c.frameOffset = offset;
    c.count = readLEOr0<std::uint32_t>(dataHeader, 6);
    c.entriesAt = dataStart + dataHeader.size();
    if (!fits(fileSize, c.entriesAt, c.count * RecordIndexEntry::kSize))
        return fail(strprintf("the file catalog lists %llu records, more than the file can hold",
                              (unsigned long long)c.count));
    return c;
}

// Lines of the report that say the layout walk failed.
bool isLayoutProblemLine(std::string_view line) {
    return line == "Data exhausted" || line == "INSUFFICIENT DATA for specified repeats" ||
           line.starts_with(" Ran out of data in repeating blocks") || line.starts_with(kRefusedCountLead);
}

// Bytes the layout walk left between its last field and the checksum field
// that are not zero padding: the layout and the record disagree.
std::uint64_t undecodedBytes(ByteSpan frame, std::int64_t consumed) {
    const auto size = static_cast<std::int64_t>(frame.size());
    if (consumed < 0 || size - consumed <= 4) return 0;
    const ByteSpan rest = frame.subspan(static_cast<std::size_t>(consumed), static_cast<std::size_t>(size - consumed - 4));
    return allZero(rest) ? 0 : rest.size();
}

} // namespace

std::string_view checkProblemName(CheckProblemKind kind) { return kNames[static_cast<std::size_t>(kind)]; }

std::uint64_t FileCheckResult::problemCount() const {
    std::uint64_t n = 0;
    for (const auto& p : problems) n += p.count;
    return n;
}

namespace {

// What is checked of each frame, and what is remembered across frames (ping
// numbers, each device's last time, the layouts looked up). The walk over a
// file and the check of frames handed over one by one share it, so that both
// find the same.
class FrameChecks {
public:
    FrameChecks(const LayoutCatalogue& catalogue, const RemoteCommandDefinitions& commands,
                const FileCheckOptions& options, FileCheckResult& result)
        : catalogue_(catalogue), options_(options), r_(result), problems_(result, options.keepPerKind),
          reporter_(catalogue, commands), walks_(reporter_) {}

    Collector& problems() { return problems_; }

    // A frame whose header has the sync pattern and a Size no smaller than
    // the header: what is wrong with its Offset and optional data offset; it
    // is counted.
    void header(std::uint64_t k, std::uint64_t position, const FrameView& h) {
        const std::uint32_t size = h.size();
        if (h.offset() != 0 && h.dataStart() > size)
            problems_.add(CheckProblemKind::Size, k, position,
                          strprintf("Offset %u puts the data section past the frame's Size %lu", h.offset(),
                                    (unsigned long)size));
        if (h.optionalDataOffset() != 0 && h.optionalDataOffset() < kFrameHeaderSize)
            problems_.add(CheckProblemKind::Size, k, position,
                          strprintf("optional data offset %lu points into the header",
                                    (unsigned long)h.optionalDataOffset()));
        else if (h.optionalDataOffset() != 0 && !optionalDataOffsetInFrame(h))
            problems_.add(CheckProblemKind::Size, k, position,
                          strprintf("optional data offset %lu lies outside the frame (Size %lu)",
                                    (unsigned long)h.optionalDataOffset(), (unsigned long)size));
        time_ = h.time();
        seconds_ = timeSeconds_(time_);
        r_.statistics.add(h.recordType(), size, time_, seconds_.has_value(), 0.0);
        ++r_.frames;
    }

    // The checksum of a frame held whole.
    void checksumOf(std::uint64_t k, std::uint64_t position, const FrameView& h, ByteSpan frame) {
        if (!h.hasChecksum() || !roomForChecksum(k, position, h)) return;
        const auto end = static_cast<std::uint32_t>(frame.size() - 4);
        const std::uint32_t sum = computeChecksum(frame, end);
        const std::uint32_t field = readLEOr0<std::uint32_t>(frame, end);
        if (sum != field) checksumDiffers(k, position, h, field, sum, computeSignedChecksum(frame, end));
    }
    bool roomForChecksum(std::uint64_t k, std::uint64_t position, const FrameView& h) {
        if (h.size() >= kFrameHeaderSize + 4) return true;
        problems_.add(CheckProblemKind::Checksum, k, position, "the flags claim a checksum but the frame has no room for it");
        return false;
    }
    void checksumDiffers(std::uint64_t k, std::uint64_t position, const FrameView& h, std::uint32_t field,
                         std::uint32_t sum, std::uint32_t signedSum) {
        problems_.add(CheckProblemKind::Checksum, k, position,
                      strprintf("record type %lu: checksum field %u, calculated %u%s", (unsigned long)h.recordType(),
                                field, sum, signedSum == field ? " (the producer summed signed bytes)" : ""));
    }

    // The layout walk and the ping number of a frame held whole; the time
    // stamp of every frame counted.
    void contents(std::uint64_t k, std::uint64_t position, const FrameView& h, ByteSpan frame) {
        if (!frame.empty()) {
            if (options_.walkLayouts) walk(k, position, h, frame);
            if (isPingRecordType(h.recordType())) pingNumber(k, position, h, frame);
        }
        timeStamp(k, position, h);
    }

private:
    void walk(std::uint64_t k, std::uint64_t position, const FrameView& h, ByteSpan frame) {
        const std::uint32_t type = h.recordType();
        const Report& rep = options_.rememberWalks ? walks_.outcome(frame) : (walked_ = reporter_.walkOutcome(frame));
        const RecordKey key{h.protocolVersion() ? h.protocolVersion() : kCatalogueProtocolVersion,
                            h.recordVersion() ? h.recordVersion() : kCatalogueRecordVersion,
                            static_cast<std::int32_t>(type)};
        const KnownKey layout = layoutOf(key);
        if (!layout.has) {
            problems_.add(CheckProblemKind::UnknownType, k, position,
                          strprintf("record type %lu (protocol %u, record version %u) has no layout",
                                    (unsigned long)type, h.protocolVersion(), h.recordVersion()));
            return;
        }
        bool walkFailed = false;
        for (const std::string& line : rep.lines) {
            if (!isLayoutProblemLine(line)) continue;
            problems_.add(CheckProblemKind::Layout, k, position,
                          strprintf("record type %lu: %s", (unsigned long)type,
                                    std::string(line.starts_with(' ') ? line.substr(1) : line).c_str()));
            walkFailed = true;
            break;
        }
        if (const std::uint64_t left = walkFailed || layout.titleOnly ? 0 : undecodedBytes(frame, rep.consumed))
            problems_.add(CheckProblemKind::Layout, k, position,
                          strprintf("record type %lu: %llu bytes after the last field are not decoded "
                                    "(the walk ended at byte %lld of %lu)",
                                    (unsigned long)type, (unsigned long long)left, (long long)rep.consumed,
                                    (unsigned long)frame.size()));
        for (const std::string& message : rep.messages)
            problems_.add(CheckProblemKind::Layout, k, position,
                          strprintf("record type %lu: %s", (unsigned long)type, message.c_str()));
    }

    // Ping numbers: the u32 behind the 8-byte sonar serial number.
    void pingNumber(std::uint64_t k, std::uint64_t position, const FrameView& h, ByteSpan frame) {
        const auto ping = pingNumberOf(frame);
        if (!ping) return;
        if (auto last = pingGaps_.next(h.recordType(), h.deviceId(), h.systemEnumerator(), *ping))
            problems_.add(CheckProblemKind::PingGap, k, position,
                          strprintf("record type %lu, device %lu, enumerator %u: ping %u after ping %u "
                                    "(%u missing)",
                                    (unsigned long)h.recordType(), (unsigned long)h.deviceId(), h.systemEnumerator(),
                                    *ping, *last, *ping - *last - 1u));
    }

    // Time stamps per device.
    void timeStamp(std::uint64_t k, std::uint64_t position, const FrameView& h) {
        if (!seconds_ || uninitialisedMarker(h.timeBytes())) return;
        const double t = *seconds_;
        // Frames come in long runs from one device: its entry is remembered.
        const std::pair<std::uint32_t, std::uint32_t> device{h.deviceId(), h.systemEnumerator()};
        bool fresh = false;
        if (lastTimeAt_ == lastTime_.end() || lastTimeAt_->first != device)
            std::tie(lastTimeAt_, fresh) = lastTime_.try_emplace(device, t, k);
        if (fresh) return;
        auto& last = lastTimeAt_->second;
        if (t < last.first)
            problems_.add(CheckProblemKind::TimeBackwards, k, position,
                          strprintf("device %lu, enumerator %u: time %s is %.3f s before frame %llu's",
                                    (unsigned long)h.deviceId(), h.systemEnumerator(),
                                    formatDateTime(time_).value_or("?").c_str(), last.first - t,
                                    (unsigned long long)last.second));
        last = {t, k};
    }

    // Whether a key has a layout, looked up once per key of the run (the
    // catalogue does not change while a file is checked).
    // A layout that has a title only lists no fields: its record's bytes are
    // not known, which says nothing about the record (the summary names such types).
    struct KnownKey {
        RecordKey key;
        bool has = false;
        bool titleOnly = false;
    };
    KnownKey layoutOf(const RecordKey& key) {
        for (const KnownKey& known : knownKeys_)
            if (known.key == key) return known;
        const RecordDescription& layout = catalogue_.record(key);
        const KnownKey known{key, !layout.title.empty(), layout.items.empty()};
        if (knownKeys_.size() < 64) knownKeys_.push_back(known);
        return known;
    }

    const LayoutCatalogue& catalogue_;
    const FileCheckOptions& options_;
    FileCheckResult& r_;
    Collector problems_;
    RecordReporter reporter_;
    WalkMemo walks_;
    Report walked_;
    std::vector<KnownKey> knownKeys_;
    PingGapTracker pingGaps_;
    using Device = std::pair<std::uint32_t, std::uint32_t>;
    std::map<Device, std::pair<double, std::uint64_t>> lastTime_;
    std::map<Device, std::pair<double, std::uint64_t>>::iterator lastTimeAt_ = lastTime_.end();
    VxTimeSecondsCache timeSeconds_;
    // Of the frame being checked.
    VxTIME time_{};
    std::optional<double> seconds_;
};

// Walks `file` from byte `from` (frame `k`) to its end. Only a walk from the
// first byte compares the file catalog, which the first frame names.
void walkFile(FrameChecks& checks, FileCheckResult& r, const RecordFile& file, std::uint64_t position,
              std::uint64_t k, const FileCheckOptions& options, const CheckedFrameObserver& observer) {
    const std::uint64_t fileSize = file.size();
    r.fileBytes = fileSize;
    Collector& problems = checks.problems();
    if (fileSize == 0) {
        problems.add(CheckProblemKind::Truncated, 0, 0, "the file is empty: it holds no frame");
        return;
    }
    std::optional<Catalog> catalog;
    if (position == 0) catalog = openCatalog(file, fileSize, problems);
    r.hasCatalog = catalog.has_value();

    FileWindow window(file, fileSize, options.readAhead && fileSize - position >= options.readAheadFrom);
    std::array<std::uint8_t, kFrameHeaderSize> largeHeader{};  // of a frame above kMaxWholeFrame, never held whole
    std::optional<std::uint64_t> catalogSeenAt;
    std::uint64_t framesBeforeCatalog = 0;

    while (position < fileSize && !window.cutShort()) {
        const std::uint64_t remaining = fileSize - position;
        if (remaining < kFrameHeaderSize) {
            problems.add(CheckProblemKind::Truncated, k, position,
                         strprintf("%llu bytes after the last frame, too few for a frame header",
                                   (unsigned long long)remaining));
            break;
        }
        // Read in place; reading the frame may move the window, and `h` then
        // moves to the frame's own header bytes.
        FrameView h(window.view(position, kFrameHeaderSize));
        auto resync = [&](std::uint64_t from, std::string what) {
            auto next = FindNextFrame(file, from);
            if (next)
                what += strprintf("; %llu bytes skipped to the next sync pattern at byte %llu",
                                  (unsigned long long)(*next - position), (unsigned long long)*next);
            else
                what += "; no further frame in the file";
            return std::make_pair(next, std::move(what));
        };
        if (h.syncPattern() != kSyncPattern) {
            auto [next, text] = resync(position, strprintf("no sync pattern (found 0x%08lX)",
                                                           (unsigned long)h.syncPattern()));
            problems.add(CheckProblemKind::Sync, k, position, std::move(text));
            if (!next) break;
            position = *next;
            continue;
        }
        const std::uint32_t size = h.size();
        if (size < kFrameHeaderSize) {
            auto [next, text] = resync(position, strprintf("Size %lu is smaller than the frame header",
                                                           (unsigned long)size));
            problems.add(CheckProblemKind::Size, k, position, std::move(text));
            if (!next) break;
            position = *next;
            continue;
        }
        checks.header(k, position, h);
        const std::uint32_t type = h.recordType();
        if (size > remaining) {
            if (observer) observer({k, position, h, {}});
            problems.add(CheckProblemKind::Truncated, k, position,
                         strprintf("record type %lu of Size %lu runs %llu bytes past the end of the file",
                                   (unsigned long)type, (unsigned long)size,
                                   (unsigned long long)(size - remaining)));
            break;
        }

        // Checksum, and the contents of frames held whole.
        ByteSpan frame;
        if (size <= FileChecker::kMaxWholeFrame) {
            frame = window.view(position, size);
            if (frame.size() != size) {
                if (observer) observer({k, position, h, {}});
                problems.add(CheckProblemKind::Truncated, k, position, "the frame could not be read whole");
                break;
            }
            h = FrameView(frame);
            if (observer) observer({k, position, h, frame});
            checks.checksumOf(k, position, h, frame);
        } else {
            // Streamed in pieces: the header is kept apart, the signed sum taken alongside.
            const ByteSpan held = h.bytes();
            std::copy(held.begin(), held.end(), largeHeader.begin());
            h = FrameView(largeHeader);
            if (observer) observer({k, position, h, frame});
            if (h.hasChecksum() && checks.roomForChecksum(k, position, h)) {
                std::uint32_t sum = 0, signedSum = 0;
                for (std::uint64_t at = 0; at < size - 4u;) {
                    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, size - 4u - at));
                    const ByteSpan part = window.view(position + at, n);
                    sum += computeChecksum(part, part.size());
                    signedSum += computeSignedChecksum(part, part.size());
                    at += n;
                }
                std::array<std::uint8_t, 4> tail{};
                file.readAt(position + size - 4u, tail);
                const std::uint32_t field = readLEOr0<std::uint32_t>(tail, 0);
                window.shrink();
                if (sum != field) checks.checksumDiffers(k, position, h, field, sum, signedSum);
            }
        }
        checks.contents(k, position, h, frame);

        // The catalog against the walked frames.
        if (catalog) {
            if (type == kFileCatalogRecordType && !catalogSeenAt) {
                catalogSeenAt = position;
                framesBeforeCatalog = k;
            } else if (auto e = catalog->entry(file, k)) {
                const char* field = e->offset() != position                            ? "offset"
                                    : e->size() != size                                ? "size"
                                    : e->recordType() != static_cast<std::uint16_t>(type) ? "record type"
                                    : e->deviceId() != static_cast<std::uint16_t>(h.deviceId()) ? "device"
                                    : e->systemEnumerator() != h.systemEnumerator()    ? "enumerator"
                                    : e->recordCounter() != h.recordCounter()          ? "record counter"
                                                                                       : nullptr;
                if (field)
                    problems.add(CheckProblemKind::Catalog, k, position,
                                 strprintf("catalog entry %llu differs in its %s (catalog: type %u, size %lu at "
                                           "byte %llu)",
                                           (unsigned long long)k + 1, field, e->recordType(), (unsigned long)e->size(),
                                           (unsigned long long)e->offset()));
            }
        }

        if (size > kWindow) window.shrink();  // memory a large frame took goes back
        position += size;
        ++k;
    }
    if (window.cutShort()) {
        // What was read from the vanished part read as zeros: the last frame's
        // findings and the catalog's cannot be trusted, and the walk ends here.
        problems.add(CheckProblemKind::Truncated, k, position,
                     strprintf("the file was cut short to %llu bytes by another program while it was checked",
                               (unsigned long long)file.size()));
        return;
    }

    if (catalog) {
        if (!catalogSeenAt)
            problems.add(CheckProblemKind::Catalog, k, position, "the walk did not reach the file catalog record");
        else if (*catalogSeenAt != catalog->frameOffset)
            problems.add(CheckProblemKind::Catalog, framesBeforeCatalog, *catalogSeenAt,
                         strprintf("the file catalog record is at byte %llu, the file header record points at %llu",
                                   (unsigned long long)*catalogSeenAt, (unsigned long long)catalog->frameOffset));
        else if (framesBeforeCatalog != catalog->count)
            problems.add(CheckProblemKind::Catalog, framesBeforeCatalog, *catalogSeenAt,
                         strprintf("the file catalog lists %llu records, %llu frames precede it",
                                   (unsigned long long)catalog->count, (unsigned long long)framesBeforeCatalog));
    }
}

} // namespace

FileCheckResult FileChecker::check(const std::string& path, const CheckedFrameObserver& observer) const {
    FileCheckResult r;
    r.path = path;
    RecordFile file;
    if (!file.open(path)) {
        r.unreadable = file.lastError();
        return r;
    }
    FrameChecks checks(catalogue_, commands_, options_, r);
    walkFile(checks, r, file, 0, 0, options_, observer);
    return r;
}

// ---- Frames handed over one by one -----------------------------------------

// On cache lines of its own: a reader on another thread may be writing next to it.
struct alignas(128) FrameSequenceCheck::State {
    State(const FileChecker& c, CheckedFrameObserver o)
        : options(c.options()), checks(c.catalogue(), c.commands(), options, result), observer(std::move(o)) {}
    FileCheckOptions options;
    FileCheckResult result;
    FrameChecks checks;
    CheckedFrameObserver observer;
    std::uint64_t position = 0;
    std::uint64_t frames = 0;
    bool refused = false;   // a frame was refused: the rest come from a file
    bool fromFile = false;  // the rest were walked in a file
};

FrameSequenceCheck::FrameSequenceCheck(const FileChecker& checker, CheckedFrameObserver observer)
    : state_(std::make_unique<State>(checker, std::move(observer))) {}

FrameSequenceCheck::~FrameSequenceCheck() = default;

std::uint64_t FrameSequenceCheck::position() const { return state_->position; }

bool FrameSequenceCheck::takes(ByteSpan frame, bool first) {
    // What the walk of the file would not read back as this frame alone: a
    // header without the sync pattern or with a Size other than the bytes
    // (the walk would then resync, or read into the next frame), and a first
    // frame that names a file catalog (the walk compares it with the frames).
    const FrameView h(frame);
    return h.isFrame() && h.size() == frame.size() &&
           !(first && h.recordType() == kFileHeaderRecordType && h.optionalDataId() == kFileCatalogRecordType);
}

bool FrameSequenceCheck::add(ByteSpan frame) {
    State& s = *state_;
    if (s.refused || !takes(frame, s.frames == 0)) {
        s.refused = true;
        return false;
    }
    const FrameView h(frame);
    const std::uint64_t k = s.frames, position = s.position;
    s.checks.header(k, position, h);
    // A frame above the largest the walk holds whole is only summed.
    const ByteSpan held = frame.size() <= FileChecker::kMaxWholeFrame ? frame : ByteSpan{};
    if (s.observer) s.observer({k, position, held.empty() ? FrameView(frame.first(kFrameHeaderSize)) : h, held});
    s.checks.checksumOf(k, position, h, frame);
    s.checks.contents(k, position, h, held);
    s.position += frame.size();
    ++s.frames;
    return true;
}

void FrameSequenceCheck::checkRestOf(const std::string& path) {
    State& s = *state_;
    s.refused = s.fromFile = true;
    RecordFile file;
    if (!file.open(path)) {
        s.result.unreadable = file.lastError();
        return;
    }
    walkFile(s.checks, s.result, file, s.position, s.frames, s.options, s.observer);
}

FileCheckResult FrameSequenceCheck::finish(std::string path) {
    State& s = *state_;
    if (!s.fromFile) {
        s.result.fileBytes = s.position;
        if (s.frames == 0) s.checks.problems().add(CheckProblemKind::Truncated, 0, 0, "the file is empty: it holds no frame");
    }
    s.result.path = std::move(path);
    return std::move(s.result);
}

std::vector<std::string> checkSummaryLines(const FileCheckResult& r) {
    std::vector<std::string> lines;
    lines.push_back(r.path);
    if (r.unreadable) {
        lines.push_back("  cannot be checked: " + *r.unreadable);
        return lines;
    }
    lines.push_back(strprintf("  %llu frame%s, %llu byte%s%s", (unsigned long long)r.frames, r.frames == 1 ? "" : "s",
                              (unsigned long long)r.fileBytes, r.fileBytes == 1 ? "" : "s",
                              r.hasCatalog ? ", with a file catalog" : ""));
    auto timeText = [](const std::optional<VxTIME>& t) {
        return t ? formatDateTime(*t).value_or("-") : std::string("-");
    };
    lines.push_back("  first time " + timeText(r.statistics.firstTime()) + ", last time " +
                    timeText(r.statistics.lastTime()));
    for (const std::string& row : r.statistics.tableLines()) lines.push_back("  " + row);
    if (r.problemCount() == 0) {
        lines.emplace_back("  no problems found");
        return lines;
    }
    lines.push_back(strprintf("  %llu problem%s:", (unsigned long long)r.problemCount(), r.problemCount() == 1 ? "" : "s"));
    for (std::size_t kind = 0; kind < kCheckProblemKinds; ++kind) {
        const CheckProblemList& list = r.problems[kind];
        if (list.count == 0) continue;
        const std::string name(checkProblemName(static_cast<CheckProblemKind>(kind)));
        for (const CheckProblem& p : list.first)
            lines.push_back(strprintf("    %s: frame %llu at byte %llu: %s", name.c_str(),
                                      (unsigned long long)p.index, (unsigned long long)p.offset, p.text.c_str()));
        if (list.count > list.first.size())
            lines.push_back(strprintf("    %s: %llu more", name.c_str(),
                                      (unsigned long long)(list.count - list.first.size())));
    }
    return lines;
}

} // namespace tarvik
