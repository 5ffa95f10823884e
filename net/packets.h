#pragma once
// The Network frame in front of every packet on the wire, and the cutting of a
// record into packets.

#include "core/bytes.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tarvik::net {

inline constexpr std::uint32_t kNetworkFrameSize = 36;
inline constexpr std::uint32_t kMaxPacketSize = 60'000;
inline constexpr std::uint32_t kMaxPayload = kMaxPacketSize - kNetworkFrameSize;  // 59,964
// Largest packet size the receiver accepts.
inline constexpr std::uint32_t kMaxAcceptedPacketSize = 100'000;
inline constexpr std::uint16_t kTransmissionId = 7500;

namespace netframe_offsets {
inline constexpr std::size_t version = 0, offset = 2, totalPackets = 4, totalRecords = 8, transmissionId = 10,
                             packetSize = 12, totalSize = 16, packetNumber = 20, destinationDeviceId = 24,
                             destinationEnumerator = 28, sourceEnumerator = 30, sourceDeviceId = 32;
}

// The fields of a Network frame.
struct NetworkFrame {
    std::uint16_t version = 5;
    std::uint16_t offset = kNetworkFrameSize;
    std::uint32_t totalPackets = 0;
    std::uint16_t totalRecords = 1;
    std::uint16_t transmissionId = kTransmissionId;
    std::uint32_t packetSize = 0;
    std::uint32_t totalSize = 0;
    std::uint32_t packetNumber = 0;
    std::uint32_t destinationDeviceId = 0;
    std::uint16_t destinationEnumerator = 0;
    std::uint16_t sourceEnumerator = 0;
    std::uint32_t sourceDeviceId = 0;

    // Reads the first 36 bytes; nullopt when fewer are held.
    static std::optional<NetworkFrame> read(ByteSpan packet);
    void write(ByteWriter& out) const;  // exactly 36 bytes
};

// Cuts a record into packets of at most 60,000 bytes: ceil(L / 59,964) packets
// (none for an empty record), numbered from 0, each with its Network frame.
std::vector<Bytes> Packetize(ByteSpan record);

} // namespace tarvik::net
