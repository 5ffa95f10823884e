#include "sources/open_source.h"

#include "capture/capture_file.h"
#include "capture/capture_reader.h"
#include "capture/capture_source.h"
#include "core/record_file_source.h"
#include "core/text.h"
#include "sources/frame_relay.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace tarvik {

namespace {

Result<OpenedSource> openLive(std::string_view rest) {
    // ADDRESS[:PORT]; an IPv6 address is not taken (the connection speaks IPv4).
    const std::size_t colon = rest.rfind(':');
    LiveAddress live;
    live.address = std::string(rest.substr(0, colon));
    if (colon != std::string_view::npos) live.port = std::string(rest.substr(colon + 1));
    if (live.address.empty()) return failure("no server address in " + std::string(kLiveScheme) + std::string(rest));
    if (colon != std::string_view::npos &&
        (live.port.empty() || !std::all_of(live.port.begin(), live.port.end(), [](char c) { return c >= '0' && c <= '9'; })))
        return failure("the port of " + std::string(kLiveScheme) + std::string(rest) + " is not a number");
    OpenedSource out;
    out.live = std::move(live);
    return out;
}

Result<OpenedSource> openCapture(const std::string& path, const SourceOptions& options) {
    auto capture = std::make_shared<capture::CaptureRecordSource>();
    capture->setFilter(options.filter);
    capture::CaptureOptions captureOptions;
    captureOptions.ports = options.capturePorts;
    std::string message;
    if (!capture->build(path, captureOptions, message)) return failure(message);
    OpenedSource out;
    out.captureNote = std::move(message);
    // Damaged packets are rows of the list, not records: a caller that
    // sees only the records is told they were there.
    if (const std::uint64_t damaged = capture->capture().counts().damaged; damaged > 0)
        out.damagedPackets = strprintf("the capture %s holds %llu damaged packet%s (not record frames), "
                                       "left out of its records",
                                       shownName(path).c_str(), static_cast<unsigned long long>(damaged),
                                       damaged == 1 ? "" : "s");
    // So are records whose bytes never came (a stream's gap, a datagram missing).
    if (const std::uint64_t lost = capture->capture().lostPackets(); lost > 0)
        out.lostPackets = strprintf("the capture %s lost %llu record%s whose bytes never all came "
                                    "(\"TEXT Lost Packet\" in its list), left out of its records",
                                    shownName(path).c_str(), static_cast<unsigned long long>(lost), lost == 1 ? "" : "s");
    out.source = std::move(capture);
    return out;
}

Result<OpenedSource> openRecordFile(const std::string& path, const SourceOptions& options) {
    auto file = std::make_shared<FileRecordSource>();
    if (!file->open(path)) return failure(file->openFailure(path));  // the window's text
    file->setFilter(options.filter);
    OpenedSource out;
    out.damage = file->build(options.readPastDamage);
    out.catalogDisagreement = file->catalogDisagreement();
    out.canReadPastDamage = out.damage && !options.readPastDamage && file->file().size() >= kFrameHeaderSize;
    out.cutFrame = file->cutFrameMessage();
    out.source = std::move(file);
    return out;
}

} // namespace

std::vector<std::string> OpenedSource::warnings() const {
    std::vector<std::string> out;
    if (!catalogDisagreement.empty()) out.push_back(catalogDisagreement);
    if (damage) out.push_back(*damage);
    if (cutFrame) out.push_back(*cutFrame);
    // One warning per line: the early end, each stream given up.
    for (std::size_t at = 0; at < captureNote.size();) {
        const std::size_t end = std::min(captureNote.find('\n', at), captureNote.size());
        out.push_back(captureNote.substr(at, end - at));
        at = end + 1;
    }
    if (damagedPackets) out.push_back(*damagedPackets);
    if (lostPackets) out.push_back(*lostPackets);
    return out;
}

Result<OpenedSource> openSource(const std::string& what, const SourceOptions& options) {
    if (what.starts_with(kLiveScheme)) return openLive(std::string_view(what).substr(kLiveScheme.size()));
    if (capture::isCaptureFile(what)) return openCapture(what, options);
    return openRecordFile(what, options);
}

namespace {

// A capture read for its check. What the reader writes for every frame has
// cache lines of its own: when it runs on a second thread, a write next to
// what the checking thread reads would take the line from the other core
// each time.
struct alignas(128) CaptureReading {
    capture::CaptureRecordFile captured;
    capture::CaptureRecordFile::Sink sink;
    capture::CaptureOptions options;
    std::string message;
    bool loaded = false;
    bool handing = true;       // frames still go to the check, not to a file
    std::uint64_t frames = 0;  // frames read so far
};
using TextRows = std::vector<std::pair<std::uint64_t, std::string>>;

// Reads the capture on a second thread, which hands the frames over in
// chunks while this one checks them.
void checkOnTwoThreads(CaptureReading& r, const std::string& path, FrameSequenceCheck& checked, TextRows* texts) {
    FrameRelay relay;
    r.sink.bytes = [&relay, &r](ByteSpan frame) {
        r.handing = r.handing && FrameSequenceCheck::takes(frame, r.frames == 1);
        if (r.handing) relay.addFrame(frame);
        return r.handing;
    };
    if (texts)
        r.sink.text = [&relay, &r](std::string text, const capture::CaptureEntry&) { relay.addText(text, r.frames); };
    std::thread reader([&relay, &r, &path] {
        try {
            r.loaded = r.captured.load(path, r.options, r.sink, r.message);
            relay.close();
        } catch (...) {
            relay.close(std::current_exception());
        }
    });
    // However this side ends, the reader is let go and waited for.
    const struct Join {
        FrameRelay& relay;
        std::thread& reader;
        ~Join() {
            relay.abandon();
            reader.join();
        }
    } join{relay, reader};
    while (const FrameRelay::Chunk* chunk = relay.next())
        for (const FrameRelay::Item& item : chunk->items) {
            if (item.text)
                texts->emplace_back(item.framesBefore, std::string(chunk->textOf(item)));
            else if (!checked.add(chunk->of(item)))
                throw std::logic_error("a frame the reader handed over was refused");
        }
}

} // namespace

FileCheckResult checkRecordSource(const FileChecker& checker, const std::string& path,
                                  const std::vector<std::uint16_t>& capturePorts,
                                  const CheckedFrameObserver& observer, const CheckedTextObserver& textObserver) {
    if (!capture::isCaptureFile(path)) return checker.check(path, observer);
    // A capture's frames are checked as they are read, as the record file
    // they make would be; only frames that file would not read back as they
    // came are written to one. The text rows are handed over where they
    // stand among the frames.
    const auto reading = std::make_unique<CaptureReading>();
    CaptureReading& r = *reading;
    r.options.ports = capturePorts;
    TextRows texts;
    std::size_t nextText = 0;
    auto textsBefore = [&](std::uint64_t frame) {
        for (; nextText < texts.size() && texts[nextText].first <= frame; ++nextText)
            textObserver(texts[nextText].first, texts[nextText].second);
    };
    CheckedFrameObserver both = observer;
    if (textObserver)
        both = [&](const CheckedFrame& f) {
            textsBefore(f.index);
            if (observer) observer(f);
        };
    FrameSequenceCheck checked(checker, both);
    r.sink.frame = [&r](const RecordIndexEntry&) { ++r.frames; };
    std::error_code sizeError;
    const std::uintmax_t captureSize = std::filesystem::file_size(path, sizeError);
    if (checker.options().readAhead && !sizeError && captureSize >= checker.options().readAheadFrom) {
        checkOnTwoThreads(r, path, checked, textObserver ? &texts : nullptr);
    } else {
        r.sink.bytes = [&checked](ByteSpan frame) { return checked.add(frame); };
        if (textObserver)
            r.sink.text = [&](std::string text, const capture::CaptureEntry&) { texts.emplace_back(r.frames, std::move(text)); };
        r.loaded = r.captured.load(path, r.options, r.sink, r.message);
    }
    const capture::CaptureRecordFile& captured = r.captured;
    FileCheckResult result;
    if (!r.loaded) {
        result.path = path;
        result.unreadable = r.message;
        return result;
    }
    if (captured.loaded()) checked.checkRestOf(captured.temporaryPath());
    if (textObserver) textsBefore(UINT64_MAX);
    result = checked.finish(path);
    // What the capture itself lost is a problem of the file like a broken
    // frame; a capture cut short is checked as far as it goes.
    CheckProblemList& list = result.problems[static_cast<std::size_t>(CheckProblemKind::Capture)];
    for (const capture::CaptureProblem& p : captured.problems())
        if (list.first.size() < checker.options().keepPerKind)
            list.first.push_back({CheckProblemKind::Capture, p.framesBefore, p.offset, p.text});
    list.count += captured.problemCount();
    // Records whose bytes never all came are lost as surely as a damaged
    // packet: the check must not call such a capture clean.
    if (const std::uint64_t lost = captured.lostPackets(); lost > 0) {
        if (list.first.size() < checker.options().keepPerKind)
            list.first.push_back({CheckProblemKind::Capture, result.frames, 0,
                                  strprintf("%llu record%s %s (\"TEXT Lost Packet\" in the list), left out of the records checked",
                                            static_cast<unsigned long long>(lost), lost == 1 ? "" : "s",
                                            std::string(kRecordsNeverAllCame).c_str())});
        ++list.count;
    }
    return result;
}

Result<void> readRecordsAsFile(const std::string& path, const std::vector<std::uint16_t>& capturePorts,
                               const std::function<void(const std::string& recordFile)>& use, std::string& note) {
    note.clear();
    if (!capture::isCaptureFile(path)) {
        use(path);
        return success();
    }
    capture::CaptureRecordFile captured;
    RecordIndex index;
    capture::CaptureOptions options;
    options.ports = capturePorts;
    std::string message;
    if (!captured.load(path, options, index, message)) return failure(message);
    note = std::move(message);
    use(captured.temporaryPath());
    return success();
}

} // namespace tarvik
