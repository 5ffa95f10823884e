// The arrival pipeline: list arithmetic, filter, dropped pings, pause and the
// hand-off to its subscribers, shown through the window's port (in memory).

#include "pipeline/arrival_pipeline.h"
#include "app/controls.h"
#include "app/memory_port.h"
#include "app/pipeline_port_display.h"
#include "app/settings.h"
#include "app/tarvik_view.h"
#include "core/frame.h"

#include <gtest/gtest.h>

using namespace tarvik;

namespace {

Bytes frame(std::uint32_t type, std::uint32_t counter, std::uint32_t ping = 0, std::uint32_t device = 7125,
            std::uint16_t enumerator = 0, std::string_view extra = {}) {
    FrameBuilder b(type);
    b.device(device, enumerator).counter(counter);
    b.data().u64(0x51A0'0001).u32(ping).u32(counter).bytes(asBytes(extra));
    return b.build();
}

Bytes text(std::string_view t) { return Bytes(t.begin(), t.end()); }

class Pipeline : public ::testing::Test {
protected:
    Pipeline() {
        pipeline.takePending = [this] { return std::exchange(pending, {}); };
        CArrivalPipeline::Subscriber writer;
        writer.passed = [this](const Bytes& f) { written.push_back(FrameView(f).recordCounter()); };
        writerSink = pipeline.subscribe(std::move(writer));
        pipeline.clock = [this] { return now; };
        pipeline.communicating = true;
    }
    void arrive(std::deque<Bytes> entries) {
        pending = std::move(entries);
        pipeline.OnArrivalTimer();
    }
    std::vector<std::string> rows() const {
        std::vector<std::string> out;
        for (std::size_t r = 0; r < pipeline.rowCount(); ++r)
            out.push_back(pipeline.rowText(r, 0) + "|" + pipeline.rowText(r, 1));
        return out;
    }
    std::uint32_t counterOfRow(std::size_t r) const { return FrameView(pipeline.row(r)->bytes()).recordCounter(); }

    MemoryPort port;
    PipelinePortDisplay display{port};
    CArrivalPipeline pipeline{display};
    CArrivalPipeline::Subscription writerSink;
    std::deque<Bytes> pending;
    std::vector<std::uint32_t> written;
    std::int64_t now = 1'000'000;
};

} // namespace

TEST_F(Pipeline, ScrollLimitKeepsTheSelectionOnItsRecordAndCapsTheHistory) {
    ASSERT_TRUE(pipeline.setScrollLimit(20));
    std::deque<Bytes> first;
    for (std::uint32_t i = 0; i < 20; ++i) first.push_back(frame(7000, i));
    arrive(first);
    ASSERT_EQ(port.recordRowCount, 20u);
    port.selectedRow = 10;  // the record with counter 10

    std::deque<Bytes> more;
    for (std::uint32_t i = 20; i < 25; ++i) more.push_back(frame(7000, i));
    arrive(more);
    EXPECT_EQ(port.recordRowCount, 20u);
    EXPECT_EQ(counterOfRow(0), 5u);  // the last 20 of 25
    ASSERT_TRUE(port.selectedRow);
    EXPECT_EQ(*port.selectedRow, 5u);
    EXPECT_EQ(counterOfRow(*port.selectedRow), 10u);

    // 25 records in one batch: the selected one goes, and the selection with it.
    std::deque<Bytes> flood;
    for (std::uint32_t i = 25; i < 150; ++i) flood.push_back(frame(7000, i));
    arrive(flood);
    EXPECT_FALSE(port.selectedRow);
    EXPECT_EQ(pipeline.rowCount(), 20u);
    EXPECT_EQ(counterOfRow(19), 149u);
    EXPECT_EQ(pipeline.history().size(), 100u);  // five times the limit
    EXPECT_EQ(FrameView(*pipeline.history().front()).recordCounter(), 50u);
    // The timer is started again after every tick.
    EXPECT_EQ(port.runningTimers[timers::kArrival], 153u);
}

// The list follows its newest row while the end is in sight and nothing is
// selected; scrolled up, or with a row chosen, it stays where the user put it.
TEST_F(Pipeline, ListFollowsTheNewestRowUntilTheUserLooksElsewhere) {
    port.visibleRows = std::pair<std::size_t, std::size_t>{0, 9};  // ten rows in sight
    std::deque<Bytes> first;
    for (std::uint32_t i = 0; i < 15; ++i) first.push_back(frame(7000, i));
    arrive(first);
    EXPECT_EQ(port.shownRecordRow, std::optional<std::size_t>(14));
    EXPECT_EQ(port.visibleRows, (std::pair<std::size_t, std::size_t>{5, 14}));
    arrive({frame(7000, 15)});
    EXPECT_EQ(port.visibleRows, (std::pair<std::size_t, std::size_t>{6, 15}));

    // Scrolled away from the end: the view stays.
    port.visibleRows = std::pair<std::size_t, std::size_t>{2, 11};
    port.shownRecordRow.reset();
    arrive({frame(7000, 16), frame(7000, 17)});
    EXPECT_FALSE(port.shownRecordRow);
    // Back at the end it follows again.
    port.visibleRows = std::pair<std::size_t, std::size_t>{8, 17};
    arrive({frame(7000, 18)});
    EXPECT_EQ(port.shownRecordRow, std::optional<std::size_t>(18));

    // A chosen row holds the view, even at the end.
    port.shownRecordRow.reset();
    port.selectedRow = 18;
    arrive({frame(7000, 19)});
    EXPECT_FALSE(port.shownRecordRow);
    EXPECT_EQ(port.selectedRow, std::optional<std::size_t>(18));
}

TEST_F(Pipeline, FilterHidesFramesButKeepsThemForRefiltering) {
    pipeline.setFilter(RecordFilter::types("7000; 7004"));
    arrive({frame(7000, 1), frame(7001, 2), text("TEXT Lost Packet"), frame(7004, 3)});
    EXPECT_EQ(rows(), (std::vector<std::string>{"7000|" + std::to_string(frame(7000, 1).size()) + " bytes",
                                                 "|TEXT Lost Packet", "7004|" + std::to_string(frame(7004, 3).size()) + " bytes"}));
    EXPECT_EQ(written, (std::vector<std::uint32_t>{1, 3}));  // a hidden frame is not written either
    EXPECT_EQ(pipeline.history().size(), 4u);

    // A filter that excludes every type still lists the receiver's text lines.
    pipeline.setFilter(RecordFilter::types("1"));
    arrive({text("TEXT Lost Packet")});
    EXPECT_EQ(pipeline.rowCount(), 4u);

    pipeline.setFilter(RecordFilter::types("ALL RECORDS"));
    port.reportLines = {{"old report", false}};
    pipeline.RefilterLiveList();
    EXPECT_EQ(rows().size(), 5u);
    EXPECT_EQ(pipeline.rowText(1, 0), "7001");
    EXPECT_EQ(port.recordRowCount, 5u);
    EXPECT_TRUE(port.reportLines.empty());
    // Record numbers follow the records through a re-filter.
    EXPECT_EQ(pipeline.row(0)->number, 1u);
    EXPECT_EQ(pipeline.row(1)->number, 2u);
    EXPECT_EQ(pipeline.row(2)->number, 0u);  // a text line keeps none
}

TEST_F(Pipeline, ByteBudgetBoundsTheListAndTheHistoryBeforeTheirRowLimits) {
    const std::string padding(900, 'x');
    const std::size_t size = frame(7008, 0, 0, 7125, 0, padding).size();
    pipeline.byteBudget = 10 * size + 200;  // ten frames and the budget's own text line
    ASSERT_TRUE(pipeline.setScrollLimit(20));
    std::deque<Bytes> batch;
    for (std::uint32_t i = 1; i <= 8; ++i) batch.push_back(frame(7008, i, i, 7125, 0, padding));
    arrive(batch);
    port.selectedRow = 5;  // the record with counter 6
    batch.clear();
    for (std::uint32_t i = 9; i <= 15; ++i) batch.push_back(frame(7008, i, i, 7125, 0, padding));
    arrive(batch);

    // The newest ten frames and one line saying why rows left early; the
    // selection stays on its record.
    ASSERT_EQ(pipeline.rowCount(), 11u);
    EXPECT_EQ(counterOfRow(0), 6u);
    EXPECT_EQ(counterOfRow(9), 15u);
    EXPECT_EQ(pipeline.rowText(10, 1), "TEXT Rows Left The List Early, It Holds At Most 0 MB Of Records");
    EXPECT_EQ(pipeline.rowsDroppedForBytes(), 5u);
    ASSERT_TRUE(port.selectedRow);
    EXPECT_EQ(counterOfRow(*port.selectedRow), 6u);
    EXPECT_EQ(pipeline.history().size(), 11u);
    EXPECT_LE(pipeline.shownBytes(), pipeline.byteBudget);
    EXPECT_LE(pipeline.historyBytes(), pipeline.byteBudget);

    // Later drops are counted without another line.
    arrive({frame(7008, 16, 16, 7125, 0, padding)});
    EXPECT_EQ(pipeline.rowCount(), 11u);
    EXPECT_EQ(pipeline.rowsDroppedForBytes(), 6u);

    // Re-filtering keeps to the budget as well.
    pipeline.byteBudget = 3 * size;
    pipeline.RefilterLiveList();
    EXPECT_EQ(pipeline.rowCount(), 3u);
    EXPECT_EQ(port.recordRowCount, 3u);

    // A record larger than the whole budget is still listed, alone.
    arrive({frame(7008, 17, 17, 7125, 0, std::string(4 * size, 'y'))});
    EXPECT_EQ(pipeline.rowCount(), 1u);
    EXPECT_EQ(counterOfRow(0), 17u);
    EXPECT_EQ(pipeline.history().size(), 1u);

    // Small records are still bounded by the row limits alone.
    pipeline.byteBudget = kListByteBudget;
    pipeline.clear();
    batch.clear();
    for (std::uint32_t i = 1; i <= 150; ++i) batch.push_back(frame(7000, i));
    arrive(batch);
    EXPECT_EQ(pipeline.rowCount(), 20u);
    EXPECT_EQ(pipeline.history().size(), 100u);
    EXPECT_EQ(pipeline.rowsDroppedForBytes(), 0u);
}

TEST_F(Pipeline, DroppedPingsAreReportedPerSourceAndType) {
    arrive({frame(7006, 1, 10), frame(7006, 2, 12)});
    EXPECT_EQ(port.beeps, (std::vector<MemoryPort::Beep>{{600, 50}}));
    EXPECT_EQ(pipeline.rowText(1, 1), "! ! ! 7006 DROPPED PING AFTER # 10");
    EXPECT_EQ(pipeline.rowText(2, 0), "7006");
    EXPECT_EQ(pipeline.history().size(), 2u);  // the line is not kept in the history

    port.beeps.clear();
    // Next in sequence, a jump of 99 or more, a repeat, a step back: no report.
    arrive({frame(7006, 3, 13), frame(7006, 4, 113), frame(7006, 5, 113), frame(7006, 6, 100)});
    // The first ping of another device, enumerator or type; the same numbers tracked apart.
    arrive({frame(7006, 7, 50, 7126), frame(7006, 8, 50, 7125, 1), frame(7008, 9, 10), frame(7006, 10, 51, 7126),
            frame(7006, 11, 51, 7125, 1)});
    EXPECT_TRUE(port.beeps.empty());
    arrive({frame(7006, 12, 53, 7126), frame(7006, 13, 53, 7125, 1), frame(7000, 14, 1), frame(7000, 15, 9)});
    EXPECT_EQ(port.beeps.size(), 2u);
    EXPECT_EQ(pipeline.lastPings().size(), 4u);
}

TEST_F(Pipeline, EveryPingRecordTypeIsWatchedForDroppedPings) {
    std::uint32_t counter = 0;
    for (std::uint32_t type : {7006u, 7007u, 7008u, 7009u, 7011u, 7012u}) {
        SCOPED_TRACE(type);
        pipeline.clear();
        port.beeps.clear();
        arrive({frame(type, ++counter, 10), frame(type, ++counter, 12)});
        EXPECT_EQ(port.beeps.size(), 1u);
        EXPECT_EQ(pipeline.rowText(1, 1), "! ! ! " + std::to_string(type) + " DROPPED PING AFTER # 10");
    }
}

TEST_F(Pipeline, OnlyPauseTextLinesAreSkipped) {
    // A frame whose data happens to hold the bytes of the word is a record like any other.
    arrive({frame(7000, 1, 0, 7125, 0, "xxPAUSExx"), text("PAUSE 3 sec."), text("a TEXT")});
    EXPECT_EQ(rows().size(), 2u);
    EXPECT_EQ(pipeline.rowText(0, 0), "7000");
    EXPECT_EQ(pipeline.rowText(1, 1), "a TEXT");  // short entries that are not frames list as text
    EXPECT_EQ(written, (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(pipeline.history().size(), 2u);
}

TEST_F(Pipeline, PauseAndContinue) {
    arrive({frame(7000, 1)});
    pipeline.OnPauseContinue();
    EXPECT_FALSE(pipeline.running());
    EXPECT_EQ(port.text(controls::kPause), "Continue");

    // Arrivals while paused are not listed, but every one reaches the output file, once.
    arrive({frame(7000, 2)});
    arrive({frame(7000, 3)});
    EXPECT_EQ(pipeline.rowCount(), 1u);
    EXPECT_EQ(written, (std::vector<std::uint32_t>{1, 2, 3}));

    now += 90;
    pipeline.OnPauseContinue();
    EXPECT_TRUE(pipeline.running());
    EXPECT_EQ(port.text(controls::kPause), "Pause");
    // The batch of the last tick before Continue is listed, then the pause line, once.
    EXPECT_EQ(pipeline.rowText(1, 0), "7000");
    EXPECT_EQ(counterOfRow(1), 3u);
    EXPECT_EQ(pipeline.rowText(2, 1), "PAUSE 90 sec.");
    EXPECT_EQ(pipeline.rowCount(), 3u);
    EXPECT_EQ(written, (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_EQ(port.recordRowCount, 3u);
    EXPECT_EQ(port.runningTimers.count(timers::kArrival), 1u);

    const std::pair<std::int64_t, const char*> texts[] = {
        {0, "PAUSE < 1 sec."}, {600, "PAUSE 600 sec."}, {601, "PAUSE 10 min."}, {7200, "PAUSE 120 min."},
        {3 * 3600, "PAUSE 3 hrs."}};
    for (const auto& [seconds, expected] : texts) {
        pipeline.OnPauseContinue();
        now += seconds;
        pipeline.OnPauseContinue();
        EXPECT_EQ(pipeline.rowText(pipeline.rowCount() - 1, 1), expected);
    }
    // Pause does nothing while not communicating.
    pipeline.communicating = false;
    pipeline.OnPauseContinue();
    EXPECT_TRUE(pipeline.running());
}

TEST(PipelineInTheWindow, ScrollLimitDialog) {
    MemoryPort port;
    MemorySettingsStore settings;
    CMyTarvikView view{port, settings};
    port.numberAnswers = {std::string("19"), std::string("1001"), std::string("abc"), std::nullopt, std::string("20")};
    for (int i = 0; i < 5; ++i) view.OnLimitRecords();
    EXPECT_EQ(port.messages, std::vector<std::string>(3, "Scroll Limit Must Be Between 20 And 1000"));
    EXPECT_EQ(view.pipeline().scrollLimit(), 20u);
    ASSERT_EQ(port.numberRequests.size(), 5u);
    const NumberRequest& r = port.numberRequests[0];
    EXPECT_EQ(r.title, "Limit Records In Scrolling Display");
    EXPECT_EQ(r.text, "Maximum Number Of Records To Show In Scrolling List");
    EXPECT_EQ(r.hint, "(Allowed Values Are 20 to 1000)");
    EXPECT_EQ(r.initial, "100");
}

TEST_F(Pipeline, WhileAFileIsShownLiveRecordsStillReachTheSinksButNotTheList) {
    std::vector<std::uint32_t> counted, drawn;
    CArrivalPipeline::Subscriber others;
    others.arrived = [&](const Bytes& f) { counted.push_back(FrameView(f).recordCounter()); };
    others.display = [&](const ImageryKey&, ByteSpan f) { drawn.push_back(FrameView(f).recordCounter()); };
    const auto sink = pipeline.subscribe(std::move(others));
    pipeline.setFilter(RecordFilter::types("7000"));
    pipeline.listing = false;
    arrive({frame(7000, 1), frame(7004, 2), text("TEXT Lost Packet")});
    EXPECT_EQ(pipeline.rowCount(), 0u);
    EXPECT_TRUE(pipeline.history().empty());
    EXPECT_TRUE(drawn.empty());  // the imagery shows the file
    // The output file and the statistics are sinks of the live stream, whatever the list shows.
    EXPECT_EQ(written, (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(counted, (std::vector<std::uint32_t>{1, 2}));
    // Paused with a file shown: written once, not again when the pause ends.
    pipeline.OnPauseContinue();
    arrive({frame(7000, 3)});
    pipeline.OnPauseContinue();
    EXPECT_EQ(written, (std::vector<std::uint32_t>{1, 3}));

    pipeline.listing = true;
    arrive({frame(7000, 4)});
    EXPECT_EQ(pipeline.rowCount(), 2u);  // the pause line and the 7000
    EXPECT_EQ(written, (std::vector<std::uint32_t>{1, 3, 4}));
}

TEST_F(Pipeline, ImageryGetsTheRecordsItDraws) {
    std::vector<std::uint32_t> drawn;
    bool enabled = false;
    CArrivalPipeline::Subscriber imagery;
    imagery.display = [&](const ImageryKey& key, ByteSpan) {
        EXPECT_EQ(key.deviceId, 7125u);
        if (enabled) drawn.push_back(key.recordType);
    };
    const auto sink = pipeline.subscribe(std::move(imagery));
    arrive({frame(7000, 1)});
    enabled = true;
    arrive({frame(7000, 2), frame(7004, 3), frame(7006, 4, 1), frame(7007, 5, 1), frame(7008, 6, 1), frame(7011, 7, 1),
            frame(7012, 8, 1), frame(7017, 9), frame(7027, 10)});
    EXPECT_EQ(drawn, (std::vector<std::uint32_t>{7000, 7004, 7006, 7007, 7008, 7011, 7027}));
}

TEST_F(Pipeline, StatisticsSeeEveryFrameTheFilterHides) {
    std::vector<std::uint32_t> counted;
    CArrivalPipeline::Subscriber statistics;
    statistics.arrived = [&](const Bytes& f) { counted.push_back(FrameView(f).recordType()); };
    const auto sink = pipeline.subscribe(std::move(statistics));
    pipeline.setFilter(RecordFilter::types("7004"));
    arrive({frame(7000, 1), frame(7004, 2), text("TEXT Lost Packet"), frame(7027, 3)});
    EXPECT_EQ(counted, (std::vector<std::uint32_t>{7000, 7004, 7027}));
    ASSERT_EQ(pipeline.rowCount(), 2u);
    EXPECT_EQ(pipeline.rowText(0, 0), "7004");
    EXPECT_EQ(pipeline.rowText(1, 1), "TEXT Lost Packet");
}

// Sinks come and go during a live session: one added later gets what
// arrives from then on, one dropped gets nothing more, even when it drops
// itself, or another, from within a delivery; the others miss nothing.
TEST_F(Pipeline, SinksAddedAndRemovedDuringALiveSession) {
    std::vector<std::string> seen;
    auto subscriber = [&](std::string name) {
        CArrivalPipeline::Subscriber s;
        s.passed = [&seen, name](const Bytes& f) { seen.push_back(name + std::to_string(FrameView(f).recordCounter())); };
        s.listed = [&seen, name](const ListedEntry& e) { seen.push_back(name + "#" + std::to_string(e.number)); };
        return s;
    };
    arrive({frame(7000, 6)});
    auto first = pipeline.subscribe(subscriber("a"));
    {
        const auto second = pipeline.subscribe(subscriber("b"));
        EXPECT_EQ(pipeline.subscriberCount(), 3u);  // the fixture's writer too
        arrive({frame(7000, 7)});
        EXPECT_EQ(seen, (std::vector<std::string>{"a#2", "b#2", "a7", "b7"}));
        EXPECT_EQ(written, (std::vector<std::uint32_t>{6, 7}));  // a second subscriber replaced nobody
    }
    EXPECT_EQ(pipeline.subscriberCount(), 2u);  // the subscription went out of scope
    seen.clear();
    arrive({frame(7000, 8)});
    EXPECT_EQ(seen, (std::vector<std::string>{"a#3", "a8"}));
    first.end();
    first.end();
    seen.clear();
    arrive({frame(7000, 9)});
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(written, (std::vector<std::uint32_t>{6, 7, 8, 9}));

    // A sink that ends its own subscription and adds another within a delivery.
    CArrivalPipeline::Subscription once, later;
    CArrivalPipeline::Subscriber oneShot;
    oneShot.passed = [&](const Bytes& f) {
        seen.push_back("once" + std::to_string(FrameView(f).recordCounter()));
        once.end();
        later = pipeline.subscribe(subscriber("c"));
    };
    once = pipeline.subscribe(std::move(oneShot));
    arrive({frame(7000, 10), frame(7000, 11)});
    EXPECT_EQ(seen, (std::vector<std::string>{"once10", "c#6", "c11"}));
    EXPECT_EQ(written, (std::vector<std::uint32_t>{6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(pipeline.subscriberCount(), 2u);
}

TEST_F(Pipeline, AFastFeedIsTakenSoonerAndEachEntryIsReleasedAsItIsDone) {
    // The receiver's bound counts a taken batch until its bytes come back:
    // each entry's as soon as the list is done with it, in both listing modes.
    std::size_t released = 0;
    pipeline.releaseTaken = [&](std::size_t bytes) { released += bytes; };
    std::vector<std::size_t> releasedWhenListed;
    CArrivalPipeline::Subscriber watcher;
    watcher.arrived = [&](const Bytes&) { releasedWhenListed.push_back(released); };
    const auto sink = pipeline.subscribe(std::move(watcher));
    pipeline.busyBatchBytes = 3 * frame(7000, 1).size();
    const std::size_t size = frame(7000, 1).size();

    arrive({frame(7000, 1), frame(7000, 2)});
    EXPECT_EQ(released, 2 * size);
    EXPECT_EQ(releasedWhenListed, (std::vector<std::size_t>{0, size}));
    EXPECT_EQ(port.runningTimers.at(timers::kArrival), pipeline.timerPeriod);

    // A batch of the busy size: the next takes come after the short period,
    // until a few small batches in a row show the feed has slowed.
    arrive({frame(7000, 3), frame(7000, 4), frame(7000, 5)});
    EXPECT_EQ(port.runningTimers.at(timers::kArrival), pipeline.busyPeriod);
    for (int tick = 1; tick < CArrivalPipeline::kBusyTicks; ++tick) {
        arrive({});
        EXPECT_EQ(port.runningTimers.at(timers::kArrival), pipeline.busyPeriod) << tick;
    }
    arrive({});
    EXPECT_EQ(port.runningTimers.at(timers::kArrival), pipeline.timerPeriod);

    pipeline.listing = false;  // a file shown: the live stream still passes its sinks
    released = 0;
    arrive({frame(7000, 6), frame(7000, 7), text("TEXT Lost Packet")});
    EXPECT_EQ(released, 2 * size + text("TEXT Lost Packet").size());
}
