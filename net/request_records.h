#pragma once
// The remote control records (type 7500) the tool sends to the server to ask
// for records and subscriptions, laid out field by field as the server expects.

#include "core/bytes.h"
#include "core/vxtime.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace tarvik::net {

inline constexpr std::uint32_t kRemoteControlRecordType = 7500;
inline constexpr std::uint32_t kSingleRecordRequest = 1050;
inline constexpr std::uint32_t kVolatileDataFeed = 1051;
inline constexpr std::uint32_t kEndAllSubscriptions = 1052;
// Device id and enumerator of the server's general device.
inline constexpr std::uint32_t kGeneralDeviceId = 7000;
inline constexpr std::uint32_t kEventMessageRecordType = 7051;

class CRequestRecordPreparation {
public:
    CRequestRecordPreparation();
    virtual ~CRequestRecordPreparation() = default;

    // Asks the device for one record of `recordType`; stamped with `time`.
    Bytes singleRecordRequest(std::uint32_t deviceId, std::uint16_t enumerator, std::uint32_t recordType,
                              const VxTIME& time) const;
    Bytes singleRecordRequest(std::uint32_t deviceId, std::uint16_t enumerator, std::uint32_t recordType) const {
        return singleRecordRequest(deviceId, enumerator, recordType, localTimeNow());
    }
    // Subscribes the device to a stream of the given record types.
    Bytes volatileDataFeed(std::uint32_t deviceId, std::uint16_t enumerator,
                           std::span<const std::uint32_t> recordTypes) const;
    Bytes endAllSubscriptions(std::uint32_t deviceId, std::uint16_t enumerator) const;
    // The tool's own event message record (7051, device 7000) carrying `message`.
    Bytes eventMessage(std::string_view message, const VxTIME& time) const;

    // The current local time from the calendar clock.
    static VxTIME localTimeNow();

    const Bytes& networkFrameTemplate() const { return networkFrame_; }
    const Bytes& recordFrameTemplate() const { return recordFrame_; }

private:
    Bytes build(std::uint32_t deviceId, std::uint16_t enumerator, std::uint32_t remoteControlId,
                std::uint8_t ticket, std::span<const std::uint32_t> body, const VxTIME* time) const;

    Bytes networkFrame_;
    std::uint32_t networkFrameSize_ = 36;
    Bytes recordFrame_;
    std::uint32_t recordHeaderSize_ = 64;
    std::uint32_t protocolVersion_ = 5;
    std::uint32_t recordVersion_ = 1;
};

} // namespace tarvik::net
