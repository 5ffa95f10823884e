#include "sources/open_source.h"

#include "capture/capture_file.h"
#include "capture/capture_reader.h"
#include "capture/capture_source.h"
#include "core/record_file_source.h"
#include "core/text.h"

#include <algorithm>
#include <cstring>

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

// A capture's frames laid end to end, as the record file they make, read
// where they lie: a frame in one packet from the mapped capture, one put
// together from several from its copy. No file of them is written.
class CapturedFrames final : public FrameBytes {
public:
    CapturedFrames(const capture::CaptureRecordFile& capture, const RecordIndex& index)
        : capture_(capture), index_(index) {
        if (!index.empty()) size_ = index[index.size() - 1].offset() + index[index.size() - 1].size();
    }

    std::uint64_t size() const override { return size_; }

    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        std::size_t done = 0;
        Bytes scratch;
        for (std::size_t q = frameAt(offset); q < index_.size() && done < out.size(); ++q) {
            const RecordIndexEntry& e = index_[q];
            const ByteSpan frame = capture_.frameBytes(q, e, scratch);
            const std::uint64_t from = offset + done - e.offset();
            if (from >= frame.size()) break;
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(frame.size() - from, out.size() - done));
            std::memcpy(out.data() + done, frame.data() + from, n);
            done += n;
        }
        return done;
    }

    ByteSpan view(std::uint64_t offset, std::size_t count) override {
        // Most views lie in one frame: its bytes are handed out where they are.
        const std::size_t q = frameAt(offset);
        if (q < index_.size()) {
            const RecordIndexEntry& e = index_[q];
            if (offset - e.offset() + count <= e.size())
                return capture_.frameBytes(q, e, frameScratch_).subspan(static_cast<std::size_t>(offset - e.offset()), count);
        }
        const std::uint64_t left = offset < size_ ? size_ - offset : 0;
        scratch_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(count, left)));
        scratch_.resize(readAt(offset, scratch_));
        return scratch_;
    }

    bool cutShort() const override { return capture_.cutShort(); }

private:
    // The frame that holds byte `offset` (index_.size() past the end); the
    // walk goes from frame to frame, so the last one found is tried first.
    std::size_t frameAt(std::uint64_t offset) const {
        if (offset >= size_) return index_.size();
        for (std::size_t q = last_; q < index_.size() && q < last_ + 2; ++q)
            if (offset >= index_[q].offset() && offset - index_[q].offset() < index_[q].size()) return last_ = q;
        std::size_t low = 0, high = index_.size();
        while (high - low > 1) {
            const std::size_t middle = low + (high - low) / 2;
            (index_[middle].offset() <= offset ? low : high) = middle;
        }
        return last_ = low;
    }

    const capture::CaptureRecordFile& capture_;
    const RecordIndex& index_;
    std::uint64_t size_ = 0;
    mutable std::size_t last_ = 0;
    Bytes scratch_, frameScratch_;
};

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
    // A capture's frames are checked as the record file they make, read
    // where they lie (no file of them is written); the text rows are handed
    // on where they stand among the frames.
    capture::CaptureRecordFile captured;
    captured.leaveFramesInCapture = true;
    RecordIndex index;
    std::vector<std::pair<std::uint64_t, std::string>> texts;
    capture::CaptureRecordFile::Sink sink;
    sink.frame = [&index](const RecordIndexEntry& entry) { index.push_back(entry); };
    if (textObserver)
        sink.text = [&](std::string text, const capture::CaptureEntry&) { texts.emplace_back(index.size(), std::move(text)); };
    std::string message;
    capture::CaptureOptions options;
    options.ports = capturePorts;
    FileCheckResult result;
    if (!captured.load(path, options, sink, message)) {
        result.path = path;
        result.unreadable = message;
        return result;
    }
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
    captured.forgetTemporaryFile();
    CapturedFrames frames(captured, index);
    result = checker.check(path, frames, both);
    if (textObserver) textsBefore(UINT64_MAX);
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
