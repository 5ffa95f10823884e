#pragma once
// The arrival pipeline of live records: takes the entries the receiver queued,
// filters them, watches ping numbers for gaps, lists them and hands them on to
// its subscribers (output writer, imagery, statistics, the console printer).
// Runs on one thread (the user-interface thread of the window); what it shows
// goes through a PipelineDisplay, so it knows nothing of a window.

#include "core/bytes.h"
#include "core/ping_gaps.h"
#include "core/record_file.h"
#include "core/record_filter.h"
#include "core/record_source.h"
#include "imagery/imagery_key.h"
#include "pipeline/pipeline_display.h"

#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace tarvik {

inline constexpr std::uint32_t kMinScrollLimit = 20;
inline constexpr std::uint32_t kMaxScrollLimit = 1000;
inline constexpr std::uint32_t kHistoryFactor = 5;
// Bytes the shown records, and apart from them the history, may hold: beyond
// it their oldest entries go before the row limits would take them (the
// newest entry always stays), so that a stream of large records cannot make
// the list hold gigabytes (1,000 rows of beam data are 200 MB, the history
// five times that).
inline constexpr std::size_t kListByteBudget = 48u * 1024u * 1024u;

// An entry as the list and the history hold it: one byte string, never changed
// once taken from the queue, shared by the shown records and the history so that
// no frame is copied on its way through (user-interface thread only).
using SharedBytes = std::shared_ptr<const Bytes>;

// One listed entry: a frame or a text line, with the record number the list
// keeps for it (frames are numbered in the order they arrived, from 1, whether
// listed or not, so that a re-filtered list keeps the numbers; text lines carry 0).
struct ListedEntry {
    SharedBytes data;
    std::uint32_t number = 0;
    const Bytes& bytes() const { return *data; }
};

class CArrivalPipeline {
public:
    explicit CArrivalPipeline(PipelineDisplay& display);

    // --- Source and subscribers ----------------------------------------------
    // Where the timer takes queued entries from (the receiver's queue), and
    // where it hands back the bytes of each taken entry once it is done with
    // it, so that a large batch does not hold the receiver's bound while the
    // list works through it.
    std::function<std::deque<Bytes>()> takePending;
    std::function<void(std::size_t bytes)> releaseTaken;
    // What a subscriber is handed; empty members are skipped.
    struct Subscriber {
        // Every frame taken for processing, before the filter (the live statistics).
        std::function<void(const Bytes& frame)> arrived;
        // Every frame that passes the filter, in arrival order; also the frames
        // that arrive while paused (the list skips those, the output file must not).
        std::function<void(const Bytes& frame)> passed;
        // Every listed frame but 7012 and 7017: the sector and the echogram pick
        // the record types they draw.
        std::function<void(const ImageryKey&, ByteSpan frame)> display;
        // Each entry as it is appended to the shown records (the console prints it).
        std::function<void(const ListedEntry& entry)> listed;
        // Frames of a shown file or capture handed on for the echogram alone
        // (its first pings when it is opened, or all its rows on request).
        std::function<void(const ImageryKey&, ByteSpan frame)> echogram;
        // The pictures start afresh: another source is shown, or communication starts.
        std::function<void()> restart;
    };
    using SubscriberId = std::uint64_t;
    // A sink's place among the subscribers: dropping it (or end()) takes the
    // sink off, also from within a delivery under way (it then gets nothing
    // more, and the others still get theirs). Must not outlive the pipeline.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&& other) noexcept
            : pipeline_(std::exchange(other.pipeline_, nullptr)), id_(other.id_) {}
        Subscription& operator=(Subscription&& other) noexcept {
            if (this != &other) {
                end();
                pipeline_ = std::exchange(other.pipeline_, nullptr);
                id_ = other.id_;
            }
            return *this;
        }
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;
        ~Subscription() { end(); }
        void end() {
            if (pipeline_) std::exchange(pipeline_, nullptr)->unsubscribe(id_);
        }
        bool active() const { return pipeline_ != nullptr; }

    private:
        friend class CArrivalPipeline;
        Subscription(CArrivalPipeline* pipeline, SubscriberId id) : pipeline_(pipeline), id_(id) {}
        CArrivalPipeline* pipeline_ = nullptr;
        SubscriberId id_ = 0;
    };
    // Adds a subscriber behind the others (one added during a delivery gets
    // the next entry on); it stays while the subscription is kept.
    [[nodiscard]] Subscription subscribe(Subscriber subscriber);
    std::size_t subscriberCount() const;
    // False while another source is shown: live entries are then left in the batch.
    bool listing = true;
    // Seconds since 1970; replaceable so a pause can be timed without waiting.
    std::function<std::int64_t()> clock = [] { return static_cast<std::int64_t>(std::time(nullptr)); };

    // --- Handlers ------------------------------------------------------------
    // A tick of the arrival timer: takes what is pending and lists it.
    void OnArrivalTimer();
    void ProcessArrivedRecords();
    void OnPauseContinue();  // the "Pause" button
    // Lists the shown rows again from the history under the filter in force,
    // or under `filter`, which is then in force.
    void RefilterLiveList();
    void RefilterLiveList(const RecordFilter& filter);
    // The filter records must pass to be listed and handed on (all records
    // until one is set). Set alone it applies to what arrives next.
    void setFilter(RecordFilter filter) { filter_ = std::move(filter); }
    const RecordFilter& filter() const { return filter_; }
    // --- Shown sources --------------------------------------------------------
    // A file or capture reaches the sinks that draw as live records do: the
    // pictures start afresh, then its first settings, configuration and
    // geometry records go to `display` and its first pings to `echogram`
    // (side-scan records, or the beam data of a source that has none), as
    // many as the echogram has rows. Reads only the records it hands on.
    void replay(const IndexedRecordSource& source);
    // The echogram drawn afresh from every row of `source`, first to last
    // (a whole file's waterfall rather than its first screenful).
    void replayForEchogram(const RecordSource& source);
    // A record shown on its own (the reported record) goes to `display`.
    void present(ByteSpan frame);
    // The pictures start afresh (subscribers' `restart`).
    void restartPictures() { notify(&Subscriber::restart); }
    // How far into a shown source replay() looks for its first records.
    static constexpr std::size_t kReplaySettingsWindow = 1000;
    static constexpr std::size_t kReplayEchogramRows = 512, kReplayEchogramWindow = 20000;

    // Sets the scroll limit; false (and no change) outside 20..1000.
    bool setScrollLimit(std::uint32_t limit);

    // Empties the shown records, the history and the arrival batch and lists nothing.
    void clear();
    // Makes sure the list runs (Continue without the pause line).
    void resume();

    // --- State ---------------------------------------------------------------
    bool communicating = false;
    bool running() const { return running_; }
    // True while the pipeline changes the list: selection changes then start no report.
    bool updating() const { return updating_; }
    std::uint32_t scrollLimit() const { return scrollLimit_; }
    std::uint32_t timerPeriod = 153;
    // A batch of at least `busyBatchBytes` (a feed of about 50 MB/s or more)
    // has the next takes come after `busyPeriod` instead: a fast feed is taken
    // in small batches, so that the receiver's queue never nears its bound.
    // A few small or empty takes (the receiver's lock may be busy once) pass
    // before the period is long again.
    std::uint32_t busyPeriod = 20;
    std::size_t busyBatchBytes = 8u * 1024u * 1024u;
    static constexpr int kBusyTicks = 4;
    // The period until the next take, as the last batches ask.
    std::uint32_t arrivalPeriod() const { return busyTicks_ > 0 ? std::min(busyPeriod, timerPeriod) : timerPeriod; }
    // The byte budget of the shown records and of the history (tests make it small).
    std::size_t byteBudget = kListByteBudget;
    // Shown rows removed for the byte budget before the scroll limit would
    // have removed them, since the list was last cleared. The first of them
    // lists a text line saying so.
    std::uint64_t rowsDroppedForBytes() const { return rowsDroppedForBytes_; }
    std::size_t shownBytes() const { return shownBytes_; }
    std::size_t historyBytes() const { return historyBytes_; }

    std::size_t rowCount() const { return shown_.size(); }
    std::string rowText(std::size_t row, int column) const;
    // The text of one column for a listed entry: a frame gives its record type
    // ("%lu") and its Size field ("%lu bytes"), a text line its text in column 1.
    static std::string entryText(const Bytes& entry, int column);
    const ListedEntry* row(std::size_t row) const;
    const std::deque<ListedEntry>& shown() const { return shown_; }
    const std::deque<SharedBytes>& history() const { return history_; }
    std::deque<Bytes>& arrivalBatch() { return batch_; }
    // Last ping number per (record type, device id, system enumerator).
    LastPingNumbers& lastPings() { return pingGaps_.last(); }

private:
    void processEntry(Bytes entry, const RecordFilter& filter);
    void appendShown(SharedBytes entry, std::uint32_t number);
    void dropOldestShown();
    void keep(const SharedBytes& entry, std::uint32_t number);  // into the history
    void refreshList();
    void setRowCount(std::size_t rows);
    void writeWhilePaused();
    bool passes(const RecordFilter& filter, const Bytes& frame) const;
    // Hands `bytes` of the taken batch back to the receiver's bound.
    void released(std::size_t bytes);
    RecordFilter filter_ = RecordFilter::types(std::string(kAllRecords));

    void unsubscribe(SubscriberId id);

    // Subscribers may come and go from within a callback: the list is a
    // deque (appending moves no entry being called), and one taken off during
    // a delivery is only marked, and removed once the delivery is over.
    template <typename Member, typename... Args>
    void notify(Member member, const Args&... args) {
        ++delivering_;
        for (std::size_t i = 0, n = subscribers_.size(); i < n; ++i) {
            const SubscriberEntry& s = subscribers_[i];
            if (s.active && s.subscriber.*member) (s.subscriber.*member)(args...);
        }
        if (--delivering_ == 0 && removedWhileDelivering_) dropRemoved();
    }
    void dropRemoved();

    struct SubscriberEntry {
        SubscriberId id;
        Subscriber subscriber;
        bool active = true;
    };

    PipelineDisplay& display_;
    std::deque<SubscriberEntry> subscribers_;
    int delivering_ = 0;
    bool removedWhileDelivering_ = false;
    SubscriberId nextSubscriber_ = 1;
    std::deque<Bytes> batch_;
    bool batchWritten_ = false;  // the batch's frames already went to the output file
    std::deque<ListedEntry> shown_;
    std::deque<SharedBytes> history_;
    std::deque<std::uint32_t> historyNumbers_;
    int busyTicks_ = 0;
    std::size_t shownBytes_ = 0;
    std::size_t historyBytes_ = 0;
    std::uint64_t rowsDroppedForBytes_ = 0;
    bool budgetLineDue_ = false;
    std::uint32_t scrollLimit_ = 100;
    bool running_ = true;
    std::int64_t pauseStart_ = 0;
    bool updating_ = false;
    std::size_t removedThisRun_ = 0;  // shown rows dropped off the top since the last refresh
    bool listedThisRun_ = false;
    std::size_t listedRows_ = 0;  // the row count the list was given last
    std::uint32_t nextNumber_ = 1;
    PingGapTracker pingGaps_;
};

} // namespace tarvik
