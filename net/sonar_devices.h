#pragma once
// The sonar devices of a system, as the server's configuration record (7001)
// lists them, and the reading of that list.

#include "core/bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::net {

inline constexpr std::uint32_t kMaxDevicesInList = 10;
// Longest device information text read; a longer one gives a device with only default fields.
inline constexpr std::size_t kMaxDeviceInfoText = 1'048'576;
// Names and attribute values must be shorter than this.
inline constexpr std::size_t kMaxDeviceField = 64;

// One device reported by the server. Equal when device id and enumerator are;
// ordered by device id, then enumerator.
class CSonarDevices {
public:
    CSonarDevices() = default;
    CSonarDevices(std::uint32_t deviceId, std::uint32_t sonarType, std::string name, std::uint16_t enumerator)
        : name(std::move(name)), sonarType(sonarType), enumerator(enumerator), deviceId(deviceId) {}
    virtual ~CSonarDevices() = default;
    CSonarDevices(const CSonarDevices&) = default;
    CSonarDevices& operator=(const CSonarDevices&) = default;

    bool operator==(const CSonarDevices& o) const { return deviceId == o.deviceId && enumerator == o.enumerator; }
    bool operator<(const CSonarDevices& o) const {
        return deviceId != o.deviceId ? deviceId < o.deviceId : enumerator < o.enumerator;
    }

    std::string name;
    std::uint32_t sonarType = 0;
    std::uint16_t enumerator = 0;
    std::uint32_t deviceId = 0;
    std::uint32_t idh = 0;  // 1 when the device has dual heads
};

// A device and a record type: ordered by device, then record type.
class CSonarDeviceRecordKey : public CSonarDevices {
public:
    CSonarDeviceRecordKey() = default;
    CSonarDeviceRecordKey(const CSonarDevices& device, std::uint32_t recordType)
        : CSonarDevices(device), recordType(recordType) {}
    bool operator<(const CSonarDeviceRecordKey& o) const {
        if (CSonarDevices::operator<(o)) return true;
        if (o.CSonarDevices::operator<(*this)) return false;
        return recordType < o.recordType;
    }
    std::uint32_t recordType = 0;
};

// The fields of one device information text ("<Name deviceid=\"..\" ...>name</Name> ...").
// Missing elements and attributes, and attribute values of 64 characters or
// more, leave their fields at the default. A name of 64 characters or more
// gives no device (nullopt).
std::optional<CSonarDevices> parseDeviceInformation(std::string_view text);

// The devices of a configuration record (a whole frame), in record order.
// Empty for 0 or more than 10 devices; an entry whose text or length runs
// outside the record ends the list there (no device from a broken entry).
std::vector<CSonarDevices> parseDeviceList(ByteSpan configurationRecord);

// The fixed entries the device list ends with after every connection.
CSonarDevices generalDevice();  // 7000, enumerator 0, "General device"
CSonarDevices dummyDevice();    // 0, enumerator 0, "Dummy device"

} // namespace tarvik::net
