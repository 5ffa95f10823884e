// The arrival pipeline: from the receiver's queue to the record list, the
// history and the subscribers, once per tick of the arrival timer.

#include "pipeline/arrival_pipeline.h"

#include "core/frame.h"
#include "core/record_file.h"
#include "core/text.h"

#include <algorithm>
#include <cstdlib>

namespace tarvik {

namespace {

constexpr std::string_view kPauseWord = "PAUSE";
constexpr std::uint32_t kNotForImagery[] = {7012, 7017};
// What a shown source hands the sector first: settings, configuration, geometry.
constexpr std::uint32_t kReplayedSettings[] = {7000, 7001, 7004};
constexpr std::uint32_t kSideScan = 7007, kBeamData = 7008;

bool contains(ByteSpan bytes, std::string_view word) {
    return std::search(bytes.begin(), bytes.end(), word.begin(), word.end()) != bytes.end();
}

bool oneOf(std::uint32_t type, std::span<const std::uint32_t> types) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

SharedBytes textEntry(std::string_view text) { return std::make_shared<const Bytes>(text.begin(), text.end()); }
bool isPauseWord(const Bytes& entry) { return std::string_view(reinterpret_cast<const char*>(entry.data()), entry.size()) == kPauseWord; }

} // namespace

CArrivalPipeline::CArrivalPipeline(PipelineDisplay& display) : display_(display) {}

CArrivalPipeline::Subscription CArrivalPipeline::subscribe(Subscriber subscriber) {
    const SubscriberId id = nextSubscriber_++;
    subscribers_.push_back({id, std::move(subscriber), true});
    return Subscription(this, id);
}

void CArrivalPipeline::unsubscribe(SubscriberId id) {
    const auto it = std::find_if(subscribers_.begin(), subscribers_.end(), [id](const auto& s) { return s.id == id; });
    if (it == subscribers_.end()) return;
    if (delivering_ > 0) {
        // The entry may be the one being called: erase it after the delivery.
        it->active = false;
        removedWhileDelivering_ = true;
        return;
    }
    subscribers_.erase(it);
}

void CArrivalPipeline::dropRemoved() {
    removedWhileDelivering_ = false;
    std::erase_if(subscribers_, [](const SubscriberEntry& s) { return !s.active; });
}

std::size_t CArrivalPipeline::subscriberCount() const {
    return static_cast<std::size_t>(
        std::count_if(subscribers_.begin(), subscribers_.end(), [](const SubscriberEntry& s) { return s.active; }));
}

void CArrivalPipeline::OnArrivalTimer() {
    batch_.clear();
    batchWritten_ = false;
    if (takePending) batch_ = takePending();
    std::size_t batchBytes = 0;
    for (const Bytes& entry : batch_) batchBytes += entry.size();
    busyTicks_ = batchBytes >= busyBatchBytes ? kBusyTicks : std::max(busyTicks_ - 1, 0);
    if (!batch_.empty()) {
        if (running_) {
            display_.stopArrivalTimer();
            ProcessArrivedRecords();
            batch_.clear();
        } else {
            // The list skips what arrives during a pause; the output file must not lose it.
            writeWhilePaused();
        }
    }
    display_.startArrivalTimer(arrivalPeriod());
}

void CArrivalPipeline::released(std::size_t bytes) {
    if (releaseTaken) releaseTaken(bytes);
}

bool CArrivalPipeline::passes(const RecordFilter& filter, const Bytes& frame) const { return filter.passes(frame); }

void CArrivalPipeline::writeWhilePaused() {
    if (batchWritten_) return;
    const RecordFilter& filter = filter_;
    for (const Bytes& entry : batch_)
        if (FrameView(entry).isFrame() && passes(filter, entry)) notify(&Subscriber::passed, entry);
    batchWritten_ = true;
}

void CArrivalPipeline::ProcessArrivedRecords() {
    if (!listing) {
        // The list shows another source, but the live stream goes on: its
        // sinks (the statistics, an output file being written) still get every
        // frame, so that nothing that arrives is lost to them. Only the list,
        // its history and the imagery, which show the other source, skip it.
        const RecordFilter& filter = filter_;
        for (Bytes& entry : batch_) {
            if (FrameView(entry).isFrame()) {
                notify(&Subscriber::arrived, entry);
                if (!batchWritten_ && passes(filter, entry)) notify(&Subscriber::passed, entry);
            }
            const std::size_t size = entry.size();
            Bytes().swap(entry);
            released(size);
        }
        batch_.clear();
        batchWritten_ = false;
        return;
    }
    const RecordFilter& filter = filter_;
    removedThisRun_ = 0;
    listedThisRun_ = false;
    const std::size_t count = batch_.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t size = batch_[i].size();
        processEntry(std::move(batch_[i]), filter);
        released(size);
    }
    batch_.clear();
    if (budgetLineDue_) {
        budgetLineDue_ = false;
        const SharedBytes line = textEntry(strprintf("TEXT Rows Left The List Early, It Holds At Most %zu MB Of Records",
                                                     byteBudget / (1024 * 1024)));
        keep(line, 0);
        appendShown(line, 0);
    }
    batchWritten_ = false;
    if (listedThisRun_) refreshList();
}

void CArrivalPipeline::processEntry(Bytes bytes, const RecordFilter& filter) {
    if (bytes.empty()) return;
    const SharedBytes entry = std::make_shared<const Bytes>(std::move(bytes));
    const FrameView frame(*entry);
    const bool isFrame = frame.isFrame();
    // Pause lines are listed by Continue itself. Only text lines are matched:
    // a frame whose data happens to hold these bytes is a record like any other.
    if (!isFrame && contains(*entry, kPauseWord)) return;
    if (!isFrame) {
        // Receiver lines ("TEXT Lost Packet", dropped records) and anything else
        // that is not a frame: listed as text whatever the filter.
        keep(entry, 0);
        appendShown(entry, 0);
        return;
    }

    const std::uint32_t number = nextNumber_++;
    notify(&Subscriber::arrived, *entry);
    keep(entry, number);
    const std::uint32_t type = frame.recordType();
    if (!filter.passes(*entry, {number, nullptr})) return;

    if (isPingRecordType(type)) {
        if (auto ping = pingNumberOf(*entry)) {
            if (auto last = pingGaps_.next(type, frame.deviceId(), frame.systemEnumerator(), *ping)) {
                display_.pingDropped();
                appendShown(textEntry(strprintf("! ! ! %u DROPPED PING AFTER # %u", type, *last)), 0);
            }
        }
    }

    appendShown(entry, number);
    if (!oneOf(type, kNotForImagery))
        notify(&Subscriber::display, ImageryKey{frame.deviceId(), frame.systemEnumerator(), type}, ByteSpan(*entry));
    if (!batchWritten_) notify(&Subscriber::passed, *entry);
}

void CArrivalPipeline::replay(const IndexedRecordSource& source) {
    restartPictures();
    const RecordIndex& index = source.index();
    const auto keyOf = [](const RecordIndexEntry& e) { return ImageryKey{e.deviceId(), e.systemEnumerator(), e.recordType()}; };
    // The first record of each settings type, in the order the source holds them.
    bool found[std::size(kReplayedSettings)] = {};
    std::size_t remaining = std::size(kReplayedSettings);
    const std::size_t window = std::min(index.size(), kReplaySettingsWindow);
    for (std::size_t i = 0; i < window && remaining > 0; ++i) {
        const RecordIndexEntry& entry = index[i];
        for (std::size_t t = 0; t < std::size(kReplayedSettings); ++t) {
            if (found[t] || entry.recordType() != kReplayedSettings[t]) continue;
            found[t] = true;
            --remaining;
            const Bytes frame = source.readFrame(i);
            notify(&Subscriber::display, keyOf(entry), ByteSpan(frame));
        }
    }
    // The echogram draws side-scan records, or the beam data records of a
    // source that holds none, as it does with live records.
    const std::size_t pings = std::min(index.size(), kReplayEchogramWindow);
    bool sideScan = false;
    for (std::size_t i = 0; i < pings && !sideScan; ++i) sideScan = index[i].recordType() == kSideScan;
    const std::uint32_t drawn = sideScan ? kSideScan : kBeamData;
    std::size_t lines = 0;
    for (std::size_t i = 0; i < pings && lines < kReplayEchogramRows; ++i) {
        const RecordIndexEntry& entry = index[i];
        if (entry.recordType() != drawn) continue;
        ++lines;
        const Bytes frame = source.readFrame(i);
        notify(&Subscriber::echogram, keyOf(entry), ByteSpan(frame));
    }
}

void CArrivalPipeline::replayForEchogram(const RecordSource& source) {
    restartPictures();
    for (std::size_t row = 0, rows = source.rowCount(); row < rows; ++row) {
        const std::optional<Bytes> record = source.rowRecord(row);
        if (!record) continue;
        const FrameView frame(*record);
        notify(&Subscriber::echogram, ImageryKey{frame.deviceId(), frame.systemEnumerator(), frame.recordType()},
               ByteSpan(*record));
    }
}

void CArrivalPipeline::present(ByteSpan frame) {
    const FrameView view(frame);
    if (!view.isFrame()) return;
    notify(&Subscriber::display, ImageryKey{view.deviceId(), view.systemEnumerator(), view.recordType()}, frame);
}

void CArrivalPipeline::keep(const SharedBytes& entry, std::uint32_t number) {
    history_.push_back(entry);
    historyNumbers_.push_back(number);
    historyBytes_ += entry->size();
    while (history_.size() > std::size_t{kHistoryFactor} * scrollLimit_ ||
           (historyBytes_ > byteBudget && history_.size() > 1)) {
        historyBytes_ -= history_.front()->size();
        history_.pop_front();
        historyNumbers_.pop_front();
    }
}

void CArrivalPipeline::dropOldestShown() {
    shownBytes_ -= shown_.front().data->size();
    shown_.pop_front();
}

void CArrivalPipeline::appendShown(SharedBytes entry, std::uint32_t number) {
    shownBytes_ += entry->size();
    shown_.push_back({std::move(entry), number});
    listedThisRun_ = true;
    notify(&Subscriber::listed, shown_.back());
    while (shown_.size() > scrollLimit_ || (shownBytes_ > byteBudget && shown_.size() > 1)) {
        if (shown_.size() <= scrollLimit_ && rowsDroppedForBytes_++ == 0) budgetLineDue_ = true;
        dropOldestShown();
        ++removedThisRun_;
    }
}

void CArrivalPipeline::refreshList() {
    updating_ = true;
    const std::optional<std::size_t> selected = display_.selectedRecordRow();
    if (selected) display_.selectRecordRow(std::nullopt);
    // The selection stays on its record while older rows go; it goes with its own record.
    std::optional<std::size_t> keep;
    if (selected && *selected >= removedThisRun_) keep = *selected - removedThisRun_;
    // The list follows its newest row, as a log viewer does, while the user
    // has neither chosen a row nor scrolled away from the end.
    const bool follow = !selected && (listedRows_ == 0 || display_.visibleRecordRows().second + 1 >= listedRows_);
    setRowCount(shown_.size());
    if (keep && *keep < shown_.size()) display_.selectRecordRow(keep);
    if (follow && !shown_.empty()) display_.showRecordRow(shown_.size() - 1);
    removedThisRun_ = 0;
    updating_ = false;
}

void CArrivalPipeline::setRowCount(std::size_t rows) {
    listedRows_ = rows;
    display_.setRecordRowCount(rows);
}

void CArrivalPipeline::OnPauseContinue() {
    if (!communicating) return;
    running_ = !running_;
    if (!running_) {
        pauseStart_ = clock();
        batch_.clear();
        batchWritten_ = false;
        display_.pausedChanged(true);
        return;
    }
    const std::int64_t elapsed = clock() - pauseStart_;
    std::string text;
    if (elapsed <= 0)
        text = "PAUSE < 1 sec.";
    else if (elapsed <= 600)
        text = strprintf("PAUSE %lld sec.", static_cast<long long>(elapsed));
    else if (elapsed <= 7200)
        text = strprintf("PAUSE %lld min.", static_cast<long long>(elapsed / 60));
    else
        text = strprintf("PAUSE %lld hrs.", static_cast<long long>(elapsed / 3600));
    display_.pausedChanged(false);
    display_.stopArrivalTimer();
    ProcessArrivedRecords();
    // The pause line is listed here, once; the history keeps the bare word.
    removedThisRun_ = 0;
    appendShown(textEntry(text), 0);
    keep(textEntry(kPauseWord), 0);
    refreshList();
    display_.startArrivalTimer(timerPeriod);
}

void CArrivalPipeline::resume() {
    if (running_) return;
    running_ = true;
    display_.pausedChanged(false);
}

void CArrivalPipeline::RefilterLiveList(const RecordFilter& filter) {
    filter_ = filter;
    RefilterLiveList();
}

void CArrivalPipeline::RefilterLiveList() {
    const RecordFilter& filter = filter_;
    shown_.clear();
    shownBytes_ = 0;
    display_.setListRedraw(false);
    setRowCount(0);
    for (std::size_t i = 0; i < history_.size(); ++i) {
        const SharedBytes& entry = history_[i];
        const FrameView frame(*entry);
        // Text lines stay with the records they came between; the bare pause
        // word of the history is not listed again.
        if (frame.isFrame() ? !filter.passes(*entry, {historyNumbers_[i], nullptr}) : isPauseWord(*entry)) continue;
        shown_.push_back({entry, historyNumbers_[i]});
        shownBytes_ += entry->size();
    }
    display_.setListRedraw(true);
    display_.clearReport();
    // Trimmed to the scroll limit and counted by the next processing run; shown
    // at once here, so that a paused or quiet connection shows the new filter too.
    removedThisRun_ = 0;
    while (shown_.size() > scrollLimit_ || (shownBytes_ > byteBudget && shown_.size() > 1)) dropOldestShown();
    updating_ = true;
    setRowCount(shown_.size());
    updating_ = false;
}

void CArrivalPipeline::clear() {
    batch_.clear();
    batchWritten_ = false;
    shown_.clear();
    history_.clear();
    historyNumbers_.clear();
    shownBytes_ = historyBytes_ = 0;
    rowsDroppedForBytes_ = 0;
    budgetLineDue_ = false;
    updating_ = true;
    display_.selectRecordRow(std::nullopt);
    setRowCount(0);
    updating_ = false;
}

bool CArrivalPipeline::setScrollLimit(std::uint32_t limit) {
    if (limit < kMinScrollLimit || limit > kMaxScrollLimit) return false;
    scrollLimit_ = limit;
    return true;
}

std::string CArrivalPipeline::rowText(std::size_t row, int column) const {
    if (row >= shown_.size()) return {};
    return entryText(shown_[row].bytes(), column);
}

std::string CArrivalPipeline::entryText(const Bytes& entry, int column) {
    const FrameView frame(entry);
    if (frame.isFrame()) {
        if (column == 0) return strprintf("%lu", static_cast<unsigned long>(frame.recordType()));
        if (column == 1) return strprintf("%lu bytes", static_cast<unsigned long>(frame.size()));
        return {};
    }
    if (column != 1) return {};
    // A text line up to its first zero byte, as a column buffer would hold it;
    // on one line, whatever bytes a peer sent (control bytes are escaped).
    const auto* text = reinterpret_cast<const char*>(entry.data());
    return shownName(std::string_view(
        text, static_cast<std::size_t>(std::find(entry.begin(), entry.end(), std::uint8_t{0}) - entry.begin())));
}

const ListedEntry* CArrivalPipeline::row(std::size_t r) const { return r < shown_.size() ? &shown_[r] : nullptr; }

} // namespace tarvik
