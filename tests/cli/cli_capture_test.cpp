// tarvik-cli list, check and convert over hostile packet captures: what a
// capture announces costs nothing until its bytes are there, damaged packets
// are reported as such, a capture cut short is checked as far as it goes, and
// a FIFO never holds a command.

#include "core/frame.h"
#include "net/packet_handler.h"
#include "net/packets.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/capture_records.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cstring>

using tarvik::Bytes;
using tarvik::testing::ProgramLimits;
using tarvik::testing::runProgram;
using tarvik::testing::TempDir;

namespace {
const std::string kCli = TARVIK_CLI;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

Bytes captureOf(const std::vector<Bytes>& frames) {
    tarvik::synth::PcapngWriter w;
    std::uint64_t t = 1'700'000'000'000'000'000ull;
    for (const Bytes& f : frames) w.packet(t += 1000, f);
    return w.bytes();
}

const tarvik::synth::CaptureEndpoint kServer{0x0A000001, 7000};
tarvik::synth::CaptureEndpoint client(std::uint16_t port) { return {0x0A000002, port}; }
} // namespace

TEST(CliCapture, UdpFlowsAnnouncingHugeRecordsCostOnlyTheBytesThatCame) {
    // 64 UDP flows, each opening a record announced at the largest size taken
    // and never sending the rest: 4 GiB announced in a capture of a few KB.
    TempDir dir;
    std::vector<Bytes> frames;
    for (std::uint16_t c = 0; c < 64; ++c) {
        Bytes packet = tarvik::net::Packetize(tarvik::synth::sampleFrame(7000, 1, c, c))[0];
        const std::uint32_t packets = 2000, total = tarvik::net::kMaxRecordSize;
        std::memcpy(packet.data() + tarvik::net::netframe_offsets::totalPackets, &packets, 4);
        std::memcpy(packet.data() + tarvik::net::netframe_offsets::totalSize, &total, 4);
        frames.push_back(tarvik::synth::udpFrame(kServer, client(static_cast<std::uint16_t>(40000 + c)), packet));
    }
    const std::string capture = dir.write("huge.pcapng", captureOf(frames));
    ProgramLimits limits;
    limits.memoryBytes = 1ull << 30;
    limits.wallSeconds = 60;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", capture}, {"check", capture}, {"convert", capture, dir.file("out.vxr")}}) {
        SCOPED_TRACE(args[0]);
        const auto r = runProgram(kCli, args, limits);
        EXPECT_FALSE(r.timedOut);
        // Every record was cut off: each stream says so with a lost-packet line; nothing crashes.
        EXPECT_TRUE(r.status == 0 || r.status == 1) << r.status << "\n" << r.err;
        EXPECT_FALSE(contains(r.err, "bad_alloc")) << r.err;
    }
    // Nothing near the reader's memory budget was held: no stream was given up.
    const auto listed = runProgram(kCli, {"list", capture}, limits);
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.err, "");
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 64) << listed.out;
    EXPECT_TRUE(contains(listed.out, "TEXT Lost Packet"));
    // A command that sees only the records is told they were lost.
    const auto exported = runProgram(kCli, {"export", capture, "--type", "7000"}, limits);
    EXPECT_EQ(exported.status, 1) << exported.err;
    EXPECT_TRUE(contains(exported.err, "lost 64 records whose bytes never all came")) << exported.err;
}

TEST(CliCapture, APacketThatIsNoRecordFrameIsListedOnOneRowAndCheckedAsDamaged) {
    TempDir dir;
    const std::string junk = "first line\nsecond line\x1b[2J and some bytes more to look like a record";
    std::vector<Bytes> frames;
    for (const Bytes& p : tarvik::net::Packetize(tarvik::asBytes(junk)))
        frames.push_back(tarvik::synth::udpFrame(kServer, client(40000), p));
    for (std::uint32_t i = 0; i < 2; ++i)
        for (const Bytes& p : tarvik::net::Packetize(tarvik::synth::sampleFrame(7000, 1, i, i)))
            frames.push_back(tarvik::synth::udpFrame(kServer, client(40000), p));
    const std::string capture = dir.write("junk.pcapng", captureOf(frames));

    const auto listed = runProgram(kCli, {"list", capture});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 3) << listed.out;
    EXPECT_TRUE(contains(listed.out, "TEXT Damaged Packet")) << listed.out;
    EXPECT_FALSE(contains(listed.out, "second line"));
    EXPECT_EQ(listed.out.find('\x1b'), std::string::npos);

    const auto checked = runProgram(kCli, {"check", capture});
    EXPECT_EQ(checked.status, 1) << checked.out << checked.err;
    EXPECT_TRUE(contains(checked.out, "capture: frame 0 at byte 0: a damaged packet on the stream UDP 10.0.0.1:7000"))
        << checked.out;
    EXPECT_FALSE(contains(checked.out, "no problems found"));

    const auto converted = runProgram(kCli, {"convert", capture, dir.file("out.vxr")});
    EXPECT_EQ(converted.status, 1) << converted.err;
    EXPECT_TRUE(contains(converted.err, "2 frames written")) << converted.err;
    EXPECT_TRUE(contains(converted.err, "1 damaged packets")) << converted.err;

    // A command that sees only the records (export, the Python module) is told of it.
    const auto exported = runProgram(kCli, {"export", capture, "--type", "7000"});
    EXPECT_EQ(exported.status, 1) << exported.err;
    EXPECT_TRUE(contains(exported.err, "holds 1 damaged packet (not record frames)")) << exported.err;
}

TEST(CliCapture, ACaptureCutShortIsCheckedAsFarAsItGoes) {
    TempDir dir;
    tarvik::synth::CaptureSampleOptions o;
    o.hardCases = false;
    Bytes file = tarvik::synth::sampleCapture(o).file;
    file.resize(file.size() * 2 / 3 + 5);  // ends inside a packet block
    const std::string capture = dir.write("cut.pcapng", file);
    const auto listed = runProgram(kCli, {"list", capture});
    std::size_t rows = 0;  // frames, not the lost-packet lines of streams the cut ended inside a packet
    for (std::size_t at = 0; at < listed.out.size(); at = listed.out.find('\n', at) + 1)
        rows += listed.out[at] != '\t';  // a text row has no record type
    ASSERT_GT(rows, 5u);

    const auto checked = runProgram(kCli, {"check", capture});
    EXPECT_EQ(checked.status, 1) << checked.out << checked.err;
    EXPECT_TRUE(contains(checked.out, "could not be read to its end")) << checked.out;
    EXPECT_TRUE(contains(checked.out, "  " + std::to_string(rows) + " frames, ")) << checked.out;
    EXPECT_FALSE(contains(checked.err, "cannot be checked")) << checked.err;
}

TEST(CliCapture, ConvertRefusesAFifoAtOnceAndReadsAPipeAsStandardInput) {
    TempDir dir;
    const std::string fifo = dir.file("pipe.pcapng");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ProgramLimits limits;
    limits.wallSeconds = 20;
    const auto refused = runProgram(kCli, {"convert", fifo, dir.file("out.vxr")}, limits);
    EXPECT_FALSE(refused.timedOut);
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_TRUE(contains(refused.err, "FIFO")) << refused.err;
    EXPECT_TRUE(contains(refused.err, "standard input")) << refused.err;

    tarvik::synth::CaptureSampleOptions o;
    o.hardCases = false;
    const std::string capture = dir.write("plain.pcapng", tarvik::synth::sampleCapture(o).file);
    const auto piped = runProgram("/bin/sh", {"-c", "cat \"$1\" | \"$2\" convert - \"$3\"", "sh", capture, kCli,
                                              dir.file("piped.vxr")},
                                  limits);
    EXPECT_EQ(piped.status, 0) << piped.err;
    const auto direct = runProgram(kCli, {"convert", capture, dir.file("direct.vxr")});
    EXPECT_EQ(direct.status, 0) << direct.err;
    EXPECT_EQ(piped.err.substr(0, piped.err.find(" written")), direct.err.substr(0, direct.err.find(" written")));
}
