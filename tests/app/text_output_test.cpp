// The text outputs: free names, the current-record text file, the dump of the
// rows in sight and the condensed copy of a record file, byte for byte.

#include "app/controls.h"
#include "app/memory_port.h"
#include "app/tarvik_view.h"
#include "app/text_output.h"
#include "core/condense.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/sample_records.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

using namespace tarvik;
using tarvik::testing::TempDir;

namespace {
using tarvik::testing::slurp;

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A frame whose data section begins with a sonar serial number and `ping`, time 5 March 2024 07:04:09.125.
Bytes pingFrame(std::uint32_t type, std::uint32_t device, std::uint32_t ping, std::uint32_t counter,
                std::size_t padTo = 0) {
    FrameBuilder b(type);
    b.device(device, 0).counter(counter).time(VxTIME{2024, 65, 9.125f, 7, 4});
    b.data().u64(0x1234).u32(ping).fill(4, 0x5A);
    Bytes f = b.build();
    if (padTo > f.size()) {
        FrameBuilder p(type);
        p.device(device, 0).counter(counter).time(VxTIME{2024, 65, 9.125f, 7, 4});
        p.data().u64(0x1234).u32(ping).fill(padTo - f.size() + 4, 0x5A);
        f = p.build();
    }
    return f;
}

class TextOutputs : public ::testing::Test {
protected:
    TextOutputs() {
        port.setText(controls::kRecordFilter, "ALL RECORDS");
        out = dir.file("out");
        std::filesystem::create_directory(out);
        RegistryString folder(setting_names::kLastOutputDirectory, settings);
        folder = out;
        folder.Write();
        view.clock = [] { return std::time_t{1709622249}; };
    }
    std::string recordFile(const std::string& name, std::initializer_list<Bytes> frames) {
        Bytes all;
        for (const Bytes& f : frames) all.insert(all.end(), f.begin(), f.end());
        return dir.write(name, all);
    }

    TempDir dir;
    std::string out;
    MemoryPort port;
    MemorySettingsStore settings;
    CMyTarvikView view{port, settings};
};

} // namespace

TEST_F(TextOutputs, ResolverProbesNumberedNamesAndNeverOverwrites) {
    EXPECT_EQ(ResolveTextOutputName(port, out, "rec", "txt"), out + "/rec.txt");
    EXPECT_EQ(ResolveTextOutputName(port, out + "/", "rec.", "txt"), out + "/rec.txt");
    std::ofstream(out + "/rec.txt") << "kept";
    EXPECT_EQ(ResolveTextOutputName(port, out, "rec", "txt"), out + "/rec.000.txt");
    std::ofstream(out + "/rec.000.txt") << "kept";
    EXPECT_EQ(ResolveTextOutputName(port, out, "rec", "txt"), out + "/rec.001.txt");
    EXPECT_TRUE(port.messages.empty());

    EXPECT_EQ(ResolveTextOutputName(port, dir.file("missing"), "rec", "txt"), "");
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0], "Logging Path Does Not Exist");

    // Every one of the 1000 names taken: no name, nothing touched.
    for (int i = 1; i <= 998; ++i) std::ofstream(out + "/rec." + std::to_string(1000 + i).substr(1) + ".txt") << "kept";
    EXPECT_EQ(ResolveTextOutputName(port, out, "rec", "txt"), "");
    EXPECT_EQ(port.messages.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(out + "/rec.999.txt"));

    const std::string vxr = recordFile("rec.vxr", {pingFrame(7000, 1, 5, 1)});
    ASSERT_TRUE(view.openRecordFile(vxr));
    port.messages.clear();
    view.OnDumpAllShown();
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0], "could not resolve the output file name");
    EXPECT_EQ(slurp(out + "/rec.txt"), "kept");
    EXPECT_EQ(slurp(out + "/rec.998.txt"), "kept");
}

TEST_F(TextOutputs, CurrentRecordFilesTakeRecordsUntilClosed) {
    const std::string vxr = recordFile("rec.vxr", {pingFrame(7000, 1, 5, 1), pingFrame(7006, 1, 6, 2)});
    view.OnWriteCurrentRecord();  // nothing read or received yet: nothing happens
    EXPECT_TRUE(view.textOutputFileName().empty());
    ASSERT_TRUE(view.openRecordFile(vxr));

    std::string expected = "   READING FROM FILE: " + vxr + "\r\n\r\n";
    for (std::size_t row : {0u, 1u, 0u}) {
        view.OnRowSelectionChanged(row);
        view.OnWriteCurrentRecord();
        for (const ReportLine& line : port.reportLines) expected += line.text + "\r\n";
        expected += "<< END OF RECORD >>\r\n";
    }
    const std::string first = out + "/rec.vxr.txt";
    EXPECT_EQ(view.textOutputFileName(), first);
    EXPECT_EQ(slurp(first), expected);
    EXPECT_EQ(count(slurp(first), "READING FROM FILE"), 1u);

    view.OnCloseTextOutput();
    EXPECT_TRUE(view.textOutputFileName().empty());
    view.OnWriteCurrentRecord();
    EXPECT_EQ(view.textOutputFileName(), out + "/rec.vxr.000.txt");
    EXPECT_EQ(count(slurp(out + "/rec.vxr.000.txt"), "<< END OF RECORD >>"), 1u);
    EXPECT_EQ(count(slurp(first), "<< END OF RECORD >>"), 3u);

    // Reading a record file ends the current text file as well.
    ASSERT_TRUE(view.openRecordFile(recordFile("other.vxr", {pingFrame(7000, 1, 5, 1)})));
    EXPECT_TRUE(view.textOutputFileName().empty());
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(TextOutputs, DumpWritesSummaryAndDetailsOfTheRowsInSight) {
    const std::string vxr = recordFile("rec.vxr", {pingFrame(7000, 1, 5, 1), pingFrame(7006, 1, 6, 2),
                                                   pingFrame(7027, 1, 7, 3), pingFrame(7000, 1, 8, 4)});
    ASSERT_TRUE(view.openRecordFile(vxr));
    port.visibleRows = std::pair<std::size_t, std::size_t>(1, 9);  // clamped to the last row
    view.OnDumpAllShown();
    const std::string file = out + "/rec.txt";
    const std::string text = slurp(file);

    std::string expected = "Tarvik: Logging to file: " + file + "\r\n\r\n" +
                           "\r\n################# SUMMARY ##################################\r\n\r\n";
    std::size_t lines = 0;
    for (std::size_t r = 1; r < 4; ++r, ++lines)
        expected += view.rowText(r, 0) + "\t" + view.rowText(r, 1) + "\t" + view.rowText(r, 2) + "\r\n";
    expected += "\r\n################# DETAILS ##################################\r\n\r\n";
    for (std::size_t r = 1; r < 4; ++r) {
        view.OnRowSelectionChanged(r);
        for (const ReportLine& line : port.reportLines) expected += line.text + "\r\n";
        lines += port.reportLines.size();
        expected += "-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-\r\n\r\n";
    }
    EXPECT_EQ(text, expected);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0], "Wrote " + std::to_string(lines) + " lines to the the log file, " + file);

    view.OnDumpAllShown();
    EXPECT_EQ(port.messages.back().substr(port.messages.back().size() - 12), "/rec.000.txt");
    EXPECT_EQ(slurp(file), expected);
}

TEST_F(TextOutputs, CondensedFileWithAGapInThePings) {
    const std::string vxr = recordFile("rec.vxr", {pingFrame(7000, 3, 20, 1), pingFrame(7006, 9, 100, 2),
                                                   pingFrame(7001, 9, 0, 3), pingFrame(7006, 9, 103, 4),
                                                   pingFrame(7004, 9, 0, 5)});
    ASSERT_TRUE(view.openRecordFile(vxr));
    view.setDataSeparator(DataSeparator::Comma);
    view.OnCopyToCondensedFile();
    const std::string file = out + "/rec.txt";
    const std::string head = "Tarvik: Logging to file: " + file + "\r\n\r\n" +
                             "\r\n################# SUMMARY ##################################\r\n" +
                             "### ping or record, record type, size in bytes, date, time\r\n\r\n";
    const std::string size = std::to_string(pingFrame(7000, 0, 0, 0).size());
    // The first 7000 ping (20, nothing stored before) counts as a gap after 0 in
    // this file's own rule; the second 7006 comes three after the first.
    EXPECT_EQ(slurp(file), head + "! ! ! 7000 DROPPED PING AFTER # 0\r\n" +
                                  "20,7000," + size + ",03/05/2024,07:04:09.125\r\n" +
                                  "100,7006," + size + ",03/05/2024,07:04:09.125\r\n" +
                                  "3,7001," + size + ",03/05/2024,07:04:09.125\r\n" +
                                  "! ! ! 7006 DROPPED PING AFTER # 100\r\n" +
                                  "103,7006," + size + ",03/05/2024,07:04:09.125\r\n" +
                                  "5,7004," + size + ",03/05/2024,07:04:09.125\r\n");
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0], "Wrote 5 lines to the the log file, " + file);
    EXPECT_EQ((view.pipeline().lastPings()[{7006, 9, 0}]), 103u);
}

TEST_F(TextOutputs, CondenseNeedsAnOpenFileAndStopsWhenCancelled) {
    view.OnCopyToCondensedFile();
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0], "Apparently No Input File");

    synth::SampleOptions options;
    options.frames = 50000;
    const std::string vxr = dir.file("big.vxr");
    ASSERT_TRUE(synth::writeSampleFile(vxr, options));
    ASSERT_TRUE(view.openRecordFile(vxr));
    port.cancelAfterSteps = 2;
    view.OnCopyToCondensedFile();
    EXPECT_FALSE(port.progressShown);
    const std::string text = slurp(out + "/big.txt");
    const std::size_t lines = count(text, "/2024");
    EXPECT_GT(lines, 0u);
    EXPECT_LT(lines, 50000u);
    EXPECT_EQ(port.messages.back(), "Cancelled: wrote " + std::to_string(lines) + " lines to the log file, " + out +
                                        "/big.txt, and kept them");
}

TEST(CondensedLine, FormatsAsTheSeparatorsPrintfFormatWould) {
    std::string line;
    appendCondensedLine(line, DataSeparator::Comma, 100, 7006, 12345, 3, 5, 2024, 7, 4, 9.125f);
    EXPECT_EQ(line, "100,7006,12345,03/05/2024,07:04:09.125\r\n");
    line.clear();
    appendCondensedLine(line, DataSeparator::FixedWidth, 100, 7006, 12345, 3, 5, 2024, 7, 4, 9.125f);
    EXPECT_EQ(line, "      100      7006     12345 03/05/2024 07:04:09.125\r\n");

    const char* formats[] = {"%d\t%d\t%d\t%02d/%02d/%02d\t%02d:%02d:%06.3f\r\n",
                             "%d %d %d %02d/%02d/%02d %02d:%02d:%06.3f\r\n",
                             "%d,%d,%d,%02d/%02d/%02d,%02d:%02d:%06.3f\r\n",
                             "%9d %9d %9d %02d/%02d/%02d %02d:%02d:%06.3f\r\n"};
    std::mt19937 random(11);
    auto any = [&] { return static_cast<std::uint32_t>(random()); };
    for (int i = 0; i < 20000; ++i) {
        const int s = i % 4;
        const std::uint32_t number = i % 3 == 0 ? any() : any() % 1000;
        const int month = static_cast<int>(any() % 14), day = static_cast<int>(any() % 33);
        const int year = i % 50 == 0 ? -5 : static_cast<int>(any() % 3000);
        const int hours = static_cast<int>(any() % 25), minutes = static_cast<int>(any() % 61);
        float seconds = static_cast<float>(any() % 60000) / 1000.0f + static_cast<float>(any() % 7) * 0.0005f;
        if (i % 97 == 0) seconds = -seconds - 1.0f;
        if (i % 89 == 0) seconds = 1e9f;
        const auto size = any() % 100000;
        char expected[256];
        std::snprintf(expected, sizeof expected, formats[s], static_cast<int>(number), 7006, static_cast<int>(size),
                      month, day, year, hours, minutes, static_cast<double>(seconds));
        const std::string e(expected);
        std::string got;
        appendCondensedLine(got, static_cast<DataSeparator>(s), number, 7006, size, month, day, year, hours, minutes,
                            seconds);
        ASSERT_EQ(got, e) << "case " << i;
    }
}

namespace {
// A port whose progress steps let the window's timers run, as the progress
// dialog's event loop does: records arrive in the middle of a dump.
class BusyPort : public MemoryPort {
public:
    std::function<void()> whileProgressShows;
    bool stepProgress(std::uint64_t done) override {
        if (whileProgressShows) whileProgressShows();
        return MemoryPort::stepProgress(done);
    }
};
} // namespace

TEST(LiveDump, WritesTheRowsInSightWhenItStartedWhateverArrivesMeanwhile) {
    TempDir dir;
    BusyPort port;
    MemorySettingsStore settings;
    port.setText(controls::kRecordFilter, "ALL RECORDS");
    RegistryString folder(setting_names::kLastOutputDirectory, settings);
    folder = dir.path().string();
    folder.Write();
    CMyTarvikView view{port, settings};
    std::deque<Bytes> pending;
    view.pipeline().takePending = [&] { return std::exchange(pending, {}); };
    view.pipeline().communicating = true;
    ASSERT_TRUE(view.pipeline().setScrollLimit(20));
    std::uint32_t counter = 0;
    auto arrive = [&](int frames) {
        for (int i = 0; i < frames; ++i, ++counter) pending.push_back(pingFrame(7000, 1, 100 + counter, counter));
        view.OnTimer(timers::kArrival);
    };
    arrive(20);
    ASSERT_EQ(view.recordRowCount(), 20u);

    std::string expected;
    for (std::size_t r = 0; r < 20; ++r) {
        const Bytes record = *view.rowRecord(r);
        EXPECT_EQ(FrameView(record).recordCounter(), r);
        for (const std::string& line : view.reportLinesOf(record, view.rowRecordNumber(r))) expected += line + "\r\n";
        expected += "-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-\r\n\r\n";
    }
    port.selectedRow = 17;
    int ticks = 0;
    port.whileProgressShows = [&] {
        if (ticks++ == 0) arrive(15);  // drops the 15 oldest rows and shifts the rest
    };
    view.OnDumpAllShown();
    ASSERT_EQ(ticks, 1);
    EXPECT_EQ(FrameView(*view.rowRecord(0)).recordCounter(), 15u);  // the list did move on

    const std::string text = slurp(view.lastWrittenTextFile());
    const std::size_t details = text.find("DETAILS");
    ASSERT_NE(details, std::string::npos);
    EXPECT_EQ(text.substr(text.find("\r\n\r\n", details) + 4), expected);
    EXPECT_EQ(count(text.substr(0, details), "7000\t"), 20u);
    // The report list and the selection were never used for it: the
    // selection stayed on its record as the list moved on.
    EXPECT_TRUE(port.reportLines.empty());
    EXPECT_EQ(port.selectedRow, std::optional<std::size_t>(2));
}
