// What the view logic hands to the imagery: a file's settings records and its
// side-scan records when it is read, the reported record when a row is selected.

#include "app/controls.h"
#include "app/memory_port.h"
#include "app/tarvik_view.h"
#include "core/frame.h"
#include "imagery/imagery_displays.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

namespace tarvik {
namespace {

TEST(ViewImagery, FileAndReportFeedTheDisplays) {
    testing::TempDir dir;
    synth::SampleOptions options;
    options.imageryPings = 600;
    const std::string path = dir.file("pictures.vxr");
    ASSERT_TRUE(synth::writeSampleFile(path, options));

    MemoryPort port;
    MemorySettingsStore settings;
    port.setText(controls::kRecordFilter, "ALL RECORDS");
    CMyTarvikView view(port, settings);
    CImageryDisplays displays;
    displays.StartUp();
    std::vector<std::uint32_t> toSector;
    std::size_t echogramLines = 0, resets = 0;
    view.imageryEnabled = true;
    view.displayRecord = [&](const ImageryKey& key, const Bytes& record) {
        toSector.push_back(key.recordType);
        displays.DisplayRecord(key, record);
    };
    view.echogramRecord = [&](const ImageryKey& key, const Bytes& record) {
        ++echogramLines;
        EXPECT_EQ(key.recordType, 7007u);
        displays.FeedEchogram(key, record);
    };
    view.resetImagery = [&] {
        ++resets;
        displays.Reset();
    };
    ASSERT_TRUE(view.openRecordFile(path));
    EXPECT_EQ(resets, 1u);
    EXPECT_EQ(toSector, (std::vector<std::uint32_t>{7001, 7000, 7004}));
    EXPECT_EQ(echogramLines, 512u);  // one per echogram row, the file holds 600
    EXPECT_NE(displays.echogram().row(511)[30], 0);

    // Selecting the first beam data row draws its fan with the file's geometry.
    std::size_t row = 0;
    while (row < view.recordRowCount() && view.rowText(row, 0) != "7008") ++row;
    ASSERT_LT(row, view.recordRowCount());
    view.OnRowSelectionChanged(row);
    EXPECT_EQ(toSector.back(), 7008u);
    const SectorPicture& picture = displays.sector().picture();
    EXPECT_EQ(picture.width, 128);
    EXPECT_EQ(picture.height, 1024);
    EXPECT_DOUBLE_EQ(picture.properties.range, 75.0);

    // With the displays disabled nothing is handed over.
    view.imageryEnabled = false;
    toSector.clear();
    ASSERT_TRUE(view.openRecordFile(path));
    view.OnRowSelectionChanged(row);
    EXPECT_TRUE(toSector.empty());
    EXPECT_EQ(resets, 1u);
}

} // namespace
} // namespace tarvik
