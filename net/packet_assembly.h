#pragma once
// Reassembly of a record that travels in several packets.

#include "core/bytes.h"

#include <compare>
#include <cstdint>

namespace tarvik::net {

// Identifies one fragmented transmission.
class CPacketCollectionKey {
public:
    CPacketCollectionKey() = default;
    CPacketCollectionKey(std::uint16_t transmissionId, std::uint32_t sourceDeviceId, std::uint16_t sourceEnumerator)
        : sourceEnumerator_(sourceEnumerator), sourceDeviceId_(sourceDeviceId), transmissionId_(transmissionId) {}
    virtual ~CPacketCollectionKey() { clear(); }
    CPacketCollectionKey(const CPacketCollectionKey&) = default;
    CPacketCollectionKey& operator=(const CPacketCollectionKey&) = default;

    std::uint16_t sourceEnumerator() const { return sourceEnumerator_; }
    std::uint32_t sourceDeviceId() const { return sourceDeviceId_; }
    std::uint16_t transmissionId() const { return transmissionId_; }
    void clear() {
        sourceEnumerator_ = 0xFFFF;
        sourceDeviceId_ = 0xFFFFFFFF;
        transmissionId_ = 0xFFFF;
    }

    bool operator==(const CPacketCollectionKey& o) const {
        return transmissionId_ == o.transmissionId_ && sourceEnumerator_ == o.sourceEnumerator_ &&
               sourceDeviceId_ == o.sourceDeviceId_;
    }
    // Transmission id first, then source enumerator, then source device id.
    std::strong_ordering operator<=>(const CPacketCollectionKey& o) const {
        if (auto c = transmissionId_ <=> o.transmissionId_; c != 0) return c;
        if (auto c = sourceEnumerator_ <=> o.sourceEnumerator_; c != 0) return c;
        return sourceDeviceId_ <=> o.sourceDeviceId_;
    }

private:
    std::uint16_t sourceEnumerator_ = 0xFFFF;
    std::uint32_t sourceDeviceId_ = 0xFFFFFFFF;
    std::uint16_t transmissionId_ = 0xFFFF;
};

// Collects one fragmented record. The buffer grows as payloads arrive (never
// to the announced total size, which only bounds it); a buffer left from an
// abandoned record is reused.
class CPacketAssembly {
public:
    virtual ~CPacketAssembly() = default;

    // Starts collecting a record of `totalSize` bytes.
    void Start(const CPacketCollectionKey& key, std::uint32_t totalSize);
    // Copies a payload behind the bytes collected. Returns false, and copies
    // nothing, when it would run past the announced total size (or nothing is
    // being collected).
    bool Append(ByteSpan payload);
    void Reset() { active_ = false; }

    bool active() const { return active_; }
    const CPacketCollectionKey& key() const { return key_; }
    std::uint32_t packetsCollected() const { return packets_; }
    std::uint32_t bytesCollected() const { return bytes_; }
    std::uint32_t totalSize() const { return totalSize_; }
    std::uint32_t capacity() const { return capacity_; }
    // The bytes collected so far.
    ByteSpan record() const { return buffer_; }
    // Hands the collected bytes over without a copy; the next Start takes a fresh buffer.
    Bytes takeRecord();

private:
    CPacketCollectionKey key_;
    bool active_ = false;
    std::uint32_t packets_ = 0;
    std::uint32_t bytes_ = 0;
    std::uint32_t capacity_ = 0;
    Bytes buffer_;
    std::uint32_t totalSize_ = 0;
};

} // namespace tarvik::net
