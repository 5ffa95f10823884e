#include "net/request_records.h"

#include "core/frame.h"

#include <ctime>
#include <vector>

namespace tarvik::net {

CRequestRecordPreparation::CRequestRecordPreparation() {
    networkFrame_.assign(networkFrameSize_, 0xFF);
    ByteWriter net(std::move(networkFrame_));
    net.patch<std::uint16_t>(0, 5);
    net.patch<std::uint16_t>(2, 36);
    net.patch<std::uint16_t>(8, 1);
    networkFrame_ = net.take();

    FrameHeader h;
    h.protocolVersion = static_cast<std::uint16_t>(protocolVersion_);
    h.offset = 60;
    h.optionalDataId = 19191;
    h.recordVersion = static_cast<std::uint16_t>(recordVersion_);
    h.recordType = kRemoteControlRecordType;
    h.reserved1 = 127;
    h.flags = 0;  // the trailing field is filled, but no checksum is claimed
    h.reserved2 = 0xFFFF;
    h.reserved3 = 0xFFFFFFFF;
    ByteWriter out;
    h.write(out);
    recordFrame_ = out.take();
}

VxTIME CRequestRecordPreparation::localTimeNow() {
    std::timespec now{};
    std::timespec_get(&now, TIME_UTC);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now.tv_sec);
#else
    localtime_r(&now.tv_sec, &local);
#endif
    static constexpr int kMonthStart[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const int year = local.tm_year + 1900;
    int day = kMonthStart[local.tm_mon] + local.tm_mday;
    if (local.tm_mon >= 2 && isLeapYear(year)) ++day;
    VxTIME t;
    t.year = static_cast<std::uint16_t>(year);
    t.day = static_cast<std::uint16_t>(day);
    t.seconds = static_cast<float>(local.tm_sec) + static_cast<float>(now.tv_nsec) / 1e9f;
    t.hours = static_cast<std::uint8_t>(local.tm_hour);
    t.minutes = static_cast<std::uint8_t>(local.tm_min);
    return t;
}

Bytes CRequestRecordPreparation::build(std::uint32_t deviceId, std::uint16_t enumerator,
                                       std::uint32_t remoteControlId, std::uint8_t ticket,
                                       std::span<const std::uint32_t> body, const VxTIME* time) const {
    ByteWriter out(recordFrame_);
    const auto size = static_cast<std::uint32_t>(recordHeaderSize_ + 24 + 4 * body.size() + 4);
    out.patch(frame_offsets::size, size);
    out.patch(frame_offsets::deviceId, deviceId);
    out.patch(frame_offsets::systemEnumerator, enumerator);
    if (time) {
        ByteWriter stamp;
        time->write(stamp);
        for (std::size_t i = 0; i < stamp.size(); ++i) out.patch(frame_offsets::time + i, stamp.data()[i]);
    }
    out.u32(remoteControlId).u32(ticket).fill(16, ticket);
    for (std::uint32_t v : body) out.u32(v);
    out.u32(ticket);  // the checksum field carries the ticket number
    return out.take();
}

Bytes CRequestRecordPreparation::singleRecordRequest(std::uint32_t deviceId, std::uint16_t enumerator,
                                                     std::uint32_t recordType, const VxTIME& time) const {
    const std::uint32_t body[] = {recordType};
    return build(deviceId, enumerator, kSingleRecordRequest, 1, body, &time);
}

Bytes CRequestRecordPreparation::volatileDataFeed(std::uint32_t deviceId, std::uint16_t enumerator,
                                                  std::span<const std::uint32_t> recordTypes) const {
    std::vector<std::uint32_t> body;
    body.push_back(static_cast<std::uint32_t>(recordTypes.size()));
    body.insert(body.end(), recordTypes.begin(), recordTypes.end());
    return build(deviceId, enumerator, kVolatileDataFeed, 2, body, nullptr);
}

Bytes CRequestRecordPreparation::endAllSubscriptions(std::uint32_t deviceId, std::uint16_t enumerator) const {
    return build(deviceId, enumerator, kEndAllSubscriptions, 3, {}, nullptr);
}

Bytes CRequestRecordPreparation::eventMessage(std::string_view message, const VxTIME& time) const {
    // Longer texts are cut so that the length field (u16, text plus its zero) holds.
    message = message.substr(0, 0xFFFE);
    ByteWriter out(recordFrame_);
    out.patch(frame_offsets::size, static_cast<std::uint32_t>(83 + message.size()));
    out.patch(frame_offsets::recordType, kEventMessageRecordType);
    out.patch(frame_offsets::deviceId, kGeneralDeviceId);
    out.patch<std::uint16_t>(frame_offsets::systemEnumerator, 0);
    ByteWriter stamp;
    time.write(stamp);
    for (std::size_t i = 0; i < stamp.size(); ++i) out.patch(frame_offsets::time + i, stamp.data()[i]);
    out.u64(kGeneralDeviceId).u16(1).u16(static_cast<std::uint16_t>(message.size() + 1)).u16(19191);
    out.bytes(asBytes(message)).u8(0);
    out.u32(19191);
    return out.take();
}

} // namespace tarvik::net
