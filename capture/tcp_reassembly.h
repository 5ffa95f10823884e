#pragma once
// One direction of a captured TCP connection put back in order: segments are
// placed by sequence number, retransmitted and overlapping bytes are taken
// once, and bytes that never arrive (lost on the wire, or cut off by the
// capture's snapshot length) become a hole the reader is told about.

#include "core/bytes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>

namespace tarvik::capture {

class TcpReassembly {
public:
    // Segments held ahead of a gap, in bytes of memory (payload and
    // bookkeeping): past this the gap is given up as a hole and the stream
    // goes on at the first held segment. About two windows of a fast loopback
    // connection; the live receiver's own buffer is of the same order.
    static constexpr std::size_t kDefaultMaxHeldBytes = 1u << 20;
    // What holding one segment costs besides its payload (its map node and
    // entry): a segment the snapshot length cut to nothing is not free.
    static constexpr std::size_t kHeldSegmentCost = 96;

    // Contiguous bytes of the stream, in order, each byte once.
    std::function<void(ByteSpan)> onData;
    // Bytes between the last delivered and the next delivered are missing.
    std::function<void()> onHole;

    std::size_t maxHeldBytes = kDefaultMaxHeldBytes;

    // The connection's SYN: its data starts at `seq` + 1. A SYN with another
    // initial sequence number than the one seen starts a new stream (the old
    // one is finished first).
    void syn(std::uint32_t seq);
    // One captured segment: `payload` as held in the capture, `wireLength` the
    // payload's length on the wire (larger when the snapshot length cut it).
    void segment(std::uint32_t seq, ByteSpan payload, std::uint32_t wireLength);
    // The end of the capture (or of the connection's life in the reader): held
    // segments are delivered, with a hole before each that does not follow on.
    void finish();

    bool started() const { return started_; }
    // True when the stream began with its SYN (the first bytes are a packet start).
    bool fromStart() const { return fromSyn_; }
    // Payload bytes held ahead of a gap.
    std::size_t heldBytes() const { return heldBytes_; }
    // Memory the held segments take, payload and bookkeeping: what maxHeldBytes bounds.
    std::size_t heldCost() const { return heldCost_; }
    std::uint64_t holes() const { return holes_; }
    // Bytes received again that had already been delivered or held.
    std::uint64_t duplicateBytes() const { return duplicates_; }

private:
    struct Held {
        Bytes data;
        std::uint64_t wireEnd = 0;  // stream position just past the segment on the wire
    };
    std::uint64_t position(std::uint32_t seq) const;
    void deliver(std::uint64_t start, ByteSpan data, std::uint64_t wireEnd);
    void drain();
    void hole(std::uint64_t resumeAt);
    void forget(std::map<std::uint64_t, Held>::iterator it);

    bool started_ = false;
    bool fromSyn_ = false;
    std::uint32_t isn_ = 0;
    std::uint64_t base_ = 0;  // stream position of sequence number isn_ + 1 (kept at 2^32 to unwrap below it)
    std::uint64_t next_ = 0;  // the next stream position to deliver
    std::map<std::uint64_t, Held> held_;
    std::size_t heldBytes_ = 0;
    std::size_t heldCost_ = 0;
    std::uint64_t holes_ = 0;
    std::uint64_t duplicates_ = 0;
};

} // namespace tarvik::capture
