#include "compare/compare.h"
#include "core/frame.h"
#include "decode/layout_loader.h"
#include "expr/predicate.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tarvik;
using namespace tarvik::compare;
using tarvik::testing::TempDir;

namespace {

const LayoutCatalogue& builtIn() {
    static const LoadedDefinitions defs = loadLayouts({}, false);
    return defs.catalogue;
}

// A bathymetry record (7027, paired by its record counter) with one detection
// block per quality and detection range given.
Bytes bathymetry(std::uint32_t counter, std::vector<std::uint32_t> qualities, float range = 100.5f,
                 std::uint32_t time = 0) {
    FrameBuilder b(7027);
    b.device(7125, 0).checksum(true).counter(counter).time(synth::sampleTime(counter + time));
    ByteWriter& d = b.data();
    d.u64(1234).u32(counter).u16(0).u32(static_cast<std::uint32_t>(qualities.size())).u32(34).u8(1).u32(0);
    d.put(12000.0f).put(0.0f).put(0.0f);
    for (int i = 0; i < 60; ++i) d.u8(0);
    std::uint16_t beam = 0;
    for (const std::uint32_t q : qualities) d.u16(beam++).put(range).put(0.1f).u32(0).u32(q).put(0.5f).put(-30.0f).put(0.0f).put(500.0f);
    return b.build();
}

// The records of one ping: a bathymetry record (7006, paired by ping number)
// and a 7027 (paired by record counter).
std::vector<Bytes> ping(std::uint32_t n) {
    return {synth::sampleFrame(7006, 7125, 2 * n, n), bathymetry(2 * n + 1, {1, 2, 3})};
}

std::string file(const TempDir& dir, const std::string& name, const std::vector<Bytes>& frames) {
    Bytes all;
    for (const Bytes& f : frames) all.insert(all.end(), f.begin(), f.end());
    return dir.write(name, all);
}

std::vector<Bytes> pings(std::uint32_t first, std::uint32_t last, std::uint32_t without = 0) {
    std::vector<Bytes> out;
    for (std::uint32_t n = first; n <= last; ++n)
        if (n != without)
            for (Bytes& f : ping(n)) out.push_back(std::move(f));
    return out;
}

struct Compared {
    CompareResult result;
    std::vector<Finding> findings;
};

Compared compared(const std::string& a, const std::string& b, const CompareOptions& options = {}) {
    Compared run;
    CompareObserver observer;
    observer.finding = [&](const Finding& f) { run.findings.push_back(f); };
    Result<CompareResult> r = compareFiles(a, b, builtIn(), options, observer);
    EXPECT_TRUE(r.ok()) << r.error();
    if (r) run.result = std::move(*r);
    return run;
}

} // namespace

TEST(Compare, ARecordingEqualsItselfAndSaysHowManyItPaired) {
    TempDir dir;
    const std::string a = file(dir, "a.vxr", pings(1, 20));
    const Compared run = compared(a, a);
    EXPECT_TRUE(run.result.equal());
    EXPECT_EQ(run.result.recordsA, 40u);
    EXPECT_EQ(run.result.types.at(7006).pairs, 20u);
    EXPECT_EQ(run.result.types.at(7027).equal, 20u);
    EXPECT_TRUE(run.findings.empty());
}

TEST(Compare, OneChangedFieldIsTheOnlyFinding) {
    TempDir dir;
    std::vector<Bytes> frames = pings(1, 10);
    // Ping 5's bathymetry record holds a detection of quality 9 in its second block.
    frames[9] = bathymetry(11, {1, 9, 3});
    const Compared run = compared(file(dir, "a.vxr", pings(1, 10)), file(dir, "b.vxr", frames));
    ASSERT_EQ(run.findings.size(), 1u);
    const Finding& f = run.findings[0];
    EXPECT_EQ(f.kind, Finding::Kind::Differs);
    EXPECT_EQ(f.field, "vx.7027.quality");
    EXPECT_EQ(f.element, "[1]");
    EXPECT_EQ(f.valueA, "2");
    EXPECT_EQ(f.valueB, "9");
    EXPECT_EQ(f.difference, 7.0);
    EXPECT_EQ(f.rowA, 9u);
    EXPECT_EQ(f.rowB, 9u);
    EXPECT_EQ(run.result.types.at(7027).differing, 1u);
    EXPECT_EQ(run.result.types.at(7027).equal, 9u);
    EXPECT_EQ(run.result.fields.at("vx.7027.quality").pairs, 1u);
}

TEST(Compare, AMissingOrExtraPingLeavesThePairingAfterItIntact) {
    TempDir dir;
    const std::string all = file(dir, "all.vxr", pings(1, 30));
    const std::string dropped = file(dir, "dropped.vxr", pings(1, 30, 12));
    for (const bool extraInB : {false, true}) {
        const Compared run = extraInB ? compared(dropped, all) : compared(all, dropped);
        ASSERT_EQ(run.findings.size(), 2u);  // one for each record of the ping
        for (const Finding& f : run.findings) {
            EXPECT_EQ(f.kind, extraInB ? Finding::Kind::OnlyInB : Finding::Kind::OnlyInA);
            EXPECT_EQ((extraInB ? f.rowB : f.rowA).value_or(0) / 2, 11u);  // ping 12's records
        }
        EXPECT_EQ(run.result.types.at(7006).pairs, 29u);
        EXPECT_EQ(run.result.types.at(7006).equal, 29u);
        EXPECT_EQ(run.result.types.at(7027).equal, 29u);
    }
}

TEST(Compare, ARecordWaitsForItsPartnerOnlyAsLongAsTheWindow) {
    TempDir dir;
    // A settings record opens A and closes B: its partner lies 60 records away.
    const Bytes settings = synth::sampleFrame(7000, 7125, 1000, 0);
    std::vector<Bytes> first = pings(1, 30), last = pings(1, 30);
    first.insert(first.begin(), settings);
    last.push_back(settings);
    const std::string a = file(dir, "a.vxr", first), b = file(dir, "b.vxr", last);
    CompareOptions narrow;
    narrow.window = 4;
    const Compared run = compared(a, b, narrow);
    ASSERT_EQ(run.findings.size(), 2u);
    EXPECT_EQ(run.findings[0].kind, Finding::Kind::OnlyInA);
    EXPECT_EQ(run.findings[1].kind, Finding::Kind::OnlyInB);
    EXPECT_EQ(run.result.types.at(7006).equal, 30u);
    EXPECT_EQ(run.result.types.at(7000).onlyInA, 1u);
    EXPECT_TRUE(compared(a, b).result.equal());
}

TEST(Compare, ToleranceHoldsAtItsBoundaryAndNotBeyond) {
    TempDir dir;
    // The detection ranges differ by exactly 0.5 (and 1 % of 101 is 1.01).
    const std::string a = file(dir, "a.vxr", {bathymetry(1, {1, 2}, 100.5f)});
    const std::string b = file(dir, "b.vxr", {bathymetry(1, {1, 2}, 101.0f)});
    const std::string range = "vx.7027.detection_point";
    auto withTolerance = [&](const std::string& text) {
        CompareOptions o;
        const Result<void> added = addTolerance(text, builtIn(), o);
        EXPECT_TRUE(added.ok()) << added.error();
        return compared(a, b, o);
    };
    EXPECT_FALSE(compared(a, b).result.equal());
    EXPECT_EQ(compared(a, b).result.fields.at(range).values, 2u);
    EXPECT_TRUE(withTolerance(range + "=0.5").result.equal());
    EXPECT_FALSE(withTolerance(range + "=0.49").result.equal());
    EXPECT_TRUE(withTolerance("7027=0.5").result.equal());  // every field of the type
    EXPECT_TRUE(withTolerance(range + "=0.4951%").result.equal());   // 0.5 of 101.0
    EXPECT_FALSE(withTolerance(range + "=0.49%").result.equal());
}

TEST(Compare, ManyDifferingElementsMakeOneSummary) {
    TempDir dir;
    const std::string a = file(dir, "a.vxr", {bathymetry(1, {1, 1, 1, 1, 1, 1})});
    const std::string b = file(dir, "b.vxr", {bathymetry(1, {2, 3, 1, 1, 9, 2})});
    const Compared run = compared(a, b);
    ASSERT_EQ(run.findings.size(), 1u);
    EXPECT_EQ(run.findings[0].field, "vx.7027.quality");
    EXPECT_EQ(run.findings[0].elementsDiffering, 4u);
    EXPECT_EQ(run.findings[0].elementsCompared, 6u);
    EXPECT_EQ(run.findings[0].difference, 8.0);
    EXPECT_NE(run.findings[0].line().find("4 of 6 values differ, largest difference 8"), std::string::npos);

    // A block only one side holds is a difference of each of its values.
    const Compared fewer = compared(a, file(dir, "c.vxr", {bathymetry(1, {1, 1, 1, 1, 1})}));
    bool absent = false;
    for (const Finding& f : fewer.findings) absent = absent || f.valueB == "(absent)";
    EXPECT_TRUE(absent);
    EXPECT_EQ(fewer.result.fields.count("vx.7027.number_of_detection_points"), 1u);
}

TEST(Compare, TimeAndCounterAreIgnoredUnlessAsked) {
    TempDir dir;
    // The same records, made an hour later.
    const std::string a = file(dir, "a.vxr", {bathymetry(1, {1}), bathymetry(2, {1})});
    const std::string b = file(dir, "b.vxr", {bathymetry(1, {1}, 100.5f, 7200), bathymetry(2, {1}, 100.5f, 7200)});
    EXPECT_TRUE(compared(a, b).result.equal());
    CompareOptions everything;
    everything.ignored.clear();
    const Compared run = compared(a, b, everything);
    EXPECT_EQ(run.result.fields.at("vx.time").pairs, 2u);
    EXPECT_EQ(run.result.fields.size(), 1u);
    // A prefix ignores a whole record type.
    CompareOptions prefix;
    prefix.ignored = {"vx.time", "vx.7027.*"};
    const std::string c = file(dir, "c.vxr", {bathymetry(1, {4}), bathymetry(2, {1})});
    EXPECT_TRUE(compared(a, c, prefix).result.equal());
    EXPECT_FALSE(compared(a, c).result.equal());
}

TEST(Compare, TheFilterChoosesTheRecordsOfBothSides) {
    TempDir dir;
    std::vector<Bytes> changed = pings(1, 5);
    changed[1] = bathymetry(3, {7, 2, 3});
    const std::string a = file(dir, "a.vxr", pings(1, 5)), b = file(dir, "b.vxr", changed);
    CompareOptions o;
    Result<RecordFilter> f = expr::compileFilter("7006", builtIn());
    ASSERT_TRUE(f.ok());
    o.filter = *f;
    const Compared run = compared(a, b, o);
    EXPECT_TRUE(run.result.equal());
    EXPECT_EQ(run.result.recordsA, 5u);
    EXPECT_EQ(run.result.types.count(7027), 0u);
}

TEST(Compare, DamagedBytesAreSteppedOverAndSaid) {
    TempDir dir;
    std::vector<Bytes> frames = pings(1, 4);
    Bytes garbage(100, 0xAB);
    frames.insert(frames.begin() + 4, garbage);
    const Compared run = compared(file(dir, "a.vxr", pings(1, 4)), file(dir, "b.vxr", frames));
    EXPECT_TRUE(run.result.equal());
    EXPECT_TRUE(run.result.notesA.empty());
    ASSERT_EQ(run.result.notesB.size(), 1u);
    EXPECT_NE(run.result.notesB[0].find("no frame at byte"), std::string::npos);

    EXPECT_FALSE(compareFiles(dir.file("none.vxr"), dir.file("a.vxr"), builtIn(), {}).ok());
}

TEST(Compare, OptionTextsNameTheirFieldsOrSayWhy) {
    CompareOptions o;
    EXPECT_TRUE(addTolerance("7027.quality=2", builtIn(), o).ok());
    EXPECT_EQ(o.fieldTolerances.count("vx.7027.quality"), 1u);
    EXPECT_TRUE(addTolerance("vx.7006=1%", builtIn(), o).ok());
    EXPECT_TRUE(o.typeTolerances.at(7006).relative);
    const Result<void> typo = addTolerance("7027.qualty=2", builtIn(), o);
    ASSERT_FALSE(typo.ok());
    EXPECT_NE(typo.error().find("did you mean vx.7027.quality"), std::string::npos) << typo.error();
    for (const char* bad : {"7027.quality", "7027.quality=", "7027.quality=-1", "7027.quality=x%", "=3"})
        EXPECT_FALSE(addTolerance(bad, builtIn(), o).ok()) << bad;

    const Result<std::vector<std::string>> names = ignoredNames("vx.time, 7027.quality,vx.7006.*", builtIn());
    ASSERT_TRUE(names.ok()) << names.error();
    EXPECT_EQ(*names, (std::vector<std::string>{"vx.time", "vx.7027.quality", "vx.7006.*"}));
    EXPECT_FALSE(ignoredNames("vx.tme", builtIn()).ok());
    EXPECT_TRUE(ignoredNames("", builtIn())->empty());
}

TEST(Compare, PingRecordsPairByPingNumberOthersByCounterThenTime) {
    TempDir dir;
    // B's server counted its records from 1000 on: its ping records still pair
    // by ping number, its bathymetry records (no ping number in the header's
    // sense) find no partner by counter.
    std::vector<Bytes> b;
    for (std::uint32_t n = 1; n <= 5; ++n) {
        b.push_back(synth::sampleFrame(7006, 7125, 1000 + 2 * n, n));
        b.push_back(bathymetry(1001 + 2 * n, {1, 2, 3}));
    }
    const Compared run = compared(file(dir, "a.vxr", pings(1, 5)), file(dir, "b.vxr", b));
    EXPECT_EQ(run.result.types.at(7006).equal, 5u);
    EXPECT_EQ(run.result.types.at(7027).onlyInA, 5u);
    EXPECT_EQ(run.result.types.at(7027).onlyInB, 5u);

    // Records without a counter pair by time, within the tolerance.
    auto timed = [](double seconds) {
        FrameBuilder f(7200 + 1);  // any type without a ping number
        VxTIME t = synth::sampleTime(1);
        t.seconds += static_cast<float>(seconds);
        f.device(7125, 0).time(t);
        for (int i = 0; i < 8; ++i) f.data().u8(0);
        return f.build();
    };
    const std::string early = file(dir, "t1.vxr", {timed(0)}), late = file(dir, "t2.vxr", {timed(0.25)});
    CompareOptions o;
    EXPECT_EQ(compared(early, late, o).result.types.at(7201).onlyInA, 1u);
    o.timeTolerance = 0.25;
    EXPECT_EQ(compared(early, late, o).result.types.at(7201).pairs, 1u);
}
