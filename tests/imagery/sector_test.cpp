#include "core/frame.h"
#include "imagery/imagery_displays.h"
#include "imagery/sector.h"
#include "imagery/sector_render.h"
#include "tools/synth/report_records.h"
#include "tools/synth/server_records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <limits>

namespace tarvik {
namespace {

constexpr std::uint32_t kDevice = 7125;
const ImageryKey kKey7000{kDevice, 0, 7000}, kKey7004{kDevice, 0, 7004}, kKey7006{kDevice, 0, 7006},
    kKey7008{kDevice, 0, 7008}, kKey7011{kDevice, 0, 7011};

Bytes geometryRecord(std::uint32_t beams, float firstHorizontal) {
    FrameBuilder b(7004);
    b.device(kDevice, 0);
    b.data().u64(1).u32(beams);
    for (std::uint32_t i = 0; i < beams; ++i) b.data().f32(0.0f);
    b.data().f32(firstHorizontal);
    for (std::uint32_t i = 1; i < beams; ++i) b.data().f32(0.0f);
    return b.build();
}

Bytes settingsRecord(float range) {
    FrameBuilder b(7000);
    b.device(kDevice, 0);
    b.data().fill(54).f32(range).fill(100);
    return b.build();
}

// An image record with the pixels after the 56-byte fixed part.
Bytes imageRecord(std::uint32_t w, std::uint32_t h, std::uint16_t order, std::size_t pixels) {
    FrameBuilder b(7011);
    b.device(kDevice, 0);
    b.data().u32(1).u16(0).u32(w).u32(h).u16(1).u16(order).fill(38);
    for (std::size_t i = 0; i < pixels; ++i) b.data().u8(static_cast<std::uint8_t>(i));
    return b.build();
}

Bytes bathymetryRecord(std::initializer_list<float> times, float velocity) {
    FrameBuilder b(7006);
    b.device(kDevice, 0);
    b.data().u64(1).u32(1).u16(0).u32(static_cast<std::uint32_t>(times.size())).u8(0).u8(0).f32(velocity);
    for (float t : times) b.data().f32(t);
    return b.build();
}

Bytes beamRecord(const synth::BeamData& shape) {
    FrameBuilder b(7008);
    b.device(kDevice, 0);
    synth::data7008(b.data(), 1, shape);
    return b.build();
}

TEST(SonarSectorGeometry, FallbacksAndStoredSettings) {
    CSonarSector s;
    // Nothing stored: 99 beams, +-59 degrees, 91 m.
    s.DisplayRecord(kKey7011, imageRecord(4, 2, 0, 8));
    EXPECT_EQ(s.picture().properties.beams, 99);
    EXPECT_DOUBLE_EQ(s.picture().properties.startAngle, 59.0);
    EXPECT_DOUBLE_EQ(s.picture().properties.endAngle, -59.0);
    EXPECT_DOUBLE_EQ(s.picture().properties.range, 91.0);
    EXPECT_TRUE(s.picture().properties.imagePresent);
    EXPECT_TRUE(s.visible());

    // 0.1 rad is below 20 degrees: the fallback.
    s.DisplayRecord(kKey7004, geometryRecord(256, 0.1f));
    EXPECT_DOUBLE_EQ(s.geometry(kDevice, 0).start, 59.0);
    EXPECT_DOUBLE_EQ(s.geometry(kDevice, 0).end, -59.0);
    EXPECT_EQ(s.geometry(kDevice, 0).beams, 256);

    s.DisplayRecord(kKey7004, geometryRecord(128, -1.0f));
    s.DisplayRecord(kKey7000, settingsRecord(150.0f));
    CSonarSector::Geometry g = s.geometry(kDevice, 0);
    EXPECT_EQ(g.beams, 128);
    EXPECT_NEAR(g.start, 57.296, 1e-9);
    EXPECT_NEAR(g.end, -57.296, 1e-9);
    EXPECT_DOUBLE_EQ(g.range, 150.0);
    EXPECT_EQ(s.store().size(), 2u);
    // Another device keeps the fallbacks.
    EXPECT_EQ(s.geometry(9, 0).beams, 99);

    // Out-of-range and non-numeric values fall back; a beam count of a million
    // cannot reach past the record for its angle.
    s.DisplayRecord(kKey7004, geometryRecord(20, 1.0f));
    EXPECT_EQ(s.geometry(kDevice, 0).beams, 99);
    s.DisplayRecord(kKey7004, geometryRecord(128, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_DOUBLE_EQ(s.geometry(kDevice, 0).start, 59.0);
    Bytes huge = geometryRecord(128, 1.0f);
    huge[64 + 8] = 0x40;  // the count becomes 0x42_4240 (about 4.3 million) with the same bytes
    huge[64 + 9] = 0x42;
    huge[64 + 10] = 0x0F;
    s.DisplayRecord(kKey7004, huge);
    EXPECT_EQ(s.geometry(kDevice, 0).beams, 99);
    EXPECT_DOUBLE_EQ(s.geometry(kDevice, 0).start, 59.0);
    for (float range : {0.5f, 2e6f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
        s.DisplayRecord(kKey7000, settingsRecord(range));
        EXPECT_DOUBLE_EQ(s.geometry(kDevice, 0).range, 91.0) << range;
    }
}

TEST(SonarSectorRecords, ConfigurationStartUpAndIgnoredRecords) {
    CSonarSector s;
    s.StartUp();
    ASSERT_EQ(s.picture().width, 11);
    ASSERT_EQ(s.picture().height, 13);
    EXPECT_EQ(s.picture().image[0], 64);
    EXPECT_EQ(s.picture().image[141], 192);
    EXPECT_EQ(s.picture().properties.beams, 11);
    EXPECT_FALSE(s.picture().properties.imagePresent);

    synth::SimDevice forward;
    forward.name = "Forward looking sonar";
    s.DisplayRecord({7000, 0, 7001}, synth::configurationRecord(std::span(&forward, 1), 1));
    EXPECT_TRUE(s.properties().forwardLooking);
    EXPECT_TRUE(s.store().empty());  // configuration records are not kept
    s.DisplayRecord({7000, 0, 7001}, synth::configurationRecord(std::span<const synth::SimDevice>(), 1));
    EXPECT_FALSE(s.properties().forwardLooking);

    const std::uint64_t before = s.picture().serial;
    s.DisplayRecord({kDevice, 0, 7027}, synth::detections({}, 1, 1, {}));
    s.DisplayRecord(kKey7011, Bytes(30, 0));  // shorter than a header
    EXPECT_EQ(s.picture().serial, before);
}

TEST(SonarSectorRecords, ImageRecordsInBothOrdersAndBadSizes) {
    CSonarSector s;
    s.DisplayRecord(kKey7011, imageRecord(3, 2, 0, 6));
    EXPECT_EQ(s.picture().image, (Bytes{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(s.picture().width, 3);
    s.DisplayRecord(kKey7011, imageRecord(3, 2, 1, 6));
    EXPECT_EQ(s.picture().image, (Bytes{0, 3, 1, 4, 2, 5}));

    const std::uint64_t drawn = s.picture().serial;
    s.DisplayRecord(kKey7011, imageRecord(3, 2, 0, 5));           // a byte short
    s.DisplayRecord(kKey7011, imageRecord(0, 2, 0, 6));           // no columns
    s.DisplayRecord(kKey7011, imageRecord(0x10000, 0x10000, 0, 6));  // width x height past any record
    s.DisplayRecord(kKey7011, imageRecord(40000, 1, 0, 40000));   // wider than the draw call can say
    EXPECT_EQ(s.picture().serial, drawn);
}

TEST(SonarSectorRecords, BathymetryMarksSoundingsWithinTheRange) {
    CSonarSector s;
    // Range 91 m at 1500 m/s: the full picture is 0.12133 s of two-way time.
    const float full = 182.0f / 1500.0f;
    s.DisplayRecord(kKey7006, bathymetryRecord({0.0f, full * 0.5f, full * 1.01f, -0.01f,
                                                std::numeric_limits<float>::quiet_NaN()}, 1500.0f));
    const SectorPicture& p = s.picture();
    ASSERT_EQ(p.width, 5);
    ASSERT_EQ(p.height, 200);
    EXPECT_EQ(p.properties.beams, 5);
    EXPECT_EQ(p.image[0], 255);
    EXPECT_EQ(p.image[99 * 5 + 1], 255);
    // Row 200 or more, negative rows and non-numbers are not marked.
    int marked = 0;
    for (std::uint8_t v : p.image) marked += v == 255;
    EXPECT_EQ(marked, 2);
    EXPECT_EQ(p.points.size(), 2u);

    // A velocity of zero or below marks nothing, and the picture is still drawn.
    s.DisplayRecord(kKey7006, bathymetryRecord({0.05f}, 0.0f));
    s.DisplayRecord(kKey7006, bathymetryRecord({0.05f}, -1500.0f));
    EXPECT_EQ(s.picture().image, Bytes(200, 0));
    // Soundings past the end of the record: ignored.
    Bytes cut = bathymetryRecord({0.01f, 0.02f}, 1500.0f);
    cut.resize(cut.size() - 6);
    const std::uint64_t drawn = s.picture().serial;
    s.DisplayRecord(kKey7006, cut);
    EXPECT_EQ(s.picture().serial, drawn);
}

TEST(SonarSectorRecords, BeamDataResamplesEachBeamToRows) {
    CSonarSector s;
    s.DisplayRecord(kKey7000, settingsRecord(120.0f));
    synth::BeamData shape;
    shape.beams = 3;
    shape.samples = 2048;
    shape.sampleType = 0x0003;  // 4-byte amplitude: its top byte is drawn
    Bytes record = beamRecord(shape);
    // Beam 1, samples 2 and 3 both land on row 1: the larger stays.
    const std::size_t samples = 64 + 30 + 10 * 3;
    auto top = [&](std::uint32_t beam, std::uint32_t k) -> std::uint8_t& {
        return record[samples + (std::size_t{beam} * 2048 + k) * 4 + 3];
    };
    top(1, 2) = 70;
    top(1, 3) = 90;
    top(2, 2047) = 33;
    ASSERT_TRUE(finishFrame(record));
    s.DisplayRecord(kKey7008, record);
    const SectorPicture& p = s.picture();
    ASSERT_EQ(p.width, 3);
    ASSERT_EQ(p.height, 1024);
    EXPECT_EQ(p.image[1 * 3 + 1], 90);
    EXPECT_EQ(p.image[1023 * 3 + 2], 33);
    EXPECT_DOUBLE_EQ(p.properties.range, 120.0);

    // Samples stored sample by sample (row/column flag 1): beam b of sample k is the (k x N + b)th.
    synth::BeamData bySample;
    bySample.beams = 2;
    bySample.samples = 1024;
    bySample.sampleType = 0x0001;
    bySample.rowColumnFlag = 1;
    s.DisplayRecord(kKey7008, beamRecord(bySample));
    EXPECT_EQ(s.picture().image[5 * 2 + 1], (5 * 2 + 1) % 200);
    EXPECT_EQ(s.picture().image[700 * 2 + 0], (700 * 2) % 200);

    // The subset flag changes only the geometry.
    const std::uint64_t drawn = s.picture().serial;
    s.DisplayRecord(kKey7004, geometryRecord(100, 1.0f));
    shape.subsetFlag = 1;
    s.DisplayRecord(kKey7008, beamRecord(shape));
    EXPECT_EQ(s.picture().serial, drawn);
    EXPECT_EQ(s.properties().beams, 100);

    // 16-bit I and Q without amplitude: the magnitude.
    shape = {};
    shape.beams = 1;
    shape.samples = 1024;
    shape.sampleType = 0x0100;
    Bytes iq = beamRecord(shape);
    const std::size_t at = 64 + 30 + 10;
    iq[at] = 0x00;
    iq[at + 1] = 0x30;  // I = 12288
    iq[at + 2] = 0x00;
    iq[at + 3] = 0x40;  // Q = 16384: |IQ| = 20480, x 0.707 / 256 = 56.56
    s.DisplayRecord(kKey7008, iq);
    EXPECT_EQ(s.picture().image[0], 56);

    // An unknown sample type is added with zero sizes: all samples read 0.
    shape.sampleType = 0x0F0F;
    s.DisplayRecord(kKey7008, beamRecord(shape));
    EXPECT_EQ(s.picture().image, Bytes(1024, 0));
    EXPECT_EQ(s.sampleTypes().count(0x0F0F), 1u);
}

TEST(SonarSectorRecords, BeamDataThatDoesNotFitIsIgnored) {
    CSonarSector s;
    synth::BeamData shape;
    shape.beams = 4;
    shape.samples = 100;
    shape.sampleType = 0x0001;
    Bytes record = beamRecord(shape);
    const std::uint64_t before = s.picture().serial;
    Bytes cut = record;
    cut.resize(cut.size() - 10);  // the last samples are missing
    s.DisplayRecord(kKey7008, cut);
    Bytes noBeams = record;
    noBeams[64 + 14] = 0;
    noBeams[64 + 15] = 0;
    s.DisplayRecord(kKey7008, noBeams);
    Bytes many = record;
    many[64 + 15] = 0xF0;  // 61,444 beams: more than the picture can take, more than the record holds
    s.DisplayRecord(kKey7008, many);
    s.DisplayRecord(kKey7008, Bytes(record.begin(), record.begin() + 80));
    EXPECT_EQ(s.picture().serial, before);
    s.DisplayRecord(kKey7008, record);
    EXPECT_EQ(s.picture().serial, before + 1);
}

TEST(ImageryDisplays, SideScanFeedsTheEchogramPortOnTheLeft) {
    CImageryDisplays d;
    d.StartUp();
    int changes = 0;
    d.onEchogramChanged = [&] { ++changes; };
    synth::SimDevice device;
    synth::PingShape shape;
    shape.sideScanSamples = 512;
    const Bytes sideScan = synth::sideScan(device, 1, 3, shape);
    const auto line = sideScanLine(sideScan);
    ASSERT_TRUE(line);
    ASSERT_EQ(line->size(), 1024u);
    d.DisplayRecord({device.deviceId, 0, 7007}, sideScan);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(std::equal(line->begin(), line->end(), d.echogram().row(0)));
    // Once side-scan records come, beam data no longer feeds the echogram.
    d.DisplayRecord({device.deviceId, 0, 7008}, synth::beamData(device, 2, 3, {}));
    EXPECT_EQ(changes, 1);
    d.Reset();
    EXPECT_EQ(changes, 2);
    d.DisplayRecord({device.deviceId, 0, 7008}, synth::beamData(device, 2, 3, {}));
    EXPECT_EQ(changes, 3);

    // Claims beyond the bytes held give no line.
    Bytes cut = sideScan;
    cut.resize(cut.size() - 100);
    EXPECT_FALSE(sideScanLine(cut));
}

TEST(SectorRender, FanCoversBeamsAndRangeWithRings) {
    CSonarSector s;
    s.DisplayRecord(kKey7004, geometryRecord(128, -1.1345f));  // 65 degrees
    s.DisplayRecord(kKey7000, settingsRecord(100.0f));
    synth::BeamData shape;
    shape.beams = 128;
    shape.samples = 2000;
    shape.sampleType = 0x0001;
    s.DisplayRecord(kKey7008, beamRecord(shape));
    EchogramImage e;
    e.SetColourMap(1);
    RgbaImage out;
    out.resize(400, 300);
    SectorRenderer r;
    r.render(s.picture(), e.colourMap(), out);
    const SectorLayout& l = r.layout();
    // The apex of a downward fan lies at the top, the fan fills the picture's width.
    EXPECT_LT(l.apexY, 150.0);
    EXPECT_LE(l.apexY + l.radius, 300.0);
    EXPECT_NEAR(l.apexX, 200.0, 1.0);
    EXPECT_EQ(l.rings.size(), 5u);  // 20 m rings up to 100 m
    // A pixel straight below the apex at half range shows beam 64's colours, outside is background.
    double x = 0, y = 0;
    l.point(0.0, 0.45, x, y);
    const std::uint8_t* inside = out.at(static_cast<int>(x), static_cast<int>(y));
    EXPECT_EQ(inside[0], inside[1]);  // grey map
    const std::uint8_t* corner = out.at(2, 298);
    EXPECT_EQ(corner[0], 12);
    // Changing nothing but the image reuses the layout; angles that are not numbers still draw.
    CVelkSector bare;
    bare.SetStartAngle(std::numeric_limits<double>::quiet_NaN());
    bare.SetEndAngle(std::numeric_limits<double>::infinity());
    Bytes pixel(4, 255);
    ASSERT_TRUE(bare.Draw(pixel, 2, 2));
    r.render(bare.picture(), e.colourMap(), out);
    EXPECT_DOUBLE_EQ(r.layout().start, 59.0);
}

// Between two beams the fan blends their values, and the outline's pixels are
// partly covered: no jagged steps, no gaps between columns at any size.
TEST(SectorRender, FanIsReadBackPerPixelSmoothlyAtAnySize) {
    CVelkSector two;
    two.SetStartAngle(60);
    two.SetEndAngle(-60);
    two.SetRange(50);
    const Bytes halves = {0, 255, 0, 255};  // two beams, two samples
    ASSERT_TRUE(two.Draw(halves, 2, 2));
    EchogramImage e;
    e.SetColourMap(1);  // grey: red channel follows the value
    for (auto [w, h] : {std::pair{120, 90}, std::pair{400, 300}, std::pair{1500, 900}}) {
        RgbaImage out;
        out.resize(w, h);
        SectorRenderer r;
        r.render(two.picture(), e.colourMap(), out);
        const SectorLayout& l = r.layout();
        // Across the middle of the fan the values step through many greys.
        std::set<int> greys;
        for (int a = -50; a <= 50; ++a) {
            double x = 0, y = 0;
            l.point(a, 0.45, x, y);
            greys.insert(out.at(static_cast<int>(x), static_cast<int>(y))[0]);
        }
        EXPECT_GT(greys.size(), 8u) << w << "x" << h;
        // Pixels on the arc are partly covered; no pixel inside has a hole.
        int partial = 0;
        for (int a = -55; a <= 55; ++a) {
            double x = 0, y = 0;
            l.point(a, 1.0, x, y);
            const std::uint8_t c = r.coverage(static_cast<int>(x), static_cast<int>(y));
            partial += c > 0 && c < 255;
            l.point(a, 0.7, x, y);
            EXPECT_EQ(r.coverage(static_cast<int>(x), static_cast<int>(y)), 255) << a;
        }
        EXPECT_GT(partial, 5) << w << "x" << h;
    }
}

// Range and angle labels stay outside the fan and its lines, within the
// picture and apart from each other, whatever the size and the sector.
TEST(SectorRender, LabelsNeverCrossTheFan) {
    struct Case {
        int w, h;
        double start, end, range;
        bool forward;
    };
    const Case cases[] = {{640, 480, 59, -59, 91, false}, {400, 300, 65, -65, 100, false},
                          {1000, 300, 75, -75, 12.5, false}, {300, 400, 20, -20, 0.9, false},
                          {640, 480, 59, -59, 200, true},  {120, 90, 59, -59, 91, false},
                          {1600, 1200, 90, -90, 1000000, false}};
    EchogramImage e;
    const Bytes pixel(4, 128);
    for (const Case& c : cases) {
        CVelkSector s;
        s.SetStartAngle(c.start);
        s.SetEndAngle(c.end);
        s.SetRange(c.range);
        s.SetForwardLooking(c.forward);
        ASSERT_TRUE(s.Draw(pixel, 2, 2));
        RgbaImage out;
        out.resize(c.w, c.h);
        SectorRenderer r;
        r.render(s.picture(), e.colourMap(), out);
        const auto& labels = r.layout().labels;
        for (std::size_t i = 0; i < labels.size(); ++i) {
            const SectorLabel& l = labels[i];
            EXPECT_GE(l.x, 0);
            EXPECT_GE(l.y, 0);
            EXPECT_LE(l.x + l.width, c.w);
            EXPECT_LE(l.y + l.height, c.h);
            for (int y = l.y - 1; y <= l.y + l.height; ++y)
                for (int x = l.x - 1; x <= l.x + l.width; ++x)
                    ASSERT_EQ(r.coverage(x, y), 0) << l.text << " at " << x << "," << y << " in " << c.w << "x" << c.h;
            for (std::size_t j = i + 1; j < labels.size(); ++j) {
                const SectorLabel& o = labels[j];
                EXPECT_FALSE(l.x < o.x + o.width && o.x < l.x + l.width && l.y < o.y + o.height && o.y < l.y + l.height)
                    << l.text << " overlaps " << o.text;
            }
        }
        if (c.w >= 400) {
            // The full range and both edge angles always find room.
            std::set<std::string> texts;
            for (const SectorLabel& l : labels) texts.insert(l.text);
            EXPECT_TRUE(texts.count(rangeLabel(c.range))) << c.w << "x" << c.h << " range " << c.range;
            char start[16];
            std::snprintf(start, sizeof start, "%.0f\u00B0", c.start);
            EXPECT_TRUE(texts.count(start)) << start;
        }
    }
    EXPECT_EQ(rangeLabel(20), "20 m");
    EXPECT_EQ(rangeLabel(2.5), "2.5 m");
    EXPECT_EQ(rangeLabel(0.25), "0.25 m");
    EXPECT_EQ(rangeLabel(1000000), "1000000 m");
    EXPECT_EQ(labelTextWidth("-59\u00B0", 1), 4 * 6 - 1);
    EXPECT_EQ(labelTextWidth("", 2), 0);
}

} // namespace
} // namespace tarvik
