// A capture read into a temporary record file with its index.

#include "capture/capture_file.h"
#include "core/frame.h"
#include "core/record_file.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/capture_records.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tarvik::capture {
namespace {

void expectSameAsReader(const std::string& path, std::uint64_t memoryBytes) {
    CaptureRecordFile file;
    file.memoryBytes = memoryBytes;
    RecordIndex index;
    std::string message;
    ASSERT_TRUE(file.load(path, {}, index, message)) << message;
    EXPECT_EQ(message, "");
    RecordFile records;
    ASSERT_TRUE(records.open(file.temporaryPath())) << records.lastError();
    file.forgetTemporaryFile();

    const CaptureReader::Result r = readCapture(path);
    ASSERT_EQ(index.size(), r.records.size());
    std::size_t texts = 0;
    for (std::size_t i = 0; i < index.size(); ++i) {
        SCOPED_TRACE(i);
        const CapturedRecord& expected = r.records[i];
        EXPECT_EQ(ReadFrame(records, index[i]), expected.bytes);
        const CaptureEntry e = CaptureEntry::of(index[i]);
        EXPECT_EQ(e.time, expected.time);
        EXPECT_EQ(e.stream, expected.stream);
        EXPECT_EQ(e.text, !FrameView(expected.bytes).isFrame());
        texts += e.text;
        if (!e.text) {
            EXPECT_EQ(index[i].recordType(), FrameView(expected.bytes).recordType());
        }
        EXPECT_EQ(file.caption(index[i]),
                  "Captured " + captureTimeText(expected.time) + ", " + streamText(r.streams[expected.stream]));
    }
    EXPECT_EQ(texts, 2u);  // the sample's two holes
}

TEST(CaptureRecordFile, IndexesEveryRecordWithItsTimeAndStream) {
    testing::TempDir dir;
    const std::string path = dir.write("s.pcapng", synth::sampleCapture({}).file);
    expectSameAsReader(path, CaptureRecordFile::kMemoryBytes);
    // A capture larger than the memory allowed moves to a file on disk, and reads the same.
    expectSameAsReader(path, 1);
}

TEST(CaptureRecordFile, SaysWhyACaptureCannotBeRead) {
    testing::TempDir dir;
    CaptureRecordFile file;
    RecordIndex index;
    std::string message;
    EXPECT_FALSE(file.load(dir.file("none.pcap"), {}, index, message));
    EXPECT_EQ(message.rfind("could not read the capture ", 0), 0u) << message;
    EXPECT_FALSE(file.loaded());

    synth::CaptureSampleOptions o;
    o.hardCases = false;
    Bytes cut = synth::sampleCapture(o).file;
    cut.resize(cut.size() / 2);
    EXPECT_TRUE(file.load(dir.write("cut.pcapng", cut), {}, index, message));
    EXPECT_NE(message.find("could not be read to its end"), std::string::npos) << message;
    EXPECT_GT(index.size(), 3u);
    const std::string temporary = file.temporaryPath();
    file.clear();
    EXPECT_FALSE(file.loaded());
    EXPECT_TRUE(temporary.empty() || !std::filesystem::exists(temporary) || temporary.rfind("/proc/", 0) == 0);
}

} // namespace
} // namespace tarvik::capture
