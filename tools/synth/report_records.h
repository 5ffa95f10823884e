#pragma once
// Data sections of the records the tool decodes, laid out as their record
// layouts describe them: one writer per record type, shared by the sample
// file, the server stand-in, the report tests and the benchmarks. Ping records
// describe one swath over a sloping, gently rolling seabed with a few targets.

#include "core/bytes.h"

#include <cstdint>

namespace tarvik::synth {

inline constexpr std::uint64_t kSampleSonarSerial = 0x1234;

// Receive beam angle in radians across a 130 degree swath, port to starboard.
float beamAngle(std::uint32_t beam, std::uint32_t beams);
// Slant range in metres along a receive angle (radians) to a seabed 30 m below
// the sonar that slopes down towards starboard and rolls gently with the ping number.
float seabedRange(float angle, std::uint32_t ping);
// Two-way travel time in seconds to that seabed.
float travelTime(std::uint32_t beam, std::uint32_t beams, std::uint32_t ping);
// Echo strength 0..255 of the water column at an angle (radians) and range (metres):
// noise, the seabed and below it, and a few targets that drift with the ping number.
std::uint8_t echoLevel(float angle, float range, std::uint32_t ping);
// The range of the sample settings (metres), which the ping records' samples span.
inline constexpr float kSampleRange = 75.0f;

// Sonar settings: 156 bytes.
void data7000(ByteWriter& d, std::uint32_t ping, std::uint64_t serial = kSampleSonarSerial);
// Matched filter: 88 bytes.
void data7002(ByteWriter& d, std::uint32_t ping, std::uint64_t serial = kSampleSonarSerial);
// Remote control sonar settings: 252 bytes, the settings of data7000 and the
// fields only this record carries.
void data7503(ByteWriter& d, std::uint32_t ping, std::uint64_t serial = kSampleSonarSerial);
// Beam geometry with five vectors of `beams` values.
void data7004(ByteWriter& d, std::uint32_t beams, std::uint64_t serial = kSampleSonarSerial);
// Legacy bathymetry with five vectors of `beams` values.
void data7006(ByteWriter& d, std::uint32_t ping, std::uint32_t beams, std::uint64_t serial = kSampleSonarSerial);

struct BeamData {
    std::uint16_t beams = 4;
    std::uint32_t samples = 8;          // per beam
    std::uint32_t sampleType = 0x0013;  // 4-byte amplitude, 1-byte phase
    std::uint8_t subsetFlag = 0;
    std::uint8_t rowColumnFlag = 0;
};
// Beamformed data: fixed part, one descriptor per beam, then the samples.
void data7008(ByteWriter& d, std::uint32_t ping, const BeamData& beams);
// Raw detections: 99-byte fixed part and `detections` blocks of 34 bytes, one per beam.
void data7027(ByteWriter& d, std::uint32_t ping, std::uint32_t detections, std::uint64_t serial = kSampleSonarSerial);

} // namespace tarvik::synth
