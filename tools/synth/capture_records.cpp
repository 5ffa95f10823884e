#include "tools/synth/capture_records.h"

#include "core/whole_file_output.h"
#include "net/packets.h"
#include "tools/synth/sample_records.h"

#include <algorithm>
#include <map>
#include <optional>
#include <random>

namespace tarvik::synth {

namespace {

constexpr std::uint16_t kEthernetIpv4 = 0x0800;
constexpr std::size_t kSegmentSize = 256;  // small segments: many of them even for a short session
constexpr std::size_t kIpPayloadPerFragment = 1480;

void be16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
void be32(Bytes& out, std::uint32_t v) {
    be16(out, static_cast<std::uint16_t>(v >> 16));
    be16(out, static_cast<std::uint16_t>(v));
}
std::uint16_t onesComplementSum(ByteSpan bytes, std::uint32_t sum = 0) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) sum += std::uint32_t{bytes[i]} << 8 | bytes[i + 1];
    if (bytes.size() % 2) sum += std::uint32_t{bytes.back()} << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(sum);
}

// A 16-bit checksum into its place, most significant byte first.
void putChecksum(Bytes& out, std::size_t at, std::uint16_t sum) {
    out[at] = static_cast<std::uint8_t>(sum >> 8);
    out[at + 1] = static_cast<std::uint8_t>(sum);
}

void ethernetHeader(Bytes& out) {
    const std::uint8_t macs[12] = {0x02, 0, 0, 0, 0, 0x02, 0x02, 0, 0, 0, 0, 0x01};
    out.insert(out.end(), macs, macs + 12);
    be16(out, kEthernetIpv4);
}

// An IPv4 header for `payloadLength` bytes of `protocol`; fragment field as given.
void ipv4Header(Bytes& out, std::uint32_t from, std::uint32_t to, std::uint8_t protocol, std::size_t payloadLength,
                std::uint16_t id, std::uint16_t fragment) {
    const std::size_t at = out.size();
    out.push_back(0x45);
    out.push_back(0);
    be16(out, static_cast<std::uint16_t>(20 + payloadLength));
    be16(out, id);
    be16(out, fragment);
    out.push_back(64);
    out.push_back(protocol);
    be16(out, 0);
    be32(out, from);
    be32(out, to);
    putChecksum(out, at + 10, static_cast<std::uint16_t>(~onesComplementSum(ByteSpan(out).subspan(at, 20))));
}

std::uint16_t transportChecksum(std::uint32_t from, std::uint32_t to, std::uint8_t protocol, ByteSpan segment) {
    Bytes pseudo;
    be32(pseudo, from);
    be32(pseudo, to);
    be16(pseudo, protocol);
    be16(pseudo, static_cast<std::uint16_t>(segment.size()));
    const std::uint16_t sum = static_cast<std::uint16_t>(~onesComplementSum(segment, onesComplementSum(pseudo)));
    return sum == 0 && protocol == 17 ? 0xFFFF : sum;
}

} // namespace

Bytes tcpFrame(const CaptureEndpoint& from, const CaptureEndpoint& to, std::uint32_t seq, std::uint32_t ack,
               std::uint8_t flags, ByteSpan payload) {
    Bytes segment;
    segment.reserve(20 + payload.size());
    be16(segment, from.port);
    be16(segment, to.port);
    be32(segment, seq);
    be32(segment, (flags & kTcpAck) ? ack : 0);
    segment.push_back(5 << 4);
    segment.push_back(flags);
    be16(segment, 65535);
    be16(segment, 0);
    be16(segment, 0);
    segment.insert(segment.end(), payload.begin(), payload.end());
    putChecksum(segment, 16, transportChecksum(from.address, to.address, 6, segment));
    Bytes frame;
    frame.reserve(34 + segment.size());
    ethernetHeader(frame);
    ipv4Header(frame, from.address, to.address, 6, segment.size(), 0, 0x4000);
    frame.insert(frame.end(), segment.begin(), segment.end());
    return frame;
}

static Bytes udpDatagram(const CaptureEndpoint& from, const CaptureEndpoint& to, ByteSpan payload) {
    Bytes datagram;
    be16(datagram, from.port);
    be16(datagram, to.port);
    be16(datagram, static_cast<std::uint16_t>(8 + payload.size()));
    be16(datagram, 0);
    datagram.insert(datagram.end(), payload.begin(), payload.end());
    putChecksum(datagram, 6, transportChecksum(from.address, to.address, 17, datagram));
    return datagram;
}

Bytes udpFrame(const CaptureEndpoint& from, const CaptureEndpoint& to, ByteSpan payload) {
    const Bytes datagram = udpDatagram(from, to, payload);
    Bytes frame;
    ethernetHeader(frame);
    ipv4Header(frame, from.address, to.address, 17, datagram.size(), 0, 0x4000);
    frame.insert(frame.end(), datagram.begin(), datagram.end());
    return frame;
}

std::vector<Bytes> udpFrames(const CaptureEndpoint& from, const CaptureEndpoint& to, ByteSpan payload,
                             std::uint16_t ipId) {
    const Bytes datagram = udpDatagram(from, to, payload);
    std::vector<Bytes> frames;
    for (std::size_t at = 0; at < datagram.size(); at += kIpPayloadPerFragment) {
        const std::size_t n = std::min(kIpPayloadPerFragment, datagram.size() - at);
        const bool more = at + n < datagram.size();
        Bytes frame;
        ethernetHeader(frame);
        ipv4Header(frame, from.address, to.address, 17, n, ipId,
                   static_cast<std::uint16_t>((more ? 0x2000 : 0) | (at / 8)));
        frame.insert(frame.end(), datagram.begin() + static_cast<std::ptrdiff_t>(at),
                     datagram.begin() + static_cast<std::ptrdiff_t>(at + n));
        frames.push_back(std::move(frame));
    }
    return frames;
}

PcapngWriter::PcapngWriter(std::uint16_t linkType, std::uint32_t snapLength) : snapLength_(snapLength) {
    ByteWriter w;
    // Section header block: no options, section length unknown.
    w.u32(0x0A0D0D0A).u32(28).u32(0x1A2B3C4D).u16(1).u16(0).u64(~std::uint64_t{0}).u32(28);
    // Interface description block with nanosecond times (if_tsresol = 9).
    w.u32(1).u32(32).u16(linkType).u16(0).u32(snapLength);
    w.u16(9).u16(1).u8(9).fill(3).u16(0).u16(0);
    w.u32(32);
    out_ = w.take();
}

void PcapngWriter::packet(std::uint64_t nanoseconds, ByteSpan frame, std::uint32_t originalLength) {
    const std::size_t held = std::min<std::size_t>(frame.size(), snapLength_);
    const std::size_t padded = (held + 3) & ~std::size_t{3};
    const auto blockLength = static_cast<std::uint32_t>(32 + padded);
    ByteWriter w(std::move(out_));
    w.u32(6).u32(blockLength).u32(0);
    w.u32(static_cast<std::uint32_t>(nanoseconds >> 32)).u32(static_cast<std::uint32_t>(nanoseconds));
    w.u32(static_cast<std::uint32_t>(held)).u32(originalLength ? originalLength : static_cast<std::uint32_t>(frame.size()));
    w.bytes(frame.first(held)).fill(padded - held);
    w.u32(blockLength);
    out_ = w.take();
}

bool PcapngWriter::flushTo(std::FILE* file) {
    const bool ok = std::fwrite(out_.data(), 1, out_.size(), file) == out_.size();
    out_.clear();
    return ok;
}

namespace {

// One direction of a TCP connection: its bytes, cut into segments.
struct Direction {
    CaptureEndpoint from, to;
    std::uint32_t isn = 0;
    Bytes bytes;
    std::vector<std::pair<std::size_t, std::size_t>> records;  // [begin, end) of each record's packets
    std::vector<Bytes> frames;
    void add(const Bytes& record) {
        const std::size_t begin = bytes.size();
        for (const Bytes& packet : net::Packetize(record)) bytes.insert(bytes.end(), packet.begin(), packet.end());
        records.emplace_back(begin, bytes.size());
        frames.push_back(record);
    }
    Bytes segment(std::size_t begin, std::size_t length, std::uint32_t ack) const {
        length = std::min(length, bytes.size() - begin);
        return tcpFrame(from, to, isn + 1 + static_cast<std::uint32_t>(begin), ack, kTcpAck | kTcpPsh,
                        ByteSpan(bytes).subspan(begin, length));
    }
};

// The receiving end of a direction: which bytes it holds, and the
// acknowledgement it sends for them (the end of the bytes held in order).
struct Receiver {
    const Direction& up;
    const Direction& down;
    std::map<std::size_t, std::size_t> ahead;  // [begin, end) held past `inOrder`
    std::size_t inOrder = 0;
    std::size_t segments = 0;
    Receiver(const Direction& u, const Direction& d) : up(u), down(d) {}
    void hold(std::size_t begin, std::size_t end) {
        if (end <= inOrder) return;
        std::size_t& held = ahead[begin];
        held = std::max(held, end);
        while (!ahead.empty() && ahead.begin()->first <= inOrder) {
            inOrder = std::max(inOrder, ahead.begin()->second);
            ahead.erase(ahead.begin());
        }
    }
    Bytes acknowledgement() const {
        return tcpFrame(up.from, up.to, up.isn + 1 + static_cast<std::uint32_t>(up.bytes.size()),
                        down.isn + 1 + static_cast<std::uint32_t>(inOrder), kTcpAck, {});
    }
};

// The records a reader lists for a direction whose bytes in `lost` ranges
// never arrived: a record touched by a loss is lost, the loss is one
// lost-packet line while the stream was framed, and framing resumes at the
// first record that starts after the loss.
std::vector<Bytes> expectedRecords(const Direction& d, const std::vector<std::pair<std::size_t, std::size_t>>& lost) {
    const Bytes lostLine = {'T', 'E', 'X', 'T', ' ', 'L', 'o', 's', 't', ' ', 'P', 'a', 'c', 'k', 'e', 't'};
    std::vector<Bytes> out;
    auto firstLossIn = [&](std::size_t begin, std::size_t end) -> std::optional<std::size_t> {
        std::optional<std::size_t> first;
        for (const auto& [lb, le] : lost)
            if (lb < end && le > begin && (!first || le < *first)) first = le;
        return first;
    };
    bool framed = true;
    std::size_t resumeAt = 0;
    for (std::size_t r = 0; r < d.records.size(); ++r) {
        const auto [begin, end] = d.records[r];
        if (!framed) {
            // The search for a packet start looks behind the loss, at starts the capture holds.
            if (begin < resumeAt || firstLossIn(begin, begin + net::kNetworkFrameSize + 8)) continue;
            framed = true;
        }
        if (auto loss = firstLossIn(begin, end)) {
            out.push_back(lostLine);
            framed = false;
            resumeAt = *loss;
            continue;
        }
        out.push_back(d.frames[r]);
    }
    return out;
}

std::uint32_t ipv4(int a, int b, int c, int d) {
    return static_cast<std::uint32_t>(a) << 24 | static_cast<std::uint32_t>(b) << 16 |
           static_cast<std::uint32_t>(c) << 8 | static_cast<std::uint32_t>(d);
}

// Each stream's records carry an enumerator of their own: streams interleave in
// a capture, and a record's time and ping number follow only the records of its
// own stream, so check finds no time going backwards and no ping gap between them.
enum : std::uint16_t { kFirstStream = 0, kSecondStream = 1, kUdpStream = 2, kRequests = 3, kLargeTcpRecord = 4, kLargeUdpRecord = 5 };

Bytes makeRecord(std::size_t i, const CaptureSampleOptions& o, std::mt19937& random, std::uint16_t enumerator = 0) {
    const auto& types = sampleRecordTypes();
    const std::uint32_t type = types[i % types.size()];
    const auto counter = static_cast<std::uint32_t>(i + 1);
    const auto ping = static_cast<std::uint32_t>(100 + i / types.size());
    if (o.maxDataBytes == 0) return sampleFrame(type, o.deviceId, counter, ping, enumerator);
    std::uniform_int_distribution<std::size_t> pick(o.minDataBytes, o.maxDataBytes);
    FrameBuilder b = sampleBuilder(type, o.deviceId, counter);
    b.device(o.deviceId, enumerator);
    b.data().u64(0x1234).u32(ping).fill(std::max<std::size_t>(pick(random), 12) - 12, static_cast<std::uint8_t>(i));
    return b.build();
}

Bytes bigRecord(std::uint32_t type, std::uint32_t deviceId, std::uint32_t counter, std::uint16_t enumerator) {
    FrameBuilder b = sampleBuilder(type, deviceId, counter);
    b.device(deviceId, enumerator);
    b.data().u64(0x1234).u32(counter).u16(0).u32(8);
    for (std::uint32_t i = 0; i < 130'000; ++i) b.data().u8(static_cast<std::uint8_t>(i * 7 + counter));
    return b.build();
}

} // namespace

SampleCapture sampleCapture(const CaptureSampleOptions& o) {
    const CaptureEndpoint server{ipv4(192, 0, 2, 10), 7000};
    const CaptureEndpoint client1{ipv4(192, 0, 2, 20), 50514}, client2{ipv4(192, 0, 2, 20), 50515},
        client3{ipv4(192, 0, 2, 20), 50600};
    std::mt19937 random(11);

    // Two connections; the first one's server side wraps its sequence numbers.
    Direction aUp{client1, server, 0x10000000u, {}, {}, {}}, aDown{server, client1, 0xFFFFF000u, {}, {}, {}};
    Direction bUp{client2, server, 0x20000000u, {}, {}, {}}, bDown{server, client2, 0x30000000u, {}, {}, {}};
    const Bytes request = sampleFrame(7022, o.deviceId, 1, 0, kRequests);
    aUp.add(request);
    bUp.add(request);
    std::size_t counter = 0;
    const std::size_t half = o.records / 2;
    for (std::size_t i = 0; i < half; ++i) aDown.add(makeRecord(counter++, o, random, kFirstStream));
    for (std::size_t i = half; i < o.records; ++i) {
        if (i == half + 2) bDown.add(bigRecord(7008, o.deviceId, static_cast<std::uint32_t>(counter), kLargeTcpRecord));
        bDown.add(makeRecord(counter++, o, random, kSecondStream));
    }

    PcapngWriter pcap(1, o.snapLength);
    std::uint64_t clock = 1'765'000'000ull * 1'000'000'000ull;
    auto put = [&](const Bytes& frame, std::uint32_t originalLength = 0) {
        clock += 100'000;
        pcap.packet(clock, frame, originalLength);
    };

    // Handshakes, then each client's request.
    using Connection = std::pair<Direction*, Direction*>;
    for (const Connection& c : {Connection{&aUp, &aDown}, Connection{&bUp, &bDown}}) {
        Direction& up = *c.first;
        Direction& down = *c.second;
        put(tcpFrame(up.from, up.to, up.isn, 0, kTcpSyn, {}));
        put(tcpFrame(down.from, down.to, down.isn, up.isn + 1, kTcpSyn | kTcpAck, {}));
        put(tcpFrame(up.from, up.to, up.isn + 1, down.isn + 1, kTcpAck, {}));
    }
    put(aUp.segment(0, aUp.bytes.size(), aDown.isn + 1));
    put(bUp.segment(0, bUp.bytes.size(), bDown.isn + 1));

    // The first connection's segments in the order they are captured, and what is lost.
    struct Planned {
        std::size_t begin, length;
        std::uint32_t cutTo = 0;  // non-zero: only this many bytes of the frame are held
    };
    std::vector<Planned> aPlan;
    const std::size_t aSegments = (aDown.bytes.size() + kSegmentSize - 1) / kSegmentSize;
    for (std::size_t s = 0; s < aSegments; ++s) aPlan.push_back({s * kSegmentSize, kSegmentSize});
    std::vector<std::pair<std::size_t, std::size_t>> aLost;
    if (o.hardCases && aSegments >= 14) {
        std::swap(aPlan[2], aPlan[3]);                                                // out of order
        aPlan.insert(aPlan.begin() + 7, Planned{5 * kSegmentSize, kSegmentSize});     // retransmission
        aPlan.insert(aPlan.begin() + 11, Planned{8 * kSegmentSize + kSegmentSize / 2, kSegmentSize});  // overlapping resend
    }
    if (o.hardCases && o.holes && aSegments >= 14) {
        // A segment the capture missed, and later one cut by a short snapshot length.
        const std::size_t dropped = 2 * aSegments / 3;
        const std::size_t cut = std::min(dropped + 3, aSegments - 1);
        aLost.emplace_back(dropped * kSegmentSize, std::min((dropped + 1) * kSegmentSize, aDown.bytes.size()));
        aLost.emplace_back(cut * kSegmentSize + 100, std::min((cut + 1) * kSegmentSize, aDown.bytes.size()));
        std::vector<Planned> kept;
        for (Planned p : aPlan) {
            if (p.begin == dropped * kSegmentSize) continue;
            if (p.begin == cut * kSegmentSize) p.cutTo = 54 + 100;  // headers and 100 payload bytes
            kept.push_back(p);
        }
        aPlan = std::move(kept);
        if (aLost[1].first >= aLost[1].second) aLost.pop_back();
    }
    std::vector<Planned> bPlan;
    for (std::size_t at = 0; at < bDown.bytes.size(); at += kSegmentSize) bPlan.push_back({at, kSegmentSize});

    // UDP: a request up, three records down, the middle one in three packets
    // (each datagram in IPv4 fragments).
    SampleStream udpUp{client3, server, false, {request}, {}};
    SampleStream udpDown{server, client3, false, {}, {}};
    udpDown.records.push_back(makeRecord(counter++, o, random, kUdpStream));
    udpDown.records.push_back(bigRecord(7008, o.deviceId, static_cast<std::uint32_t>(counter++), kLargeUdpRecord));
    udpDown.records.push_back(makeRecord(counter++, o, random, kUdpStream));
    std::vector<std::vector<Bytes>> udpPackets;
    std::uint16_t ipId = 100;
    for (const Bytes& packet : net::Packetize(request)) udpPackets.push_back(udpFrames(client3, server, packet, ipId++));
    for (const Bytes& record : udpDown.records)
        for (const Bytes& packet : net::Packetize(record)) udpPackets.push_back(udpFrames(server, client3, packet, ipId++));

    // With acknowledgements, the client acknowledges every second segment up to
    // the end of the bytes it holds in order. It receives every segment, those
    // the capture missed included: a missed segment counts as held from the start
    // and shows in an acknowledgement once the bytes before it have arrived.
    Receiver aReceiver(aUp, aDown), bReceiver(bUp, bDown);
    for (const auto& [begin, end] : aLost) aReceiver.hold(begin, end);
    auto acknowledge = [&](Receiver& r, std::size_t begin, std::size_t length) {
        r.hold(begin, std::min(begin + length, r.down.bytes.size()));
        if (o.acknowledged && ++r.segments % 2 == 0) put(r.acknowledgement());
    };

    // Interleaved: a segment of each connection in turn, a datagram now and then.
    const std::uint32_t ackA = aUp.isn + 1 + static_cast<std::uint32_t>(aUp.bytes.size());
    const std::uint32_t ackB = bUp.isn + 1 + static_cast<std::uint32_t>(bUp.bytes.size());
    std::size_t ai = 0, bi = 0, ui = 0;
    while (ai < aPlan.size() || bi < bPlan.size() || ui < udpPackets.size()) {
        if (ai < aPlan.size()) {
            const Planned& p = aPlan[ai++];
            Bytes frame = aDown.segment(p.begin, p.length, ackA);
            const auto wire = static_cast<std::uint32_t>(frame.size());
            if (p.cutTo) frame.resize(p.cutTo);
            put(frame, wire);
            acknowledge(aReceiver, p.begin, p.length);
        }
        if (bi < bPlan.size()) {
            put(bDown.segment(bPlan[bi].begin, bPlan[bi].length, ackB));
            acknowledge(bReceiver, bPlan[bi].begin, bPlan[bi].length);
            ++bi;
        }
        if (ui < udpPackets.size() && (ai + bi) % 4 == 0)
            for (const Bytes& f : udpPackets[ui++]) put(f);
    }
    // Both connections close.
    for (const Connection& c : {Connection{&aUp, &aDown}, Connection{&bUp, &bDown}}) {
        Direction& up = *c.first;
        Direction& down = *c.second;
        const std::uint32_t upEnd = up.isn + 1 + static_cast<std::uint32_t>(up.bytes.size());
        const std::uint32_t downEnd = down.isn + 1 + static_cast<std::uint32_t>(down.bytes.size());
        put(tcpFrame(down.from, down.to, downEnd, upEnd, kTcpFin | kTcpAck, {}));
        put(tcpFrame(up.from, up.to, upEnd, downEnd + 1, kTcpFin | kTcpAck, {}));
        put(tcpFrame(down.from, down.to, downEnd + 1, upEnd + 1, kTcpAck, {}));
    }

    SampleCapture result;
    result.file = std::move(pcap.bytes());
    for (const Direction* d : {&aUp, &aDown, &bUp, &bDown}) {
        SampleStream s{d->from, d->to, true, expectedRecords(*d, d == &aDown ? aLost : decltype(aLost){}), d->bytes};
        result.streams.push_back(std::move(s));
    }
    result.streams.push_back(std::move(udpUp));
    result.streams.push_back(std::move(udpDown));
    return result;
}

bool writeSampleCapture(const std::string& path, const CaptureSampleOptions& options, bool replace,
                        std::string& error) {
    const SampleCapture capture = sampleCapture(options);
    const Result<void> written =
        writeWholeFile(path, capture.file, replace ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No);
    error = written.error();
    return written.ok();
}

namespace {
// One loopback connection from its SYN: the server at 127.0.0.1:7000 sends
// packets[i % packets.size()] for i < count, in segments of up to 64 KiB.
// With a file, what is written so far is appended to it now and then.
bool loopbackConnection(PcapngWriter& pcap, const std::vector<Bytes>& packets, std::size_t count, std::FILE* file) {
    const CaptureEndpoint server{ipv4(127, 0, 0, 1), 7000}, client{ipv4(127, 0, 0, 1), 40000};
    std::uint64_t clock = 1'765'000'000ull * 1'000'000'000ull;
    std::uint32_t seq = 1000, clientSeq = 5000;
    pcap.packet(clock, tcpFrame(client, server, clientSeq, 0, kTcpSyn, {}));
    pcap.packet(clock += 1000, tcpFrame(server, client, seq, clientSeq + 1, kTcpSyn | kTcpAck, {}));
    ++seq;
    // Segments end at packet boundaries; a packet longer than a segment is cut.
    constexpr std::size_t kSegment = 65'000;
    auto send = [&](ByteSpan bytes) {
        pcap.packet(clock += 1000, tcpFrame(server, client, seq, clientSeq + 1, kTcpAck | kTcpPsh, bytes));
        seq += static_cast<std::uint32_t>(bytes.size());
        return !file || pcap.bytes().size() <= (8u << 20) || pcap.flushTo(file);
    };
    Bytes segment;
    for (std::size_t r = 0; r < count && !packets.empty(); ++r) {
        const Bytes& p = packets[r % packets.size()];
        if (!segment.empty() && segment.size() + p.size() > kSegment) {
            if (!send(segment)) return false;
            segment.clear();
        }
        if (p.size() > kSegment) {
            for (std::size_t at = 0; at < p.size(); at += kSegment)
                if (!send(ByteSpan(p).subspan(at, std::min(kSegment, p.size() - at)))) return false;
            continue;
        }
        segment.insert(segment.end(), p.begin(), p.end());
        if (segment.size() >= kSegment - 400) {
            if (!send(segment)) return false;
            segment.clear();
        }
    }
    if (!segment.empty() && !send(segment)) return false;
    return true;
}
} // namespace

bool writeBulkCapture(std::FILE* file, std::size_t records, std::size_t dataBytes) {
    // A few distinct records, sent over and over.
    CaptureSampleOptions o;
    o.minDataBytes = o.maxDataBytes = dataBytes;
    std::mt19937 random(3);
    std::vector<Bytes> packets;
    for (std::size_t i = 0; i < 7; ++i)
        for (Bytes& p : net::Packetize(makeRecord(i, o, random))) packets.push_back(std::move(p));
    PcapngWriter pcap(1, 262144);
    return loopbackConnection(pcap, packets, records, file) && pcap.flushTo(file) && std::fflush(file) == 0;
}

Bytes captureOfRecords(const std::vector<Bytes>& records) {
    std::vector<Bytes> packets;
    for (const Bytes& record : records)
        for (Bytes& p : net::Packetize(record)) packets.push_back(std::move(p));
    PcapngWriter pcap(1, 262144);
    loopbackConnection(pcap, packets, packets.size(), nullptr);
    return std::move(pcap.bytes());
}

} // namespace tarvik::synth
