#pragma once
// What the receiver thread does with the bytes it reads, without any socket:
// cutting a TCP stream into packets, handling one packet, reassembling
// fragmented records and handing whole records to the user-interface thread
// through the pending-record queue. The socket receiver drives it from its
// thread; tests and the fuzz target drive it directly.

#include "core/bytes.h"
#include "core/event.h"
#include "net/packet_assembly.h"

#include <atomic>
#include <chrono>
#include <compare>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>

namespace tarvik::net {

// The lost-packet line. Its characters are one object (an inline variable has
// one address in the whole program, where equal string literals need not), so
// a receiver of `deliver` can tell the line from a record by its address.
inline constexpr char kLostPacketChars[] = "TEXT Lost Packet";
inline constexpr std::string_view kLostPacketText{kLostPacketChars, sizeof kLostPacketChars - 1};
inline constexpr std::uint32_t kConfigurationRecordType = 7001;
// Records announced larger than this are refused: a server cannot make the
// receiver take an unbounded buffer.
inline constexpr std::uint32_t kMaxRecordSize = 64u * 1024u * 1024u;
// Bytes the read loop asks for at once.
inline constexpr std::size_t kReadSize = 120'000;
// Bytes the pending-record queue may hold before arriving records are dropped
// (and counted): room for many seconds of the largest bursts of a sonar, and
// with the record list's byte budget (pipeline/arrival_pipeline.h) small enough
// that a flood of records keeps the tool under 300 MB.
inline constexpr std::size_t kMaxPendingBytes = 192u * 1024u * 1024u;

// Key of the latest-record store: a device (id, enumerator) and a record type.
struct LatestRecordKey {
    std::uint32_t deviceId = 0;
    std::uint16_t enumerator = 0;
    std::uint32_t recordType = 0;
    auto operator<=>(const LatestRecordKey&) const = default;
};
// The one key the configuration record is stored under.
inline constexpr LatestRecordKey kConfigurationKey{7001, 7001, 7001};

using PendingQueue = std::deque<Bytes>;

class CPacketHandler {
public:
    // `lock` guards the pending-record queue and the latest-record store.
    explicit CPacketHandler(std::mutex& lock) : lock_(lock) {}

    // Sounds a signal (pitch in Hz, length in ms); may be called on the receiver thread.
    std::function<void(unsigned hertz, unsigned milliseconds)> beep;
    // Pause between two tries of the lock; replaceable so tests run fast.
    std::function<void(std::chrono::milliseconds)> pause;
    // While it has subscribers, records and lost-packet lines go to them, in
    // order, on the calling thread, instead of to the pending queue (a reader
    // of recorded traffic that has no second thread). `record` is valid during
    // the call only: a record that lies whole in one packet is a view of the
    // bytes handed to HandleOnePacket or HandleStreamBytes, not a copy.
    Event<ByteSpan> deliver;
    // While it has subscribers, told of each payload as it is added to the
    // record in collection (a view of the packet's bytes, valid during the
    // call only) and whether it begins that record: a reader of recorded
    // traffic notes where the pieces of a reassembled record lie instead of
    // keeping a copy of it.
    Event<ByteSpan, bool> collected;
    // During a call of `deliver`: whether the record was put together from
    // several packets (the payloads `collected` was told of, in order).
    bool deliveringReassembled() const { return deliveringReassembled_; }
    // When set, told of each packet dropped because its sizes cannot be what
    // they claim (its length in bytes, and why): a reader of recorded traffic
    // lists it as damaged instead of losing it in silence. A fragment of a
    // record not in collection is not told (a capture may begin inside a record).
    std::function<void(std::size_t bytes, const char* why)> refused;

    // One whole packet: Network frame plus payload (one UDP datagram).
    void HandleOnePacket(ByteSpan packet);

    // TCP: bytes as read from the stream. Every whole packet is handled; the
    // rest waits for the next read. A packet larger than 100,000 bytes is
    // dropped: its bytes are discarded as they arrive, never buffered, and the
    // stream goes on behind it. Returns false when a packet size below 36 shows
    // that the stream has lost its framing: the buffered bytes are dropped and
    // the caller ends the connection.
    bool HandleStreamBytes(ByteSpan bytes);
    // The same, for a read made straight into the stream buffer: `streamSpace`
    // gives room for a read of `room` bytes (at least), `streamReceived` takes the count read.
    std::span<std::uint8_t> streamSpace(std::size_t room = kReadSize);
    bool streamReceived(std::size_t count);
    // Forgets a partly received packet and an unfinished record (new connection).
    void resetStream();
    // The connection ended without being asked to: a record still in
    // collection can never complete and is reported as a lost packet.
    void connectionEnded();
    // Bytes of the stream were lost on the way (a hole in a captured stream):
    // a partly received packet and an unfinished record are dropped, and the
    // lost-packet line is queued.
    void streamBytesLost();
    std::size_t streamBuffered() const { return tail_ - head_; }
    // Bytes of the stream handled or dropped so far, counted from the first
    // byte given to HandleStreamBytes or streamReceived: the stream's bytes
    // before this position are never looked at again.
    std::uint64_t streamHandled() const { return streamHandled_; }
    // During `deliver` or `collected` for a packet cut from the stream: where
    // `bytes`, a part of that packet, begin in the stream (the count above).
    // Nothing for bytes elsewhere or a packet given to HandleOnePacket.
    std::optional<std::uint64_t> streamPositionOf(ByteSpan bytes) const;
    // Memory the handler holds for its stream and its record in collection
    // (buffers' capacity, the kept configuration record): for a reader that
    // budgets many handlers at once.
    std::size_t heldMemory() const;

    // User-interface thread: tries the lock once; when it is busy, pauses 50 ms
    // and returns nothing. Otherwise takes the whole queue, oldest first. When
    // records were dropped because the queue was full, a text line saying how
    // many ends the queue taken.
    PendingQueue TakePendingRecords();
    // User-interface thread: `bytes` of the queue taken last are no longer
    // held (the entries were listed, handed on or let go), so they stop
    // counting against the bound before the next take. No lock.
    void releaseTaken(std::size_t bytes);
    // Waits for the lock and appends an entry (the tool's own text records).
    void queueRecord(Bytes entry);
    // Waits for the lock; a copy of the newest record stored under `key`.
    std::optional<Bytes> latestRecord(const LatestRecordKey& key = kConfigurationKey) const;
    void clearPending();

    // The bound of the pending queue in bytes (tests make it small). The bytes
    // of the queue taken last count against it until the user-interface thread
    // releases them or takes again: it holds them while it works through them.
    std::size_t maxPendingBytes = kMaxPendingBytes;
    // Records dropped since the queue was last taken.
    std::uint64_t droppedRecords() const;

    const CPacketAssembly& assembly() const { return assembly_; }

private:
    bool tryLock(int tries, std::chrono::milliseconds wait);
    void signal(unsigned hertz, unsigned milliseconds);
    void packetLost(const char* why);
    void refuse(std::size_t bytes, const char* why);
    // Resets the assembly and queues the lost-packet line.
    void queueLostPacket();
    bool cutPackets();
    // Hands a record to `deliver`, or queues it under the lock (false: the lock
    // stayed busy). `whole`: it came in one packet (a configuration record is then kept).
    // `owned`: the record's own buffer (a reassembled record), queued without a copy.
    bool handOut(ByteSpan record, bool whole, int tries, std::chrono::milliseconds wait, Bytes* owned = nullptr);
    // Under the lock: queues a record unless the queue is full (then it is counted).
    void pushPending(Bytes record);

    std::mutex& lock_;
    PendingQueue pending_;
    std::size_t pendingBytes_ = 0;
    std::atomic<std::size_t> takenBytes_{0};  // of the queue taken last, not yet released
    std::uint64_t dropped_ = 0;
    std::map<LatestRecordKey, Bytes> latest_;
    // The bytes latest_ holds, kept as it changes (under the lock), for
    // heldMemory() to read without the lock: a reader of a capture asks for
    // every packet, and a lock taken that often costs when a second thread runs.
    std::atomic<std::size_t> latestHeld_{0};
    void keepLatest(LatestRecordKey key, ByteSpan record);

    // Receiver thread only.
    CPacketAssembly assembly_;
    std::unique_ptr<std::uint8_t[]> stream_;
    std::size_t streamCapacity_ = 0;
    std::size_t head_ = 0, tail_ = 0;
    std::uint64_t skip_ = 0;  // bytes of an oversized packet still to discard
    // Lost-packet lines that could not be queued while the lock stayed busy.
    std::atomic<std::uint64_t> lostLinesOwed_{0};
    bool deliveringReassembled_ = false;
    std::uint64_t streamHandled_ = 0;
    ByteSpan packet_;             // the packet cut from the stream being handled
    std::uint64_t packetAt_ = 0;  // where it begins in the stream
    void handleStreamPacket(ByteSpan packet);
    // Drops the bytes buffered (counted as handled).
    void dropBuffered();
    // Adds a payload to the record in collection and tells `collected`.
    bool collect(ByteSpan payload);
};

} // namespace tarvik::net
