// A capture read into a temporary record file with its index.

#include "capture/capture_file.h"
#include "capture/capture_source.h"
#include "core/frame.h"
#include "net/packets.h"
#include "core/record_file.h"
#include "decode/layout_loader.h"
#include "expr/predicate.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/capture_records.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

#include <cstdio>
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

namespace tarvik::capture {
namespace {

using synth::CaptureEndpoint;

const CaptureEndpoint kServer{0xC000020A, 7000}, kClient{0xC0000214, 41000};

// A session whose records flow back in the given TCP segments: `cuts` are
// the offsets in the server's stream where one segment ends and the next begins.
std::vector<Bytes> sessionFrames(const std::vector<Bytes>& records, const std::vector<std::size_t>& cuts) {
    std::vector<Bytes> frames;
    frames.push_back(synth::tcpFrame(kClient, kServer, 10, 0, synth::kTcpSyn, {}));
    frames.push_back(synth::tcpFrame(kServer, kClient, 90, 11, synth::kTcpSyn | synth::kTcpAck, {}));
    Bytes down;
    for (const Bytes& record : records)
        for (const Bytes& p : net::Packetize(record)) down.insert(down.end(), p.begin(), p.end());
    std::size_t from = 0;
    std::vector<std::size_t> ends = cuts;
    ends.push_back(down.size());
    for (std::size_t end : ends) {
        const ByteSpan piece = ByteSpan(down).subspan(from, end - from);
        frames.push_back(synth::tcpFrame(kServer, kClient, 91 + static_cast<std::uint32_t>(from), 11, synth::kTcpAck,
                                         piece));
        from = end;
    }
    return frames;
}

Bytes pcapngOf(const std::vector<Bytes>& frames) {
    synth::PcapngWriter w;
    std::uint64_t t = 1'700'000'000'000'000'000ull;
    for (const Bytes& f : frames) w.packet(t += 1000, f);
    return w.bytes();
}

// The classic pcap layout: a file header, then a 16-byte header before each packet.
Bytes pcapOf(const std::vector<Bytes>& frames) {
    Bytes out;
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    put32(0xA1B2C3D4);
    put32(0x00040002);  // version 2.4
    put32(0);
    put32(0);
    put32(262144);
    put32(1);  // Ethernet
    std::uint32_t second = 1'700'000'000;
    for (const Bytes& f : frames) {
        put32(++second);
        put32(0);
        put32(static_cast<std::uint32_t>(f.size()));
        put32(static_cast<std::uint32_t>(f.size()));
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

std::vector<Bytes> sampleRecords(std::size_t count) {
    std::vector<Bytes> records;
    for (std::uint32_t i = 0; i < count; ++i) records.push_back(synth::sampleFrame(7000 + 4 * (i % 3), 1, i, 100 + i));
    return records;
}

std::shared_ptr<CaptureRecordSource> built(const std::string& path) {
    auto source = std::make_shared<CaptureRecordSource>();
    std::string message;
    EXPECT_TRUE(source->build(path, {}, message)) << message;
    return source;
}

// Every frame reads back as the reader handed it over, and the record file
// the frames make is the one the capture was always written to.
void expectFramesAsRead(const CaptureRecordSource& source, const std::string& path) {
    const CaptureReader::Result r = readCapture(path);
    std::vector<Bytes> frames;
    for (const CapturedRecord& record : r.records)
        if (record.kind == CapturedKind::Frame) frames.push_back(record.bytes);
    ASSERT_EQ(source.index().size(), frames.size());
    for (std::size_t q = 0; q < frames.size(); ++q) EXPECT_EQ(source.readFrame(q), frames[q]) << q;

    CaptureRecordFile copied;
    RecordIndex index;
    std::string message;
    ASSERT_TRUE(copied.load(path, {}, index, message)) << message;
    RecordFile whole;
    ASSERT_TRUE(whole.open(copied.temporaryPath()));
    const RecordFile* made = source.frameFile();
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(made->size(), whole.size());
    Bytes expected(whole.size()), got(made->size());
    whole.readAt(0, expected);
    made->readAt(0, got);
    EXPECT_TRUE(expected == got);
    EXPECT_EQ(source.frameFile(), made);  // made once
}

TEST(CaptureRecordSource, ReadsFramesFromTheCaptureWhereverTheSegmentsCutThem) {
    testing::TempDir dir;
    const std::vector<Bytes> records = sampleRecords(6);
    const std::size_t packet = net::Packetize(records[0]).front().size();
    // Two segment boundaries inside packets (the second and the fifth record) and one between packets.
    std::size_t second = 0;
    for (std::size_t i = 0; i < 4; ++i) second += net::Packetize(records[i]).front().size();
    const std::vector<Bytes> frames =
        sessionFrames(records, {packet + 40, packet + net::Packetize(records[1]).front().size(), second + 7});
    for (const auto& [name, file] : {std::pair{"s.pcapng", pcapngOf(frames)}, std::pair{"s.pcap", pcapOf(frames)}}) {
        SCOPED_TRACE(name);
        const std::string path = dir.write(name, file);
        auto source = built(path);
        EXPECT_EQ(source->index().size(), records.size());
        EXPECT_EQ(source->copiedFrames(), 0u);
        expectFramesAsRead(*source, path);
    }
}

// Records of several packets, packets cut inside their Network frame or their
// record, and records whose packets lie in different segments are all read
// from the capture piece by piece; a stretch of segments of a few bytes each
// is not worth noting piece by piece, and its record is copied. Each frame
// reads back as the reader handed it over, and one whose pieces the capture
// no longer holds says so.
TEST(CaptureRecordSource, FramesSpreadOverPacketsAndSegmentsAreReadPieceByPiece) {
    testing::TempDir dir;
    std::vector<Bytes> records = sampleRecords(5);
    records[1] = synth::sizedSampleFrame(7000, 1, 1, 1, 65'000);  // two packets
    records[3] = synth::sizedSampleFrame(7004, 1, 3, 3, 64'000);
    std::vector<std::size_t> starts;  // of each record's first packet in the stream
    std::size_t at = 0;
    for (const Bytes& record : records) {
        starts.push_back(at);
        for (const Bytes& p : net::Packetize(record)) at += p.size();
    }
    ASSERT_EQ(net::Packetize(records[1]).size(), 2u);
    const std::size_t secondPacket = starts[1] + net::Packetize(records[1]).front().size();
    std::vector<std::size_t> cuts{starts[1] + 10,       // inside the first packet's Network frame
                                  starts[1] + 30'000,   // inside its payload
                                  secondPacket + 5,     // inside the second packet's Network frame
                                  starts[2] + 50,       // a record of one packet in two segments
                                  starts[3] + 20'000};  // a record of two packets, its first one cut
    for (std::size_t c = starts[4] + 8; c < starts[4] + 200; c += 8) cuts.push_back(c);  // tiny segments
    const std::string path = dir.write("spread.pcapng", pcapngOf(sessionFrames(records, cuts)));
    auto source = built(path);
    ASSERT_EQ(source->index().size(), records.size());
    for (std::size_t q = 0; q < records.size(); ++q) EXPECT_EQ(source->readFrame(q), records[q]) << q;
    EXPECT_EQ(source->copiedFrames(), 1u);  // the last one, in tiny segments
    expectFramesAsRead(*source, path);

    // Cut short inside the second packet of record 1: its first pieces are
    // still there, its last is not.
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - (at - secondPacket) - 400);
    const std::optional<Bytes> cut = source->rowRecord(1);
    ASSERT_TRUE(cut);
    EXPECT_EQ(std::string(cut->begin(), cut->end()).rfind("TEXT Record not readable: the capture was", 0), 0u);
    EXPECT_EQ(source->readFrame(0), records[0]);
}

// A capture's entries keep where the record was seen where a record file's
// keep more of the header: a filter on header fields must give the rows its
// frames give (records of several streams, cut and resent ones among them).
TEST(CaptureRecordSource, AFilterOnHeaderFieldsGivesTheRowsOfItsFrames) {
    testing::TempDir dir;
    synth::CaptureSampleOptions options;
    options.deviceId = 0x10000 + 7125;
    const std::string path = dir.write("filtered.pcapng", synth::sampleCapture(options).file);
    auto source = built(path);
    static const LoadedDefinitions defs = loadLayouts({}, false);
    for (const char* text : {"vx.device == 72661", "vx.device == 7125", "vx.enumerator == 0 && vx.record_counter > 3",
                             "vx.size > 100", "vx.flags == 1 || vx.record_version == 1", "row % 2 == 0",
                             "vx.record_type == 7000 && vx.time > 0"}) {
        SCOPED_TRACE(text);
        Result<RecordFilter> filter = expr::compileFilter(text, defs.catalogue);
        ASSERT_TRUE(filter.ok());
        std::vector<std::size_t> expected, listed;
        for (std::size_t q = 0; q < source->index().size(); ++q) {
            const std::optional<RecordOrigin> origin = source->frameOrigin(q);
            if (filter->passes(source->readFrame(q), {static_cast<std::uint32_t>(q), origin ? &*origin : nullptr}))
                expected.push_back(q);
        }
        source->setFilter(*filter);
        for (std::size_t r = 0; r < source->rowCount(); ++r)
            if (const auto q = source->rowFrame(r)) listed.push_back(*q);
        EXPECT_EQ(listed, expected);
    }
}

TEST(CaptureRecordSource, TheHardCasesReadBackAsTheReaderGaveThem) {
    testing::TempDir dir;
    const std::string path = dir.write("hard.pcapng", synth::sampleCapture({}).file);
    auto source = built(path);
    // Its segments are small (most records span two or more), reordered and
    // resent: those records are copied, the few that lie in one segment are not.
    EXPECT_GT(source->copiedFrames(), 0u);
    EXPECT_LT(source->copiedFrames(), source->index().size());
    expectFramesAsRead(*source, path);
    EXPECT_EQ(source->textRows().size(), 2u);
    {
        // Copies beyond the memory allowed go to a file on disk and read the same.
        CaptureRecordFile onDisk;
        onDisk.leaveFramesInCapture = true;
        onDisk.memoryBytes = 1;
        RecordIndex index;
        std::string message;
        ASSERT_TRUE(onDisk.load(path, {}, index, message)) << message;
        EXPECT_EQ(onDisk.copiedFrames(), source->copiedFrames());
        for (std::size_t q = 0; q < index.size(); ++q) EXPECT_EQ(onDisk.readFrame(q, index[q]), source->readFrame(q));
    }

    // Read from standard input there is no file to read back from: every frame is copied.
    CaptureRecordFile file;
    file.leaveFramesInCapture = true;
    RecordIndex index;
    std::string message;
    std::FILE* in = std::freopen(path.c_str(), "rb", stdin);
    ASSERT_NE(in, nullptr);
    ASSERT_TRUE(file.load("-", {}, index, message)) << message;
    EXPECT_EQ(file.copiedFrames(), index.size());
    for (std::size_t q = 0; q < index.size(); ++q) EXPECT_EQ(file.readFrame(q, index[q]), source->readFrame(q));
}

TEST(CaptureRecordSource, ACaptureChangedOnDiskWhileShownGivesATextNotACrash) {
    testing::TempDir dir;
    const std::vector<Bytes> records = sampleRecords(40);
    const Bytes capture = pcapngOf(sessionFrames(records, {}));
    const std::string path = dir.write("c.pcapng", capture);
    auto source = built(path);
    ASSERT_EQ(source->copiedFrames(), 0u);
    ASSERT_EQ(source->rowCount(), records.size());
    auto isChangedText = [](const std::optional<Bytes>& b) {
        return b && std::string(b->begin(), b->end()).rfind("TEXT Record not readable: the capture was", 0) == 0;
    };

    // Written over in place: every frame now holds other bytes.
    {
        Bytes other = capture;
        for (std::size_t i = 200; i < other.size(); ++i) other[i] ^= 0x5A;
        std::FILE* f = std::fopen(path.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(other.data(), 1, other.size(), f), other.size());
        std::fclose(f);
    }
    EXPECT_TRUE(isChangedText(source->rowRecord(5)));
    // Cut short: the frames past the new end say so, those before it read as before.
    {
        std::FILE* f = std::fopen(path.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(capture.data(), 1, capture.size(), f), capture.size());
        std::fclose(f);
    }
    std::filesystem::resize_file(path, capture.size() / 2);
    EXPECT_EQ(source->rowRecord(0), records[0]);
    EXPECT_TRUE(isChangedText(source->rowRecord(records.size() - 1)));
    EXPECT_EQ(source->rowText(records.size() - 1, 0), std::to_string(FrameView(records.back()).recordType()));
    // Replaced under its name: the file that was read is still read.
    std::filesystem::remove(path);
    dir.write("c.pcapng", Bytes(100, 0));
    EXPECT_TRUE(isChangedText(source->rowRecord(records.size() - 1)));
    EXPECT_EQ(source->rowRecord(1), records[1]);
}

} // namespace
} // namespace tarvik::capture
