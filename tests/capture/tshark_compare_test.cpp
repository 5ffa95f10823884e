// Our reassembled TCP bytes against an independent reader's, on a capture
// with segments out of order, a retransmission and an overlapping resend.

#include "capture/capture_reader.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/capture_records.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace tarvik::capture {
namespace {

Bytes fromHex(const std::string& hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// The two directions of one followed stream: "a.b.c.d:port>a.b.c.d:port" to bytes.
std::map<std::string, Bytes> followed(const std::string& text) {
    std::map<std::string, Bytes> out;
    std::stringstream lines(text);
    std::string line, node0, node1;
    bool inData = false;
    while (std::getline(lines, line)) {
        if (line.rfind("Node 0: ", 0) == 0) node0 = line.substr(8);
        if (line.rfind("Node 1: ", 0) == 0) {
            node1 = line.substr(8);
            inData = true;
            continue;
        }
        if (!inData) continue;
        if (line.rfind("====", 0) == 0) break;
        const bool second = !line.empty() && line[0] == '\t';
        const Bytes bytes = fromHex(second ? line.substr(1) : line);
        Bytes& into = out[second ? node1 + ">" + node0 : node0 + ">" + node1];
        into.insert(into.end(), bytes.begin(), bytes.end());
    }
    return out;
}

TEST(CaptureAgainstIndependentReader, ReassembledStreamsMatchByteForByte) {
    const std::string tshark = testing::onPath("tshark");
    if (tshark.empty()) GTEST_SKIP() << "tshark is not installed: the independent reference is not available";
    testing::TempDir dir;
    synth::CaptureSampleOptions o;
    o.holes = false;  // reordered, resent and overlapping, but complete
    const synth::SampleCapture sample = synth::sampleCapture(o);
    const std::string path = dir.write("reordered.pcapng", sample.file);

    CaptureReader reader;
    ASSERT_TRUE(reader.open(path)) << reader.error();
    std::map<std::uint32_t, Bytes> ours;
    reader.streamBytes = [&](std::uint32_t stream, ByteSpan bytes) {
        ours[stream].insert(ours[stream].end(), bytes.begin(), bytes.end());
    };
    ASSERT_TRUE(reader.read([](CapturedRecord&&) {}));
    EXPECT_EQ(reader.counts().holes, 0u);

    std::size_t compared = 0;
    for (int stream = 0; stream < 2; ++stream) {
        const auto result =
            testing::runProgram(tshark, {"-r", path, "-q", "-z", "follow,tcp,raw," + std::to_string(stream)});
        ASSERT_EQ(result.status, 0) << result.err;
        for (const auto& [name, bytes] : followed(result.out)) {
            SCOPED_TRACE(name);
            bool found = false;
            for (const auto& [index, mine] : ours) {
                const StreamInfo& s = reader.streams().at(index);
                if (endpointText(s.source) + ">" + endpointText(s.destination) != name) continue;
                found = true;
                EXPECT_EQ(mine.size(), bytes.size());
                EXPECT_TRUE(mine == bytes);
                ++compared;
            }
            EXPECT_TRUE(found);
        }
    }
    EXPECT_EQ(compared, 4u);
    // And both are what was sent.
    for (const auto& [index, mine] : ours) {
        const StreamInfo& s = reader.streams().at(index);
        for (const synth::SampleStream& sent : sample.streams) {
            if (sent.tcp && sent.source.port == s.source.port && sent.destination.port == s.destination.port) {
                EXPECT_TRUE(mine == sent.streamBytes) << streamText(s);
            }
        }
    }
}

} // namespace
} // namespace tarvik::capture
