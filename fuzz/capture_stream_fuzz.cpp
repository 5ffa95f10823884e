// TCP segments and UDP datagrams of any order, overlap, size and content,
// fed straight to the capture reader's stream reassembly: each segment goes
// to a TCP direction's reassembly (and its bytes to the packet handler behind
// it), and the same segments, written as packets of a few connections, go
// through the whole reader with a small memory budget. Checks that held
// segments stay within their cap, that no byte is delivered twice, that the
// stream never runs ahead of the bytes fed, and that every record handed out
// is bounded and of the kind it says.
//
// Input: a list of operations, each a header of 6 bytes and a payload:
//   byte 0: bits 0-1 what (0 TCP data, 1 UDP datagram, 2 SYN, 3 FIN or RST),
//           bits 2-4 the connection (of 8), bit 5 the direction, bit 6 RST
//           for 3, bit 7 a snapshot cut (the wire length is longer than held)
//   bytes 1-2: the sequence number's offset from the direction's start (signed)
//   bytes 3-4: the payload's length (taken from what follows, as far as there is)
//   byte 5: bytes cut off by the snapshot length (bit 7 of byte 0)

#include "capture/capture_reader.h"
#include "capture/tcp_reassembly.h"
#include "core/frame.h"
#include "net/packet_handler.h"
#include "tools/synth/capture_records.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

using namespace tarvik;

namespace {

constexpr std::size_t kHeader = 6;
constexpr std::size_t kMaxHeld = 4096;

struct DirectionState {
    capture::TcpReassembly tcp;
    std::unique_ptr<net::CPacketHandler> handler;
    std::uint64_t fed = 0;       // payload bytes fed, retransmissions included
    std::uint64_t delivered = 0; // bytes handed on
    Subscription records;        // the handler's records, checked
};

void check(bool holds) {
    if (!holds) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ByteSpan input(data, size);
    std::mutex lock;
    std::array<DirectionState, 16> directions;
    for (DirectionState& d : directions) {
        d.tcp.maxHeldBytes = kMaxHeld;
        d.handler = std::make_unique<net::CPacketHandler>(lock);
        d.records = d.handler->deliver.subscribe(
            [](ByteSpan record) { check(!record.empty() && record.size() <= net::kMaxRecordSize); });
        d.tcp.onData = [&d](ByteSpan bytes) {
            d.delivered += bytes.size();
            check(d.delivered <= d.fed);
            if (!d.handler->HandleStreamBytes(bytes)) d.handler->streamBytesLost();
        };
        d.tcp.onHole = [&d] { d.handler->streamBytesLost(); };
    }
    // The same operations as packets of a capture.
    synth::PcapngWriter writer(1, 65535);
    std::uint64_t time = 1'000'000'000;

    for (std::size_t at = 0; at + kHeader <= size;) {
        const std::uint8_t op = input[at];
        const auto offset = static_cast<std::int16_t>(readLEOr0<std::uint16_t>(input, at + 1));
        const std::size_t length =
            std::min<std::size_t>(readLEOr0<std::uint16_t>(input, at + 3), size - at - kHeader);
        const std::uint32_t cut = (op & 0x80) ? input[at + 5] : 0;
        const ByteSpan payload = input.subspan(at + kHeader, length);
        at += kHeader + length;

        const unsigned connection = (op >> 2) & 7, direction = (op >> 5) & 1;
        DirectionState& d = directions[connection * 2 + direction];
        const std::uint32_t start = 1000 + connection * 100'000;
        const std::uint32_t seq = start + static_cast<std::uint32_t>(static_cast<std::int32_t>(offset));
        const synth::CaptureEndpoint server{0x0A000001, 7000}, client{0x0A000002, static_cast<std::uint16_t>(40000 + connection)};
        const synth::CaptureEndpoint& from = direction ? client : server;
        const synth::CaptureEndpoint& to = direction ? server : client;
        Bytes frame;
        switch (op & 3) {
        case 0:
            d.fed += payload.size();
            d.tcp.segment(seq, payload, static_cast<std::uint32_t>(payload.size()) + cut);
            check(d.tcp.heldCost() <= kMaxHeld);
            check(d.tcp.heldBytes() <= d.tcp.heldCost());
            if (cut > 0) {
                // On the wire with `cut` bytes more, which the snapshot length left out.
                Bytes whole(payload.begin(), payload.end());
                whole.resize(whole.size() + cut);
                frame = synth::tcpFrame(from, to, seq, 1, synth::kTcpAck, whole);
            } else {
                frame = synth::tcpFrame(from, to, seq, 1, synth::kTcpAck, payload);
            }
            break;
        case 1:
            d.handler->HandleOnePacket(payload);
            frame = synth::udpFrame(from, to, payload);
            break;
        case 2:
            d.tcp.syn(seq - 1);
            frame = synth::tcpFrame(from, to, seq - 1, 0, synth::kTcpSyn | (direction ? 0 : synth::kTcpAck), {});
            break;
        default:
            frame = synth::tcpFrame(from, to, seq, 1, (op & 0x40) ? synth::kTcpRst : synth::kTcpFin, {});
            break;
        }
        // A cut segment is held shorter than it was on the wire.
        const std::size_t held = frame.size() - ((op & 3) == 0 ? cut : 0);
        writer.packet(time += 1000, ByteSpan(frame).first(held), static_cast<std::uint32_t>(frame.size()));
    }
    for (DirectionState& d : directions) {
        d.tcp.finish();
        check(d.tcp.heldCost() == 0 && d.tcp.heldBytes() == 0);
        check(d.delivered <= d.fed);
    }

    Bytes& file = writer.bytes();
    std::FILE* stream = fmemopen(file.data(), file.size(), "rb");
    if (!stream) return 0;
    capture::CaptureOptions options;
    options.memoryBudget = size % 2 ? 16384 : capture::CaptureOptions::kDefaultMemoryBudget;
    if (size % 3 == 0) options.ports = {7000};
    capture::CaptureReader reader(options);
    if (!reader.open(stream)) return 0;
    reader.read([&](capture::CapturedRecord&& record) {
        check(!record.bytes.empty() && record.bytes.size() <= net::kMaxRecordSize);
        check(record.stream < reader.streams().size());
        const bool frame = FrameView(record.bytes).isFrame();
        check(frame == (record.kind == capture::CapturedKind::Frame));
    });
    check(reader.problems().size() <= 2 * reader.counts().droppedStreams + 1);
    return 0;
}
