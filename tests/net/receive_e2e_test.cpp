// tarvik-cli receive against vxcenter-sim on 127.0.0.1, ports chosen by the system.

#include "core/frame.h"
#include "net/packets.h"
#include "net/request_records.h"
#include "net/socket_receiver.h"
#include "net/socket_sender.h"
#include "tests/net/sim_client.h"
#include "tests/net/sim_process.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>

using namespace tarvik;
using tarvik::testing::runProgram;
using tarvik::testing::SimProcess;
using tarvik::testing::TempDir;

namespace {
using tarvik::testing::slurpBytes;

const std::string kCli = TARVIK_CLI;

tarvik::testing::ProgramResult receive(const SimProcess& sim, std::vector<std::string> args) {
    args.insert(args.begin(), {"receive", "127.0.0.1", sim.port()});
    return runProgram(kCli, args);
}

// Splits a record file into frames; every frame must carry a correct checksum.
std::vector<Bytes> framesOf(const Bytes& file) {
    std::vector<Bytes> frames;
    for (std::size_t at = 0; at + kFrameHeaderSize <= file.size();) {
        const std::uint32_t size = FrameView(ByteSpan(file).subspan(at)).size();
        if (size < kFrameHeaderSize || size > file.size() - at) break;
        frames.emplace_back(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + size));
        at += size;
    }
    return frames;
}

bool checksumHolds(const Bytes& frame) {
    FrameView f(frame);
    return f.hasChecksum() && f.checksumField() == computeChecksum(frame, frame.size() - 4);
}

} // namespace

TEST(Receive, SingleAndFragmentedRecordsArriveWhole) {
    for (bool udp : {false, true}) {
        SCOPED_TRACE(udp ? "UDP" : "TCP");
        std::vector<std::string> simArgs = {"--devices", "2"};
        if (udp) simArgs.push_back("--udp");
        SimProcess sim(simArgs);
        ASSERT_FALSE(sim.port().empty());
        TempDir dir;
        std::vector<std::string> args = {"--request", "7022", "--request", "7008", "--request", "7001",
                                         "--request", "7011", "--seconds", "1.5", "--out", dir.file("got.vxr")};
        if (udp) args.push_back("--udp");
        auto r = receive(sim, args);
        EXPECT_EQ(r.status, 0) << r.err;
        auto frames = framesOf(slurpBytes(dir.file("got.vxr")));
        ASSERT_EQ(frames.size(), 4u) << r.out;
        EXPECT_EQ(r.out, "7022\t100 bytes\n7008\t206178 bytes\n7001\t" + std::to_string(frames[2].size()) +
                             " bytes\n7011\t" + std::to_string(frames[3].size()) + " bytes\n");
        for (const auto& f : frames) EXPECT_TRUE(checksumHolds(f));
        EXPECT_GT(net::Packetize(frames[3]).size(), 2u);  // the image needs several packets too
    }
}

TEST(Receive, RecordsAtThePacketBoundary) {
    SimProcess sim({"--record-size", "7000", "59964", "--record-size", "7004", "59965"});
    auto r = receive(sim, {"--request", "7000", "--request", "7004", "--seconds", "1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "7000\t59964 bytes\n7004\t59965 bytes\n");
}

TEST(Receive, PacketsMergedOrSplitByTheStream) {
    TempDir dir;
    {
        // Every answer in one write: several packets reach the receiver in one read.
        SimProcess sim({"--coalesce"});
        auto r = receive(sim, {"--request", "7008", "--request", "7022", "--seconds", "1", "--out", dir.file("a.vxr")});
        EXPECT_EQ(r.out, "7008\t206178 bytes\n7022\t100 bytes\n");
        for (const auto& f : framesOf(slurpBytes(dir.file("a.vxr")))) EXPECT_TRUE(checksumHolds(f));
    }
    {
        // Pieces of 50 bytes, 20 ms apart: every packet arrives over several reads.
        SimProcess sim({"--split-writes", "50", "--split-pause", "20"});
        auto r = receive(sim, {"--request", "7022", "--request", "7000", "--seconds", "1.5", "--out", dir.file("b.vxr")});
        EXPECT_EQ(r.out.substr(0, 15), "7022\t100 bytes\n");
        EXPECT_NE(r.out.find("\n7000\t"), std::string::npos);
        auto frames = framesOf(slurpBytes(dir.file("b.vxr")));
        ASSERT_EQ(frames.size(), 2u);
        for (const auto& f : frames) EXPECT_TRUE(checksumHolds(f));
    }
}

TEST(Receive, LostAndOrphanFragments) {
    {
        SimProcess sim({"--drop-fragment", "1"});
        auto r = receive(sim, {"--request", "7008", "--request", "7022", "--seconds", "1"});
        EXPECT_EQ(r.out, "TEXT Lost Packet\n7022\t100 bytes\n");
    }
    {
        SimProcess sim({"--orphan-fragment", "1"});
        auto r = receive(sim, {"--request", "7008", "--request", "7022", "--seconds", "1"});
        EXPECT_EQ(r.out, "7022\t100 bytes\n");
    }
}

TEST(Receive, TheNewestSingleConfigurationRecordIsKept) {
    TempDir dir;
    {
        SimProcess sim({"--devices", "3"});
        auto r = receive(sim, {"--request", "7001", "--request", "7001", "--seconds", "1", "--out", dir.file("all.vxr"),
                               "--config", dir.file("config.vxr")});
        auto frames = framesOf(slurpBytes(dir.file("all.vxr")));
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_LT(FrameView(frames[0]).recordCounter(), FrameView(frames[1]).recordCounter());
        EXPECT_EQ(slurpBytes(dir.file("config.vxr")), frames[1]);
        EXPECT_EQ(readLEOr0<std::uint32_t>(frames[1], 72), 3u);  // three devices
    }
    {
        // A configuration record in several packets is listed but not kept.
        SimProcess sim({"--record-size", "7001", "70000"});
        auto r = receive(sim, {"--request", "7001", "--seconds", "1", "--config", dir.file("none.vxr")});
        EXPECT_EQ(r.out, "7001\t70000 bytes\n");
        EXPECT_FALSE(std::filesystem::exists(dir.file("none.vxr")));
    }
}

TEST(Receive, EndsWithTheConnectionAndReportsFailures) {
    SimProcess sim({"--close-after", "1"});
    const auto start = std::chrono::steady_clock::now();
    auto r = receive(sim, {"--request", "7022", "--request", "7000", "--seconds", "20"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    // An end nobody asked for is said on stderr and in the exit status.
    EXPECT_EQ(r.status, 1);
    // The tool's own line about it is listed like a record (7051).
    EXPECT_EQ(r.out, "7022\t100 bytes\n7051\t134 bytes\n");
    EXPECT_EQ(r.err, "The connection to the server ended\n");

    // UDP to a closed port: the refusal ends the connection, and says so.
    std::string udpPort;
    {
        SimProcess gone({"--udp"});
        udpPort = gone.port();
    }
    auto udp = runProgram(kCli, {"receive", "127.0.0.1", udpPort, "--udp", "--request", "7022", "--seconds", "2"});
    EXPECT_EQ(udp.status, 1);
    EXPECT_EQ(udp.err, "The connection to the server ended\n");

    std::string port;
    {
        SimProcess gone({});  // a port that had a listener a moment ago and has none now
        port = gone.port();
    }
    auto refused = runProgram(kCli, {"receive", "127.0.0.1", port, "--seconds", "1"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "Connection refused\n");

    EXPECT_EQ(runProgram(kCli, {"receive"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"receive", "127.0.0.1", port, "--seconds", "soon"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"receive", "127.0.0.1", port, "--request", "x"}).status, 2);
    for (const char* badPort : {"70000", "abc", "", "0", "4466abc"})
        EXPECT_EQ(runProgram(kCli, {"receive", "127.0.0.1", badPort}).status, 2) << badPort;
    for (const char* badHost : {"no.such.host.invalid", "999.1.1.1"})
        EXPECT_EQ(runProgram(kCli, {"receive", badHost, port}).status, 2) << badHost;
}

// The simulator's live side, driven through the socket classes.
TEST(Simulator, StreamsSubscriptionsAndAnswersCommands) {
    SimProcess sim({"--ping-rate", "20", "--skip-pings", "3", "--log"});
    tarvik::testing::SimClient client;
    ASSERT_TRUE(client.connect(sim));
    client.subscribeFor({7000, 7008, 7027}, std::chrono::milliseconds(600));
    auto& [receiver, sender, prepare] = client;

    // A known command is acknowledged, an unknown one refused, both with ticket and tracking number.
    Bytes command = prepare.endAllSubscriptions(7125, 0);
    ByteWriter w(command);
    w.patch<std::uint32_t>(64, 1003);
    w.patch<std::uint32_t>(68, 77);
    sender.Send(net::Packetize(w.data())[0]);
    w.patch<std::uint32_t>(64, 4242);
    sender.Send(net::Packetize(w.data())[0]);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    std::vector<std::uint32_t> pings;
    std::vector<Bytes> answers;
    for (const auto& r : receiver.TakePendingRecords()) {
        FrameView f(r);
        EXPECT_TRUE(checksumHolds(r));
        if (f.recordType() == 7000) pings.push_back(readLEOr0<std::uint32_t>(r, 72));
        if (f.recordType() == 7501 || f.recordType() == 7502) answers.push_back(r);
    }
    ASSERT_GE(pings.size(), 5u);
    bool skipped = false;
    for (std::size_t i = 1; i < pings.size(); ++i) {
        EXPECT_GT(pings[i], pings[i - 1]);
        skipped = skipped || pings[i] == pings[i - 1] + 2;
    }
    EXPECT_TRUE(skipped);
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(FrameView(answers[0]).recordType(), 7501u);
    EXPECT_EQ(readLEOr0<std::uint32_t>(answers[0], 64), 77u);
    EXPECT_EQ(answers[0][68], 3);  // tracking number bytes
    EXPECT_EQ(FrameView(answers[1]).recordType(), 7502u);
    EXPECT_EQ(readLEOr0<std::uint32_t>(answers[1], 84), 28679u);
    // Nothing more is streamed after the subscriptions ended.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(receiver.TakePendingRecords().empty());
    receiver.Stop();
    EXPECT_NE(sim.log().find("received 7500\t108 bytes\tdevice 7125:0\tcommand 1051"), std::string::npos) << sim.log();
}
