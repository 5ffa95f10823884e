#include "tools/synth/report_records.h"

#include <algorithm>
#include <cmath>

namespace tarvik::synth {

namespace {
constexpr float kDeg = 3.14159265f / 180.0f;

// The bytes one sample takes for the amplitude/phase and I/Q codes of a data sample type.
std::uint32_t partBytes(std::uint32_t code, bool iq) {
    if (iq) return code == 1 ? 2 : code == 2 ? 4 : 0;
    return code == 1 ? 1 : code == 2 ? 2 : code == 3 ? 4 : 0;
}
} // namespace

float beamAngle(std::uint32_t beam, std::uint32_t beams) {
    return beams > 1 ? (-65.0f + 130.0f * static_cast<float>(beam) / static_cast<float>(beams - 1)) * kDeg : 0.0f;
}

float seabedRange(float angle, std::uint32_t ping) {
    const float depth = 30.0f + 2.0f * std::sin(static_cast<float>(ping) * 0.05f);
    // A plane z = depth + 0.15 x met by the ray (x, z) = r (sin a, cos a).
    const float divisor = std::cos(angle) - 0.15f * std::sin(angle);
    return divisor > 0.05f ? depth / divisor : depth / 0.05f;
}

float travelTime(std::uint32_t beam, std::uint32_t beams, std::uint32_t ping) {
    return 2.0f * seabedRange(beamAngle(beam, beams), ping) / 1500.0f;
}

std::uint8_t echoLevel(float angle, float range, std::uint32_t ping) {
    // Noise from a cheap hash of the cell, so every ping looks alive but alike.
    // Port-side angles are negative: through a signed integer, as a negative float
    // does not convert to an unsigned one.
    const auto cell = static_cast<std::uint32_t>(static_cast<std::int32_t>(angle * 4000.0f)) * 2654435761u ^
                      static_cast<std::uint32_t>(range * 37.0f) * 40503u ^ ping * 97u;
    float level = 10.0f + static_cast<float>((cell >> 7) % 24u);
    const float bottom = seabedRange(angle, ping);
    if (range >= bottom) level += 40.0f + 170.0f * std::exp(-(range - bottom) / 2.5f);
    struct Target {
        float angle, range, phase;
    };
    static constexpr Target kTargets[] = {{-35.0f, 24.0f, 0.0f}, {6.0f, 18.0f, 2.0f}, {28.0f, 30.0f, 4.0f}};
    for (const Target& t : kTargets) {
        const float r = t.range + 3.0f * std::sin(static_cast<float>(ping) * 0.15f + t.phase);
        if (std::fabs(range - r) < 0.9f && std::fabs(angle - t.angle * kDeg) < 2.0f * kDeg) level += 200.0f;
    }
    return static_cast<std::uint8_t>(std::min(level, 255.0f));
}

void data7000(ByteWriter& d, std::uint32_t ping, std::uint64_t serial) {
    d.u64(serial).u32(ping).u16(0);
    d.f32(400000.0f).f32(34500.0f).f32(45000.0f).f32(0.0002f);  // frequency, sample rate, bandwidth, pulse width
    d.u32(0).u32(1).f32(0.5f).u32(0);                          // CW, Tukey, envelope parameter, reserved
    d.f32(20.0f).f32(0.25f).f32(75.0f).f32(220.0f).f32(30.0f);  // max rate, period, range, power, gain
    d.u32(0x0001).u32(1);                                      // control flags, projector
    d.f32(0.0f).f32(0.0f).f32(1.0f * kDeg).f32(130.0f * kDeg);  // projector steering and widths
    d.f32(0.0f).u32(1).f32(0.0f).u32(0);                       // focal point, window, parameter, tx flags
    d.u32(2).u32(1).f32(3.0f).u32(0).f32(0.5f * kDeg);         // hydrophone, rx window, parameter, flags, width
    d.f32(1.0f).f32(100.0f).f32(2.0f).f32(90.0f);              // bottom detection filter
    d.f32(50.0f).f32(1500.0f).f32(35.0f).u16(0);               // absorption, sound velocity, spreading, reserved
}

void data7002(ByteWriter& d, std::uint32_t ping, std::uint64_t serial) {
    d.u64(serial).u32(ping).u32(1);                          // operation on
    d.f32(380000.0f).f32(420000.0f).u32(2).f32(0.0f).f32(0.0002f);  // sweep, window, shading, pulse width
    d.fill(52);
}

void data7503(ByteWriter& d, std::uint32_t ping, std::uint64_t serial) {
    d.u64(serial).u32(ping);
    d.f32(400000.0f).f32(34500.0f).f32(45000.0f).f32(0.0002f);  // frequency, sample rate, bandwidth, pulse width
    d.u32(0).u32(1).f32(0.5f).u16(1).u16(0);                   // CW, Tukey, envelope parameter, single ping
    d.f32(20.0f).f32(0.25f).f32(75.0f).f32(220.0f).f32(30.0f);  // max rate, period, range, power, gain
    d.u32(0x0001).u32(1);                                      // control flags, projector
    d.f32(0.0f).f32(0.0f).f32(1.0f * kDeg).f32(130.0f * kDeg);  // projector steering and widths
    d.f32(0.0f).u32(1).f32(0.0f).u32(0);                       // focal point, window, parameter, tx flags
    d.u32(2).u32(1).f32(3.0f).u32(0);                          // hydrophone, rx window, parameter, flags
    d.f32(1.0f).f32(100.0f).f32(2.0f).f32(90.0f);              // bottom detection filter
    d.f32(50.0f).f32(1500.0f).f32(35.0f);                      // absorption, sound velocity, spreading
    d.u8(0).u8(10);                                            // vernier mode, automatic filter window
    d.f32(0.0f).f32(0.0f).f32(0.0f).f32(0.0f).f32(0.0f).f32(0.0f);  // tx array offset, head tilt
    d.u32(1).u16(1).u16(0);                                    // pinging, equiangle, normal
    d.f32(2.0f).f32(90.0f).f64(0.0).f64(0.0);                  // adaptive gate, trigger out
    d.u16(0).fill(8).f32(0.0f).u8(0).u8(0).u16(0);             // older series fields, custom beams
    d.f32(130.0f * kDeg).u8(0).u8(0).f32(0.0f);                // coverage, quality filter, rx steering
    d.f32(0.0f).f32(0.0f).f32(0.0f).u16(0).f32(0.0f);          // flex mode, spacing, beam mode, gate tilt
}

void data7004(ByteWriter& d, std::uint32_t beams, std::uint64_t serial) {
    d.u64(serial).u32(beams);
    for (std::uint32_t i = 0; i < beams; ++i) d.f32(0.0f);
    for (std::uint32_t i = 0; i < beams; ++i) d.f32(beamAngle(i, beams));
    for (std::uint32_t i = 0; i < beams; ++i) d.f32(1.0f * kDeg);
    for (std::uint32_t i = 0; i < beams; ++i) d.f32(0.5f * kDeg);
    for (std::uint32_t i = 0; i < beams; ++i) d.f32(0.0f);
}

void data7006(ByteWriter& d, std::uint32_t ping, std::uint32_t beams, std::uint64_t serial) {
    d.u64(serial).u32(ping).u16(0).u32(beams).u8(0).u8(0).f32(1500.0f);
    for (std::uint32_t i = 0; i < beams; ++i) d.f32(travelTime(i, beams, ping));
    for (std::uint32_t i = 0; i < beams; ++i) d.u8(0x0F);
    for (std::uint32_t i = 0; i < beams; ++i) d.f32(1000.0f + static_cast<float>((i * 37 + ping) % 200));
    for (std::uint32_t i = 0; i < beams; ++i) d.f32(0.001f);
    for (std::uint32_t i = 0; i < beams; ++i) d.f32(0.2f);
}

void data7008(ByteWriter& d, std::uint32_t ping, const BeamData& b) {
    d.u64(kSampleSonarSerial).u32(ping).u16(0).u16(b.beams).u16(0).u32(b.samples);
    d.u8(b.subsetFlag).u8(b.rowColumnFlag).u16(0).u32(b.sampleType);
    for (std::uint16_t i = 0; i < b.beams; ++i) d.u16(i).u32(0).u32(b.samples ? b.samples - 1 : 0);
    const std::uint32_t t = b.sampleType;
    const std::uint32_t widths[4] = {partBytes(t & 0xF, false), partBytes((t >> 4) & 0xF, false),
                                     partBytes((t >> 8) & 0xF, true), partBytes((t >> 8) & 0xF, true)};
    for (std::uint32_t n = 0; n < std::uint32_t{b.beams} * b.samples; ++n)
        for (std::uint32_t w : widths)
            for (std::uint32_t k = 0; k < w; ++k) d.u8(static_cast<std::uint8_t>(k == 0 ? n % 200 : 0));
}

void data7027(ByteWriter& d, std::uint32_t ping, std::uint32_t detections, std::uint64_t serial) {
    d.u64(serial).u32(ping).u16(0).u32(detections).u32(34).u8(2).u32(0);
    d.f32(34500.0f).f32(0.0f).f32(0.0f).fill(60);
    for (std::uint32_t i = 0; i < detections; ++i) {
        d.u16(static_cast<std::uint16_t>(i)).f32(travelTime(i, detections, ping) * 34500.0f);
        d.f32(beamAngle(i, detections)).u32(0x3).u32(0x1F).f32(0.05f).f32(40.0f).f32(10.0f).f32(5000.0f);
    }
}

} // namespace tarvik::synth
