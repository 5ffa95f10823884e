// The "Read Vx File" command and the file rows of the record list, through the in-memory port.

#include "app/controls.h"
#include "app/memory_port.h"
#include "app/tarvik_view.h"
#include "core/frame.h"
#include "core/record_file.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace tarvik;
using tarvik::testing::concat;
using tarvik::testing::TempDir;

namespace {

class ReadVxFile : public ::testing::Test {
protected:
    ReadVxFile() { port.setText(controls::kRecordFilter, "ALL RECORDS"); }

    std::string sample(const std::string& name, std::size_t frames, bool catalog = true) {
        synth::SampleOptions o;
        o.frames = frames;
        o.withCatalog = catalog;
        std::string p = dir.file(name);
        EXPECT_TRUE(synth::writeSampleFile(p, o));
        return p;
    }
    std::vector<std::string> row(std::size_t r) const {
        return {view.rowText(r, 0), view.rowText(r, 1), view.rowText(r, 2)};
    }

    TempDir dir;
    MemoryPort port;
    MemorySettingsStore settings;
    CMyTarvikView view{port, settings};
};

} // namespace

TEST_F(ReadVxFile, ChosenFileIsListedAndRemembered) {
    const std::string path = sample("run.vxr", 14);
    port.fileAnswers.push_back(OpenFileResult::chosen(path));
    view.OnReadVxFile();

    ASSERT_EQ(port.fileRequests.size(), 1u);
    const OpenFileRequest& req = port.fileRequests[0];
    EXPECT_EQ(req.defaultExtension, "vxr");
    // Record files first, then packet captures.
    EXPECT_EQ(req.filter, "VX Files (*.vxr)|*.vxr|Packet Captures (*.pcap *.pcapng)|*.pcap;*.pcapng|"
                          "VX Files And Packet Captures (*.vxr *.pcap *.pcapng)|*.vxr;*.pcap;*.pcapng||");
    EXPECT_EQ(req.initialName, "*.vxr");  // nothing remembered yet
    EXPECT_TRUE(req.readOnly && req.pathMustExist && req.fileMustExist);

    EXPECT_TRUE(view.fileSourceMode());
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(port.recordRowCount, 16u);
    EXPECT_EQ(view.recordRowCount(), 16u);
    EXPECT_EQ(row(0), (std::vector<std::string>{"7200", "396 bytes", "0"}));
    EXPECT_EQ(row(1)[0], "7000");
    EXPECT_EQ(row(15)[0], "7300");
    EXPECT_EQ(row(15)[2], "15");
    EXPECT_EQ(port.windowTitle, "Tarvik - Reading " + path);
    EXPECT_EQ(readString(settings, "Last Vx file read"), path);
    EXPECT_FALSE(port.waitCursor);

    // The next dialog starts from the current file; choosing it again reads nothing:
    // the title is left alone and the rows stay.
    port.fileAnswers.push_back(OpenFileResult::chosen(path));
    port.windowTitle = "Tarvik";
    view.OnReadVxFile();
    EXPECT_EQ(port.fileRequests[1].initialName, path);
    EXPECT_EQ(port.recordRowCount, 16u);
    EXPECT_EQ(port.windowTitle, "Tarvik");

    // Another file replaces the title's tail rather than adding to it.
    port.windowTitle = "Tarvik - Reading " + path;
    const std::string other = sample("other.vxr", 3, false);
    port.fileAnswers.push_back(OpenFileResult::chosen(other));
    view.OnReadVxFile();
    EXPECT_EQ(port.windowTitle, "Tarvik - Reading " + other);
    EXPECT_EQ(view.recordRowCount(), 4u);  // file header and three frames
}

TEST_F(ReadVxFile, TheSameFileChosenAfterACancelIsListedAgain) {
    const std::string path = sample("again.vxr", 5);
    port.fileAnswers.push_back(OpenFileResult::chosen(path));
    view.OnReadVxFile();
    ASSERT_EQ(port.recordRowCount, 7u);
    view.OnReadVxFile();  // cancelled: the list leaves the file
    EXPECT_FALSE(view.fileSourceMode());
    EXPECT_EQ(port.recordRowCount, 0u);
    port.fileAnswers.push_back(OpenFileResult::chosen(path));
    view.OnReadVxFile();
    EXPECT_TRUE(view.fileSourceMode());
    EXPECT_EQ(port.recordRowCount, 7u);
    EXPECT_EQ(view.rowText(6, 0), "7300");
}

TEST_F(ReadVxFile, InitialNameComesFromTheSettingWithThePatternAdded) {
    writeString(settings, "Last Vx file read", "/data/previous");
    view.OnReadVxFile();  // cancelled
    EXPECT_EQ(port.fileRequests.at(0).initialName, "/data/previous*.vxr");
    EXPECT_FALSE(view.fileSourceMode());
}

TEST_F(ReadVxFile, FailedDialogIsShownAgainWithoutInitialName) {
    const std::string path = sample("again.vxr", 2);
    port.fileAnswers.push_back(OpenFileResult::failed());
    port.fileAnswers.push_back(OpenFileResult::chosen(path));
    view.OnReadVxFile();
    ASSERT_EQ(port.fileRequests.size(), 2u);
    EXPECT_EQ(port.fileRequests[1].initialName, "");
    EXPECT_EQ(view.recordRowCount(), 4u);
}

TEST_F(ReadVxFile, UnopenableFileShowsItsMessage) {
    const std::string path = dir.file("missing.vxr");
    port.fileAnswers.push_back(OpenFileResult::chosen(path));
    view.OnReadVxFile();
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0], "could not open the specified file " + path + "\nNo such file or directory");
    EXPECT_FALSE(view.fileSourceMode());
    EXPECT_EQ(port.windowTitle, "Tarvik");
}

TEST_F(ReadVxFile, BrokenFilesAreListedUpToTheBreak) {
    auto empty = dir.write("empty.vxr", {});
    EXPECT_TRUE(view.openRecordFile(empty));
    EXPECT_EQ(port.messages.back(), "File empty.vxr Is Empty");
    EXPECT_EQ(view.recordRowCount(), 0u);
    EXPECT_TRUE(port.reportLines.empty());

    Bytes first = synth::sampleFrame(7000, 1, 1, 1);
    ByteWriter w(first);
    w.patch<std::uint32_t>(8, 70);
    auto broken = dir.write("broken.vxr", concat({w.take(), synth::sampleFrame(7004, 1, 2, 1)}));
    EXPECT_TRUE(view.openRecordFile(broken));
    EXPECT_EQ(port.messages.back(), "Second Record Of File broken.vxr Does Not Have The Sync Pattern");
    EXPECT_EQ(view.recordRowCount(), 1u);
    EXPECT_EQ(port.recordRowCount, 1u);
}

TEST_F(ReadVxFile, FilterSelectsRowsByTypeTextAndKeepsIndexPositions) {
    const std::string path = sample("filter.vxr", 14);
    port.setText(controls::kRecordFilter, "7000; 7004");
    ASSERT_TRUE(view.openRecordFile(path));
    ASSERT_EQ(view.recordRowCount(), 4u);
    EXPECT_EQ(row(0), (std::vector<std::string>{"7000", view.rowText(0, 1), "1"}));
    EXPECT_EQ(row(1)[0], "7004");
    EXPECT_EQ(row(1)[2], "2");
    EXPECT_EQ(row(2)[2], "8");

    port.setText(controls::kRecordFilter, "7300");
    view.LoadRecordFile();
    ASSERT_EQ(view.recordRowCount(), 1u);
    EXPECT_EQ(row(0)[2], "15");
    auto frame = view.rowRecord(0);
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(FrameView(*frame).recordType(), 7300u);
    EXPECT_FALSE(view.rowRecord(1).has_value());
    EXPECT_EQ(view.rowText(1, 0), "");
}

TEST_F(ReadVxFile, PreloadHandsTheFirstSettingsConfigurationGeometryAndPingsToTheImagery) {
    const std::string path = sample("preload.vxr", 30);
    view.enableImagery(true);
    const CImageryDisplays& imagery = view.imagery();
    ASSERT_TRUE(view.openRecordFile(path));
    std::vector<std::uint32_t> handed;
    for (const auto& [key, frame] : imagery.sector().store()) {
        handed.push_back(key.recordType);
        EXPECT_EQ(FrameView(frame).recordType(), key.recordType);
        EXPECT_EQ(key.deviceId, 7125u);
    }
    EXPECT_EQ(handed, (std::vector<std::uint32_t>{7000, 7004}));  // the sector keeps settings and geometry; the configuration (7001) is handed in too
    // A file without side-scan records draws its echogram from the beam data
    // records (four of its 30 frames), and the pane's placeholder goes.
    EXPECT_EQ(imagery.recordsHandedIn(), 3u + 4u);
    EXPECT_EQ(imagery.echogramLines(), 4u);
    EXPECT_TRUE(imagery.echogramCaption().empty());
    EXPECT_EQ(imagery.resets(), 1u);
}

TEST_F(ReadVxFile, AFilterChangeListsRowsAgainWithoutReadingTheFileOrTheImagery) {
    const std::string path = sample("refilter.vxr", 30);
    view.enableImagery(true);
    const CImageryDisplays& imagery = view.imagery();
    ASSERT_TRUE(view.openRecordFile(path));
    const std::size_t all = view.recordRowCount();
    ASSERT_EQ(imagery.resets(), 1u);
    const std::uint64_t preloaded = imagery.recordsHandedIn();

    // The file goes away: a filter change must not need it.
    ASSERT_EQ(::unlink(path.c_str()), 0);
    port.selectedRow = 3;
    port.setText(controls::kRecordFilter, "7000");
    view.OnRecordFilterClosed();
    EXPECT_LT(view.recordRowCount(), all);
    EXPECT_GT(view.recordRowCount(), 0u);
    EXPECT_EQ(port.recordRowCount, view.recordRowCount());
    EXPECT_EQ(view.rowText(0, 0), "7000");
    EXPECT_EQ(port.selectedRow, std::nullopt);  // the selected row's record may be gone
    EXPECT_EQ(imagery.resets(), 1u);
    EXPECT_EQ(imagery.recordsHandedIn(), preloaded);
    EXPECT_TRUE(port.messages.empty());

    port.setText(controls::kRecordFilter, "ALL RECORDS");
    view.OnRecordFilterClosed();
    EXPECT_EQ(view.recordRowCount(), all);
}

// The expression box: an expression lists the rows it passes, one that does
// not compile says why and leaves the rows, the record types take over again.
TEST_F(ReadVxFile, TheFilterExpressionBoxListsTheRowsAnExpressionPasses) {
    ASSERT_TRUE(view.openRecordFile(sample("expression.vxr", 30)));
    const std::size_t all = view.recordRowCount();
    port.setText(controls::kRecordFilter, "7000");
    view.OnRecordFilterClosed();
    std::size_t later = 0;
    for (std::size_t row = 0; row < view.recordRowCount(); ++row) later += std::stoul(view.rowText(row, 2)) > 10;
    ASSERT_GT(later, 0u);
    port.setText(controls::kRecordFilter, "ALL RECORDS");
    view.OnRecordFilterClosed();

    port.setText(controls::kFilterExpression, "7000 && row > 10");
    EXPECT_TRUE(view.OnFilterExpressionEntered());
    EXPECT_EQ(view.recordRowCount(), later);
    EXPECT_EQ(port.recordRowCount, later);
    EXPECT_TRUE(port.hidden.count(controls::kFilterProblem));

    port.setText(controls::kFilterExpression, "vx.7000.nonesuch > 2");
    EXPECT_FALSE(view.OnFilterExpressionEntered());
    EXPECT_NE(view.filterProblem().find("unknown field \"vx.7000.nonesuch\""), std::string::npos);
    EXPECT_EQ(port.text(controls::kFilterProblem), view.filterProblem());
    EXPECT_FALSE(port.hidden.count(controls::kFilterProblem));
    EXPECT_EQ(view.recordRowCount(), later);  // the rows stay as they were

    // The record-type choices replace the expression, and clear the box.
    view.OnRecordFilterClosed();
    EXPECT_EQ(view.recordRowCount(), all);
    EXPECT_EQ(port.text(controls::kFilterExpression), "");
    EXPECT_TRUE(view.filterProblem().empty());
}

TEST_F(ReadVxFile, TheMessageThatStopsTheListOffersToReadPastTheDamage) {
    Bytes garbage(10, 0xEE);
    const auto path = dir.write("damaged.vxr", concat({synth::sampleFrame(7000, 1, 1, 1), garbage,
                                                       synth::sampleFrame(7004, 1, 2, 1), synth::sampleFrame(7027, 1, 3, 1)}));
    // Declined: the list stops at the break, as it always did.
    EXPECT_TRUE(view.openRecordFile(path));
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0], "Second Record Of File damaged.vxr Does Not Have The Sync Pattern");
    EXPECT_EQ(port.offers, (std::vector<std::string>{"Read Past Damage"}));
    EXPECT_EQ(view.recordRowCount(), 1u);

    // Taken: listing resumes at the next sync pattern, with a row saying what was skipped.
    port.offerAnswers.push_back(true);
    view.LoadRecordFile();
    EXPECT_EQ(port.messages.size(), 2u);
    ASSERT_EQ(view.recordRowCount(), 4u);
    EXPECT_EQ(port.recordRowCount, 4u);
    EXPECT_EQ(view.rowText(1, 1), "TEXT 10 Bytes Skipped To The Next Sync Pattern");
    EXPECT_EQ(view.rowText(2, 0), "7004");
    EXPECT_EQ(view.rowText(3, 2), "2");
    // The text row reports as a text line.
    view.OnRowSelectionChanged(1);
    ASSERT_FALSE(port.reportLines.empty());
    EXPECT_EQ(port.reportLines[0].text, " 10 Bytes Skipped To The Next Sync Pattern");

    // Asked for in advance (tarvik-cli list --resync): no message at all.
    CMyTarvikView quiet{port, settings};
    quiet.readPastDamage = true;
    port.messages.clear();
    EXPECT_TRUE(quiet.openRecordFile(path));
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(quiet.recordRowCount(), 4u);

    // An empty file has nothing to go on to: no offer.
    port.offers.clear();
    EXPECT_TRUE(view.openRecordFile(dir.write("empty.vxr", {})));
    EXPECT_TRUE(port.offers.empty());
}

TEST_F(ReadVxFile, AFileCutOffInsideItsLastFrameSaysSoOnceAndMarksTheRow) {
    const std::string whole = sample("whole.vxr", 6, false);
    Bytes bytes(std::filesystem::file_size(whole));
    {
        RecordFile f;
        ASSERT_TRUE(f.open(whole));
        ASSERT_EQ(f.readAt(0, bytes), bytes.size());
    }
    // Cut 100 bytes before the end: the last frame is left with fewer than its Size.
    const std::string path = dir.write("cut.vxr", Bytes(bytes.begin(), bytes.end() - 100));
    view.reportCoverage = true;
    ASSERT_TRUE(view.openRecordFile(path));
    const std::size_t last = view.recordRowCount() - 1;
    const std::uint32_t size = FrameView(*view.rowRecord(last)).size();
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0], "Record " + std::to_string(last) + " Of File cut.vxr Is Cut Off At Byte " +
                                    std::to_string(bytes.size() - 100) + ": The File Holds " +
                                    std::to_string(size - 100) + " Of Its " + std::to_string(size) + " Bytes");
    EXPECT_EQ(row(last)[1], std::to_string(size) + " bytes, cut off: " + std::to_string(size - 100) + " held");
    EXPECT_EQ(row(last - 1)[1].find("cut off"), std::string::npos);

    // Its report counts the missing bytes as not decoded; only held bytes are shaded.
    view.OnRowSelectionChanged(last);
    ASSERT_FALSE(port.reportLines.empty());
    EXPECT_NE(port.reportLines.back().text.find("(96 of them cut off)"), std::string::npos)
        << port.reportLines.back().text;
    for (const auto& [offset, count] : port.shadedBytes) EXPECT_LE(offset + count, size - 100);

    // A filter change lists the rows again without saying it twice; a whole file says nothing.
    port.setText(controls::kRecordFilter, "7000");
    view.OnRecordFilterClosed();
    EXPECT_EQ(port.messages.size(), 1u);
    port.setText(controls::kRecordFilter, "ALL RECORDS");
    port.messages.clear();
    ASSERT_TRUE(view.openRecordFile(whole));
    EXPECT_TRUE(port.messages.empty());
    EXPECT_EQ(row(view.recordRowCount() - 1)[1].find("cut off"), std::string::npos);
}
