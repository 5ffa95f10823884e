#include "net/packet_handler.h"

#include "core/frame.h"
#include "core/text.h"
#include "net/debug_log.h"
#include "net/packets.h"

#include <cstring>
#include <thread>

namespace tarvik::net {

using std::chrono::milliseconds;

void CPacketHandler::signal(unsigned hertz, unsigned ms) {
    if (beep) beep(hertz, ms);
}

bool CPacketHandler::tryLock(int tries, milliseconds wait) {
    for (int i = 0; i < tries; ++i) {
        if (lock_.try_lock()) return true;
        if (pause)
            pause(wait);
        else
            std::this_thread::sleep_for(wait);
    }
    return false;
}

void CPacketHandler::packetLost(const char* why) {
    debugLog(strprintf("HandleOnePacket: record lost (%s)", why));
    signal(75, 75);
    queueLostPacket();
}

void CPacketHandler::queueLostPacket() {
    assembly_.Reset();
    if (!deliver.empty()) {
        deliver(ByteSpan(reinterpret_cast<const std::uint8_t*>(kLostPacketChars), kLostPacketText.size()));
        return;
    }
    if (!tryLock(100, milliseconds(3))) {
        // The line is owed: the next take of the queue lists it.
        lostLinesOwed_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    pushPending(Bytes(kLostPacketText.begin(), kLostPacketText.end()));
    lock_.unlock();
}

void CPacketHandler::connectionEnded() {
    if (!assembly_.active()) return;
    debugLog("receiver: the connection ended in the middle of a record");
    queueLostPacket();
}

void CPacketHandler::streamBytesLost() {
    debugLog("receiver: bytes of the stream were lost");
    dropBuffered();
    skip_ = 0;
    queueLostPacket();
}

void CPacketHandler::refuse(std::size_t bytes, const char* why) {
    if (refused) refused(bytes, why);
}

void CPacketHandler::HandleOnePacket(ByteSpan packet) {
    auto frame = NetworkFrame::read(packet);
    if (!frame) {
        debugLog("HandleOnePacket: packet shorter than its Network frame dropped");
        refuse(packet.size(), "shorter than its Network frame");
        return;
    }
    const std::uint32_t packetSize = frame->packetSize;
    if (packetSize == 0 || packetSize > kMaxAcceptedPacketSize) {
        refuse(packet.size(), "its packet size is 0 or above 100,000");
        return;
    }
    // A size that cannot hold the Network frame, or claims more bytes than the
    // packet holds, would make the payload run outside the packet.
    if (packetSize < kNetworkFrameSize || packetSize > packet.size()) {
        debugLog(strprintf("HandleOnePacket: packet size %u does not fit the %zu bytes held", packetSize,
                           packet.size()));
        refuse(packet.size(), "its packet size does not fit the bytes it holds");
        return;
    }
    const ByteSpan payload = packet.subspan(kNetworkFrameSize, packetSize - kNetworkFrameSize);

    if (frame->totalPackets == 1) {
        // The record must lie within the payload; an empty one is not a record.
        if (frame->totalSize == 0 || frame->totalSize > payload.size()) {
            debugLog(strprintf("HandleOnePacket: total size %u does not fit a payload of %zu bytes",
                               frame->totalSize, payload.size()));
            refuse(packet.size(), "its total size does not fit its payload");
            return;
        }
        const ByteSpan record = payload.first(frame->totalSize);
        if (!handOut(record, true, 100, milliseconds(5))) signal(100, 10);
        return;
    }

    const CPacketCollectionKey key(frame->transmissionId, frame->sourceDeviceId, frame->sourceEnumerator);
    const std::uint32_t n = frame->packetNumber;
    if (n == 0) {
        if (assembly_.active()) {
            // The record in collection can never complete: it is lost like one missing a packet.
            debugLog("HandleOnePacket: a new first packet abandons an unfinished record");
            signal(50, 50);
            queueLostPacket();
        }
        if (frame->totalSize == 0 || frame->totalSize > kMaxRecordSize || payload.size() > frame->totalSize) {
            debugLog(strprintf("HandleOnePacket: first packet announcing %u bytes refused", frame->totalSize));
            assembly_.Reset();
            refuse(packet.size(), frame->totalSize > kMaxRecordSize ? "it announces a record above 64 MiB"
                                                                    : "its total size does not fit its payload");
            return;
        }
        assembly_.Start(key, frame->totalSize);
        collect(payload);
        return;
    }

    if (debugLogEnabled())
        debugLog(strprintf("HandleOnePacket received packet %d of %d; transmission ID = %d\n", static_cast<int>(n),
                           static_cast<int>(frame->totalPackets), static_cast<int>(frame->transmissionId)));
    if (!assembly_.active() || !(assembly_.key() == key)) return;
    if (!collect(payload)) {
        packetLost("fragment runs past the announced total size");
        return;
    }
    if (assembly_.packetsCollected() == frame->totalPackets) {
        // All packets counted; the record is whole only when every announced byte came.
        if (assembly_.bytesCollected() != assembly_.totalSize()) {
            packetLost("last fragment arrived with bytes missing");
            return;
        }
        Bytes record = assembly_.takeRecord();
        if (!handOut(record, false, 100, milliseconds(6), &record)) {
            // The whole record cannot be queued: it is lost now, and said so now.
            packetLost("the pending queue stayed locked");
            return;
        }
        assembly_.Reset();
    } else if (std::uint64_t{assembly_.bytesCollected()} == (std::uint64_t{n} + 1) * kMaxPayload) {
        // every packet so far has arrived: wait for the next one
    } else {
        packetLost("fragment out of sequence or missing");
    }
}

bool CPacketHandler::collect(ByteSpan payload) {
    if (!assembly_.Append(payload)) return false;
    if (!collected.empty()) collected(payload, assembly_.packetsCollected() == 1);
    return true;
}

bool CPacketHandler::handOut(ByteSpan record, bool whole, int tries, milliseconds wait, Bytes* owned) {
    // Only a configuration record that came in one packet is kept as the latest.
    const bool configuration = whole && FrameView(record).recordType() == kConfigurationRecordType;
    if (!deliver.empty()) {
        if (configuration) {
            std::lock_guard guard(lock_);
            keepLatest(kConfigurationKey, record);
        }
        deliveringReassembled_ = !whole;
        const struct Done {
            bool& flag;
            ~Done() { flag = false; }
        } done{deliveringReassembled_};
        deliver(record);
        return true;
    }
    if (!tryLock(tries, wait)) return false;
    if (configuration) keepLatest(kConfigurationKey, record);
    pushPending(owned ? std::move(*owned) : Bytes(record.begin(), record.end()));
    lock_.unlock();
    return true;
}

std::span<std::uint8_t> CPacketHandler::streamSpace(std::size_t room) {
    if (streamCapacity_ - tail_ < room) {
        // Move what is left of a partial packet (at most 100,000 bytes) to the front.
        if (head_ > 0) {
            std::memmove(stream_.get(), stream_.get() + head_, tail_ - head_);
            tail_ -= head_;
            head_ = 0;
        }
        if (streamCapacity_ - tail_ < room) {
            // Doubling (up to the room of a whole read) keeps small pieces from
            // copying the buffer each time. The new room is not zeroed: every
            // byte of it is read into before it is used.
            const std::size_t capacity = std::max(tail_ + room, std::min(2 * streamCapacity_, tail_ + kReadSize));
            auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
            if (tail_ > 0) std::memcpy(grown.get(), stream_.get(), tail_);
            stream_ = std::move(grown);
            streamCapacity_ = capacity;
        }
    }
    return {stream_.get() + tail_, streamCapacity_ - tail_};
}

bool CPacketHandler::streamReceived(std::size_t count) {
    tail_ += std::min(count, streamCapacity_ - tail_);
    return cutPackets();
}

bool CPacketHandler::HandleStreamBytes(ByteSpan bytes) {
    // Whole packets are handled where they lie: only a packet that the bytes
    // end inside is copied, to wait for the rest. Once the rest has come, the
    // packets behind it are handled in place again, so a stream read in large
    // pieces copies one packet per piece, not the piece.
    while (true) {
        while (head_ == tail_ && skip_ == 0 && bytes.size() >= kNetworkFrameSize) {
            const std::uint32_t size = readLEOr0<std::uint32_t>(bytes, netframe_offsets::packetSize);
            if (size < kNetworkFrameSize || size > kMaxAcceptedPacketSize || size > bytes.size()) break;
            handleStreamPacket(bytes.first(size));
            streamHandled_ += size;
            bytes = bytes.subspan(size);
        }
        if (bytes.empty()) return true;
        std::size_t wanted = bytes.size();
        if (skip_ == 0 && head_ != tail_) {
            // What completes the header of the packet held, then the packet itself.
            const std::size_t held = tail_ - head_;
            if (held < kNetworkFrameSize) {
                wanted = std::min(wanted, kNetworkFrameSize - held);
            } else {
                const std::uint32_t size =
                    readLEOr0<std::uint32_t>(ByteSpan(stream_.get() + head_, held), netframe_offsets::packetSize);
                if (size > held && size <= kMaxAcceptedPacketSize) wanted = std::min<std::size_t>(wanted, size - held);
            }
        }
        const bool rest = wanted == bytes.size();
        while (wanted > 0) {
            auto space = streamSpace(std::min(wanted, kReadSize));
            const std::size_t n = std::min(space.size(), wanted);
            std::memcpy(space.data(), bytes.data(), n);
            bytes = bytes.subspan(n);
            wanted -= n;
            if (!streamReceived(n)) {
                streamHandled_ += bytes.size();  // never looked at: dropped with the framing
                return false;
            }
        }
        if (rest) return true;
    }
}

bool CPacketHandler::cutPackets() {
    while (true) {
        if (skip_ > 0) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(skip_, tail_ - head_));
            head_ += n;
            streamHandled_ += n;
            skip_ -= n;
            if (skip_ > 0) break;  // the rest of the oversized packet is still to come
        }
        if (tail_ - head_ < kNetworkFrameSize) break;
        const ByteSpan buffered(stream_.get() + head_, tail_ - head_);
        const std::uint32_t size = readLEOr0<std::uint32_t>(buffered, netframe_offsets::packetSize);
        if (size < kNetworkFrameSize) {
            debugLog(strprintf("receiver: packet size %u in the stream, the connection has lost its framing", size));
            dropBuffered();
            return false;
        }
        if (size > kMaxAcceptedPacketSize) {
            // Its size still frames the stream: discard its bytes and go on behind it.
            debugLog(strprintf("receiver: packet of %u bytes dropped", size));
            skip_ = size;
            continue;
        }
        if (size > buffered.size()) break;  // wait for more
        handleStreamPacket(buffered.first(size));
        head_ += size;
        streamHandled_ += size;
    }
    if (head_ == tail_) head_ = tail_ = 0;
    return true;
}

void CPacketHandler::keepLatest(LatestRecordKey key, ByteSpan record) {
    latest_[key] = Bytes(record.begin(), record.end());
    std::size_t held = 0;
    for (const auto& [k, kept] : latest_) held += kept.capacity();
    latestHeld_.store(held, std::memory_order_relaxed);
}

std::size_t CPacketHandler::heldMemory() const {
    return streamCapacity_ + assembly_.capacity() + latestHeld_.load(std::memory_order_relaxed);
}

void CPacketHandler::dropBuffered() {
    streamHandled_ += tail_ - head_;
    head_ = tail_ = 0;
}

std::optional<std::uint64_t> CPacketHandler::streamPositionOf(ByteSpan bytes) const {
    if (!packet_.data() || bytes.empty()) return std::nullopt;
    const auto p = reinterpret_cast<std::uintptr_t>(bytes.data()), first = reinterpret_cast<std::uintptr_t>(packet_.data());
    if (p < first || p - first > packet_.size() || bytes.size() > packet_.size() - (p - first)) return std::nullopt;
    return packetAt_ + (p - first);
}

void CPacketHandler::handleStreamPacket(ByteSpan packet) {
    // Where the packet lies in the stream, while it is handled.
    packet_ = packet;
    packetAt_ = streamHandled_;
    const struct Done {
        ByteSpan& packet;
        ~Done() { packet = {}; }
    } done{packet_};
    HandleOnePacket(packet);
}

void CPacketHandler::resetStream() {
    dropBuffered();
    skip_ = 0;
    assembly_.Reset();
}

PendingQueue CPacketHandler::TakePendingRecords() {
    PendingQueue taken;
    if (!lock_.try_lock()) {
        std::this_thread::sleep_for(milliseconds(50));
        return taken;
    }
    taken.swap(pending_);
    takenBytes_.store(pendingBytes_, std::memory_order_relaxed);
    pendingBytes_ = 0;
    const std::uint64_t dropped = dropped_;
    dropped_ = 0;
    lock_.unlock();
    for (std::uint64_t owed = lostLinesOwed_.exchange(0, std::memory_order_relaxed); owed > 0; --owed)
        taken.emplace_back(kLostPacketText.begin(), kLostPacketText.end());
    if (dropped > 0) {
        const std::string line =
            strprintf("TEXT %llu Records Dropped, The Pending Queue Was Full", static_cast<unsigned long long>(dropped));
        taken.emplace_back(line.begin(), line.end());
    }
    return taken;
}

void CPacketHandler::releaseTaken(std::size_t bytes) {
    // Text lines appended to a taken queue were never counted: release no more
    // than is held.
    std::size_t held = takenBytes_.load(std::memory_order_relaxed);
    while (!takenBytes_.compare_exchange_weak(held, held - std::min(held, bytes), std::memory_order_relaxed)) {
    }
}

void CPacketHandler::pushPending(Bytes record) {
    if (pendingBytes_ + takenBytes_.load(std::memory_order_relaxed) + record.size() > maxPendingBytes) {
        ++dropped_;
        return;
    }
    pendingBytes_ += record.size();
    pending_.push_back(std::move(record));
}

std::uint64_t CPacketHandler::droppedRecords() const {
    std::lock_guard guard(lock_);
    return dropped_;
}

void CPacketHandler::queueRecord(Bytes entry) {
    std::lock_guard guard(lock_);
    // The tool's own lines are few and always listed.
    pendingBytes_ += entry.size();
    pending_.push_back(std::move(entry));
}

std::optional<Bytes> CPacketHandler::latestRecord(const LatestRecordKey& key) const {
    std::lock_guard guard(lock_);
    auto it = latest_.find(key);
    if (it == latest_.end()) return std::nullopt;
    return it->second;
}

void CPacketHandler::clearPending() {
    std::lock_guard guard(lock_);
    pending_.clear();
    pendingBytes_ = 0;
    takenBytes_.store(0, std::memory_order_relaxed);
}

} // namespace tarvik::net
