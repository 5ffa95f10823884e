// What the view logic hands to the imagery: a file's settings records and its
// side-scan records when it is read, the reported record when a row is selected.

#include "app/controls.h"
#include "app/memory_port.h"
#include "app/tarvik_view.h"
#include "core/frame.h"
#include "imagery/imagery_displays.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/capture_records.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <utility>

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
    // The view owns the displays; empty, the echogram says so.
    const CImageryDisplays& displays = view.imagery();
    EXPECT_FALSE(displays.echogramCaption().empty());
    view.enableImagery(true);
    ASSERT_TRUE(view.openRecordFile(path));
    EXPECT_EQ(displays.resets(), 1u);
    std::vector<std::uint32_t> toSector;
    for (const auto& entry : displays.sector().store()) toSector.push_back(entry.first.recordType);
    EXPECT_EQ(toSector, (std::vector<std::uint32_t>{7000, 7004}));  // the sector keeps settings and geometry; the configuration (7001) is handed in too
    EXPECT_EQ(displays.echogramLines(), 512u);  // one per echogram row, the file holds 600
    EXPECT_EQ(displays.recordsHandedIn(), 3u + 512u);
    EXPECT_NE(displays.echogram().row(511)[30], 0);
    EXPECT_TRUE(displays.echogramCaption().empty());

    // Selecting the first beam data row draws its fan with the file's geometry.
    std::size_t row = 0;
    while (row < view.recordRowCount() && view.rowText(row, 0) != "7008") ++row;
    ASSERT_LT(row, view.recordRowCount());
    const std::uint64_t serial = displays.sector().picture().serial;
    view.OnRowSelectionChanged(row);
    EXPECT_NE(displays.sector().picture().serial, serial);
    const SectorPicture& picture = displays.sector().picture();
    EXPECT_EQ(picture.width, 128);
    EXPECT_EQ(picture.height, 1024);
    EXPECT_DOUBLE_EQ(picture.properties.range, 75.0);

    // The whole file's waterfall: every shown row, from an empty echogram.
    view.drawShownRowsInEchogram();
    EXPECT_EQ(displays.resets(), 2u);
    EXPECT_EQ(displays.echogramLines(), 600u);

    // With the displays disabled nothing is handed over.
    view.enableImagery(false);
    const std::uint64_t handed = displays.recordsHandedIn();
    ASSERT_TRUE(view.openRecordFile(path));
    view.OnRowSelectionChanged(row);
    EXPECT_EQ(displays.recordsHandedIn(), handed);
    EXPECT_EQ(displays.resets(), 2u);
}

// Live records reach the view's displays through the arrival pipeline, as one
// of its subscribers; "Start Communicating" starts the echogram afresh.
TEST(ViewImagery, LiveRecordsReachTheDisplaysThroughThePipeline) {
    testing::TempDir dir;
    synth::SampleOptions options;
    options.imageryPings = 3;
    const std::string path = dir.file("pings.vxr");
    ASSERT_TRUE(synth::writeSampleFile(path, options));
    MemoryPort port;
    MemorySettingsStore settings;
    port.setText(controls::kRecordFilter, "ALL RECORDS");
    std::vector<Bytes> frames;
    {
        CMyTarvikView reader(port, settings);
        ASSERT_TRUE(reader.openRecordFile(path));
        for (std::size_t r = 0; r < reader.recordRowCount(); ++r) frames.push_back(*reader.rowRecord(r));
    }
    CMyTarvikView view(port, settings);
    view.enableImagery(true);
    std::deque<Bytes> pending;
    view.pipeline().takePending = [&] { return std::exchange(pending, {}); };
    view.pipeline().communicating = true;
    std::size_t sideScan = 0;
    for (const Bytes& frame : frames) {
        pending.push_back(frame);
        if (FrameView(frame).recordType() == 7007) ++sideScan;
    }
    ASSERT_GT(sideScan, 0u);
    view.OnTimer(timers::kArrival);
    EXPECT_EQ(view.imagery().echogramLines(), sideScan);
}

// One sink for every source: a file, a capture of the same records and a
// live session of them reach the imagery through the pipeline and leave the
// same pictures behind (settings kept, echogram rows), and the statistics
// shown for each count the same records.
TEST(ViewImagery, AFileACaptureAndALiveSessionOfTheSameRecordsDrawAndCountAlike) {
    testing::TempDir dir;
    synth::SampleOptions options;
    options.imageryPings = 20;
    const std::string path = dir.file("same.vxr");
    ASSERT_TRUE(synth::writeSampleFile(path, options));
    MemoryPort port;
    MemorySettingsStore settings;
    port.setText(controls::kRecordFilter, "ALL RECORDS");

    CMyTarvikView file(port, settings);
    file.enableImagery(true);
    ASSERT_TRUE(file.openRecordFile(path));
    std::vector<Bytes> frames;
    for (std::size_t r = 0; r < file.recordRowCount(); ++r) frames.push_back(*file.rowRecord(r));

    const std::string capturePath = dir.file("same.pcapng");
    {
        const Bytes capture = synth::captureOfRecords(frames);
        std::FILE* out = std::fopen(capturePath.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(std::fwrite(capture.data(), 1, capture.size(), out), capture.size());
        std::fclose(out);
    }
    CMyTarvikView captured(port, settings);
    captured.enableImagery(true);
    ASSERT_TRUE(captured.openRecordFile(capturePath));
    ASSERT_EQ(captured.recordRowCount(), frames.size());

    CMyTarvikView live(port, settings);
    live.enableImagery(true);
    std::deque<Bytes> pending(frames.begin(), frames.end());
    live.pipeline().takePending = [&] { return std::exchange(pending, {}); };
    live.pipeline().communicating = true;
    live.OnTimer(timers::kArrival);
    ASSERT_EQ(live.recordRowCount(), frames.size());

    const auto sameAsLive = [&](const CMyTarvikView& shown, const char* what) {
        SCOPED_TRACE(what);
        const CImageryDisplays& a = shown.imagery();
        const CImageryDisplays& b = live.imagery();
        EXPECT_EQ(a.echogramLines(), b.echogramLines());
        EXPECT_GT(a.echogramLines(), 0u);
        EXPECT_TRUE(std::ranges::equal(a.echogram().indices(), b.echogram().indices()));
        EXPECT_EQ(a.sector().store(), b.sector().store());
        const RecordStatistics counted = shown.sourceStatistics(), arrived = live.liveStatistics();
        EXPECT_EQ(counted.frames(), arrived.frames());
        EXPECT_EQ(counted.bytes(), arrived.bytes());
        EXPECT_EQ(counted.tableLines(), arrived.tableLines());
    };
    sameAsLive(file, "file");
    sameAsLive(captured, "capture");

    // Disabled, the imagery is no sink: nothing more reaches it.
    file.enableImagery(false);
    const std::uint64_t handed = file.imagery().recordsHandedIn();
    ASSERT_TRUE(file.openRecordFile(capturePath));
    file.OnRowSelectionChanged(0);
    EXPECT_EQ(file.imagery().recordsHandedIn(), handed);
}
} // namespace
} // namespace tarvik
