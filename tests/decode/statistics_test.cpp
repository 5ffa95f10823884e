// Counts per record type, as fed one frame at a time by a file check or the live stream.

#include "core/record_statistics.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

using namespace tarvik;

TEST(RecordStatistics, CountsSharesRatesAndTimes) {
    RecordStatistics s;
    const Bytes a = synth::sampleFrame(7000, 7125, 0, 0), b = synth::sampleFrame(7022, 7125, 3, 0);
    s.add(a, 100.0);
    s.add(a, 101.0);
    s.add(b, 102.0);
    s.add(Bytes{'T', 'E', 'X', 'T'}, 103.0);  // not a frame: not counted
    EXPECT_EQ(s.frames(), 3u);
    EXPECT_EQ(s.bytes(), 2 * a.size() + b.size());

    const auto rows = s.rows(104.0);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].recordType, 7000u);
    EXPECT_EQ(rows[0].count, 2u);
    EXPECT_NEAR(rows[0].share, 200.0 / 3, 1e-9);
    ASSERT_TRUE(rows[0].rate);
    EXPECT_NEAR(*rows[0].rate, 0.5, 1e-9);  // two frames in the four seconds since the first
    EXPECT_EQ(rows[1].lastSeen, 102.0);
    ASSERT_TRUE(rows[1].lastTime);
    EXPECT_EQ(formatDateTime(*rows[1].lastTime), "03/05/2024 07:04:10.625");
    EXPECT_EQ(formatDateTime(*s.firstTime()), "03/05/2024 07:04:09.125");
    EXPECT_FALSE(s.rows()[0].rate);  // a file has no rate

    // Frames without a usable time are counted, but leave the times alone.
    FrameBuilder noTime(7001);
    s.add(noTime.build(), 105.0);
    EXPECT_EQ(s.frames(), 4u);
    EXPECT_EQ(formatDateTime(*s.lastTime()), "03/05/2024 07:04:10.625");
    EXPECT_FALSE(s.rows()[1].lastTime);

    const auto table = s.tableLines(106.0);
    ASSERT_EQ(table.size(), 4u);
    EXPECT_NE(table[0].find("Rate/s"), std::string::npos);
    EXPECT_EQ(table[1].substr(0, 4), "7000");
}

TEST(RecordStatistics, TimeOrderAcrossDaysAndYears) {
    EXPECT_LT(*vxTimeSeconds({2024, 366, 59.5f, 23, 59}), *vxTimeSeconds({2025, 1, 0.0f, 0, 0}));
    EXPECT_LT(*vxTimeSeconds({2024, 65, 9.0f, 7, 4}), *vxTimeSeconds({2024, 65, 9.125f, 7, 4}));
    EXPECT_FALSE(vxTimeSeconds({0, 0, 0.0f, 0, 0}));
    EXPECT_FALSE(vxTimeSeconds({2023, 366, 0.0f, 0, 0}));  // no such day
}

TEST(RecordStatistics, TheDayKeptForARunOfTimeStampsGivesTheSameSeconds) {
    // Runs within a day, across days and years, through days and times that
    // have no date, and back: never a value left over from the day before.
    const std::vector<VxTIME> times = {
        {2024, 65, 9.0f, 7, 4},   {2024, 65, 9.125f, 7, 4}, {2024, 65, 61.0f, 7, 4}, {2024, 65, 1.0f, 24, 0},
        {2024, 66, 0.0f, 0, 0},   {2023, 366, 0.0f, 0, 0},  {2023, 366, 1.0f, 0, 0}, {2024, 366, 59.5f, 23, 59},
        {2025, 1, 0.0f, 0, 0},    {0, 0, 0.0f, 0, 0},       {0, 1, 0.0f, 0, 0},      {2025, 1, 0.5f, 0, 0},
        {2024, 65, -1.0f, 7, 4},  {2024, 65, 2.0f, 7, 60},  {2024, 65, 2.0f, 7, 59},
    };
    VxTimeSecondsCache cached;
    for (const VxTIME& t : times) {
        const std::optional<double> plain = vxTimeSeconds(t);
        EXPECT_EQ(cached(t), plain) << t.year << " " << t.day << " " << int(t.hours) << ":" << int(t.minutes);
    }
}

TEST(RecordStatistics, MoreTypesThanAreKeptAtHandAndCopiesCountOnTheirOwn) {
    // Twelve types in turn, more than the counters kept at hand: each is
    // counted under its own type, and a copy counts apart from the original.
    RecordStatistics s;
    for (int round = 0; round < 5; ++round)
        for (std::uint32_t type = 100; type < 112; ++type) s.add(type, type, VxTIME{2024, 65, 1.0f, 0, 0}, true, 0.0);
    RecordStatistics copy = s;
    for (std::uint32_t type = 100; type < 112; ++type) copy.add(type, 1, VxTIME{}, false, 0.0);
    s.add(100, 1, VxTIME{}, false, 0.0);
    const auto rows = s.rows(), copied = copy.rows();
    ASSERT_EQ(rows.size(), 12u);
    ASSERT_EQ(copied.size(), 12u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].recordType, 100 + i);
        EXPECT_EQ(rows[i].count, i == 0 ? 6u : 5u);
        EXPECT_EQ(rows[i].bytes, 5 * (100 + i) + (i == 0 ? 1 : 0));
        EXPECT_EQ(copied[i].count, 6u);
        EXPECT_EQ(copied[i].bytes, 5 * (100 + i) + 1);
    }
    s.clear();
    s.add(105, 7, VxTIME{}, false, 0.0);
    ASSERT_EQ(s.rows().size(), 1u);
    EXPECT_EQ(s.rows()[0].count, 1u);
    EXPECT_EQ(copy.frames(), 72u);
}
