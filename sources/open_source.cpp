#include "sources/open_source.h"

#include "capture/capture_file.h"
#include "capture/capture_reader.h"
#include "capture/capture_source.h"
#include "core/record_file_source.h"
#include "core/text.h"

#include <algorithm>
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
    // A source is opened for one reader at a time: a second core reads ahead.
    captureOptions.readAhead = std::thread::hardware_concurrency() > 1;
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

FileCheckResult checkRecordSource(const FileChecker& checker, const std::string& path,
                                  const std::vector<std::uint16_t>& capturePorts,
                                  const CheckedFrameObserver& observer, const CheckedTextObserver& textObserver) {
    if (!capture::isCaptureFile(path)) return checker.check(path, observer);
    // A capture's frames are checked as they are read, as the record file
    // they make would be; only frames that file would not read back as they
    // came are written to one. The text rows are handed over where they
    // stand among the frames. With a core to spare, the capture is read a
    // stretch ahead on a second thread.
    capture::CaptureRecordFile captured;
    capture::CaptureOptions options;
    options.ports = capturePorts;
    options.readAhead = checker.options().readAhead;
    options.readAheadFrom = checker.options().readAheadFrom;
    std::vector<std::pair<std::uint64_t, std::string>> texts;
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
    std::uint64_t frames = 0;
    capture::CaptureRecordFile::Sink sink;
    sink.frame = [&frames](const RecordIndexEntry&) { ++frames; };
    sink.bytes = [&checked](ByteSpan frame) { return checked.add(frame); };
    if (textObserver)
        sink.text = [&](std::string text, const capture::CaptureEntry&) { texts.emplace_back(frames, std::move(text)); };
    std::string message;
    const bool loaded = captured.load(path, options, sink, message);
    FileCheckResult result;
    if (!loaded) {
        result.path = path;
        result.unreadable = message;
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
