#include "net/packets.h"

namespace tarvik::net {

std::optional<NetworkFrame> NetworkFrame::read(ByteSpan packet) {
    if (packet.size() < kNetworkFrameSize) return std::nullopt;
    namespace o = netframe_offsets;
    NetworkFrame f;
    f.version = readLEOr0<std::uint16_t>(packet, o::version);
    f.offset = readLEOr0<std::uint16_t>(packet, o::offset);
    f.totalPackets = readLEOr0<std::uint32_t>(packet, o::totalPackets);
    f.totalRecords = readLEOr0<std::uint16_t>(packet, o::totalRecords);
    f.transmissionId = readLEOr0<std::uint16_t>(packet, o::transmissionId);
    f.packetSize = readLEOr0<std::uint32_t>(packet, o::packetSize);
    f.totalSize = readLEOr0<std::uint32_t>(packet, o::totalSize);
    f.packetNumber = readLEOr0<std::uint32_t>(packet, o::packetNumber);
    f.destinationDeviceId = readLEOr0<std::uint32_t>(packet, o::destinationDeviceId);
    f.destinationEnumerator = readLEOr0<std::uint16_t>(packet, o::destinationEnumerator);
    f.sourceEnumerator = readLEOr0<std::uint16_t>(packet, o::sourceEnumerator);
    f.sourceDeviceId = readLEOr0<std::uint32_t>(packet, o::sourceDeviceId);
    return f;
}

void NetworkFrame::write(ByteWriter& out) const {
    out.u16(version).u16(offset).u32(totalPackets).u16(totalRecords).u16(transmissionId);
    out.u32(packetSize).u32(totalSize).u32(packetNumber).u32(destinationDeviceId);
    out.u16(destinationEnumerator).u16(sourceEnumerator).u32(sourceDeviceId);
}

std::vector<Bytes> Packetize(ByteSpan record) {
    const std::size_t length = record.size();
    const std::size_t count = (length + kMaxPayload - 1) / kMaxPayload;
    std::vector<Bytes> packets;
    packets.reserve(count);
    NetworkFrame frame;
    frame.totalPackets = static_cast<std::uint32_t>(count);
    frame.totalSize = static_cast<std::uint32_t>(length);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t start = i * kMaxPayload;
        const std::size_t payload = std::min<std::size_t>(length - start, kMaxPayload);
        frame.packetNumber = static_cast<std::uint32_t>(i);
        frame.packetSize = static_cast<std::uint32_t>(kNetworkFrameSize + payload);
        Bytes packet;
        packet.reserve(kNetworkFrameSize + payload);
        ByteWriter out(std::move(packet));
        frame.write(out);
        out.bytes(record.subspan(start, payload));
        packets.push_back(out.take());
    }
    return packets;
}

} // namespace tarvik::net
