#pragma once
// Records a sonar server sends: the configuration with its device texts, the
// version text, the ping records of a live stream and the answers to remote
// control records. Used by the server stand-in and the tests.

#include "core/bytes.h"
#include "core/frame.h"

#include <cstdint>
#include <span>
#include <string>

namespace tarvik::synth {

struct SimDevice {
    std::uint32_t deviceId = 7125;
    std::uint16_t enumerator = 0;
    std::string name = "Sim sonar";
    std::uint32_t sonarType = 3;
    bool dualHead = false;
    std::uint64_t serial = 0x51A0'0001;
};

// Shape of the ping records of a stream.
struct PingShape {
    std::uint16_t beams = 128;
    std::uint32_t samples = 400;      // samples per beam in 7008 (2-byte amplitude and phase each)
    std::uint32_t imageWidth = 512;   // 7011
    std::uint32_t imageHeight = 256;
    std::uint32_t sideScanSamples = 1024;  // 7007, per side
};

// The device information text of a configuration record entry.
std::string deviceInfoText(const SimDevice& device);

// The ping records picture one scene: a seabed sloping across the swath with a
// few drifting targets, seen by the beams (7008), as an image (7011), as
// soundings (7006) and by the side-scan (7007).
// Every builder pads the record data with zeros so that the frame is
// `padTo` bytes long, when that is more than it needs.
Bytes configurationRecord(std::span<const SimDevice> devices, std::uint32_t counter, std::size_t padTo = 0);
Bytes versionRecord(const SimDevice& device, std::uint32_t counter, std::size_t padTo = 0);
Bytes sonarSettings(const SimDevice& device, std::uint32_t counter, std::uint32_t ping, std::size_t padTo = 0);
Bytes beamGeometry(const SimDevice& device, std::uint32_t counter, const PingShape& shape, std::size_t padTo = 0);
Bytes bathymetry(const SimDevice& device, std::uint32_t counter, std::uint32_t ping, const PingShape& shape,
                 std::size_t padTo = 0);
Bytes beamData(const SimDevice& device, std::uint32_t counter, std::uint32_t ping, const PingShape& shape,
               std::size_t padTo = 0);
Bytes imageData(const SimDevice& device, std::uint32_t counter, std::uint32_t ping, const PingShape& shape,
                std::size_t padTo = 0);
// Side-scan backscatter: port and starboard samples of one ping, one byte each.
Bytes sideScan(const SimDevice& device, std::uint32_t counter, std::uint32_t ping, const PingShape& shape,
               std::size_t padTo = 0);
Bytes detections(const SimDevice& device, std::uint32_t counter, std::uint32_t ping, const PingShape& shape,
                 std::size_t padTo = 0);
Bytes remoteSonarSettings(const SimDevice& device, std::uint32_t counter, std::size_t padTo = 0);
Bytes matchedFilter(const SimDevice& device, std::uint32_t counter, std::uint32_t ping, std::size_t padTo = 0);

// Answers to a remote control record: acknowledgement and refusal.
Bytes remoteControlAck(std::uint32_t deviceId, std::uint16_t enumerator, std::uint32_t counter, std::uint32_t ticket,
                       ByteSpan trackingNumber);
Bytes remoteControlNak(std::uint32_t deviceId, std::uint16_t enumerator, std::uint32_t counter, std::uint32_t ticket,
                       ByteSpan trackingNumber, std::uint32_t errorCode);

// The current time (UTC) as a record time stamp.
VxTIME vxTimeNow();

} // namespace tarvik::synth
