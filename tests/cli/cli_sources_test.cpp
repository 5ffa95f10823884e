// Opening sources: openSource tells a live address from a capture from a
// record file, and the reason it gives when nothing can be read is the very
// line every command that opens the input prints.

#include "sources/open_source.h"
#include "net/packets.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/capture_records.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

using tarvik::Bytes;
using tarvik::openSource;
using tarvik::testing::runProgram;
using tarvik::testing::TempDir;

namespace {
const std::string kCli = TARVIK_CLI;
}

TEST(OpenSource, TellsALiveAddressFromACaptureFromARecordFile) {
    TempDir dir;
    const Bytes frames = tarvik::synth::sampleFrame(7000, 1, 1, 1);
    const std::string file = dir.write("frames.vxr", frames);
    tarvik::synth::PcapngWriter w;
    w.packet(1'700'000'000'000'000'000ull,
             tarvik::synth::udpFrame({0x0A000001, 7000}, {0x0A000002, 40000}, tarvik::net::Packetize(frames)[0]));
    // Told by content: a capture named like a record file is still a capture.
    const std::string capture = dir.write("capture.vxr", w.bytes());

    auto opened = openSource(file);
    ASSERT_TRUE(opened) << opened.error();
    ASSERT_TRUE(opened->source);
    EXPECT_FALSE(opened->live);
    EXPECT_EQ(opened->source->index().size(), 1u);
    EXPECT_FALSE(opened->source->rowOrigin(0).has_value());

    opened = openSource(capture);
    ASSERT_TRUE(opened) << opened.error();
    ASSERT_EQ(opened->source->index().size(), 1u);
    EXPECT_TRUE(opened->source->rowOrigin(0).has_value());  // only a capture knows where a record was seen

    opened = openSource("tcp://127.0.0.1:7000");
    ASSERT_TRUE(opened) << opened.error();
    EXPECT_FALSE(opened->source);
    ASSERT_TRUE(opened->live);
    EXPECT_EQ(opened->live->address, "127.0.0.1");
    EXPECT_EQ(opened->live->port, "7000");
    opened = openSource("tcp://sonar.local");
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->live->address, "sonar.local");
    EXPECT_EQ(opened->live->port, "");
    for (const char* bad : {"tcp://", "tcp://:7000", "tcp://host:", "tcp://host:70x0"}) {
        SCOPED_TRACE(bad);
        opened = openSource(bad);
        ASSERT_FALSE(opened);
        EXPECT_FALSE(opened.error().empty());
    }
}

TEST(OpenSource, AFileThatStopsAtDamageSaysSoAndReadsOnWhenAsked) {
    TempDir dir;
    Bytes bytes = tarvik::synth::sampleFrame(7000, 1, 1, 1);
    bytes.insert(bytes.end(), 10, 0xEE);
    const Bytes second = tarvik::synth::sampleFrame(7004, 1, 2, 1);
    bytes.insert(bytes.end(), second.begin(), second.end());
    const std::string path = dir.write("damaged.vxr", bytes);

    auto stopped = openSource(path);
    ASSERT_TRUE(stopped);
    ASSERT_TRUE(stopped->damage);
    EXPECT_TRUE(stopped->canReadPastDamage);
    EXPECT_EQ(stopped->warnings(), std::vector<std::string>{*stopped->damage});
    EXPECT_EQ(stopped->source->index().size(), 1u);

    tarvik::SourceOptions options;
    options.readPastDamage = true;
    options.filter = tarvik::RecordFilter::types("7004");
    auto past = openSource(path, options);
    ASSERT_TRUE(past);
    EXPECT_FALSE(past->canReadPastDamage);
    EXPECT_EQ(past->source->index().size(), 2u);
    // Listed under the filter handed in: the skipped-bytes line and the 7004.
    ASSERT_EQ(past->source->rowCount(), 2u);
    EXPECT_EQ(past->source->rowText(1, 0), "7004");
}

TEST(OpenSource, TheReasonItFailsIsTheLineEveryCommandPrints) {
    TempDir dir;
    // A capture whose header promises more than the file holds.
    tarvik::synth::PcapngWriter w;
    Bytes cut = w.bytes();
    cut.resize(std::min<std::size_t>(cut.size(), 12));
    const std::string inputs[] = {dir.file("missing.vxr"), dir.path().string(), dir.write("cut.pcapng", cut)};
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input);
        const auto opened = openSource(input);
        if (opened) continue;  // nothing to compare: it can be read
        const std::string line = opened.error() + "\n";
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"list", input}, {"report", input}, {"export", input, "--type", "7000"}}) {
            SCOPED_TRACE(args[0]);
            const auto run = runProgram(kCli, args);
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(run.err.find(line), std::string::npos) << run.err;
        }
    }
}
