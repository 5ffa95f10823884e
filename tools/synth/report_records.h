#pragma once
// Data sections of the records the sample file, the report tests and the
// benchmarks decode, laid out as their record layouts describe them.

#include "core/bytes.h"

#include <cstdint>

namespace tarvik::synth {

inline constexpr std::uint64_t kSampleSonarSerial = 0x1234;

// Sonar settings: 156 bytes.
void data7000(ByteWriter& d, std::uint32_t ping);
// Beam geometry with five vectors of `beams` values.
void data7004(ByteWriter& d, std::uint32_t beams);
// Legacy bathymetry with five vectors of `beams` values.
void data7006(ByteWriter& d, std::uint32_t ping, std::uint32_t beams);

struct BeamData {
    std::uint16_t beams = 4;
    std::uint32_t samples = 8;          // per beam
    std::uint32_t sampleType = 0x0013;  // 4-byte amplitude, 1-byte phase
    std::uint8_t subsetFlag = 0;
    std::uint8_t rowColumnFlag = 0;
};
// Beamformed data: fixed part, one descriptor per beam, then the samples.
void data7008(ByteWriter& d, std::uint32_t ping, const BeamData& beams);
// Raw detections: 99-byte fixed part and `detections` blocks of 34 bytes.
void data7027(ByteWriter& d, std::uint32_t ping, std::uint32_t detections);

} // namespace tarvik::synth
