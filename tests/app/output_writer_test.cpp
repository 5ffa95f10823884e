// The output record file: what "Write Vx Output File" records, how it names
// files, and that a failing disk or a killed program never leaves a file the
// reader cannot read up to its last whole frame.

#include "app/controls.h"
#include "app/memory_port.h"
#include "app/tarvik_view.h"
#include "core/record_file.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/sample_records.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarvik;
using tarvik::testing::TempDir;

namespace {
using tarvik::testing::slurpBytes;

// 5 March 2024 07:04:09 UTC.
constexpr std::time_t kStart = 1709622249;

std::vector<RecordIndexEntry> readBack(const std::string& path, std::optional<std::string>* problem = nullptr) {
    RecordFile file;
    EXPECT_TRUE(file.open(path));
    RecordIndex index;
    auto message = ScanFrames(file, index);
    if (problem) *problem = message;
    std::vector<RecordIndexEntry> out;
    for (std::size_t i = 0; i < index.size(); ++i) out.push_back(index[i]);
    return out;
}

class OutputWriter : public ::testing::Test {
protected:
    OutputWriter() {
        setFolder(dir.path().string());
        port.windowTitle = "Tarvik";
        writer.clock = [this] { return now; };
        writer.versionText = "1.2.3";
    }
    void setFolder(const std::string& folder) {
        RegistryString s(setting_names::kLastOutputDirectory, settings);
        s = folder;
        s.Write();
    }
    Bytes frame(std::uint32_t type, std::uint32_t counter, std::uint32_t ping = 1) {
        return synth::sampleFrame(type, 7125, counter, ping);
    }

    TempDir dir;
    MemoryPort port;
    MemorySettingsStore settings;
    COutputFileWriter writer{port, settings};
    std::time_t now = kStart;
};

} // namespace

TEST_F(OutputWriter, RecordsAFileHeaderThenEveryFrameUnchanged) {
    writer.OnWriteOutputFile();
    ASSERT_TRUE(writer.writing());
    const std::string name = dir.file("20240305_070409.vxr");
    EXPECT_EQ(writer.outputFileName(), name);
    EXPECT_EQ(port.text(controls::kOutputFileLabel), name);
    EXPECT_EQ(port.text(controls::kWriteOutputFile), "Stop Writing Output File");
    EXPECT_EQ(port.windowTitle, "Tarvik - Writing " + name);
    EXPECT_EQ(port.runningTimers.count(timers::kArrival), 1u);

    FrameBuilder first = synth::sampleBuilder(7000, 7125, 41);
    first.header().reserved1 = 3;
    first.header().systemEnumerator = 2;
    first.header().time = VxTIME{2024, 65, 9.125f, 7, 4};
    first.data().u32(1234).fill(40, 7);
    const Bytes f7000 = first.build();
    const Bytes f7006 = frame(7006, 42, 100);
    writer.WriteArrivedFrame(f7000);
    writer.WriteArrivedFrame(f7006);
    EXPECT_EQ(writer.framesWritten(), 3u);

    const Bytes bytes = slurpBytes(name);
    ASSERT_EQ(bytes.size(), kFileHeaderRecordSize + f7000.size() + f7006.size());
    EXPECT_TRUE(std::equal(f7000.begin(), f7000.end(), bytes.begin() + kFileHeaderRecordSize));
    EXPECT_TRUE(std::equal(f7006.begin(), f7006.end(), bytes.begin() + kFileHeaderRecordSize + f7000.size()));

    const ByteSpan header(bytes.data(), kFileHeaderRecordSize);
    FrameView h(header), t(f7000);
    EXPECT_EQ(h.size(), 384u);
    EXPECT_EQ(h.recordType(), 7200u);
    EXPECT_EQ(h.flags(), 1u);
    EXPECT_EQ(h.optionalDataOffset(), 0u);
    EXPECT_EQ(h.optionalDataId(), 0u);
    EXPECT_EQ(h.fragmentNumber(), 0u);
    EXPECT_TRUE(std::equal(h.timeBytes().begin(), h.timeBytes().end(), t.timeBytes().begin()));
    EXPECT_EQ(h.deviceId(), t.deviceId());
    EXPECT_EQ(h.recordCounter(), 41u);
    EXPECT_EQ(h.systemEnumerator(), 2u);
    EXPECT_EQ(h.reserved1(), 3u);
    EXPECT_EQ(h.protocolVersion(), t.protocolVersion());
    EXPECT_EQ(h.checksumField(), computeChecksum(header, 380));

    const std::uint8_t id[] = {0x7D, 0x57, 0xDF, 0x33, 0xEC, 0x2A, 0x3E, 0xA9,
                               0x6F, 0x4D, 0xB0, 0xCF, 0x43, 0x2F, 0x30, 0xF3};
    EXPECT_TRUE(std::equal(std::begin(id), std::end(id), header.begin() + 64));
    EXPECT_EQ(readLEOr0<std::uint16_t>(header, 64 + 16), 1u);
    auto field = [&](std::size_t at, std::size_t width) {
        return std::string(reinterpret_cast<const char*>(header.data()) + 64 + at, width);
    };
    EXPECT_EQ(field(44, 64), std::string("Tarvik\0", 7) + std::string(57, '\xFE'));
    EXPECT_EQ(field(108, 16), std::string("1.2.3\0", 6) + std::string(10, '\xFE'));
    const std::string notes = "Tarvik does not write notes";
    EXPECT_EQ(field(188, 128), notes + '\0' + std::string(128 - notes.size() - 1, '\xFE'));

    auto rows = readBack(name);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].recordType(), 7200u);
    EXPECT_EQ(rows[1].recordType(), 7000u);
    EXPECT_EQ(rows[2].recordType(), 7006u);

    // Sent commands go into the file as well.
    const Bytes sent = frame(7500, 43);
    writer.WriteSentRecord(sent);
    EXPECT_EQ(readBack(name).size(), 4u);

    writer.OnWriteOutputFile();
    EXPECT_FALSE(writer.writing());
    EXPECT_EQ(port.text(controls::kOutputFileLabel), "");
    EXPECT_EQ(port.text(controls::kWriteOutputFile), "Write Output File");
    EXPECT_EQ(port.windowTitle, "Tarvik");
    writer.WriteArrivedFrame(f7000);  // not writing: nothing happens
    EXPECT_EQ(readBack(name).size(), 4u);
}

TEST_F(OutputWriter, NamesAndUserDefinedNames) {
    EXPECT_EQ(outputRecordFileName("/data/out", kStart), "/data/out/20240305_070409.vxr");
    EXPECT_EQ(outputRecordFileName("/data/out/", kStart), "/data/out/20240305_070409.vxr");

    const std::string folder30 = "/" + std::string(29, 'f');
    const std::string folder10 = "/" + std::string(9, 'g');
    EXPECT_EQ(outputUserDefinedName(outputRecordFileName(folder30, kStart)), "20240305_070409.vxr");
    EXPECT_EQ(outputUserDefinedName(outputRecordFileName(folder10, kStart)),
              "Original file name " + folder10 + "/20240305_070409.vxr");
    EXPECT_EQ(outputUserDefinedName(std::string(50, 'n')), "N/A");
    EXPECT_EQ(outputUserDefinedName("/d/" + std::string(80, 'x')), std::string(63, 'x'));

    // The name lands in the header record, padded, zero-terminated.
    const Bytes header = buildFileHeaderRecord(FrameView(frame(7000, 1)), outputRecordFileName(folder30, kStart), "v");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(header.data()) + 64 + 124, 20), std::string("20240305_070409.vxr\0", 20));
    EXPECT_EQ(header[64 + 124 + 20], 0xFE);
}

TEST_F(OutputWriter, StartingAgainInTheSameSecondKeepsTheFirstFile) {
    writer.OnWriteOutputFile();
    writer.WriteArrivedFrame(frame(7000, 1));
    writer.WriteArrivedFrame(frame(7000, 2));
    writer.OnWriteOutputFile();
    const std::string first = dir.file("20240305_070409.vxr");
    const Bytes kept = slurpBytes(first);

    writer.OnWriteOutputFile();
    EXPECT_EQ(writer.outputFileName(), dir.file("20240305_070409_2.vxr"));
    writer.WriteArrivedFrame(frame(7006, 3));
    writer.OnWriteOutputFile();
    writer.OnWriteOutputFile();
    EXPECT_EQ(writer.outputFileName(), dir.file("20240305_070409_3.vxr"));
    writer.StopWriting();
    writer.StopWriting();  // not writing any more: stays off
    EXPECT_FALSE(writer.writing());

    EXPECT_EQ(slurpBytes(first), kept);
    EXPECT_EQ(readBack(first).size(), 3u);
    EXPECT_EQ(readBack(dir.file("20240305_070409_2.vxr")).size(), 2u);
    // A file into which nothing was listed stays empty.
    EXPECT_EQ(std::filesystem::file_size(dir.file("20240305_070409_3.vxr")), 0u);
    EXPECT_TRUE(port.messages.empty());
}

TEST_F(OutputWriter, MissingFolderOrNameIsReportedAndWritingStaysOff) {
    setFolder("");
    writer.OnWriteOutputFile();
    EXPECT_FALSE(writer.writing());
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0], "Cannot Write Output File Until A File Name Is Assigned");
    EXPECT_EQ(port.text(controls::kWriteOutputFile), "Write Output File");

    setFolder(dir.file("gone"));
    writer.OnWriteOutputFile();
    EXPECT_FALSE(writer.writing());
    ASSERT_EQ(port.messages.size(), 2u);
    EXPECT_EQ(port.messages[1].rfind("Could not create the output file " + dir.file("gone/20240305_070409.vxr"), 0), 0u);
    writer.WriteArrivedFrame(frame(7000, 1));  // nothing to write to, nothing happens
    EXPECT_EQ(port.runningTimers.count(timers::kArrival), 1u);

    if (::geteuid() != 0) {  // the superuser writes anywhere
        const std::string locked = dir.file("locked");
        std::filesystem::create_directory(locked);
        ::chmod(locked.c_str(), 0555);
        setFolder(locked);
        writer.OnWriteOutputFile();
        EXPECT_FALSE(writer.writing());
        EXPECT_EQ(port.messages.size(), 3u);
    }
}

TEST_F(OutputWriter, FolderThatVanishesWhileWriting) {
    const std::string folder = dir.file("vanishing");
    std::filesystem::create_directory(folder);
    setFolder(folder);
    writer.OnWriteOutputFile();
    writer.WriteArrivedFrame(frame(7000, 1));
    std::filesystem::remove_all(folder);
    // The open file outlives its folder's name: frames still go somewhere, no crash.
    writer.WriteArrivedFrame(frame(7000, 2));
    writer.OnWriteOutputFile();
    EXPECT_TRUE(port.messages.empty());
    // The next start has no folder to create its file in, and says so.
    writer.OnWriteOutputFile();
    EXPECT_FALSE(writer.writing());
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].rfind("Could not create the output file ", 0), 0u);
}

TEST_F(OutputWriter, AssignFolderKeepsThePresentOneOnCancel) {
    port.folderAnswers.push_back(std::string("/somewhere/else"));
    port.folderAnswers.push_back(std::nullopt);
    writer.OnAssignOutputFolder();
    EXPECT_EQ(RegistryString(setting_names::kLastOutputDirectory, settings).Read(), "/somewhere/else");
    writer.OnAssignOutputFolder();
    EXPECT_EQ(RegistryString(setting_names::kLastOutputDirectory, settings).Read(), "/somewhere/else");
}

// A disk that fills up: the failing frame is not left half-written, the user
// is told once, recording stops and the caller goes on.
TEST_F(OutputWriter, FullDiskKeepsEveryWholeFrameAndStops) {
    const Bytes small = frame(7000, 1);
    const std::size_t limit = kFileHeaderRecordSize + 3 * small.size() + small.size() / 2;
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = old;
    tight.rlim_cur = limit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);

    writer.OnWriteOutputFile();
    port.stopTimer(timers::kArrival);  // as while the arrival batch is processed
    for (std::uint32_t i = 0; i < 6; ++i) writer.WriteArrivedFrame(frame(7000, i));
    EXPECT_EQ(port.runningTimers.count(timers::kArrival), 0u);  // the batch's processing restarts it

    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(writer.writing());
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].rfind("Could not write to the output file ", 0), 0u);
    const std::string name = dir.file("20240305_070409.vxr");
    EXPECT_EQ(std::filesystem::file_size(name), kFileHeaderRecordSize + 3 * small.size());
    std::optional<std::string> problem;
    EXPECT_EQ(readBack(name, &problem).size(), 4u);
    EXPECT_FALSE(problem);
}

TEST_F(OutputWriter, HeaderThatCannotBeWrittenSaysTheDiskIsFull) {
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = old;
    tight.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    writer.OnWriteOutputFile();
    writer.WriteArrivedFrame(frame(7000, 1));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_GE(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0], "Output File Error, Disk Probably Full");
    EXPECT_EQ(std::filesystem::file_size(dir.file("20240305_070409.vxr")), 0u);
}

// Every frame is in the operating system's hands once it is handed over: a
// program killed without warning leaves the header and every whole frame.
TEST_F(OutputWriter, KilledWriterLeavesEveryHandedOverFrame) {
    constexpr int kFrames = 25;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        writer.OnWriteOutputFile();
        for (int i = 0; i < kFrames; ++i) writer.WriteArrivedFrame(frame(7000 + static_cast<std::uint32_t>(i % 2) * 6, i));
        const char done = 'k';
        (void)!::write(ready[1], &done, 1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char got = 0;
    ASSERT_EQ(::read(ready[0], &got, 1), 1);
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    std::optional<std::string> problem;
    auto rows = readBack(dir.file("20240305_070409.vxr"), &problem);
    EXPECT_FALSE(problem);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kFrames + 1));
    EXPECT_EQ(rows[0].recordType(), 7200u);
    EXPECT_EQ(rows.back().recordCounter(), static_cast<std::uint32_t>(kFrames - 1));
    EXPECT_EQ(std::filesystem::file_size(dir.file("20240305_070409.vxr")), rows.back().offset() + rows.back().size());
}

// A view whose output folder is a temporary one, its clock at kStart.
class OutputWriterInView : public ::testing::Test {
protected:
    OutputWriterInView() {
        RegistryString folder(setting_names::kLastOutputDirectory, settings);
        folder = dir.path().string();
        folder.Write();
        view.clock = [] { return kStart; };
    }

    TempDir dir;
    MemoryPort port;
    MemorySettingsStore settings;
    CMyTarvikView view{port, settings};
};

TEST_F(OutputWriterInView, ReadingARecordFileStopsWriting) {
    view.OnWriteOutputFile();
    ASSERT_TRUE(view.outputWriter().writing());
    view.OnReadVxFile();  // the dialog is cancelled; writing has stopped all the same
    EXPECT_FALSE(view.outputWriter().writing());
    EXPECT_EQ(port.text(controls::kOutputFileLabel), "");
}

// Live frames reach the output file through the arrival pipeline (the listed
// ones, and those that arrive during a pause), sent records follow them, and
// the statistics count every frame whatever the filter.
TEST_F(OutputWriterInView, LiveFramesSentRecordsAndStatistics) {
    std::deque<Bytes> pending;
    view.pipeline().takePending = [&] { return std::exchange(pending, {}); };
    view.pipeline().communicating = true;
    port.setText(controls::kRecordFilter, "7027");
    auto frame = [](std::uint32_t type, std::uint32_t counter) { return synth::sampleFrame(type, 7125, counter, counter); };

    view.OnWriteOutputFile();
    ASSERT_TRUE(view.outputWriter().writing());
    const std::string name = view.outputWriter().outputFileName();
    pending = {frame(7000, 1), frame(7027, 2), frame(7004, 3)};
    view.OnTimer(timers::kArrival);
    view.OnPauseContinue();
    pending = {frame(7027, 4), frame(7000, 5)};
    view.OnTimer(timers::kArrival);
    view.OnPauseContinue();
    view.connection().recordSent(frame(7500, 6));
    view.outputWriter().StopWriting();

    const auto rows = readBack(name);
    std::vector<std::uint32_t> counters;
    for (std::size_t i = 1; i < rows.size(); ++i) counters.push_back(rows[i].recordCounter());
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0].recordType(), 7200u);
    // The frame written during the pause is not written again when Continue
    // lists the batch it came with.
    EXPECT_EQ(counters, (std::vector<std::uint32_t>{2, 4, 6}));
    EXPECT_EQ(view.pipeline().rowCount(), 3u);  // 7027, 7027 and the pause line

    const RecordStatistics statistics = view.sourceStatistics();
    EXPECT_EQ(statistics.frames(), 5u);
    std::vector<std::uint32_t> types;
    for (const auto& row : statistics.rows()) types.push_back(row.recordType);
    EXPECT_EQ(types, (std::vector<std::uint32_t>{7000, 7004, 7027}));
}
