#include "tools/synth/server_records.h"

#include "core/text.h"
#include "tools/synth/report_records.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

namespace tarvik::synth {

namespace {

FrameBuilder builder(std::uint32_t type, std::uint32_t deviceId, std::uint16_t enumerator, std::uint32_t counter) {
    FrameBuilder b(type);
    b.device(deviceId, enumerator).counter(counter).time(vxTimeNow());
    return b;
}

FrameBuilder builder(std::uint32_t type, const SimDevice& d, std::uint32_t counter) {
    return builder(type, d.deviceId, d.enumerator, counter);
}

Bytes finish(FrameBuilder& b, std::size_t padTo) {
    const std::size_t natural = kFrameHeaderSize + b.data().size() + 4;
    if (padTo > natural) b.data().fill(padTo - natural);
    return b.build();
}

} // namespace

VxTIME vxTimeNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(now);
    std::tm utc{};
    gmtime_r(&secs, &utc);
    const double fraction = duration<double>(now.time_since_epoch()).count() - static_cast<double>(secs);
    VxTIME t;
    t.year = static_cast<std::uint16_t>(utc.tm_year + 1900);
    t.day = static_cast<std::uint16_t>(utc.tm_yday + 1);
    t.seconds = static_cast<float>(utc.tm_sec + fraction);
    t.hours = static_cast<std::uint8_t>(utc.tm_hour);
    t.minutes = static_cast<std::uint8_t>(utc.tm_min);
    return t;
}

std::string deviceInfoText(const SimDevice& d) {
    return strprintf("<Device><Name deviceid=\"%u\" enumerator=\"%u\">%s</Name><SonarType type=\"%u\" /><SystemInfo "
                     "IDH=\"%s\" ping=\"multi\" /></Device>",
                     d.deviceId, d.enumerator, d.name.c_str(), d.sonarType, d.dualHead ? "yes" : "no");
}

Bytes configurationRecord(std::span<const SimDevice> devices, std::uint32_t counter, std::size_t padTo) {
    FrameBuilder b = builder(7001, 7000, 0, counter);
    ByteWriter& d = b.data();
    d.u64(0x51A0'0000).u32(static_cast<std::uint32_t>(devices.size()));
    for (const auto& device : devices) {
        const std::string info = deviceInfoText(device);
        d.u32(device.deviceId).fixedText(device.name, 64).u64(device.serial);
        d.u32(static_cast<std::uint32_t>(info.size() + 1)).bytes(asBytes(info)).u8(0);
    }
    return finish(b, padTo);
}

Bytes versionRecord(const SimDevice& device, std::uint32_t counter, std::size_t padTo) {
    FrameBuilder b = builder(7022, device, counter);
    b.data().fixedText("vxcenter-sim " TARVIK_VERSION, 32);
    return finish(b, padTo);
}

Bytes sonarSettings(const SimDevice& dev, std::uint32_t counter, std::uint32_t ping, std::size_t padTo) {
    FrameBuilder b = builder(7000, dev, counter);
    data7000(b.data(), ping, dev.serial);
    return finish(b, padTo);
}

Bytes beamGeometry(const SimDevice& dev, std::uint32_t counter, const PingShape& s, std::size_t padTo) {
    FrameBuilder b = builder(7004, dev, counter);
    data7004(b.data(), s.beams, dev.serial);
    return finish(b, padTo);
}

// A record whose data is one entry per beam of a ping (bathymetry, detections).
using PerBeamData = void (*)(ByteWriter&, std::uint32_t ping, std::uint32_t beams, std::uint64_t serial);
Bytes perBeamRecord(std::uint32_t type, PerBeamData data, const SimDevice& dev, std::uint32_t counter,
                    std::uint32_t ping, const PingShape& s, std::size_t padTo) {
    FrameBuilder b = builder(type, dev, counter);
    data(b.data(), ping, s.beams, dev.serial);
    return finish(b, padTo);
}

Bytes bathymetry(const SimDevice& dev, std::uint32_t counter, std::uint32_t ping, const PingShape& s,
                 std::size_t padTo) {
    return perBeamRecord(7006, data7006, dev, counter, ping, s, padTo);
}

Bytes beamData(const SimDevice& dev, std::uint32_t counter, std::uint32_t ping, const PingShape& s,
               std::size_t padTo) {
    FrameBuilder b = builder(7008, dev, counter);
    ByteWriter& d = b.data();
    // 2-byte amplitude and 2-byte phase per sample, beams one after another;
    // the samples span the settings' range.
    d.u64(dev.serial).u32(ping).u16(0).u16(s.beams).u16(0).u32(s.samples).u8(0).u8(0).u16(0).u32(0x0022);
    for (std::uint16_t i = 0; i < s.beams; ++i) d.u16(i).u32(0).u32(s.samples ? s.samples - 1 : 0);
    for (std::uint32_t beam = 0; beam < s.beams; ++beam) {
        const float angle = beamAngle(beam, s.beams);
        for (std::uint32_t i = 0; i < s.samples; ++i) {
            const float range = (static_cast<float>(i) + 0.5f) * kSampleRange / static_cast<float>(s.samples);
            const std::uint8_t level = echoLevel(angle, range, ping);
            d.u16(static_cast<std::uint16_t>(level << 8 | ((i * 13 + beam) & 0xFF))).u16(static_cast<std::uint16_t>(i * 257));
        }
    }
    return finish(b, padTo);
}

Bytes imageData(const SimDevice& dev, std::uint32_t counter, std::uint32_t ping, const PingShape& s,
                std::size_t padTo) {
    FrameBuilder b = builder(7011, dev, counter);
    ByteWriter& d = b.data();
    // Rows outward in range, columns across the swath, one byte per pixel, row by row.
    d.u32(ping).u16(0).u32(s.imageWidth).u32(s.imageHeight).u16(1).u16(0).u16(0);
    d.u32(s.imageHeight).u32(0).f32(0.0f).fill(24);
    for (std::uint32_t row = 0; row < s.imageHeight; ++row) {
        const float range = (static_cast<float>(row) + 0.5f) * kSampleRange / static_cast<float>(s.imageHeight);
        for (std::uint32_t col = 0; col < s.imageWidth; ++col) d.u8(echoLevel(beamAngle(col, s.imageWidth), range, ping));
    }
    return finish(b, padTo);
}

Bytes sideScan(const SimDevice& dev, std::uint32_t counter, std::uint32_t ping, const PingShape& s, std::size_t padTo) {
    FrameBuilder b = builder(7007, dev, counter);
    ByteWriter& d = b.data();
    const float width = 0.5f * 3.14159265f / 180.0f;
    d.u64(dev.serial).u32(ping).u16(0).f32(0.0f).u32(0).u32(s.sideScanSamples);
    d.f32(width).f32(width).f32(width).f32(width).f32(0.0f).f32(0.0f).f32(0.0f).f32(0.0f);
    d.u16(1).u16(0).u8(1).u8(0);
    // Slant ranges out to 60 m from a towed body 12 m above a seabed that rises
    // towards port. Sand ripples and patches run along the track, and a few
    // objects cast bright echoes with a shadow behind.
    const float depth = 12.0f + 1.5f * std::sin(static_cast<float>(ping) * 0.05f);
    for (int side = 0; side < 2; ++side) {
        const float slope = side == 0 ? -0.08f : 0.08f;
        for (std::uint32_t i = 0; i < s.sideScanSamples; ++i) {
            const float slant = (static_cast<float>(i) + 0.5f) * 60.0f / static_cast<float>(s.sideScanSamples);
            const float altitude = depth + slope * slant;
            float level = 6.0f + static_cast<float>((i * 7919u + ping * 104729u) % 13u);
            if (slant >= altitude && altitude > 0) {
                const float across = std::sqrt(slant * slant - altitude * altitude);
                level = 80.0f + 30.0f * std::sin(across * 0.9f + static_cast<float>(ping) * 0.03f) +
                        30.0f * std::sin(across * 0.13f + static_cast<float>(ping) * 0.011f) +
                        static_cast<float>((i * 31u + ping * 17u) % 30u) - 10.0f * slant / 60.0f;
                const float objectAcross = side == 0 ? 22.0f : 35.0f;
                const bool objectPing = (ping + static_cast<std::uint32_t>(side) * 40u) % 90u < 6u;
                if (objectPing && std::fabs(across - objectAcross) < 1.0f) level = 250.0f;
                else if (objectPing && across > objectAcross && across < objectAcross + 6.0f) level = 8.0f;
            }
            d.u8(static_cast<std::uint8_t>(std::clamp(level, 0.0f, 255.0f)));
        }
    }
    return finish(b, padTo);
}

Bytes detections(const SimDevice& dev, std::uint32_t counter, std::uint32_t ping, const PingShape& s,
                 std::size_t padTo) {
    return perBeamRecord(7027, data7027, dev, counter, ping, s, padTo);
}

Bytes remoteSonarSettings(const SimDevice& dev, std::uint32_t counter, std::size_t padTo) {
    FrameBuilder b = builder(7503, dev, counter);
    data7503(b.data(), 0, dev.serial);
    return finish(b, padTo);
}

Bytes matchedFilter(const SimDevice& dev, std::uint32_t counter, std::uint32_t ping, std::size_t padTo) {
    FrameBuilder b = builder(7002, dev, counter);
    data7002(b.data(), ping, dev.serial);
    return finish(b, padTo);
}

Bytes remoteControlAck(std::uint32_t deviceId, std::uint16_t enumerator, std::uint32_t counter, std::uint32_t ticket,
                       ByteSpan tracking) {
    FrameBuilder b = builder(7501, deviceId, enumerator, counter);
    b.data().u32(ticket).bytes(tracking.first(std::min<std::size_t>(tracking.size(), 16)));
    b.data().fill(16 - std::min<std::size_t>(tracking.size(), 16));
    return b.build();
}

Bytes remoteControlNak(std::uint32_t deviceId, std::uint16_t enumerator, std::uint32_t counter, std::uint32_t ticket,
                       ByteSpan tracking, std::uint32_t errorCode) {
    FrameBuilder b = builder(7502, deviceId, enumerator, counter);
    b.data().u32(ticket).bytes(tracking.first(std::min<std::size_t>(tracking.size(), 16)));
    b.data().fill(16 - std::min<std::size_t>(tracking.size(), 16)).u32(errorCode);
    return b.build();
}

} // namespace tarvik::synth
