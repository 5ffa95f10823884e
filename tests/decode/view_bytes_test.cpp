// The view's bytes pane, statistics and recent files, seen through the in-memory port.

#include "app/controls.h"
#include "app/memory_port.h"
#include "app/settings.h"
#include "app/tarvik_view.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/report_records.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace tarvik;
using tarvik::testing::concat;

namespace {

struct BytesFixture : ::testing::Test {
    BytesFixture() { port.setText(controls::kRecordFilter, kAllRecords); }
    std::size_t lineOf(const std::string& text) const {
        for (std::size_t i = 0; i < port.reportLines.size(); ++i)
            if (port.reportLines[i].text == text) return i;
        ADD_FAILURE() << "no line " << text;
        return 0;
    }
    MemoryPort port;
    MemorySettingsStore settings;
    tarvik::testing::TempDir dir;
};

Bytes detections(std::uint32_t counter) {
    FrameBuilder b = synth::sampleBuilder(7027, 7125, counter);
    synth::data7027(b.data(), 101, 3);
    return b.build();
}

} // namespace

TEST_F(BytesFixture, ReportLinesAndBytesPointAtEachOther) {
    const Bytes frame = detections(1);
    FrameBuilder titleOnly = synth::sampleBuilder(7005, 7125, 2);
    titleOnly.data().fill(40, 0xAB);
    const Bytes plain = titleOnly.build();
    CMyTarvikView view(port, settings);
    ASSERT_TRUE(view.openRecordFile(dir.write("b.vxr", concat({frame, plain}))));

    view.OnRowSelectionChanged(0);
    EXPECT_EQ(port.recordBytes, frame);
    const std::size_t ping = lineOf("Ping number 101");
    view.OnReportLineSelected(ping);
    EXPECT_EQ(port.highlighted, std::make_pair(std::size_t{72}, std::size_t{4}));
    view.OnRecordByteClicked(74);
    EXPECT_EQ(port.selectedReportLine, ping);
    EXPECT_EQ(port.highlighted, std::make_pair(std::size_t{72}, std::size_t{4}));

    // Header lines stand for the header, checksum lines for the last four bytes.
    view.OnReportLineSelected(0);
    EXPECT_EQ(port.highlighted, std::make_pair(std::size_t{0}, std::size_t{64}));
    view.OnRecordByteClicked(40);
    EXPECT_EQ(port.selectedReportLine, std::size_t{0});
    view.OnReportLineSelected(port.reportLines.size() - 1);  // "Checksum field ..., calc.= ..."
    EXPECT_EQ(port.highlighted, std::make_pair(frame.size() - 4, std::size_t{4}));

    // A byte inside a repeat block chooses the innermost item's line.
    const auto& map = view.reportByteMap();
    const auto lastBlockLine = map.lineOfByte(frame.size() - 6);
    ASSERT_TRUE(lastBlockLine);
    const auto range = map.bytesOfLine(*lastBlockLine);
    ASSERT_TRUE(range);
    EXPECT_LT(range->count, 16u);
    EXPECT_LE(range->offset, frame.size() - 6);

    // A record without an item list can still be read byte by byte.
    view.OnRowSelectionChanged(1);
    EXPECT_EQ(port.recordBytes, plain);
    view.OnRecordByteClicked(70);
    EXPECT_EQ(port.selectedReportLine, std::nullopt);
    EXPECT_EQ(port.highlighted, std::make_pair(std::size_t{70}, std::size_t{1}));
}

TEST_F(BytesFixture, StatisticsOfTheFileAndOfLiveRecords) {
    synth::SampleOptions o;
    o.frames = 30;
    const std::string path = dir.file("s.vxr");
    ASSERT_TRUE(synth::writeSampleFile(path, o));
    CMyTarvikView view(port, settings);
    ASSERT_TRUE(view.openRecordFile(path));
    const RecordStatistics s = view.sourceStatistics();
    EXPECT_EQ(s.frames(), view.recordIndex().size());
    std::uint64_t count7000 = 0;
    for (std::size_t i = 0; i < view.recordIndex().size(); ++i) count7000 += view.recordIndex()[i].recordType() == 7000;
    const auto rows = s.rows();
    const auto it = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r.recordType == 7000; });
    ASSERT_NE(it, rows.end());
    EXPECT_EQ(it->count, count7000);

    CMyTarvikView live(port, settings);
    live.countLiveRecord(detections(1), 1.0);
    live.countLiveRecord(detections(2), 3.0);
    EXPECT_EQ(live.sourceStatistics().frames(), 2u);
    EXPECT_DOUBLE_EQ(*live.sourceStatistics().rows(5.0)[0].rate, 0.5);
}

TEST_F(BytesFixture, RecentFilesNewestFirstWithoutRepeats) {
    CMyTarvikView view(port, settings);
    const std::string a = dir.write("a.vxr", detections(1)), b = dir.write("b.vxr", detections(2));
    view.openRecordFile(a);
    view.openRecordFile(b);
    view.openRecordFile(a);
    EXPECT_EQ(view.recentFiles().list(), (std::vector<std::string>{a, b}));
    view.openRecordFile(dir.file("missing.vxr"));  // a failed open is not remembered
    EXPECT_EQ(view.recentFiles().list().size(), 2u);
    for (int i = 0; i < 12; ++i) view.recentFiles().add("f" + std::to_string(i));
    EXPECT_EQ(view.recentFiles().list().size(), RecentFiles::kMaxFiles);
    EXPECT_EQ(view.recentFiles().list().front(), RecentFiles::absolute("f11"));
}

// A file read by a relative name is remembered by its absolute one, so that the
// entry still opens it when the program runs from another folder.
TEST_F(BytesFixture, RecentFilesAreStoredAsAbsolutePaths) {
    CMyTarvikView view(port, settings);
    const std::string a = dir.write("a.vxr", detections(1));
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    view.openRecordFile("./a.vxr");
    std::filesystem::current_path(before);
    ASSERT_EQ(view.recentFiles().list().size(), 1u);
    EXPECT_EQ(view.recentFiles().list().front(), std::filesystem::path(a).lexically_normal().string());
    EXPECT_TRUE(std::filesystem::path(view.recentFiles().list().front()).is_absolute());
    // The same file by another relative name is one entry, not two.
    std::filesystem::current_path(dir.path());
    view.recentFiles().add("a.vxr");
    std::filesystem::current_path(before);
    EXPECT_EQ(view.recentFiles().list().size(), 1u);
}
