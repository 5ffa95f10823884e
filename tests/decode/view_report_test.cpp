// The view's report of a selected row: the report list, marked lines, the
// arrival timer around the report, message boxes, and the filter's types.

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

namespace {

Bytes settingsFrame(std::uint32_t counter, std::uint32_t ping) {
    FrameBuilder b = synth::sampleBuilder(7000, 7125, counter);
    synth::data7000(b.data(), ping);
    return b.build();
}

struct ViewFixture : ::testing::Test {
    MemoryPort port;
    MemorySettingsStore settings;
    tarvik::testing::TempDir dir;
};

} // namespace

TEST_F(ViewFixture, SelectingRowsShowsReportsAndMarksChangedLines) {
    port.setText(controls::kRecordFilter, kAllRecords);
    const std::string path = dir.write(
        "r.vxr", tarvik::testing::concat({settingsFrame(1, 10), settingsFrame(2, 11), synth::sampleFrame(7022, 7125, 3, 0)}));
    CMyTarvikView view(port, settings);
    EXPECT_TRUE(port.messages.empty());
    ASSERT_TRUE(view.openRecordFile(path));
    ASSERT_EQ(view.recordRowCount(), 3u);

    view.OnRowSelectionChanged(0);
    ASSERT_FALSE(port.reportLines.empty());
    EXPECT_EQ(port.reportLines[0].text, "   Record # 0  (Protocol 5, Record_Version 1)");
    EXPECT_TRUE(std::none_of(port.reportLines.begin(), port.reportLines.end(), [](const ReportLine& l) { return l.changed; }));
    EXPECT_EQ(port.runningTimers.count(timers::kArrival), 1u);

    view.OnRowSelectionChanged(1);
    std::vector<std::string> changed;
    for (const auto& l : port.reportLines)
        if (l.changed) changed.push_back(l.text);
    // Record number, counter, time, ping number and the checksum differ.
    EXPECT_NE(std::find(changed.begin(), changed.end(), "Ping number 11"), changed.end());
    EXPECT_NE(std::find(changed.begin(), changed.end(), "   Record # 1  (Protocol 5, Record_Version 1)"), changed.end());
    EXPECT_EQ(std::find(changed.begin(), changed.end(), "Sonar serial number 4660"), changed.end());

    view.OnRowSelectionChanged(2);  // another type: nothing to compare with
    EXPECT_TRUE(std::none_of(port.reportLines.begin(), port.reportLines.end(), [](const ReportLine& l) { return l.changed; }));
    view.OnRowSelectionChanged(3);  // no such row: nothing happens
    EXPECT_EQ(port.reportLines[0].text, "   Record # 2  (Protocol 5, Record_Version 1)");
}

TEST_F(ViewFixture, MarkerEntriesAndMessageBoxes) {
    CMyTarvikView view(port, settings);
    const std::string marker = "TEXT connection ended";
    view.showReport(asBytes(marker), 0);
    ASSERT_EQ(port.reportLines.size(), 1u);
    EXPECT_EQ(port.reportLines[0].text, " connection ended");
    EXPECT_TRUE(port.messages.empty());

    auto types = view.filterRecordTypes();
    EXPECT_EQ(types.size(), 112u);
    EXPECT_TRUE(std::is_sorted(types.begin(), types.end()));
    EXPECT_EQ(types.front(), 1000u);
    EXPECT_EQ(types.back(), 15050u);
}

TEST_F(ViewFixture, LayoutFilesAddToTheFilterAndTheirProblemsShowInOneMessage) {
    const ByteSpan text = asBytes("records:\n"
                                  "  - {type: 4321, title: \"Made up\", items: [[\"Value\", u, 4]]}\n"
                                  "  - {type: 4322, title: \"Broken\", items: [[\"Value\", u, 5]]}\n"
                                  "  - {type: 4323}\n");
    std::filesystem::create_directories(dir.file("layouts"));
    dir.write("layouts/user.yaml", Bytes(text.begin(), text.end()));
    CMyTarvikView::layoutOptions().directory = dir.file("layouts");
    CMyTarvikView view(port, settings);
    CMyTarvikView::layoutOptions().directory.clear();

    ASSERT_EQ(port.messages.size(), 1u);
    const std::string file = dir.file("layouts/user.yaml");
    EXPECT_EQ(port.messages[0], file + ":3: the width must be 1, 2, 4, 8 or 16 for format \"u\": 5\n" + file +
                                    ":4: a record needs \"title\"");
    const auto types = view.filterRecordTypes();
    EXPECT_NE(std::find(types.begin(), types.end(), 4321u), types.end());
    EXPECT_EQ(std::find(types.begin(), types.end(), 4322u), types.end());
}
