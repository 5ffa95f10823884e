// Reports of one generated record of each of the most common record types,
// written field by field as the protocol lays them out. A layout whose widths
// do not add up to the record's data section fails the checksum verdict.

#include "core/frame.h"
#include "decode/catalogue/catalogue.h"
#include "decode/report.h"
#include "tools/synth/report_records.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace tarvik;

namespace {

void text(ByteWriter& d, const std::string& s, std::size_t width) {
    d.bytes(ByteSpan(reinterpret_cast<const std::uint8_t*>(s.data()), std::min(s.size(), width)));
    d.fill(width - std::min(s.size(), width));
}

void time(ByteWriter& d) { d.u16(2024).u16(45).f32(12.5f).u8(10).u8(30); }

constexpr float kRadian = 0.5f;  // shown as 28.648 degrees

void data7001(ByteWriter& d) {
    d.u64(synth::kSampleSonarSerial).u32(2);
    for (std::uint32_t m = 0; m < 2; ++m) {
        d.u32(100 + m);
        text(d, "Receiver module", 64);
        d.u64(5000 + m).u32(3);
        text(d, "abc", 3);
    }
}

void data7002(ByteWriter& d) {
    d.u64(synth::kSampleSonarSerial).u32(17).u32(1).f32(380000.0f).f32(420000.0f).u32(2).f32(0.25f).f32(0.0002f);
    d.fill(52);
}

void data7007(ByteWriter& d) {
    d.u64(synth::kSampleSonarSerial).u32(17).u16(0).f32(kRadian).u32(0).u32(3);
    for (int i = 0; i < 8; ++i) d.f32(kRadian);
    d.u16(1).u16(0).u8(2).u8(0);
    for (int side = 0; side < 2; ++side)
        for (int s = 0; s < 3; ++s) d.u8(static_cast<std::uint8_t>(10 * side + s)).u8(0);
}

void data7010(ByteWriter& d) {
    d.u64(synth::kSampleSonarSerial).u32(17).u16(0).u32(5).fill(32);
    for (int i = 0; i < 5; ++i) d.f32(1.5f * static_cast<float>(i + 1));
}

void data7012(ByteWriter& d) {
    d.u64(synth::kSampleSonarSerial).u32(17).u16(0).u32(3).u16(7).u32(0).f32(50.0f);
    d.f32(0.1f);                                    // pitch: one value
    for (int i = 0; i < 3; ++i) d.f32(0.2f);        // roll per sample
    for (int i = 0; i < 3; ++i) d.f32(1.0f);        // heading per sample
}

void data7017(ByteWriter& d) {
    d.u64(synth::kSampleSonarSerial).u32(17).u16(0).u32(2).u32(34).u8(2).u32(37);
    for (int i = 0; i < 6; ++i) d.f32(10.0f * static_cast<float>(i + 1));
    d.u8(20).f32(0.0f).f32(0.0f).fill(56);
    for (std::uint16_t b = 0; b < 2; ++b) {
        d.u16(b).f32(300.0f).u32(1).u32(100).u32(500).u32(90).u32(510).u32(3).f32(0.05f);
    }
}

void data7021(ByteWriter& d) {
    d.u16(1);
    text(d, "Transceiver", 64);
    d.u8(4).f32(0.0f).u16(1);
    time(d);
    time(d);
    time(d);
    d.u8(1).u16(2);
    for (int i = 0; i < 4; ++i) d.u64(0xFF);
    for (std::uint16_t f = 0; f < 2; ++f) {
        d.u16(f);
        text(d, f == 0 ? "Supply voltage" : "Board temperature", 64);
        d.u8(2).f32(10.0f).f32(15.0f).f32(12.5f);
    }
}

void data7022(ByteWriter& d) { text(d, "5.2.0.1", 32); }

void data7028(ByteWriter& d) {
    d.u64(synth::kSampleSonarSerial).u32(17).u16(0).u16(2).u8(0).u8(5).fill(28);
    for (std::uint16_t b = 0; b < 2; ++b) d.u16(b).u32(100).u32(110).u32(120);
}

void data7030(ByteWriter& d) {
    d.f32(400000.0f);
    for (const char* info : {"fw 1.2", "sw 3.4", "vx 5.6", "records 2.0"}) {
        d.u16(static_cast<std::uint16_t>(std::string(info).size() + 1));
        text(d, info, 128);
    }
    for (int array = 0; array < 3; ++array) {
        d.f32(1.0f).f32(2.0f).f32(3.0f);
        d.f32(kRadian).f32(kRadian).f32(kRadian);
    }
    d.u16(5).f32(4.0f).f32(5.0f).f32(6.0f).u16(7).f32(1.25f);
}

void data7042(ByteWriter& d) {
    d.u64(synth::kSampleSonarSerial).u32(17).u16(0).u16(0).u32(2000).u32(500).u32(3).u32(0).f32(34500.0f).f32(4.0f);
    d.u32(0);
}

void data7058(ByteWriter& d) {
    d.u64(synth::kSampleSonarSerial).u32(17).u16(0).u16(2).u8(6).u32(0).fill(28);
    for (std::uint16_t b = 0; b < 2; ++b) d.u16(b).u32(100).u32(110).u32(120);
}

void data7300(ByteWriter& d) {
    d.u32(14 + 2 * 48).u16(1).u32(2).u32(0);
    for (std::uint32_t i = 0; i < 2; ++i) {
        d.u32(400).u64(1000 * i).u16(7000).u16(7125).u16(0);
        time(d);
        d.u32(i).fill(16);
    }
}

void data7503(ByteWriter& d) {
    d.u64(synth::kSampleSonarSerial).u32(17);
    d.f32(400000.0f).f32(34500.0f).f32(100000.0f).f32(0.0001f);
    d.u32(1).u32(1).f32(0.1f).u16(1).u16(0);
    d.f32(50.0f).f32(0.02f).f32(25.0f).f32(220.0f).f32(20.0f);
    d.u32(0).u32(0);
    d.f32(0.0f).f32(0.0f).f32(kRadian).f32(kRadian).f32(0.0f);
    d.u32(1).f32(0.0f).u32(0).u32(0).u32(1).f32(0.0f).u32(0);
    d.f32(1.0f).f32(100.0f).f32(1.0f).f32(100.0f);
    d.f32(80.0f).f32(1500.0f).f32(30.0f);
    d.u8(0).u8(20);
    d.f32(0.0f).f32(0.0f).f32(0.0f).f32(0.0f).f32(0.0f).f32(0.0f);
    d.u32(1).u16(2).u16(0);
    d.f32(1.0f).f32(100.0f);
    d.f64(0.001).f64(0.0);
    d.u16(0).fill(8).f32(0.0f);
    d.u8(0).u8(0).u16(0);
    d.f32(kRadian).u8(1).u8(0);
    d.f32(0.0f).f32(kRadian).f32(0.0f).f32(0.0f).u16(0).f32(kRadian);
}

Bytes frame(std::uint32_t type, const std::function<void(ByteWriter&)>& fill) {
    FrameBuilder b = synth::sampleBuilder(type, 7125, 9);
    fill(b.data());
    return b.build();
}

struct Case {
    std::uint32_t type;
    std::function<Bytes()> make;
    std::string line;  // one line the report must hold
};

std::vector<Case> commonCases() {
    auto of = [](std::uint32_t type, void (*fill)(ByteWriter&)) {
        return [type, fill] { return frame(type, fill); };
    };
    return {
        {7000, [] { return frame(7000, [](ByteWriter& d) { synth::data7000(d, 17); }); }, "Ping number 17"},
        {7001, of(7001, data7001), "Module serial number 5001"},
        {7002, of(7002, data7002), "Window type 2 - Hamming"},
        {7004, [] { return frame(7004, [](ByteWriter& d) { synth::data7004(d, 16); }); }, "Number of receiver beams 16"},
        {7006, [] { return frame(7006, [](ByteWriter& d) { synth::data7006(d, 17, 16); }); }, "Ping number 17"},
        {7007, of(7007, data7007), "Bytes per sample 2"},
        {7008, [] { return frame(7008, [](ByteWriter& d) { synth::data7008(d, 17, synth::BeamData{}); }); },
         "Data sample type 19"},
        {7010, of(7010, data7010), "Gain Values 1.500 3.000 4.500 6.000 7.500"},
        {7012, of(7012, data7012), "Flags 7 - Pitch, Roll, Yaw applied"},
        {7017, of(7017, data7017),
         "Flags 37 - User-defined depth filter enabled, Automatic filter enabled, Quality Filter applied"},
        {7021, of(7021, data7021), "Value 12.500"},
        {7022, of(7022, data7022), "Version 5.2.0.1"},
        {7027, [] { return frame(7027, [](ByteWriter& d) { synth::data7027(d, 17, 5); }); }, "Beam Descriptor 4"},
        {7028, of(7028, data7028), "Control flags 5 - Auto Snippet Window, Min Snippet window req."},
        {7030, of(7030, data7030), "Water line vertical offset (m) 1.250"},
        {7042, of(7042, data7042), "Flags 3 - BDA point + Strip phase"},
        {7058, of(7058, data7058), "Error flag 6 - Bottom detection failed"},
        {7200, [] { return synth::fileHeaderFrame(7125); }, "Recording name Tarvik"},
        {7300, of(7300, data7300), "record count 1"},
        {7503, of(7503, data7503), "Depth gate tilt (deg) 28.648"},
    };
}

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string dump(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    return all;
}

} // namespace

TEST(CatalogueReport, CommonRecordTypesDecodeUpToTheirChecksum) {
    const LayoutCatalogue catalogue = buildLayoutCatalogue();
    NoRemoteCommandDefinitions none;
    RecordReporter reporter(catalogue, none);
    for (const Case& c : commonCases()) {
        const Bytes f = c.make();
        const Report r = reporter.report(f, 0);
        const auto& lines = r.lines;
        SCOPED_TRACE("record type " + std::to_string(c.type) + "\n" + dump(lines));
        ASSERT_GE(lines.size(), 2u);
        EXPECT_TRUE(r.messages.empty());
        EXPECT_FALSE(hasLine(lines, "Unknown protocol or record type"));
        EXPECT_FALSE(hasLine(lines, "Data exhausted"));
        EXPECT_TRUE(hasLine(lines, c.line)) << c.line;
        char expected[128];
        std::snprintf(expected, sizeof expected, "Bytes consumed %lu, Record size %lu, probably ends in checksum",
                      (unsigned long)(f.size() - 4), (unsigned long)f.size());
        EXPECT_EQ(lines[lines.size() - 2], expected);
        unsigned field = 0, sum = 1;
        ASSERT_EQ(std::sscanf(lines.back().c_str(), "Checksum field %u, calc.= %u", &field, &sum), 2) << lines.back();
        EXPECT_EQ(field, sum);
    }
}

TEST(CatalogueReport, RefusalShowsTheOperatingSystemText) {
    const LayoutCatalogue catalogue = buildLayoutCatalogue();
    NoRemoteCommandDefinitions none;
    RecordReporter reporter(catalogue, none);
    auto nak = [&](std::uint32_t code) {
        return reporter.report(frame(7502, [code](ByteWriter& d) { d.u32(3).fill(16).u32(code); }), 0).lines;
    };
    EXPECT_TRUE(hasLine(nak(5), "Error code 5 - Access is denied."));
    EXPECT_TRUE(hasLine(nak(28672), "Error code 28672 - SYSTEM_NOT_READY, System not ready"));
    EXPECT_TRUE(hasLine(nak(0x7010), "Error code 28688"));
}
