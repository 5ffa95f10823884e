// The layout model's look-ups and rules, and what the built-in catalogue holds.

#include "decode/catalogue/catalogue.h"
#include "decode/catalogue/enumerations.h"

#include <gtest/gtest.h>

using namespace tarvik;

TEST(FieldValueList, CountLookupClampsAndTakesTheFirstMatch) {
    FieldValueList v;
    v.add("Negative", -5);
    v.add("Too many", 1'000'001);
    v.add("Limit", 1'000'000);
    v.add("Twice", 3);
    v.add("Twice", 9);
    EXPECT_EQ(v.countLookup("Negative"), 0);
    EXPECT_EQ(v.countLookup("Too many"), 0);
    EXPECT_EQ(v.countLookup("Limit"), 1'000'000);
    EXPECT_EQ(v.countLookup("Twice"), 3);
    EXPECT_EQ(v.countLookup("twice"), 0);  // case-sensitive
    EXPECT_EQ(v.countLookup(""), 0);
    EXPECT_EQ(v.sizeRuleLookup("Negative"), -5);
    EXPECT_EQ(v.sizeRuleLookup("Absent"), -1);
}

TEST(SizeRule, SelectsWidthsFromBitsOfTheSourceField) {
    const LayoutCatalogue c = buildLayoutCatalogue();
    const auto& items = c.beamSampleLayout.items;
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].sizeRule.mask, 15u);

    FieldValueList v;
    v.add("Data sample type", 0x0123);
    EXPECT_EQ(evaluateSizeRule(items[0].sizeRule, v), 4);  // amplitude code 3
    EXPECT_EQ(evaluateSizeRule(items[1].sizeRule, v), 2);  // phase code 2
    EXPECT_EQ(evaluateSizeRule(items[2].sizeRule, v), 2);  // I code 1
    EXPECT_EQ(evaluateSizeRule(items[3].sizeRule, v), 2);

    // Not decoded: all ones (15), not in the table, so one byte.
    EXPECT_EQ(evaluateSizeRule(items[0].sizeRule, FieldValueList{}), 1);
    FieldValueList zero;
    zero.add("Data sample type", 0);
    EXPECT_EQ(evaluateSizeRule(items[0].sizeRule, zero), 0);

    SizeRule withMultiplier("Kind", 0, 1, {{1, 2}}, "Count");
    FieldValueList m;
    m.add("Kind", 1);
    m.add("Count", 7);
    EXPECT_EQ(evaluateSizeRule(withMultiplier, m), 14);
    EXPECT_EQ(evaluateSizeRule(SizeRule{}, m), 0);
}

TEST(BackReference, CountsBackFromTheNewestField) {
    FieldValueList v;
    v.add("a", 10);
    v.add("b", 20);
    std::int32_t length = 0;
    ASSERT_TRUE(backReference(v, 1, length));
    EXPECT_EQ(length, 20);
    ASSERT_TRUE(backReference(v, 0, length));
    EXPECT_EQ(length, 20);
    ASSERT_TRUE(backReference(v, 2, length));
    EXPECT_EQ(length, 10);
    EXPECT_FALSE(backReference(v, 3, length));
    EXPECT_FALSE(backReference(FieldValueList{}, 1, length));
}

TEST(Keys, OrderByTypeThenIndexThenVersions) {
    EXPECT_LT((RecordKey{9, 9, 7000}), (RecordKey{1, 1, 7001}));
    EXPECT_LT((RecordKey{9, 1, 7000}), (RecordKey{1, 2, 7000}));
    EXPECT_LT((BlockKey{9, 9, 7000, 0}), (BlockKey{1, 1, 7000, 1}));
    EXPECT_LT((BlockKey{1, 1, 7000, 5}), (BlockKey{1, 1, 7001, 0}));
}

TEST(Catalogue, HoldsTheTablesAndFindsByFullKey) {
    const LayoutCatalogue c = buildLayoutCatalogue();
    std::size_t titled = 0;
    for (const auto& [key, d] : c.records) titled += d.title.empty() ? 0 : 1;
    EXPECT_EQ(titled, 112u);
    EXPECT_EQ(c.repeats.size(), 41u);
    EXPECT_EQ(c.vectors.size(), 57u);
    EXPECT_EQ(c.varStrings.size(), 2u);
    EXPECT_EQ(c.optionalData.size(), 4u);  // with the file header's catalog pointer

    EXPECT_EQ(c.record(RecordKey{5, 1, 7000}).title, "Vx volatile sonar settings");
    EXPECT_TRUE(c.record(RecordKey{5, 2, 7000}).items.empty());  // another record version
    EXPECT_EQ(c.record(RecordKey{5, 2, 7000}).title, "");
    const RepeatDescription& xyz = c.repeat(BlockKey{5, 1, 2000, 0});
    EXPECT_EQ(xyz.title, "XYZ Data");
    EXPECT_EQ(xyz.countField, "Frames in Data Record");

    // Fixed parts add up to the sizes the protocol gives.
    auto fixedBytes = [&](std::int32_t type) {
        std::int32_t sum = 0;
        for (const auto& item : c.record(RecordKey{5, 1, type}).items)
            if (item.format != "repeat" && item.format != "7008PingData" && item.format != "vector") sum += item.number;
        return sum;
    };
    EXPECT_EQ(fixedBytes(7000), 156);
    EXPECT_EQ(fixedBytes(7008), 30);
    EXPECT_EQ(fixedBytes(7027), 99);
    EXPECT_EQ(fixedBytes(7200), 316);
    EXPECT_EQ(fixedBytes(1003), 37);
}

TEST(Catalogue, StartUpCheckNamesUntitledBlocksAndUnknownOwnersDecodeAsUnknown) {
    LayoutCatalogue c = buildLayoutCatalogue();
    EXPECT_TRUE(checkLayoutCatalogue(c).empty());
    c.repeats[BlockKey{5, 1, 4242, 0}] = RepeatDescription{{}, 4242, "", "Count", "", ""};
    const auto problems = checkLayoutCatalogue(c);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "The description for REPEAT record type 4242 is empty");

    // A type with repeat blocks but no layout gets an empty (untitled) record entry.
    const LayoutCatalogue built = buildLayoutCatalogue();
    EXPECT_EQ(built.records.count(RecordKey{5, 1, 7007}), 1u);
}

TEST(Enumerations, BitCombinationsAndErrorCodes) {
    const Enumeration filters = filterFlags7017();
    ASSERT_EQ(filters.size(), 64u);
    EXPECT_EQ(filters[0].text, "filters disabled");
    EXPECT_EQ(filters[5].text, "User-defined depth filter enabled, Automatic filter enabled");
    EXPECT_EQ(filters[37].text, "User-defined depth filter enabled, Automatic filter enabled, Quality Filter applied");
    EXPECT_EQ(flags7012()[3].text, "Pitch, Roll applied");
    EXPECT_EQ(flags7012()[0].text, "Motion off");
    EXPECT_EQ(flags7042()[5].text, "BDA point + Compress to 8 bits");
    EXPECT_EQ(flags7042()[0].text, "None");
    EXPECT_EQ(controlFlags7028()[3].text, "Auto Snippet Window, Quality Filtering Enabled");
    EXPECT_EQ(controlFlags7028()[13].text, "Auto Snippet Window, Min Snippet window req, Max Snippet window req.");
    const Enumeration positions = positioningMethod1003();
    ASSERT_EQ(positions.size(), 17u);
    EXPECT_EQ(positions[12].text, positions[6].text);
    EXPECT_EQ(positions[16].text, "RTK Float");
    EXPECT_EQ(protocolErrorCodes().size(), 41u);
}
