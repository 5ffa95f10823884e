// A record file as a record source: rows under a filter, text rows between
// frames, and reading on past a broken frame.

#include "core/ping_gaps.h"
#include "core/record_file_source.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::testing::concat;
using tarvik::testing::TempDir;

namespace {

Bytes frameOf(std::uint32_t type, std::uint32_t counter, std::size_t dataBytes = 16) {
    FrameBuilder b(type);
    b.counter(counter);
    b.data().fill(dataBytes, 0x5A);
    return b.build();
}

std::vector<std::string> rows(const RecordSource& source) {
    std::vector<std::string> out;
    for (std::size_t r = 0; r < source.rowCount(); ++r)
        out.push_back(source.rowText(r, 0) + "|" + source.rowText(r, 1) + "|" + source.rowText(r, 2));
    return out;
}

} // namespace

TEST(FileRecordSource, FilterRebuildsRowsFromTheIndexAndKeepsRecordNumbers) {
    TempDir dir;
    const std::string path =
        dir.write("f.vxr", concat({frameOf(7000, 1), frameOf(7004, 2), frameOf(7000, 3), frameOf(7027, 4)}));
    FileRecordSource source;
    ASSERT_TRUE(source.open(path));
    EXPECT_EQ(source.build(), std::nullopt);
    EXPECT_EQ(source.path(), path);
    EXPECT_FALSE(source.live());
    ASSERT_EQ(source.rowCount(), 4u);
    EXPECT_EQ(source.rowText(1, 0), "7004");
    EXPECT_EQ(source.rowText(1, 1), "84 bytes");

    source.setFilter("7000");
    EXPECT_EQ(rows(source), (std::vector<std::string>{"7000|84 bytes|0", "7000|84 bytes|2"}));
    EXPECT_EQ(source.rowRecordNumber(1), 2u);
    ASSERT_TRUE(source.rowRecord(1).has_value());
    EXPECT_EQ(FrameView(*source.rowRecord(1)).recordCounter(), 3u);
    EXPECT_FALSE(source.rowRecord(2).has_value());
    EXPECT_EQ(source.rowText(2, 0), "");

    // The filter is a value: changing it reads nothing, even with the file gone.
    ::unlink(path.c_str());
    source.setFilter("7027; 7004");
    EXPECT_EQ(rows(source), (std::vector<std::string>{"7004|84 bytes|1", "7027|84 bytes|3"}));
    source.setFilter("ALL RECORDS");
    EXPECT_EQ(source.rowCount(), 4u);
    EXPECT_EQ(source.statistics().rows().size(), 3u);
    EXPECT_EQ(source.rowOrigin(0), std::nullopt);
}

TEST(FileRecordSource, ReadsPastDamageWithATextRowForTheSkippedBytes) {
    TempDir dir;
    Bytes garbage(37, 0xEE);
    Bytes zeroSize = frameOf(7004, 9);
    ByteWriter w(zeroSize);
    w.patch<std::uint32_t>(8, 0);  // a Size of 0 would never move on
    const std::string path = dir.write(
        "damaged.vxr", concat({frameOf(7000, 1), garbage, frameOf(7000, 2), w.take(), frameOf(7027, 3), Bytes(20, 0xFF)}));
    FileRecordSource source;
    ASSERT_TRUE(source.open(path));
    // By default the walk stops at the first damage and says where.
    const auto problem = source.build();
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(*problem, "Second Record Of File damaged.vxr Does Not Have The Sync Pattern");
    EXPECT_EQ(source.rowCount(), 1u);

    EXPECT_EQ(source.build(true), std::nullopt);
    EXPECT_TRUE(source.skippedDamage());
    EXPECT_EQ(rows(source), (std::vector<std::string>{"7000|84 bytes|0",
                                                      "|TEXT 37 Bytes Skipped To The Next Sync Pattern|",
                                                      "7000|84 bytes|1",
                                                      "|TEXT 84 Bytes Skipped To The Next Sync Pattern|",
                                                      "7027|84 bytes|2"}));
    // Text rows stay whatever the filter, between the records they came between.
    source.setFilter("7027");
    EXPECT_EQ(rows(source), (std::vector<std::string>{"|TEXT 37 Bytes Skipped To The Next Sync Pattern|",
                                                      "|TEXT 84 Bytes Skipped To The Next Sync Pattern|",
                                                      "7027|84 bytes|2"}));
    ASSERT_TRUE(source.rowRecord(0).has_value());
    const Bytes text = *source.rowRecord(0);
    EXPECT_EQ(std::string(text.begin(), text.end()), "TEXT 37 Bytes Skipped To The Next Sync Pattern");
    EXPECT_EQ(source.rowRecordNumber(0), 0u);
    // Statistics count frames only.
    EXPECT_EQ(source.statistics().frames(), 3u);
}

TEST(FileRecordSource, DamageWithNoFrameAfterItIsSkippedToTheEnd) {
    TempDir dir;
    // A sync pattern whose Size is too small is not a frame to resume at.
    Bytes fake = frameOf(7000, 2);
    ByteWriter w(fake);
    w.patch<std::uint32_t>(8, 12);
    const std::string path = dir.write("tail.vxr", concat({frameOf(7000, 1), Bytes(3, 0x11), w.take()}));
    FileRecordSource source;
    ASSERT_TRUE(source.open(path));
    EXPECT_EQ(source.build(true), std::nullopt);
    EXPECT_EQ(rows(source), (std::vector<std::string>{"7000|84 bytes|0",
                                                      "|TEXT 87 Bytes Skipped, No Further Frame In The File|"}));
    RecordFile file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(FindNextFrame(file, 0), std::nullopt);
}

TEST(PingGapTracker, OneRuleForEverySourceOfPings) {
    PingGapTracker gaps;
    EXPECT_EQ(gaps.next(7000, 1, 0, 50), std::nullopt);  // a first ping is no gap for the list
    EXPECT_EQ(gaps.next(7000, 1, 0, 51), std::nullopt);
    EXPECT_EQ(gaps.next(7000, 1, 0, 53), std::optional<std::uint32_t>(51));  // one missing
    EXPECT_EQ(gaps.next(7000, 1, 0, 152), std::optional<std::uint32_t>(53));  // 98 missing
    EXPECT_EQ(gaps.next(7000, 1, 0, 252), std::nullopt);  // 99 missing: a new count, not a gap
    EXPECT_EQ(gaps.next(7000, 1, 0, 10), std::nullopt);   // back in time
    // Each source counts on its own: type, device and enumerator.
    EXPECT_EQ(gaps.next(7004, 1, 0, 12), std::nullopt);
    EXPECT_EQ(gaps.next(7000, 2, 0, 12), std::nullopt);
    EXPECT_EQ(gaps.next(7000, 1, 1, 12), std::nullopt);
    EXPECT_EQ(gaps.next(7000, 1, 0, 12), std::optional<std::uint32_t>(10));
    EXPECT_EQ(gaps.last().size(), 4u);

    // Shared numbers, with the condensed file's rule for a first ping.
    LastPingNumbers shared;
    PingGapTracker condensed(shared);
    EXPECT_EQ(condensed.next(7000, 1, 0, 5, PingGapTracker::FirstPing::GapAfterZero), std::optional<std::uint32_t>(0));
    EXPECT_EQ(condensed.next(7000, 2, 0, 1, PingGapTracker::FirstPing::GapAfterZero), std::nullopt);
    EXPECT_EQ((shared[{7000, 1, 0}]), 5u);
}

namespace {

// Passes frames of an even record counter; decides 7004 by its type alone.
class EvenCounters final : public RecordPredicate {
public:
    mutable std::vector<std::uint32_t> asked;  // record numbers of the frames read
    bool matches(ByteSpan frame, const RecordContext& context) const override {
        asked.push_back(context.recordNumber);
        return FrameView(frame).recordCounter() % 2 == 0;
    }
    bool decidedByType(std::uint32_t recordType, bool& passes) const override {
        passes = false;
        return recordType == 7004;
    }
};

} // namespace

TEST(FileRecordSource, AnExpressionFilterReadsOnlyTheFramesItsTypesLeaveOpen) {
    TempDir dir;
    const std::string path = dir.write(
        "f.vxr", concat({frameOf(7000, 1), frameOf(7004, 2), frameOf(7000, 4), frameOf(7027, 6), frameOf(7027, 7)}));
    FileRecordSource source;
    ASSERT_TRUE(source.open(path));
    ASSERT_EQ(source.build(), std::nullopt);
    auto predicate = std::make_shared<EvenCounters>();
    source.setFilter(RecordFilter::expression("even", predicate));
    EXPECT_EQ(rows(source), (std::vector<std::string>{"7000|84 bytes|2", "7027|84 bytes|3"}));
    EXPECT_EQ(predicate->asked, (std::vector<std::uint32_t>{0, 2, 3, 4}));  // 7004 was never read
    // Back to a record-type text: from the index alone, no frame read.
    predicate->asked.clear();
    source.setFilter("7027");
    EXPECT_EQ(rows(source), (std::vector<std::string>{"7027|84 bytes|3", "7027|84 bytes|4"}));
    source.setFilter(RecordFilter());
    EXPECT_EQ(source.rowCount(), 5u);
    EXPECT_TRUE(predicate->asked.empty());
}
