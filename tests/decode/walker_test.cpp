// The item walker: how structures fit at a record's end, the count rules of the
// definitions, and the byte layout it hands out.

#include "decode/catalogue/catalogue.h"
#include "decode/walker.h"
#include "tests/decode/decode_test_support.h"

#include <gtest/gtest.h>

using namespace tarvik;
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
