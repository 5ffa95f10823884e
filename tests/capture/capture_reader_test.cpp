// Captures of Vx traffic read as a record source: link layers, streams,
// reassembly through the packet handler, and captures from the field.

#include "capture/capture_reader.h"
#include "core/frame.h"
#include "net/packets.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/capture_records.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <map>
#include <memory>
#include <sstream>

namespace tarvik::capture {
namespace {

using synth::CaptureEndpoint;
using testing::TempDir;

const Bytes kLostLine = {'T', 'E', 'X', 'T', ' ', 'L', 'o', 's', 't', ' ', 'P', 'a', 'c', 'k', 'e', 't'};

// Records grouped by the direction they came on, in the order listed.
std::map<std::string, std::vector<Bytes>> byStream(const CaptureReader::Result& r) {
    std::map<std::string, std::vector<Bytes>> out;
    for (const CapturedRecord& record : r.records) {
        const StreamInfo& s = r.streams.at(record.stream);
        out[endpointText(s.source) + ">" + endpointText(s.destination)].push_back(record.bytes);
    }
    return out;
}
std::string key(const CaptureEndpoint& from, const CaptureEndpoint& to) {
    return endpointText({from.address, from.port}) + ">" + endpointText({to.address, to.port});
}

TEST(CaptureReader, SampleSessionListsEachStreamsRecordsInOrderWithTheHardCases) {
    TempDir dir;
    const synth::SampleCapture sample = synth::sampleCapture({});
    const std::string path = dir.write("session.pcapng", sample.file);
    for (const std::vector<std::uint16_t>& ports : {std::vector<std::uint16_t>{}, std::vector<std::uint16_t>{7000}}) {
        CaptureOptions options;
        options.ports = ports;
        const CaptureReader::Result r = readCapture(path, options);
        ASSERT_TRUE(r.ok) << r.error;
        auto streams = byStream(r);
        std::size_t expected = 0;
        for (const synth::SampleStream& s : sample.streams) {
            SCOPED_TRACE(key(s.source, s.destination));
            const auto& got = streams[key(s.source, s.destination)];
            ASSERT_EQ(got.size(), s.records.size());
            for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], s.records[i]) << "record " << i;
            expected += s.records.size();
        }
        EXPECT_EQ(r.records.size(), expected);
        // The first connection lost one segment and had one cut short: two holes, and lines saying so.
        EXPECT_EQ(r.counts.holes, 2u);
        const auto& lossy = streams[key(sample.streams[1].source, sample.streams[1].destination)];
        EXPECT_EQ(std::count(lossy.begin(), lossy.end(), kLostLine), 2);
        // A record of three packets came over TCP and over UDP (in IPv4 fragments).
        EXPECT_GT(r.counts.ipFragments, 40u);
        for (const StreamInfo& s : r.streams) EXPECT_EQ(s.fromServer, s.source.port == 7000) << streamText(s);
    }
}

TEST(CaptureReader, RecordsKeepTheirCaptureTimeAndStream) {
    TempDir dir;
    synth::CaptureSampleOptions o;
    o.hardCases = false;
    const std::string path = dir.write("plain.pcapng", synth::sampleCapture(o).file);
    const CaptureReader::Result r = readCapture(path);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_FALSE(r.records.empty());
    EXPECT_EQ(std::count_if(r.records.begin(), r.records.end(), [](const CapturedRecord& c) { return c.bytes == kLostLine; }),
              0)
        << "no holes without the hard cases";
    CaptureTime last{};
    for (const CapturedRecord& record : r.records) {
        EXPECT_GE(record.time, last);  // in order when nothing waits behind a gap
        last = record.time;
        EXPECT_EQ(record.time.seconds / 1000, 1'765'000);
    }
    EXPECT_EQ(captureTimeText({1'765'000'000, 1'500}), "2025-12-06 05:46:40.000001500 UTC");
    EXPECT_EQ(std::count_if(r.streams.begin(), r.streams.end(),
                            [](const StreamInfo& s) { return streamText(s).substr(0, 4) == "UDP "; }),
              2);
    StreamInfo s{Transport::Tcp, {0xC000020A, 7000}, {0xC0000214, 50514}, true};
    EXPECT_EQ(streamText(s), "TCP 192.0.2.10:7000 -> 192.0.2.20:50514 (server to client)");
}

// A short session (handshake, a request, three records back) as Ethernet frames.
std::vector<Bytes> shortSession() {
    const CaptureEndpoint server{0x7F000001, 7000}, client{0x7F000001, 41000};
    std::vector<Bytes> frames;
    frames.push_back(synth::tcpFrame(client, server, 10, 0, synth::kTcpSyn, {}));
    frames.push_back(synth::tcpFrame(server, client, 90, 11, synth::kTcpSyn | synth::kTcpAck, {}));
    Bytes up, down;
    for (const Bytes& p : net::Packetize(synth::sampleFrame(7022, 1, 1, 0))) up.insert(up.end(), p.begin(), p.end());
    for (std::uint32_t i = 0; i < 3; ++i)
        for (const Bytes& p : net::Packetize(synth::sampleFrame(7000 + 4 * i, 1, i + 2, 100 + i)))
            down.insert(down.end(), p.begin(), p.end());
    frames.push_back(synth::tcpFrame(client, server, 11, 91, synth::kTcpAck, up));
    frames.push_back(synth::tcpFrame(server, client, 91, 11 + static_cast<std::uint32_t>(up.size()),
                                     synth::kTcpAck, down));
    return frames;
}

Bytes captureOf(std::uint16_t linkType, const std::vector<Bytes>& frames) {
    synth::PcapngWriter w(linkType);
    std::uint64_t t = 1'000'000'000;
    for (const Bytes& f : frames) w.packet(t += 1000, f);
    return w.bytes();
}

// The same IPv4 packet behind another link layer's header.
Bytes relink(const Bytes& ethernet, std::uint16_t linkType) {
    const Bytes ip(ethernet.begin() + 14, ethernet.end());
    Bytes head;
    switch (linkType) {
    case 113: head = {0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0x08, 0x00}; break;              // SLL
    case 276: head = {0x08, 0x00, 0, 0, 0, 0, 0, 1, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0}; break;  // SLL2
    case 0: head = {2, 0, 0, 0}; break;                                                          // null, little-endian host
    case 108: head = {0, 0, 0, 2}; break;                                                        // loop
    default: break;                                                                              // raw IPv4
    }
    head.insert(head.end(), ip.begin(), ip.end());
    return head;
}

TEST(CaptureReader, ReadsEveryLinkLayerItTakesAndSkipsOtherTraffic) {
    TempDir dir;
    const std::vector<Bytes> session = shortSession();
    for (std::uint16_t linkType : {1, 113, 276, 0, 108, 101, 228}) {
        SCOPED_TRACE(linkType);
        std::vector<Bytes> frames;
        for (const Bytes& f : session) frames.push_back(linkType == 1 ? f : relink(f, linkType));
        const CaptureReader::Result r = readCapture(dir.write("link.pcapng", captureOf(linkType, frames)));
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.records.size(), 4u);
        EXPECT_EQ(FrameView(r.records[0].bytes).recordType(), 7022u);
        EXPECT_EQ(FrameView(r.records[3].bytes).recordType(), 7008u);
    }

    // IPv6 and ARP frames are counted and skipped; so is a frame too short for its headers.
    std::vector<Bytes> frames = session;
    Bytes ipv6 = session[0];
    ipv6[12] = 0x86, ipv6[13] = 0xDD;
    Bytes arp = session[0];
    arp[12] = 0x08, arp[13] = 0x06;
    Bytes cut(session[0].begin(), session[0].begin() + 40);  // inside the TCP header
    frames.insert(frames.begin() + 2, {ipv6, arp, cut});
    const CaptureReader::Result r = readCapture(dir.write("mixed.pcapng", captureOf(1, frames)));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.records.size(), 4u);
    EXPECT_EQ(r.counts.ipv6, 1u);
    EXPECT_EQ(r.counts.notIp, 1u);
    EXPECT_EQ(r.counts.cutHeaders, 1u);
    EXPECT_EQ(r.counts.packets, 7u);
}

TEST(CaptureReader, RefusesALinkTypeItDoesNotReadNamingIt) {
    TempDir dir;
    const std::string path = dir.write("wifi.pcapng", captureOf(105, {Bytes(40, 0)}));
    CaptureReader reader;
    EXPECT_FALSE(reader.open(path));
    EXPECT_NE(reader.error().find("link type 105"), std::string::npos) << reader.error();
    EXPECT_NE(reader.error().find("802.11"), std::string::npos) << reader.error();
    bool called = false;
    EXPECT_FALSE(reader.read([&](CapturedRecord&&) { called = true; }));
    EXPECT_FALSE(called);
}

TEST(CaptureReader, TellsVxStreamsFromOthersAndResyncsAStreamSeenFromItsMiddle) {
    TempDir dir;
    const CaptureEndpoint server{0x7F000001, 8080}, client{0x7F000001, 42000};
    const std::string http = "GET / HTTP/1.1\r\nHost: example\r\n\r\n" + std::string(200, 'x');
    std::vector<Bytes> frames = {synth::tcpFrame(client, server, 1, 0, synth::kTcpSyn, {}),
                                 synth::tcpFrame(client, server, 2, 0, synth::kTcpAck, asBytes(http))};
    // A Vx stream on another port, seen from the middle of a packet: the
    // first whole packet after that is where the records begin.
    const std::vector<Bytes> session = shortSession();
    const Bytes& down = session[3];
    const std::size_t headers = 14 + 20 + 20;
    const Bytes payload(down.begin() + headers, down.end());
    const std::size_t firstPacket = readLEOr0<std::uint32_t>(payload, net::netframe_offsets::packetSize);
    const CaptureEndpoint vxServer{0x7F000001, 7000}, vxClient{0x7F000001, 41000};
    const Bytes tail(payload.begin() + 50, payload.end());
    frames.push_back(synth::tcpFrame(vxServer, vxClient, 91 + 50, 1, synth::kTcpAck, tail));
    // More of the text stream, once it is known not to be Vx traffic.
    frames.push_back(synth::tcpFrame(client, server, 2 + static_cast<std::uint32_t>(http.size()), 0, synth::kTcpAck,
                                     asBytes(http)));
    const CaptureReader::Result r = readCapture(dir.write("mixed.pcapng", captureOf(1, frames)));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.records.size(), 2u);  // the first record was cut off by the capture's start
    EXPECT_EQ(FrameView(r.records[0].bytes).recordType(), 7004u);
    EXPECT_GT(firstPacket, 50u);
    EXPECT_EQ(r.counts.notVx, 1u) << "the other stream is dropped at its first bytes, and passed over after";

    // Asked for port 8080 only: the text stream has no framing and lists nothing; port 7000 is not read.
    CaptureOptions options;
    options.ports = {8080};
    const CaptureReader::Result only = readCapture(dir.file("mixed.pcapng"), options);
    EXPECT_TRUE(only.records.empty());
    EXPECT_EQ(only.counts.notVx, 1u);
}

TEST(CaptureReader, ACaptureCutShortGivesWhatItHeldAndSaysSo) {
    TempDir dir;
    synth::CaptureSampleOptions o;
    o.hardCases = false;
    Bytes file = synth::sampleCapture(o).file;
    file.resize(file.size() * 2 / 3 + 5);  // ends inside a packet block
    CaptureReader reader;
    ASSERT_TRUE(reader.open(dir.write("cut.pcapng", file)));
    std::size_t records = 0;
    EXPECT_FALSE(reader.read([&](CapturedRecord&&) { ++records; }));
    EXPECT_NE(reader.error().find("ends early"), std::string::npos) << reader.error();
    EXPECT_GT(records, 5u);

    // Not a capture at all.
    CaptureReader none;
    EXPECT_FALSE(none.open(dir.write("text.pcap", Bytes(100, 'a'))));
    EXPECT_FALSE(none.error().empty());
    EXPECT_FALSE(looksLikeCapture(Bytes(100, 'a')));
    EXPECT_TRUE(looksLikeCapture(synth::sampleCapture(o).file));
}

TEST(CaptureReader, EndsQuietStreamsForItsBudgetWithoutLosingWhatWasNotInFlight) {
    // Three connections interleaved with no room for any: each is ended after
    // every packet, and as every packet held a whole record, nothing is lost.
    TempDir dir;
    std::vector<Bytes> frames;
    const CaptureEndpoint server{0x7F000001, 7000};
    std::vector<Bytes> streams(3);
    for (std::uint32_t c = 0; c < 3; ++c) {
        const CaptureEndpoint client{0x7F000001, static_cast<std::uint16_t>(41000 + c)};
        frames.push_back(synth::tcpFrame(server, client, 1000, 1, synth::kTcpSyn | synth::kTcpAck, {}));
    }
    for (std::uint32_t round = 0; round < 4; ++round)
        for (std::uint32_t c = 0; c < 3; ++c) {
            const CaptureEndpoint client{0x7F000001, static_cast<std::uint16_t>(41000 + c)};
            Bytes packet = net::Packetize(synth::sampleFrame(7000, 1, round, round))[0];
            frames.push_back(synth::tcpFrame(server, client, 1001 + static_cast<std::uint32_t>(streams[c].size()), 1,
                                             synth::kTcpAck, packet));
            streams[c].insert(streams[c].end(), packet.begin(), packet.end());
        }
    CaptureOptions options;
    options.memoryBudget = 1;
    const CaptureReader::Result r = readCapture(dir.write("three.pcapng", captureOf(1, frames)), options);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.records.size(), 12u);
    EXPECT_TRUE(r.problems.empty());
}

// `connections` TCP connections to port 7000, all open at once, each sending
// `records` records whose packets are cut in two segments, the connections'
// segments interleaved so that every one has a packet half received at once.
// The frames of that capture after `frames`; `afterEachSegment` may add more behind each segment.
std::vector<Bytes> manyConnectionFrames(std::uint32_t connections, std::uint32_t records, std::vector<Bytes> frames = {},
                                        const std::function<void(std::vector<Bytes>&)>& afterEachSegment = {}) {
    const CaptureEndpoint server{0x0A000001, 7000};
    auto client = [](std::uint32_t c) {
        return CaptureEndpoint{0x0A000100 + c / 1000, static_cast<std::uint16_t>(20000 + c % 1000)};
    };
    for (std::uint32_t c = 0; c < connections; ++c) {
        frames.push_back(synth::tcpFrame(client(c), server, 5, 0, synth::kTcpSyn, {}));
        frames.push_back(synth::tcpFrame(server, client(c), 1000, 6, synth::kTcpSyn | synth::kTcpAck, {}));
    }
    std::vector<std::uint32_t> seq(connections, 1001);
    for (std::uint32_t round = 0; round < records; ++round)
        for (std::uint32_t half = 0; half < 2; ++half)
            for (std::uint32_t c = 0; c < connections; ++c) {
                const Bytes packet = net::Packetize(synth::sampleFrame(7000, 1, round, c))[0];
                const std::size_t cut = packet.size() / 2;
                const Bytes piece = half == 0 ? Bytes(packet.begin(), packet.begin() + cut)
                                              : Bytes(packet.begin() + cut, packet.end());
                frames.push_back(synth::tcpFrame(server, client(c), seq[c], 6, synth::kTcpAck, piece));
                seq[c] += static_cast<std::uint32_t>(piece.size());
                if (afterEachSegment) afterEachSegment(frames);
            }
    return frames;
}
Bytes manyConnections(std::uint32_t connections, std::uint32_t records) {
    return captureOf(1, manyConnectionFrames(connections, records));
}

TEST(CaptureReader, FollowsHundredsOfConnectionsAtOnce) {
    TempDir dir;
    const std::string path = dir.write("many.pcapng", manyConnections(300, 3));
    for (const std::vector<std::uint16_t>& ports : {std::vector<std::uint16_t>{}, std::vector<std::uint16_t>{7000}}) {
        CaptureOptions options;
        options.ports = ports;
        const CaptureReader::Result r = readCapture(path, options);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.records.size(), 900u);
        EXPECT_EQ(std::count_if(r.records.begin(), r.records.end(),
                                [](const CapturedRecord& c) { return c.kind != CapturedKind::Frame; }),
                  0);
        EXPECT_TRUE(r.problems.empty());
        EXPECT_EQ(r.streams.size(), 300u);
    }
}

TEST(CaptureReader, AStreamGivenUpForTheBudgetIsNamedNeverLostInSilence) {
    TempDir dir;
    CaptureOptions options;
    options.memoryBudget = 256u << 10;  // far less than 300 half-received packets and their streams
    const CaptureReader::Result r = readCapture(dir.write("many.pcapng", manyConnections(300, 3)), options);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_GT(r.counts.droppedStreams, 0u);
    ASSERT_FALSE(r.problems.empty());
    EXPECT_NE(r.problems[0].find("TCP 10.0.0.1:7000 -> 10.0.1."), std::string::npos) << r.problems[0];
    EXPECT_NE(r.problems[0].find("memory budget of 256 KiB"), std::string::npos) << r.problems[0];
    EXPECT_LE(r.problems.size(), 21u);  // the first ones named, the rest counted
    // Every record is either listed or accounted for by a lost-packet line.
    const auto lost = std::count_if(r.records.begin(), r.records.end(),
                                    [](const CapturedRecord& c) { return c.kind == CapturedKind::LostPacket; });
    EXPECT_GT(lost, 0);
}

TEST(CaptureReader, TheStreamGivenUpForTheBudgetIsTheOneQuietTheLongest) {
    // 300 connections with half-received packets, round after round, and
    // between every two of their segments a piece of one busy connection's
    // packets: that one is always among the latest used, so the budget never
    // takes it, however long ago it was first seen.
    const CaptureEndpoint server{0x0A000001, 7000}, busy{0x0A000200, 30000};
    constexpr std::uint32_t kConnections = 300, kRounds = 3;
    Bytes busyBytes;
    for (std::uint32_t n = 0; busyBytes.size() < 2 * kRounds * kConnections * 24; ++n)
        for (const Bytes& p : net::Packetize(synth::sampleFrame(7001, 2, n, n))) busyBytes.insert(busyBytes.end(), p.begin(), p.end());
    std::uint32_t busySeq = 1001;
    std::size_t busyAt = 0;
    std::vector<Bytes> frames = manyConnectionFrames(
        kConnections, kRounds,
        {synth::tcpFrame(busy, server, 5, 0, synth::kTcpSyn, {}),
         synth::tcpFrame(server, busy, 1000, 6, synth::kTcpSyn | synth::kTcpAck, {})},
        [&](std::vector<Bytes>& out) {
            const Bytes busyPiece(busyBytes.begin() + static_cast<std::ptrdiff_t>(busyAt),
                                  busyBytes.begin() + static_cast<std::ptrdiff_t>(busyAt + 24));
            out.push_back(synth::tcpFrame(server, busy, busySeq, 6, synth::kTcpAck, busyPiece));
            busySeq += 24;
            busyAt += 24;
        });
    frames.push_back(synth::tcpFrame(server, busy, busySeq, 6, synth::kTcpAck,
                                     Bytes(busyBytes.begin() + static_cast<std::ptrdiff_t>(busyAt), busyBytes.end())));
    TempDir dir;
    CaptureOptions options;
    options.memoryBudget = 256u << 10;
    const CaptureReader::Result r = readCapture(dir.write("busy.pcapng", captureOf(1, frames)), options);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_GT(r.counts.droppedStreams, 0u);  // the budget took streams
    for (const std::string& problem : r.problems) EXPECT_EQ(problem.find(":30000"), std::string::npos) << problem;
    std::size_t busyFrames = 0;
    for (const CapturedRecord& record : r.records)
        if (r.streams.at(record.stream).destination.port == 30000) {
            EXPECT_EQ(record.kind, CapturedKind::Frame);
            ++busyFrames;
        }
    EXPECT_GT(busyFrames, 100u);
}

TEST(CaptureReader, AStreamThatEndsInsideAPacketSaysItLostIt) {
    TempDir dir;
    std::vector<Bytes> frames = shortSession();
    Bytes& down = frames[3];
    down.resize(down.size() - 30);  // the capture stopped before the last packet's end
    // The IPv4 total length says what the frame holds.
    const std::uint16_t length = static_cast<std::uint16_t>(down.size() - 14);
    down[16] = static_cast<std::uint8_t>(length >> 8), down[17] = static_cast<std::uint8_t>(length);
    const CaptureReader::Result r = readCapture(dir.write("short.pcapng", captureOf(1, frames)));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.records.size(), 4u);
    EXPECT_EQ(r.records[2].kind, CapturedKind::Frame);
    EXPECT_EQ(r.records[3].kind, CapturedKind::LostPacket);
}

void patch32(Bytes& b, std::size_t at, std::uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

TEST(CaptureReader, APacketThatHoldsNoRecordFrameIsListedAsDamagedOnOneLine) {
    TempDir dir;
    const CaptureEndpoint server{0x0A000001, 7000}, client{0x0A000002, 40000};
    const std::string junk = "line one\nline two\x1b[31m and more bytes to pass for a record";
    std::vector<Bytes> frames;
    for (const Bytes& p : net::Packetize(asBytes(junk))) frames.push_back(synth::udpFrame(server, client, p));
    // A record frame whose total size runs past its packet: dropped by the
    // packet handler, and said so rather than lost in silence.
    Bytes overlong = net::Packetize(synth::sampleFrame(7000, 1, 1, 1))[0];
    patch32(overlong, net::netframe_offsets::totalSize,
            readLEOr0<std::uint32_t>(overlong, net::netframe_offsets::totalSize) + 1);
    frames.push_back(synth::udpFrame(server, client, overlong));
    for (const Bytes& p : net::Packetize(synth::sampleFrame(7000, 1, 1, 1))) frames.push_back(synth::udpFrame(server, client, p));
    CaptureOptions options;
    options.ports = {7000};
    const CaptureReader::Result r = readCapture(dir.write("junk.pcapng", captureOf(1, frames)), options);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.records.size(), 3u);
    EXPECT_EQ(r.records[0].kind, CapturedKind::Damaged);
    const std::string text(r.records[0].bytes.begin(), r.records[0].bytes.end());
    EXPECT_EQ(text, damagedPacketText(junk.size(), "not a record frame"));
    EXPECT_FALSE(FrameView(r.records[0].bytes).isFrame());
    EXPECT_EQ(r.records[1].kind, CapturedKind::Damaged);
    const std::string refused(r.records[1].bytes.begin(), r.records[1].bytes.end());
    EXPECT_EQ(refused, damagedPacketText(overlong.size(), "its total size does not fit its payload"));
    EXPECT_EQ(r.records[2].kind, CapturedKind::Frame);
    EXPECT_EQ(r.counts.damaged, 2u);
}

TEST(CaptureReader, AFIFOIsRefusedAtOnceNotWaitedOn) {
    TempDir dir;
    const std::string fifo = dir.file("pipe.pcap");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CaptureReader reader;
    EXPECT_FALSE(reader.open(fifo));  // no writer: a blocking open would never return
    EXPECT_NE(reader.error().find("FIFO"), std::string::npos) << reader.error();
    EXPECT_FALSE(reader.open(dir.path().string()));
    EXPECT_NE(reader.error().find("directory"), std::string::npos) << reader.error();
}

} // namespace
} // namespace tarvik::capture
