// Coverage of records by their layouts, and layout drafts guessed from records.

#include "decode/coverage.h"
#include "decode/layout_draft.h"
#include "decode/layout_loader.h"
#include "tests/decode/decode_test_support.h"
#include "tests/support/hidden_records.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace tarvik;
using namespace tarvik::testing;

namespace {

RecordCoverage coverageOf(const LayoutCatalogue& catalogue, const Bytes& frame) {
    NoRemoteCommandDefinitions none;
    RecordReporter reporter(catalogue, none);
    std::vector<WalkedField> fields;
    reporter.collectFields(&fields);
    reporter.report(frame, 0);
    return recordCoverage(frame, fields);
}

} // namespace

TEST(Coverage, TitleOnlyGapAndTail) {
    const Bytes frame = hiddenRecord(3);  // 32 + 22 * 12 data bytes
    const std::size_t data = kHiddenFixedPart + 22 * kHiddenElement;
    ASSERT_EQ(frame.size(), 64 + data + 4);

    // Title only: every data byte, none of the header or the checksum.
    const RecordCoverage bare = coverageOf(catalogueWith(""), frame);
    ASSERT_EQ(bare.undecoded, (std::vector<UndecodedRange>{{64, data}}));
    EXPECT_EQ(undecodedKind(bare, bare.undecoded[0]), "no layout items");
    EXPECT_EQ(coverageLine(bare), "   NOT DECODED: " + std::to_string(data) + " of " + std::to_string(data) +
                                      " data bytes at 64-" + std::to_string(64 + data - 1));

    // A layout that skips bytes 8..11 (an sd-free gap via a short item list) and stops after 20 bytes.
    const RecordCoverage partial = coverageOf(catalogueWith(R"(records:
  - type: 7032
    title: "Vx 7032 Record"
    items:
      - ["Serial", u, 8]
      - ["Skipped", constant, 0]
      - ["Frequency", f, 4]
)"),
                                              frame);
    // "Frequency" reads bytes 8..11 (the ping number), so only the tail is left.
    EXPECT_EQ(partial.undecoded, (std::vector<UndecodedRange>{{64 + 12, data - 12}}));
    EXPECT_EQ(undecodedKind(partial, partial.undecoded[0]), "after the last item");

    // The full layout decodes every byte.
    const RecordCoverage full = coverageOf(catalogueWith(kHiddenLayout), frame);
    EXPECT_TRUE(full.undecoded.empty());
    EXPECT_EQ(coverageLine(full), "   All " + std::to_string(data) + " data bytes decoded");
}

TEST(Coverage, GapsBetweenWalkedItemsAndShortFrames) {
    Bytes frame(64 + 40 + 4, 0);
    std::vector<WalkedField> fields = {{"a", "u", 64, 4, 0, 0, 0}, {"b", "u", 72, 8, 0, 0, 0}, {"block", "repeat", 80, 16, 0, 0, 0},
                                       {"inner", "u", 84, 4, 1, 0, 0}};
    // The header claims more bytes than are held: the held bytes count.
    frame[8] = static_cast<std::uint8_t>(frame.size());
    const RecordCoverage c = recordCoverage(frame, fields);
    EXPECT_EQ(c.undecoded, (std::vector<UndecodedRange>{{68, 4}, {96, 8}}));
    EXPECT_EQ(undecodedKind(c, c.undecoded[0]), "between items");
    EXPECT_EQ(undecodedKind(c, c.undecoded[1]), "after the last item");
    EXPECT_EQ(c.undecodedBytes(), 12u);

    // A frame the file ends inside: the missing bytes up to the checksum field
    // are not decoded, a range of their own; the items over held bytes still count.
    Bytes cut = frame;
    cut[8] = 200;
    const RecordCoverage c2 = recordCoverage(cut, fields);
    EXPECT_EQ(c2.dataBytes(), 200u - 64 - 4);
    EXPECT_EQ(c2.undecoded, (std::vector<UndecodedRange>{{68, 4}, {96, 12}, {108, 88}}));
    EXPECT_EQ(undecodedKind(c2, c2.undecoded[1]), "after the last item");
    EXPECT_EQ(undecodedKind(c2, c2.undecoded[2]), "cut off");
    EXPECT_EQ(coverageLine(c2), "   NOT DECODED: 104 of 132 data bytes at 68-71, 96-107, 108-195 (88 of them cut off)");
    // Only the header held: all of the data is missing.
    const RecordCoverage headerOnly = recordCoverage(ByteSpan(cut).first(64), fields);
    EXPECT_EQ(headerOnly.undecoded, (std::vector<UndecodedRange>{{64, 132}}));
    EXPECT_EQ(undecodedKind(headerOnly, headerOnly.undecoded[0]), "cut off");

    // Fewer bytes than a header: nothing to cover, nothing read out of bounds.
    const Bytes tiny(10, 0xFF);
    EXPECT_EQ(recordCoverage(tiny, fields).undecodedBytes(), 0u);
}

TEST(LayoutDraft, FindsTheCountFieldAndTheElementSize) {
    LayoutDraft draft(kHiddenType);
    for (std::uint32_t i = 0; i < 300; ++i) EXPECT_TRUE(draft.add(hiddenRecord(i)));
    FrameBuilder other(7000);
    other.data().u32(1);
    EXPECT_FALSE(draft.add(other.build()));
    EXPECT_EQ(draft.records(), 300u);
    EXPECT_FALSE(draft.fixedSize());

    const auto counts = draft.countFields();
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.front().offset, kHiddenCountOffset);
    EXPECT_EQ(counts.front().width, 4);
    EXPECT_EQ(counts.front().fixedPart, kHiddenFixedPart);
    EXPECT_EQ(counts.front().elementSize, kHiddenElement);

    const std::string yaml = draft.yaml("Vx 7032 Record", {"a.vxr"});
    EXPECT_NE(yaml.find("[\"unknown_80\", u, 4]    # count field? its value x 12 bytes"), std::string::npos) << yaml;
    EXPECT_NE(yaml.find("[\"unknown_64\", u, 8]    # the same in every record: 7125001"), std::string::npos) << yaml;
    EXPECT_NE(yaml.find("[\"unknown_72\", u, 4]    # rises from record to record"), std::string::npos) << yaml;
    EXPECT_NE(yaml.find("[\"unknown_76\", f, 4]"), std::string::npos) << yaml;
    EXPECT_NE(yaml.find("[\"unknown_84\", x, 4]    # zero in every record"), std::string::npos) << yaml;

    // The catalogue takes the draft as it is, and it decodes every byte of the records.
    TempDir dir;
    const std::string path = dir.write("draft.yaml", Bytes(yaml.begin(), yaml.end()));
    EXPECT_TRUE(checkLayoutFiles({path}).empty());
    const LayoutCatalogue catalogue = catalogueWith(yaml);
    for (std::uint32_t i : {0u, 5u, 77u}) EXPECT_TRUE(coverageOf(catalogue, hiddenRecord(i)).undecoded.empty());
}

TEST(LayoutDraft, FixedSizeRecordsAndOneRecord) {
    LayoutDraft draft(7033);
    for (std::uint32_t i = 0; i < 10; ++i) {
        FrameBuilder b(7033);
        b.data().u32(i * 3).u16(0).u16(0).f32(2.5f * static_cast<float>(i + 1)).u8(7);
        draft.add(b.build());
    }
    EXPECT_TRUE(draft.fixedSize());
    EXPECT_TRUE(draft.countFields().empty());
    const std::string yaml = draft.yaml("", {"b.vxr"});
    EXPECT_NE(yaml.find("title: \"Record 7033 (draft)\""), std::string::npos);
    EXPECT_NE(yaml.find("# Size: fixed, 13 bytes"), std::string::npos) << yaml;
    EXPECT_NE(yaml.find("[\"unknown_76\", u, 1]    # the same in every record: 7"), std::string::npos) << yaml;
    EXPECT_TRUE(catalogueWith(yaml).records.size() > 0);

    LayoutDraft single(7033);
    FrameBuilder b(7033);
    b.data().u32(5);
    single.add(b.build());
    EXPECT_NE(single.yaml("", {}).find("one record only"), std::string::npos);

    // No data at all still gives a file the catalogue takes.
    LayoutDraft empty(7033);
    empty.add(FrameBuilder(7033).build());
    EXPECT_TRUE(catalogueWith(empty.yaml("", {})).records.size() > 0);
}
