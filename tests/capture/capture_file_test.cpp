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
    std::vector<std::pair<std::size_t, std::string>> texts;  // frames before, text
    CaptureRecordFile::Sink sink;
    sink.frame = [&](const RecordIndexEntry& e) { index.push_back(e); };
    sink.text = [&](std::string text, const CaptureEntry& e) {
        EXPECT_TRUE(e.text);
        texts.emplace_back(index.size(), std::move(text));
    };
    std::string message;
    ASSERT_TRUE(file.load(path, {}, sink, message)) << message;
    EXPECT_EQ(message, "");
    RecordFile records;
    ASSERT_TRUE(records.open(file.temporaryPath())) << records.lastError();
    file.forgetTemporaryFile();

    const CaptureReader::Result r = readCapture(path);
    ASSERT_EQ(index.size() + texts.size(), r.records.size());
    std::size_t frame = 0, text = 0;
    for (const CapturedRecord& expected : r.records) {
        if (!FrameView(expected.bytes).isFrame()) {
            ASSERT_LT(text, texts.size());
            EXPECT_EQ(texts[text].first, frame);
            EXPECT_EQ(texts[text].second, "TEXT Lost Packet");
            ++text;
            continue;
        }
        SCOPED_TRACE(frame);
        EXPECT_EQ(ReadFrame(records, index[frame]), expected.bytes);
        const CaptureEntry e = CaptureEntry::of(index[frame]);
        EXPECT_EQ(e.time, expected.time);
        EXPECT_EQ(e.stream, expected.stream);
        EXPECT_FALSE(e.text);
        EXPECT_EQ(index[frame].recordType(), FrameView(expected.bytes).recordType());
        EXPECT_EQ(file.caption(index[frame]),
                  "Captured " + captureTimeText(expected.time) + ", " + streamText(r.streams[expected.stream]));
        ++frame;
    }
    EXPECT_EQ(texts.size(), 2u);  // the sample's two holes
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
