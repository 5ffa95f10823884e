#include "tools/synth/report_records.h"

namespace tarvik::synth {

namespace {
// The bytes one sample takes for the amplitude/phase and I/Q codes of a data sample type.
std::uint32_t partBytes(std::uint32_t code, bool iq) {
    if (iq) return code == 1 ? 2 : code == 2 ? 4 : 0;
    return code == 1 ? 1 : code == 2 ? 2 : code == 3 ? 4 : 0;
}
} // namespace

void data7000(ByteWriter& d, std::uint32_t ping) {
    d.u64(kSampleSonarSerial).u32(ping).u16(0);
    d.f32(400000.0f).f32(34500.0f).f32(12000.0f).f32(0.0002f);  // frequency, sample rate, bandwidth, pulse
    d.u32(1).u32(0).f32(0.0f).u32(0);                             // pulse type, envelope, parameter, reserved
    d.f32(20.0f).f32(0.05f).f32(50.0f).f32(220.0f).f32(-20.0f);   // ping rate, period, range, power, gain
    d.u32(0).u32(1).f32(0.0f).f32(0.0f).f32(0.0174533f).f32(2.26893f).f32(0.0f);
    d.u32(1).f32(0.0f).u32(0).u32(2).u32(1).f32(3.0f).u32(0).f32(0.0087266f);
    d.f32(1.0f).f32(100.0f).f32(2.0f).f32(90.0f).f32(50.0f).f32(1500.0f).f32(35.0f);
    d.u16(0);
}

void data7004(ByteWriter& d, std::uint32_t beams) {
    d.u64(kSampleSonarSerial).u32(beams);
    for (int v = 0; v < 5; ++v)
        for (std::uint32_t i = 0; i < beams; ++i)
            d.f32(v == 4 ? 0.0f : (static_cast<float>(i) - static_cast<float>(beams) / 2) * 0.01f);
}

void data7006(ByteWriter& d, std::uint32_t ping, std::uint32_t beams) {
    d.u64(kSampleSonarSerial).u32(ping).u16(0).u32(beams).u8(0).u8(0).f32(1500.0f);
    for (std::uint32_t i = 0; i < beams; ++i) d.f32(0.02f + 0.001f * static_cast<float>(i));
    for (std::uint32_t i = 0; i < beams; ++i) d.u8(0x0F);
    for (std::uint32_t i = 0; i < beams; ++i) d.f32(30.0f);
    for (std::uint32_t i = 0; i < beams; ++i) d.f32(0.01f);
    for (std::uint32_t i = 0; i < beams; ++i) d.f32(0.5f);
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

void data7027(ByteWriter& d, std::uint32_t ping, std::uint32_t detections) {
    d.u64(kSampleSonarSerial).u32(ping).u16(0).u32(detections).u32(34).u8(2).u32(0);
    d.f32(34500.0f).f32(0.0f).f32(0.0f).fill(60);
    for (std::uint32_t i = 0; i < detections; ++i) {
        d.u16(static_cast<std::uint16_t>(i)).f32(1000.0f + static_cast<float>(i));
        d.f32(-1.0f + 2.0f * static_cast<float>(i) / static_cast<float>(detections ? detections : 1));
        d.u32(1).u32(3).f32(0.1f).f32(42.5f).f32(900.0f).f32(1100.0f);
    }
}

} // namespace tarvik::synth
