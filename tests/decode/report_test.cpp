// Reports of whole records: frame lines, the field walk and its nested
// structures, the checksum verdict, and reports built from damaged records.

#include "decode/catalogue/enumerations.h"
#include "tests/decode/decode_test_support.h"
#include "tools/synth/report_records.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::testing::hasLine;
using tarvik::testing::lineIndex;
using tarvik::testing::Reporter;

namespace {

Reporter& builtIn() {
    static Reporter r(buildLayoutCatalogue());
    return r;
}

FrameBuilder frameOf(std::uint32_t type) {
    FrameBuilder b(type);
    b.device(7125, 0).counter(3);
    VxTIME t;
    t.year = 2024;
    t.day = 65;
    t.hours = 7;
    t.minutes = 4;
    t.seconds = 9.125f;
    b.time(t);
    return b;
}

const std::string& lastLine(const Report& r) { return r.lines.back(); }

std::string verdictLine(std::size_t consumed, std::size_t size) {
    return "Bytes consumed " + std::to_string(consumed) + ", Record size " + std::to_string(size) +
           ", probably ends in checksum";
}

} // namespace

TEST(Report, FrameLinesAndHeaderDefaults) {
    FrameBuilder b = frameOf(7022);
    b.header().protocolVersion = 0;
    b.header().recordVersion = 0;
    b.header().offset = 0;
    b.data().fixedText("5.1", 32);
    const Bytes frame = b.build();
    const Report r = builtIn()(frame, 17);
    const std::vector<std::string> head(r.lines.begin(), r.lines.begin() + 15);
    const std::vector<std::string> expected = {
        "   ERROR PROTOCOL  = 0",
        "   ERROR RECORDS_VERSION = 0",
        "   ERROR OFFSET = 0, attempt to use record frame size",
        "   Record # 17  (Protocol 5, Record_Version 1)",
        " ",
        "   Device 7125   enum 0",
        "   Size 100, offset 60, flags 1",
        "   Sonar Version",
        "   Record counter 3, Tot. recs in fragmented set 0, frag. # 0",
        "   Time \t03/05/2024 07:04:09.125",
        " - - - - - - -End of Data Record Frame- - - - - - - ",
        " ",
        "Record type 7022, Sonar Version",
        "Version 5.1",
        verdictLine(96, 100),
    };
    EXPECT_EQ(head, expected);
}

TEST(Report, TimeLinesForUnsetStamps) {
    auto timeLine = [](std::uint16_t year, std::uint16_t day) {
        FrameBuilder b = frameOf(7022);
        b.data().fixedText("x", 32);
        Bytes frame = b.build();
        frame[20] = static_cast<std::uint8_t>(year);
        frame[21] = static_cast<std::uint8_t>(year >> 8);
        frame[22] = static_cast<std::uint8_t>(day);
        frame[23] = static_cast<std::uint8_t>(day >> 8);
        return builtIn()(frame).lines[6];
    };
    EXPECT_EQ(timeLine(0xCDCD, 0xCDCD), "   ****TIME IS UNINITIALIZED DATA (0xCD)");
    EXPECT_EQ(timeLine(0xFBFB, 0xFBFB), "   ****TIME IS UNINITIALIZED DATA (0xFB)");
    EXPECT_EQ(timeLine(2024, 0), "   NO TIME: year=2024, day=0");
    EXPECT_EQ(timeLine(2023, 366), "   NO TIME: year=2023, day=366");
}

TEST(Report, UnknownTypeIsNotWalked) {
    FrameBuilder b = frameOf(4321);
    b.data().fill(20, 7);
    const Report r = builtIn()(b.build());
    EXPECT_TRUE(hasLine(r.lines, "   "));
    EXPECT_TRUE(hasLine(r.lines, "Record type 4321, "));
    EXPECT_EQ(r.lines[r.lines.size() - 2], "Unknown protocol or record type");
    EXPECT_EQ(lastLine(r), "Bytes consumed 64, Record size 88");
}

TEST(Report, ChecksumVerdicts) {
    FrameBuilder b = frameOf(7022);
    b.data().fixedText("\xE9t\xE9", 32);  // bytes of 0x80 and above
    const Bytes good = b.build();
    const Report ok = builtIn()(good);
    const std::uint32_t sum = computeChecksum(good, good.size() - 4);
    EXPECT_EQ(ok.lines[ok.lines.size() - 2], verdictLine(96, 100));
    EXPECT_EQ(lastLine(ok), "Checksum field " + std::to_string(sum) + ", calc.= " + std::to_string(sum));

    Bytes signedSum = good;
    ByteWriter w(signedSum);
    w.patch<std::uint32_t>(96, computeSignedChecksum(good, 96));
    EXPECT_EQ(lastLine(builtIn()(w.data())), "! ! ! ! CHECKSUM CALCULATED WITH SIGNED ARITHMETIC");

    Bytes wrong = good;
    wrong[96] ^= 1;
    EXPECT_EQ(lastLine(builtIn()(wrong)), "! ! ! ! CHECKSUM NOT CORRECT");

    Bytes unflagged = good;
    unflagged[48] = 0;
    EXPECT_EQ(lastLine(builtIn()(unflagged)), "Checksum field " + std::to_string(sum));

    // Vectors run to the end of the record, past where a checksum would be.
    FrameBuilder none = frameOf(7004);
    synth::data7004(none.data(), 2);
    none.checksum(false);
    EXPECT_EQ(lastLine(builtIn()(none.build())), "CHECKSUM FIELD MISSING");

    FrameBuilder shortTail = frameOf(7004);
    synth::data7004(shortTail.data(), 2);
    shortTail.data().u16(0);
    shortTail.checksum(false);
    EXPECT_EQ(lastLine(builtIn()(shortTail.build())), "NO ROOM FOR CHECKSUM FIELD");
}

TEST(Report, SizeMismatchDecodesTheShorterLength) {
    FrameBuilder b = frameOf(7000);
    synth::data7000(b.data(), 5);
    Bytes frame = b.build();
    frame.resize(150);  // the header still says 224
    const Report r = builtIn()(frame);
    EXPECT_EQ(r.lines[0], "   RECORD SIZE RECORDED (224) NOT FOUND (150)");
    EXPECT_TRUE(hasLine(r.lines, "Data exhausted"));
    EXPECT_TRUE(std::any_of(r.lines.begin(), r.lines.end(),
                            [](const std::string& l) { return l.rfind("Bytes consumed ", 0) == 0; }));
}

TEST(Report, MarkerEntries) {
    EXPECT_EQ(RecordReporter::markerReport("TEXT hello")->lines, std::vector<std::string>{" hello"});
    EXPECT_EQ(RecordReporter::markerReport("PAUSE")->lines, std::vector<std::string>{"PAUSE"});
    EXPECT_EQ(RecordReporter::markerReport("xDROP TEXT")->lines, std::vector<std::string>{"xDROP TEXT"});
    EXPECT_FALSE(RecordReporter::markerReport("pause").has_value());
}

TEST(Report, KnownLayoutsConsumeExactlyTheirBytes) {
    FrameBuilder s = frameOf(7000);
    synth::data7000(s.data(), 5);
    const Report settings = builtIn()(s.build());
    EXPECT_EQ(settings.lines[settings.lines.size() - 2], verdictLine(64 + 156, 224));
    EXPECT_TRUE(hasLine(settings.lines, "Tx pulse type identifier 0 - CW"));
    EXPECT_TRUE(hasLine(settings.lines, "Receive beam weighting window 1 - Kaiser"));
    EXPECT_TRUE(hasLine(settings.lines, "Reserved  null"));

    FrameBuilder g = frameOf(7004);
    synth::data7004(g.data(), 3);
    const Report geometry = builtIn()(g.build());
    EXPECT_TRUE(hasLine(geometry.lines, "Beam horiz. direction angle (deg) -65.000 0.0 65.000"));
    EXPECT_TRUE(hasLine(geometry.lines, "TX delay 0.0 0.0 0.0"));
    EXPECT_EQ(geometry.lines[geometry.lines.size() - 2], verdictLine(64 + 12 + 60, 140));

    FrameBuilder p = frameOf(1003);
    p.data().u32(0).f32(0).f64(1).f64(2).f64(3).u8(0).u8(33).u8(1).u8(15).u8(9);
    const Report position = builtIn()(p.build());
    EXPECT_TRUE(hasLine(position.lines, "Positioning method 15 - RTK Fixed"));
    EXPECT_TRUE(hasLine(position.lines, "Quality flag 1 - Dead-reckoning"));
    EXPECT_EQ(position.lines[position.lines.size() - 2], verdictLine(64 + 37, 105));
}

TEST(Report, ErrorCodesOfANak) {
    auto codeLine = [](std::uint32_t code) {
        FrameBuilder b = frameOf(7502);
        b.data().u32(9).fill(16).u32(code);
        const Report r = builtIn()(b.build());
        return r.lines[r.lines.size() - 3];
    };
    EXPECT_EQ(codeLine(28672), "Error code 28672 - SYSTEM_NOT_READY, System not ready");
    EXPECT_EQ(codeLine(0x7010), "Error code 28688");
}

TEST(Report, RepeatBlocksAreCappedAndCheckedAgainstTheRecord) {
    auto catalogFrame = [](std::uint32_t count, std::uint32_t present) {
        FrameBuilder b = frameOf(7300);
        b.data().u32(0).u16(1).u32(count).u32(0);
        for (std::uint32_t i = 0; i < present; ++i) b.data().u32(100 + i).u64(i).u16(7000).u16(0).u16(0).fill(10).u32(i).fill(16);
        return b.build();
    };
    const Report capped = builtIn()(catalogFrame(1000, 1000));
    EXPECT_TRUE(hasLine(capped.lines, "Index data 999"));
    EXPECT_FALSE(hasLine(capped.lines, "Index data 1000"));
    const auto plus = lineIndex(capped.lines, "Plus 1 more repeats");
    ASSERT_GT(plus, 0);
    EXPECT_EQ(capped.lines[plus + 1], " ");
    EXPECT_EQ(capped.lines[plus + 2], "Index data");
    EXPECT_EQ(capped.lines[capped.lines.size() - 2], verdictLine(64 + 14 + 48000, 64 + 14 + 48000 + 4));

    const Report short1 = builtIn()(catalogFrame(1001, 1000));
    EXPECT_TRUE(hasLine(short1.lines, "INSUFFICIENT DATA for specified repeats"));

    // Fixed-size blocks run past the record: the walk stops with the data position.
    FrameBuilder d = frameOf(7027);
    synth::data7027(d.data(), 1, 2);
    Bytes detections = d.build();
    detections[64 + 14] = 5;    // five detections claimed, two present,
    detections[64 + 18] = 100;  // each said to take 100 bytes
    finishFrame(detections);
    const Report ran = builtIn()(detections);
    EXPECT_TRUE(hasLine(ran.lines, " Ran out of data in repeating blocks, lIndex=263"));
    EXPECT_TRUE(hasLine(ran.lines, "Vx RAW Detection data"));
}

TEST(Report, VectorsAreCountedAndCapped) {
    LayoutCatalogue c;
    CatalogueBuilder b(c);
    addVectors(b);
    b.record(7012, "Vx Ping Motion data")
        .item("Samples", "u", 4)
        .item("Flags", "u", 2, flags7012())
        .item("Pitch", "vector", 0)
        .item("Roll", "vector", 1)
        .item("Heading", "vector", 2);
    b.record(4100, "Long").item("Sample count", "u", 4).item("Voltages", "vector", 0);
    b.vector(4100, 0, "Voltages", "u", 4, "Sample count");
    Reporter report(std::move(c));

    FrameBuilder motion = frameOf(7012);
    motion.data().u32(10).u16(5).f32(1.5f);
    for (int i = 0; i < 10; ++i) motion.data().f32(0.25f);
    const Report m = report(motion.build());
    EXPECT_TRUE(hasLine(m.lines, "Flags 5 - Pitch, Yaw applied"));
    EXPECT_TRUE(hasLine(m.lines, "Pitch Value 1.500"));
    EXPECT_TRUE(hasLine(m.lines, "Roll data - no vector data to list"));
    EXPECT_TRUE(hasLine(m.lines, "Heading data 0.250 0.250 0.250 0.250 0.250 0.250 0.250 0.250 0.250 0.250"));
    EXPECT_EQ(m.lines[m.lines.size() - 2], verdictLine(64 + 6 + 44, 118));

    FrameBuilder many = frameOf(4100);
    many.data().u32(2000);
    for (int i = 0; i < 2000; ++i) many.data().u32(1);
    const Report v = report(many.build());
    const auto first = lineIndex(v.lines, "Sample count 2000") + 1;
    EXPECT_EQ(v.lines[first].rfind("Voltages 1 1", 0), 0u);
    for (int i = 1; i < 6; ++i) EXPECT_EQ(v.lines[first + i].rfind("   1 1", 0), 0u) << i;
    EXPECT_EQ(v.lines[first + 5].substr(v.lines[first + 5].size() - 16), " Plus 1039 more.");
    EXPECT_EQ(v.lines[first + 6], verdictLine(64 + 4 + 8000, 8072));

    FrameBuilder cut = frameOf(4100);
    cut.data().u32(1000).u32(1).u32(2);
    cut.checksum(false);
    const Report exhausted = report(cut.build());
    EXPECT_TRUE(hasLine(exhausted.lines, "Voltages 1 2 Data exhausted"));
}

TEST(Report, BackReferencedAndVariableTexts) {
    FrameBuilder e = frameOf(7051);
    e.data().u64(1).u16(2).u16(6).u16(77).bytes(asBytes("Hello!"));
    const Report event = builtIn()(e.build());
    EXPECT_TRUE(hasLine(event.lines, "Event ID 2 - Warning"));
    EXPECT_TRUE(hasLine(event.lines, "Event message Hello!"));
    EXPECT_EQ(event.lines[event.lines.size() - 2], verdictLine(64 + 20, 88));

    // A length that runs past the record, and one without a terminator: nothing past the record is read.
    FrameBuilder longer = frameOf(7051);
    longer.data().u64(1).u16(2).u16(60000).u16(77).bytes(asBytes("abc"));
    EXPECT_TRUE(hasLine(builtIn()(longer.build()).lines, "Data exhausted"));

    LayoutCatalogue c;
    CatalogueBuilder b(c);
    addVarStrings(b);
    b.record(7052, "RDR recording status")
        .item("Directory name length (characters, including NULL)", "u", 2)
        .item("Directory", "vstring", 0)
        .item("Tail", "u", 1);
    b.record(4000, "Broken").item("Text", "sd", 0).item("After", "u", 1);
    Reporter report(std::move(c));

    FrameBuilder named = frameOf(7052);
    named.data().u16(6).fixedText("/data", 6).u8(9);
    const Report ok = report(named.build());
    const auto at = lineIndex(ok.lines, "Directory name /data");
    ASSERT_GT(at, 0);
    EXPECT_EQ(ok.lines[at + 1], "Directory");
    EXPECT_EQ(ok.lines[at + 2], "Tail 9");
    EXPECT_TRUE(ok.messages.empty());

    FrameBuilder empty = frameOf(7052);
    empty.data().u16(0).u8(9);
    const Report bad = report(empty.build());
    EXPECT_EQ(bad.messages, std::vector<std::string>{"Bad String Length"});
    EXPECT_FALSE(hasLine(bad.lines, "Tail 9"));

    FrameBuilder broken = frameOf(4000);
    broken.data().u8(1).u8(2);
    const Report br = report(broken.build());
    EXPECT_FALSE(hasLine(br.lines, "After 1"));
    EXPECT_EQ(lastLine(br), "Bytes consumed 64, Record size 70");
}

TEST(Report, OptionalDataFollowsTheRecordData) {
    FrameBuilder b = frameOf(7006);
    synth::data7006(b.data(), 4, 2);
    b.optionalData(7006).f32(12000.0f).f64(1.0).f64(0.5).f32(0.0f).u8(1).f32(0).f32(0).f32(0).f32(0).f32(0);
    for (int i = 0; i < 2; ++i) b.optionalData(7006).f32(1.0f).f32(2.0f).u32(7);
    const Report r = builtIn()(b.build());
    const auto at = lineIndex(r.lines, "------ Optional Data ------");
    ASSERT_GT(at, 0);
    EXPECT_EQ(r.lines[at - 1], "");
    EXPECT_EQ(r.lines[at + 2], "Opt. Latitude (deg) 57.29578");
    EXPECT_TRUE(hasLine(r.lines, "Opt. Center sample number 7"));
    const Bytes frame = b.build();
    EXPECT_EQ(r.lines[r.lines.size() - 2], verdictLine(frame.size() - 4, frame.size()));
}

TEST(Report, RemoteControlBodiesUseTheCommandDefinitions) {
    struct OneCommand : RemoteCommandDefinitions {
        std::vector<CRecordDataLayout> items{{"Range", "f", 4}, {"Mode", "u", 2, Enumeration{{3, "Auto"}}}};
        std::vector<CRecordDataLayout> none;
        const std::vector<CRecordDataLayout>& commandItems(std::uint32_t n) const override {
            return n == 1004 ? items : none;
        }
    } commands;
    const LayoutCatalogue c = buildLayoutCatalogue();
    RecordReporter reporter(c, commands);

    FrameBuilder b = frameOf(7500);
    b.data().u32(1004).u32(1).fill(16).f32(50.0f).u16(3);
    const Report r = reporter.report(b.build(), 0);
    EXPECT_TRUE(hasLine(r.lines, "Range 50.000"));
    EXPECT_TRUE(hasLine(r.lines, "Mode 3 - Auto"));
    EXPECT_EQ(r.lines[r.lines.size() - 2], verdictLine(64 + 30, 98));

    FrameBuilder unknown = frameOf(7500);
    unknown.data().u32(0).u32(1).fill(16);
    EXPECT_TRUE(hasLine(reporter.report(unknown.build(), 0).lines, "Failed to find a remote command number"));
}

TEST(Report, ListParametersOfACommandShowEveryValue) {
    struct ListCommand : RemoteCommandDefinitions {
        std::vector<CRecordDataLayout> items;
        std::vector<CRecordDataLayout> none;
        ListCommand() {
            items.emplace_back("N, Number of record numbers", "u", 4);
            items.emplace_back("Record number (or zero) (CSV)", "u", 4);
            items.back().countFieldName = "N, Number of record numbers";
        }
        const std::vector<CRecordDataLayout>& commandItems(std::uint32_t n) const override {
            return n == 1051 ? items : none;
        }
    } commands;
    const LayoutCatalogue c = buildLayoutCatalogue();
    RecordReporter reporter(c, commands);

    FrameBuilder b = frameOf(7500);
    b.data().u32(1051).u32(1).fill(16).u32(3).u32(7000).u32(7004).u32(7027);
    const Report r = reporter.report(b.build(), 0);
    EXPECT_TRUE(hasLine(r.lines, "Record number (or zero) (CSV) 7000"));
    EXPECT_TRUE(hasLine(r.lines, "Record number (or zero) (CSV) 7004"));
    EXPECT_TRUE(hasLine(r.lines, "Record number (or zero) (CSV) 7027"));
    EXPECT_EQ(r.lines[r.lines.size() - 2], verdictLine(64 + 24 + 16, 108));

    // A count the record cannot hold ends in "Data exhausted", not past the record.
    FrameBuilder cut = frameOf(7500);
    cut.data().u32(1051).u32(1).fill(16).u32(50).u32(7000);
    EXPECT_TRUE(hasLine(reporter.report(cut.build(), 0).lines, "Data exhausted"));

    // An empty list needs no bytes: one at the very end of the record is complete.
    FrameBuilder empty = frameOf(7500);
    empty.data().u32(1051).u32(1).fill(16).u32(0);
    const Report e = reporter.report(empty.build(), 0);
    EXPECT_FALSE(hasLine(e.lines, "Data exhausted"));
    EXPECT_EQ(e.lines[e.lines.size() - 2], verdictLine(64 + 24 + 4, 96));
}

TEST(Report, FileHeaderPointerSoundVelocityAndFlagsWithoutChecksum) {
    // The file header record's optional data is the catalog pointer, and the
    // verdict reaches the checksum.
    const Bytes header = synth::fileHeaderFrame(7125, 123456, 784);
    const Report h = builtIn()(header);
    EXPECT_TRUE(hasLine(h.lines, "File catalog size 784"));
    EXPECT_TRUE(hasLine(h.lines, "File catalog offset 123456"));
    EXPECT_EQ(h.lines[h.lines.size() - 2], verdictLine(header.size() - 4, header.size()));

    // A sound velocity profile as the record command builds it.
    FrameBuilder svp = frameOf(1009);
    svp.data().u8(1).u8(0).u16(0).f64(0.7).f64(-2.1).u32(2).f32(10).f32(1500).f32(20).f32(1499);
    const Report v = builtIn()(svp.build());
    EXPECT_TRUE(hasLine(v.lines, "Position flag 1 - Valid position"));
    EXPECT_TRUE(hasLine(v.lines, "Number of samples 2"));
    EXPECT_TRUE(hasLine(v.lines, "Sound velocity (m/s) 1499.000"));
    EXPECT_EQ(v.lines[v.lines.size() - 2], verdictLine(64 + 24 + 16, 108));

    // Flags that claim no checksum say so, whatever follows.
    Bytes unflagged = synth::sampleFrame(7022, 7125, 1, 0);
    unflagged[48] = 0;
    const Report u = builtIn()(unflagged);
    EXPECT_EQ(u.lines[u.lines.size() - 3], "No checksum claimed (flags bit 0 clear)");
    EXPECT_FALSE(hasLine(builtIn()(synth::sampleFrame(7022, 7125, 1, 0)).lines,
                         "No checksum claimed (flags bit 0 clear)"));

    // An optional data offset outside the frame is named as such, and a
    // refused count says why nothing is listed.
    Bytes odd = synth::sampleFrame(7004, 7125, 1, 0);
    ByteWriter w(odd);
    w.patch<std::uint32_t>(12, 0xFFFFFFFF);
    w.patch<std::uint32_t>(64 + 8, 2'000'000);
    const Report o = builtIn()(w.data());
    EXPECT_TRUE(hasLine(o.lines, "   OPTIONAL DATA OFFSET 4294967295 LIES OUTSIDE THE FRAME (Size 400), ident 0"));
    EXPECT_EQ(lineIndex(o.lines, "   Optional data present #bytes 4294967295, ident 0 "), -1);
    // One inside the header is said to be there, not outside the frame.
    for (std::uint32_t offset : {1u, 63u}) {
        w.patch<std::uint32_t>(12, offset);
        EXPECT_TRUE(hasLine(builtIn()(w.data()).lines,
                            "   OPTIONAL DATA OFFSET " + std::to_string(offset) +
                                " POINTS INTO THE HEADER (the data begins at byte 64), ident 0"));
    }
    EXPECT_TRUE(hasLine(o.lines, "COUNT REFUSED: Number of receiver beams 2000000, above 1,000,000: taken as 0"));
}

TEST(ReportHistory, MarksLinesThatDifferFromThePreviousReportOfTheSameType) {
    ReportHistory h;
    h.add({"a", "b"}, 7000);
    const auto& second = h.add({"a", "c", "d"}, 7000);
    ASSERT_EQ(second.size(), 3u);
    EXPECT_FALSE(second[0].changed);
    EXPECT_TRUE(second[1].changed);
    EXPECT_EQ(second[1].previous, 1u);
    EXPECT_FALSE(second[2].previous.has_value());
    const auto& other = h.add({"a", "x"}, 7004);
    EXPECT_FALSE(other[1].changed);
    EXPECT_EQ(h.previous().size(), 3u);
}
