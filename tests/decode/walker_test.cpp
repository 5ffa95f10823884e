// The item walker: how structures fit at a record's end, the count rules of the
// definitions, and the byte layout it hands out.

#include "decode/catalogue/catalogue.h"
#include "decode/layout_loader.h"
#include "decode/record_json.h"
#include "decode/walker.h"
#include "tools/synth/sample_records.h"
#include "tests/decode/decode_test_support.h"
#include "tests/support/bounded_child.h"

#include <gtest/gtest.h>

using namespace tarvik;
using tarvik::testing::catalogueWith;
using tarvik::testing::hasLine;
using tarvik::testing::Reporter;

namespace {

Reporter& builtIn() {
    static Reporter r(buildLayoutCatalogue());
    return r;
}

// A record of `type` whose data section is `data`, with a checksum.
Bytes frame(std::uint32_t type, const Bytes& data, bool checksum = true) {
    FrameBuilder b(type);
    b.checksum(checksum);
    b.data().bytes(data);
    return b.build();
}

} // namespace

TEST(Walker, StructuresAtTheEndFitByWhatTheyConsume) {
    // Record 7007 without samples: both backscatter blocks have a count of 0 and
    // consume nothing, so the record ends cleanly in its checksum.
    const Report empty = builtIn()(frame(7007, ByteWriter().fill(64).take()));
    EXPECT_FALSE(hasLine(empty.lines, "Data exhausted"));
    EXPECT_EQ(empty.lines[empty.lines.size() - 2], "Bytes consumed 128, Record size 132, probably ends in checksum");

    // A vector at the very end with a count of 0 and one with elements missing.
    LayoutCatalogue c;
    CatalogueBuilder b(c);
    b.record(4100, "Tail").item("Count", "u", 4).item("Values", "vector", 3);
    b.vector(4100, 3, "Values", "u", 2, "Count");
    Reporter report(std::move(c));
    const Report none = report(frame(4100, ByteWriter().u32(0).take()));
    EXPECT_FALSE(hasLine(none.lines, "Data exhausted"));
    EXPECT_TRUE(hasLine(none.lines, "Values - no vector data to list"));
    const Report cut = report(frame(4100, ByteWriter().u32(3).u16(7).u16(8).take(), false));
    EXPECT_TRUE(hasLine(cut.lines, "Values 7 8 Data exhausted")) << ::testing::PrintToString(cut.lines);
}

TEST(Walker, CountRulesComeFromTheDefinitions) {
    // 7021's BITE vector always holds four elements; 1004's attitude block holds
    // one value per block, not the whole count again in each.
    LayoutCatalogue c = buildLayoutCatalogue();
    CatalogueBuilder b(c);
    b.record(4101, "Bite").item("Status", "vector", 0);
    c.vectors[BlockKey(5, 1, 4101, 0)] = c.vector(BlockKey(5, 1, 7021, 0));
    Reporter report(std::move(c));
    const Report bite = report(frame(4101, ByteWriter().u64(1).u64(2).u64(3).u64(4).take()));
    EXPECT_TRUE(hasLine(bite.lines, "Bite Status Bits 1 2 3 4")) << ::testing::PrintToString(bite.lines);

    const Bytes attitude = ByteWriter().u8(1).u8(0).u16(3).f32(10.0f).f32(1.5f).f32(2.5f).f32(3.5f).take();
    const Report samples = builtIn()(frame(1004, attitude));
    EXPECT_TRUE(hasLine(samples.lines, "Sensor data 1.500"));
    EXPECT_TRUE(hasLine(samples.lines, "Sensor data 3.500"));
    EXPECT_TRUE(hasLine(samples.lines, "Bytes consumed 84, Record size 88, probably ends in checksum"));
}

TEST(Walker, WalkedItemsCarryTheirOffsetsAndWidths) {
    LayoutCatalogue c;
    CatalogueBuilder b(c);
    b.record(4102, "Nested")
        .item("Serial", "u", 8)
        .item("Blocks", "u", 2)
        .item("Block", "repeat", 0)
        .item("Fixed", "constant", 7)
        .item("Tail", "f", 4);
    b.repeat(4102, 0, "Block", "Blocks").item("A", "u", 1).item("B", "s", 3);
    NoRemoteCommandDefinitions none;
    RecordReporter reporter(c, none);
    std::vector<WalkedField> fields;
    reporter.collectFields(&fields);
    reporter.report(frame(4102, ByteWriter().u64(1).u16(2).u8(1).fixedText("ab", 3).u8(2).fixedText("cd", 3).f32(1).take()), 0);

    struct Row {
        std::string name;
        std::int64_t offset, width;
        int depth;
    };
    std::vector<Row> got;
    for (const auto& f : fields) got.push_back({std::string(f.name), f.offset, f.width, f.depth});
    const std::vector<Row> expected = {{"Serial", 64, 8, 0}, {"Blocks", 72, 2, 0}, {"A", 74, 1, 1}, {"B", 75, 3, 1},
                                       {"A", 78, 1, 1},      {"B", 79, 3, 1},      {"Block", 74, 8, 0},
                                       {"Fixed", 82, 0, 0},  {"Tail", 82, 4, 0}};
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].name, expected[i].name) << i;
        EXPECT_EQ(got[i].offset, expected[i].offset) << i;
        EXPECT_EQ(got[i].width, expected[i].width) << i;
        EXPECT_EQ(got[i].depth, expected[i].depth) << i;
    }
}

// The quiet walk (no field text) must end every record exactly where the
// report's walk does: the same stopping lines in the same order and the same
// messages, over the built-in layouts with sample, random and damaged data.
namespace {

bool stopLine(const std::string& line) {
    return line == "Data exhausted" || line == "INSUFFICIENT DATA for specified repeats" ||
           line.starts_with(" Ran out of data in repeating blocks");
}

std::vector<std::string> stopLines(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (stopLine(l)) out.push_back(l);
    return out;
}

} // namespace

TEST(QuietWalk, EndsLikeTheReportOverGeneratedAndDamagedRecords) {
    // The built-in layouts, and a few of the structures only layout files bring.
    LayoutCatalogue extra;
    CatalogueBuilder b(extra);
    addVarStrings(b);
    b.record(7052, "Recording status")
        .item("Directory name length (characters, including NULL)", "u", 2)
        .item("Directory", "vstring", 0)
        .item("Tail", "u", 1);
    b.record(4000, "Back references").item("Length", "u", 1).item("Text", "sd", 1).item("Gap", "xd", 2).item("After", "u", 1);
    Reporter files(std::move(extra));

    std::uint32_t state = 12345;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    // Small values make counts, lengths and sizes that open blocks and vectors.
    const std::uint8_t palette[] = {0, 1, 2, 3, 4, 7, 16, 0xFF, 0x80, 0xFB};
    std::size_t compared = 0, stopped = 0, withMessages = 0;
    auto compare = [&](Reporter& r, const Bytes& f, const std::string& what) {
        const Report loud = r(f);
        const Report quiet = r.quiet(f);
        const auto expected = stopLines(loud.lines);
        ASSERT_EQ(stopLines(quiet.lines), expected) << what;
        ASSERT_EQ(quiet.messages, loud.messages) << what;
        ASSERT_EQ(quiet.consumed, loud.consumed) << what;
        ++compared;
        if (!expected.empty()) ++stopped;
        if (!loud.messages.empty()) ++withMessages;
    };
    for (Reporter* r : {&builtIn(), &files}) {
        for (const auto& [key, description] : r->catalogue().records) {
            const auto type = static_cast<std::uint32_t>(key.recordType);
            const Bytes sample = synth::sampleFrame(type, 7125, 1, 9);
            compare(*r, sample, "sample " + std::to_string(type));
            compare(*r, frame(type, Bytes(48, 0)), "zeros " + std::to_string(type));  // a hole of a sparse file
            for (int round = 0; round < 12; ++round) {
                const std::string what = std::to_string(type) + " round " + std::to_string(round);
                Bytes data(next() % 600);
                for (auto& byte : data)
                    byte = (next() & 3) ? palette[next() % sizeof palette] : static_cast<std::uint8_t>(next());
                compare(*r, frame(type, data), "random " + what);
                // The sample record cut short, and with bytes of its data section damaged.
                const std::size_t keep = kFrameHeaderSize + next() % (sample.size() - kFrameHeaderSize + 1);
                compare(*r, Bytes(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(keep)), "cut " + what);
                Bytes damaged = sample;
                for (int i = 0; i < 4 && damaged.size() > kFrameHeaderSize; ++i)
                    damaged[kFrameHeaderSize + next() % (damaged.size() - kFrameHeaderSize)] =
                        palette[next() % sizeof palette];
                compare(*r, damaged, "damaged " + what);
            }
        }
    }
    // The comparison means something only when walks did stop early and raise messages.
    EXPECT_GT(compared, 1000u);
    EXPECT_GT(stopped, 50u);
    EXPECT_GT(withMessages, 0u);
}

// Layouts from files can nest repeat blocks whose counts multiply: the walk is
// bounded by the record, not by the counts.
namespace {

// Every walk of one record: its report, the quiet walk, how many items the
// walk handed out and the record's JSON document.
struct Walks {
    Report loud, quiet;
    std::size_t fields = 0;
    std::string document;
};
Walks walksOf(const LayoutCatalogue& catalogue, const Bytes& record) {
    Walks w;
    Reporter report(catalogue);
    w.loud = report(record);
    w.quiet = report.quiet(record);
    std::vector<WalkedField> fields;
    NoRemoteCommandDefinitions none;
    RecordReporter reporter(catalogue, none);
    reporter.collectFields(&fields);
    const Report walked = reporter.report(record, 0);
    w.fields = fields.size();
    w.document = recordJson(record, 0, walked, fields, false, -1);
    return w;
}

} // namespace

TEST(BoundedWalk, BlocksThatTakeNoBytesAreShownOnceHoweverDeepTheyNest) {
    // Eight levels of blocks, each counted by a field holding 999, none taking a byte.
    std::string text = "records:\n  - {type: 4200, title: \"Nest\", items: [[\"N\", u, 4], [\"Outer\", repeat, 0]]}\n"
                       "repeats:\n";
    for (int level = 0; level < 8; ++level)
        text += "  - {type: 4200, block: " + std::to_string(level) + ", title: \"Level " + std::to_string(level) +
                "\", count: \"N\", items: [" +
                (level < 7 ? "[\"Inner\", repeat, " + std::to_string(level + 1) + "]" : std::string()) + "]}\n";
    const LayoutCatalogue catalogue = catalogueWith(text);
    const Bytes record = frame(4200, ByteWriter().u32(999).take());
    const std::string verdict = tarvik::testing::runBounded([&] {
        const auto [loud, quiet, fields, document] = walksOf(catalogue, record);
        return loud.lines.size() < 200 && hasLine(loud.lines, "Plus 998 more repeats") &&
               hasLine(loud.lines, "Inner Plus 998 more repeats") && quiet.consumed == loud.consumed &&
               loud.consumed == 68 && document.size() < 100'000;
    }, 10);
    EXPECT_EQ(verdict, "ok");

    // A block that runs out of data is shown once, not once per count.
    const Report cut = Reporter(catalogueWith(
        "records:\n  - {type: 4201, title: \"T\", items: [[\"N\", u, 4], [\"B\", repeat, 0], [\"After\", u, 1]]}\n"
        "repeats:\n  - {type: 4201, block: 0, title: \"Block\", count: \"N\", items: [[\"V\", u, 4]]}\n"))(
        frame(4201, ByteWriter().u32(50).u32(7).u32(8).take(), false));
    EXPECT_TRUE(hasLine(cut.lines, "Block 3")) << ::testing::PrintToString(cut.lines);
    EXPECT_FALSE(hasLine(cut.lines, "Block 4"));
    EXPECT_TRUE(hasLine(cut.lines, "Plus 47 more repeats")) << ::testing::PrintToString(cut.lines);
}

TEST(BoundedWalk, ARecordShowsAtMostItsItemBudgetAndSaysTheRestWasCut) {
    // 999 blocks of 999 one-byte blocks: a million items from one record.
    const LayoutCatalogue catalogue = catalogueWith(
        "records:\n  - {type: 4202, title: \"Wide\", items: [[\"N\", u, 4], [\"M\", u, 4], [\"Outer\", repeat, 0]]}\n"
        "repeats:\n"
        "  - {type: 4202, block: 0, title: \"Row\", count: \"N\", items: [[\"Cells\", repeat, 1]]}\n"
        "  - {type: 4202, block: 1, title: \"Cell\", count: \"M\", items: [[\"Byte\", u, 1]]}\n");
    ByteWriter data;
    data.u32(999).u32(999).fill(999 * 999, 5);
    const Bytes record = frame(4202, data.take());
    const std::string verdict = tarvik::testing::runBounded([&] {
        const auto [loud, quiet, fields, document] = walksOf(catalogue, record);
        const bool ok = hasLine(loud.lines, cutReportLine()) && hasLine(quiet.lines, cutReportLine()) &&
                        quiet.consumed == loud.consumed && fields <= std::size_t(kMaxItemsPerRecord) &&
                        loud.lines.size() < 3 * std::size_t(kMaxItemsPerRecord) + 100 &&
                        document.find("The rest of this record is cut") != std::string::npos &&
                        document.find("\"itemsCut\"") != std::string::npos;
        if (!ok) std::fprintf(stderr, "%zu lines, %zu fields, %zu bytes of JSON\n", loud.lines.size(), fields, document.size());
        return ok;
    }, 20);
    EXPECT_EQ(verdict, "ok");
}
