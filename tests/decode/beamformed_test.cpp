// Record 7008: the consistency checks and the sample excerpt.

#include "decode/beamformed.h"
#include "tests/decode/decode_test_support.h"
#include "tools/synth/report_records.h"

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::testing::hasLine;
using tarvik::testing::lineIndex;
using tarvik::testing::Reporter;

namespace {

Reporter& reporter() {
    static Reporter r(buildLayoutCatalogue());
    return r;
}

Bytes beamFrame(const synth::BeamData& beams, std::size_t extraBytes = 0) {
    FrameBuilder b(7008);
    synth::data7008(b.data(), 1, beams);
    b.data().fill(extraBytes);
    return b.build();
}


} // namespace

TEST(Beamformed, StateFromTheFixedPart) {
    synth::BeamData beams;
    beams.sampleType = 0x0123;
    BeamformedState state;
    state.prepare(beamFrame(beams));
    EXPECT_EQ(state.amplitudeBytes, 4);
    EXPECT_EQ(state.phaseBytes, 2);
    EXPECT_EQ(state.iBytes, 2);
    EXPECT_EQ(state.qBytes, 2);
    EXPECT_EQ(state.sampleSize(), 10);
    EXPECT_EQ(state.beams, 4);
    EXPECT_EQ(state.samples, 8);
}

TEST(Beamformed, ConsistentRecordPassesAndShowsItsSamples) {
    const Bytes frame = beamFrame({});
    const Report r = reporter()(frame);
    EXPECT_FALSE(std::any_of(r.lines.begin(), r.lines.end(), [](const std::string& l) { return l.find("7008 ") != std::string::npos; }));
    EXPECT_TRUE(hasLine(r.lines, "Beam 0 (0,0)(1,1)(2,2)(3,3)(4,4)(5,5)(6,6)(7,7)"));
    EXPECT_TRUE(hasLine(r.lines, "Beam data"));
    EXPECT_EQ(r.lines[r.lines.size() - 2],
              "Bytes consumed " + std::to_string(frame.size() - 4) + ", Record size " + std::to_string(frame.size()) +
                  ", probably ends in checksum");
}

TEST(Beamformed, ChecksNameEachInconsistency) {
    // 1001 beams: the beam count line comes first.
    synth::BeamData many;
    many.beams = 1001;
    many.samples = 1;
    const Report r = reporter()(beamFrame(many));
    const auto first = lineIndex(r.lines, "7008 Beam count bad 1001 ");
    ASSERT_GT(first, 0);
    EXPECT_EQ(r.lines[first - 1], "Beam descriptor");  // after the capped descriptor blocks
    EXPECT_TRUE(hasLine(r.lines, " 7008 beam descriptor count=999 not equal to beam count=1001 "));

    // Trailing checksum passes check 14; four more bytes do not.
    synth::BeamData plain;
    EXPECT_FALSE(hasLine(reporter()(beamFrame(plain)).lines,
                         " 7008 Accumulated element size 264 doesn't equal specified record size 268 "));
    const Report extra = reporter()(beamFrame(plain, 4));
    const std::size_t e = 94 + 10 * 4 + 8 * 4 * 5;
    EXPECT_TRUE(hasLine(extra.lines, " 7008 Accumulated element size " + std::to_string(e) +
                                         " doesn't equal specified record size " + std::to_string(e + 8) + " "));

    synth::BeamData flags;
    flags.subsetFlag = 1;
    flags.rowColumnFlag = 1;
    flags.sampleType = 0x0555;
    const Report f = reporter()(beamFrame(flags, 8));
    EXPECT_TRUE(hasLine(f.lines, " 7008 Unreasonable bytes for amplitude 5 "));
    EXPECT_TRUE(hasLine(f.lines, " 7008 Unreasonable bytes for Q 5 "));
    EXPECT_TRUE(hasLine(f.lines, " 7008 Data subsetted, but row/column flag turned on "));
    EXPECT_TRUE(hasLine(f.lines, "This program cannot process ping with subsets and beams fastest "));
}

TEST(Beamformed, DescriptorChecksRunPerBeam) {
    synth::BeamData beams;
    beams.beams = 3;
    Bytes frame = beamFrame(beams);
    // Second descriptor: beam number 7, first sample 9 after its end sample 7.
    const std::size_t d1 = 64 + 30 + 10;
    frame[d1] = 7;
    frame[d1 + 2] = 9;
    frame[d1 + 10 + 6] = 0xA1;  // third descriptor's end sample beyond 100,000
    frame[d1 + 10 + 7] = 0x86;
    frame[d1 + 10 + 8] = 0x01;
    finishFrame(frame);
    const Report r = reporter()(frame);
    EXPECT_TRUE(hasLine(r.lines, "7008 for beam 1, descriptor 1 ne ordinal 7 "));
    EXPECT_TRUE(hasLine(r.lines, "7008 for beam i 1, first sample num 9 gt last 7 "));
    EXPECT_TRUE(hasLine(r.lines, "7008 for beam 2, bad last sample num 100001 "));
    // The excerpt of a beam that claims more samples than the record holds stops at its end.
    EXPECT_TRUE(std::any_of(r.lines.begin(), r.lines.end(), [](const std::string& l) {
        return l.rfind("Beam 2 ", 0) == 0 && l.find(" Data exhausted") != std::string::npos;
    }));
}

TEST(Beamformed, ExcerptsAreBounded) {
    synth::BeamData wide;
    wide.beams = 256;
    wide.samples = 60;
    const Report r = reporter()(beamFrame(wide));
    EXPECT_TRUE(hasLine(r.lines, "Plus 252 more"));
    const auto beam0 = std::find_if(r.lines.begin(), r.lines.end(), [](const std::string& l) { return l.rfind("Beam 0 ", 0) == 0; });
    ASSERT_NE(beam0, r.lines.end());
    EXPECT_EQ(beam0->substr(beam0->size() - 10), ") + 9 more");

    synth::BeamData sampleMajor;
    sampleMajor.rowColumnFlag = 1;
    sampleMajor.samples = 0;
    Bytes frame = beamFrame(sampleMajor);
    // Descriptors say samples 0..5: five are taken as the sample count.
    for (int b = 0; b < 4; ++b) frame[64 + 30 + 10 * b + 6] = 5;
    frame.insert(frame.end() - 4, 4 * 5 * 5, 1);
    ByteWriter w(frame);
    w.patch<std::uint32_t>(8, static_cast<std::uint32_t>(w.size()));
    frame = w.take();
    finishFrame(frame);
    const Report s = reporter()(frame);
    EXPECT_TRUE(hasLine(s.lines, " SAMPLE COUNT SHOULD NOT BE ZERO"));
    EXPECT_TRUE(hasLine(s.lines, "Sample 0 (16843009,1)(16843009,1)(16843009,1)(16843009,1)"));
    EXPECT_TRUE(hasLine(s.lines, "Plus 1 more"));
}

TEST(Beamformed, SampleBlockPastTheRecordIsNotRead) {
    synth::BeamData beams;
    Bytes frame = beamFrame(beams);
    frame.resize(64 + 30 + 40 + 12);
    ByteWriter w(frame);
    w.patch<std::uint32_t>(8, static_cast<std::uint32_t>(w.size()));
    const Report r = reporter()(w.data());
    EXPECT_TRUE(std::any_of(r.lines.begin(), r.lines.end(), [](const std::string& l) {
        return l.rfind("Beam 0 ", 0) == 0 && l.find(" Data exhausted") != std::string::npos;
    }));
}
