// The built-in layouts as the build compiles them: the program must hold
// exactly what parsing the definition files gives, also once the user's own
// files are loaded on top, and must never take a damaged image for one; its
// descriptions looked up one at a time are those it holds.

#include "core/bytes.h"
#include "core/frame.h"
#include "decode/catalogue/catalogue.h"
#include "decode/layout_image.h"
#include "decode/layout_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

using namespace tarvik;

namespace {

LayoutLoader parsedBuiltIn() {
    LayoutLoader loader;
    loader.addBuiltInTexts(builtInLayoutFiles());
    return loader;
}

// A file that gives every part of the model a value other than its default,
// so that a part the image leaves out shows as a difference.
constexpr const char* kEveryPart = R"yaml(
enumerations:
  on-off: {0: "Off", 1: "On"}
  sample-bits: {bits: ["Low", "High"], separator: " + ", none: "Neither", suffix: " set"}
beam-sample:
  title: "Samples"
  items:
    - {name: "Amplitude", format: u, width: 0,
       size: {field: "Sample type", bits: [0, 3], table: {0: 0, 1: 1, 2: 2}, multiplier: "Channels"}}
records:
  - type: 7008
    title: "Beam data"
    version: 1
    items:
      - ["Sample type", u, 4, sample-bits]
      - ["Channels", u, 2]
      - ["Count", u, 2]
      - ["Flags", u, 2, on-off]
      - ["Block size", u, 4]
      - ["Name length", u, 2]
      - ["Blocks", repeat, 0]
      - ["Values", vector, 1]
      - ["Name", vstring, 2]
  - type: 4242
    title: "Other versions"
    protocol: 6
    version: 3
    items:
      - ["Only", i, 2, {-1: "Minus one"}]
optional-data:
  - type: 7008
    title: "Extra"
    items:
      - ["Extra", f, 4]
repeats:
  - type: 7008
    block: 0
    title: "Block"
    count: "Count"
    flags: "Flags"
    block-size: "Block size"
    items:
      - ["Inner", u, 1]
vectors:
  - {type: 7008, block: 1, element: "Value", title: "The values", format: u, width: 0, count: "Count",
     second: "Flags", size: {field: "Sample type", bits: [4, 5], table: {0: 1, 1: 2}},
     count-rule: {mask: 6, select: count, scale: one, shift: 1, times: 3, plus: 2},
     block-count-rule: {fixed: 7}}
var-strings:
  - {type: 7008, block: 2, name: "Label", length: "Name length"}
commands:
  - id: "9001"
    title: "Made up"
    version: 2
    protocol: 7
    params:
      - ["N", u, 4]
      - {name: "List", format: u, width: 4, count: "N", preset: 2.5, enum: {1: "One"}}
      - name: "Mask"
        format: u
        width: 4
        bits:
          - [0, 3, "Low nibble"]
          - {first: 4, last: 5, description: "Mode", enum: {0: "A", 1: "B"}}
      - {name: "Rows", format: repeat, width: 0, count: "N"}
  - id: "9002"
    title: "Undescribed"
    parameters: unknown
    count: 3
command-repeats:
  - id: "9001"
    block: 0
    version: 2
    protocol: 7
    title: "Row"
    count: "N"
    items:
      - ["Depth", f, 4]
)yaml";

} // namespace

TEST(LayoutImage, CompiledBuiltInsAreWhatParsingTheFilesGives) {
    const std::size_t parsedBefore = layoutTextsParsed();
    LayoutLoader compiled;
    compiled.addBuiltIn();
    EXPECT_EQ(layoutTextsParsed(), parsedBefore) << "the built-in files were parsed at run time";

    LayoutLoader parsed = parsedBuiltIn();
    EXPECT_EQ(layoutTextsParsed(), parsedBefore + builtInLayoutFiles().size());
    // Everything the loaders hold, compared whole: every layout, item,
    // enumeration, rule, command, where each came from and the budgets left.
    ASSERT_TRUE(compiled.definitions() == parsed.definitions());
    EXPECT_FALSE(compiled.definitions().out.catalogue.records.empty());
    EXPECT_FALSE(compiled.definitions().commands.empty());

    const LoadedDefinitions a = compiled.finish(), b = parsed.finish();
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(a.problems.empty());
    // The sample-type tables read the beam-sample layout alone from the image.
    EXPECT_FALSE(b.catalogue.beamSampleLayout.items.empty());
    EXPECT_TRUE(builtInBeamSampleLayout() == b.catalogue.beamSampleLayout);
}

TEST(LayoutImage, UserFilesLoadOnTheCompiledBuiltInsAsOnTheParsedOnes) {
    // A user file that uses a built-in enumeration, replaces a built-in record,
    // and breaks another whose fault is reported at the built-in file's line.
    const std::string user = R"yaml(
records:
  - type: 7001
    title: "Replaced"
    items:
      - ["Sequence", u, 2, multi-ping-sequence]
repeats:
  - type: 7027
    block: 0
    title: "Broken"
    count: "No such field"
    items:
      - ["Beam", u, 2]
)yaml";
    LayoutLoader compiled;
    compiled.addBuiltIn();
    compiled.addText("user.yaml", user);
    LayoutLoader parsed = parsedBuiltIn();
    parsed.addText("user.yaml", user);
    ASSERT_TRUE(compiled.definitions() == parsed.definitions());
    const LoadedDefinitions a = compiled.finish(), b = parsed.finish();
    ASSERT_FALSE(a.problems.empty());
    EXPECT_EQ(a.problems.front().message(), b.problems.front().message());
    EXPECT_TRUE(a == b);

    // Built-ins asked for after another file are parsed, and come out the same as ever.
    LayoutLoader later;
    later.addText("first.yaml", "records: []\n");
    const std::size_t parsedBefore = layoutTextsParsed();
    later.addBuiltIn();
    EXPECT_EQ(layoutTextsParsed(), parsedBefore + builtInLayoutFiles().size());
    LayoutLoader reference;
    reference.addText("first.yaml", "records: []\n");
    reference.addBuiltInTexts(builtInLayoutFiles());
    EXPECT_TRUE(later.definitions() == reference.definitions());
}

TEST(LayoutImage, EveryPartOfTheModelSurvivesTheImage) {
    LayoutLoader loader;
    loader.addText("every-part.yaml", kEveryPart);
    ASSERT_TRUE(loader.definitions().out.problems.empty()) << loader.definitions().out.problems.front().message();
    const auto& d = loader.definitions();
    // The file reaches the parts it is meant to reach.
    ASSERT_EQ(d.commands.size(), 2u);
    ASSERT_EQ(d.commands.begin()->second.parameters.size(), 4u);
    EXPECT_TRUE(d.commands.begin()->second.parameters[1].hasPreset);
    EXPECT_EQ(d.commands.begin()->second.parameters[2].bitFields.at(1).values.size(), 2u);
    EXPECT_EQ(d.out.catalogue.beamSampleLayout.items.at(0).sizeRule.multiplierField, "Channels");

    LoaderDefinitions back;
    ASSERT_TRUE(readLayoutImage(loader.builtInImage(), back));
    EXPECT_TRUE(back == d);
    EXPECT_EQ(back.commands.begin()->second.parameters[1].preset, 2.5);
    EXPECT_TRUE(back.out.catalogue.records.begin()->second.items.front().formatEntry != nullptr);
}

TEST(LayoutImage, ADamagedImageIsRefusedWhole) {
    LayoutLoader loader;
    loader.addText("every-part.yaml", kEveryPart);
    const std::string image = loader.builtInImage();
    LoaderDefinitions back;
    EXPECT_FALSE(readLayoutImage({}, back));
    // Cut anywhere: never read as whole (every cut, not a sample of them).
    for (std::size_t cut = 0; cut < image.size(); ++cut)
        ASSERT_FALSE(readLayoutImage(std::string_view(image).substr(0, cut), back)) << "cut at " << cut;
    EXPECT_FALSE(readLayoutImage(image + "x", back));
    std::string otherVersion = image;
    otherVersion[4] = static_cast<char>(otherVersion[4] + 1);
    EXPECT_FALSE(readLayoutImage(otherVersion, back));
    // A length that claims more than the image holds.
    std::string huge = image;
    huge.replace(8, 4, std::string("\xff\xff\xff\x7f", 4));
    EXPECT_FALSE(readLayoutImage(huge, back));
    // A format the program does not know, where one was resolved.
    std::string unknown = image;
    const std::size_t at = unknown.find(std::string_view("\x01\x00\x00\x00u", 5));  // a one-letter format text
    ASSERT_NE(at, std::string::npos);
    unknown[at + 4] = 'Z';
    EXPECT_FALSE(readLayoutImage(unknown, back));
    EXPECT_TRUE(readLayoutImage(image, back));
}

namespace {

template <typename Map, typename Lookup>
void expectSameLookups(const Map& eager, const Lookup& lookup, const char* what) {
    for (const auto& [key, value] : eager) EXPECT_TRUE(lookup(key) == value) << what << " " << key.recordType;
}

} // namespace

TEST(LayoutImage, LookedUpBuiltInsAreWhatTheWholeReadingGives) {
    const LoadedDefinitions eager = loadLayouts({}, false);
    LayoutLoader loader;
    ASSERT_TRUE(loader.addBuiltInForLookups());
    const LoadedDefinitions lazy = loader.finish();
    const LayoutCatalogue& c = lazy.catalogue;
    ASSERT_NE(c.builtIns, nullptr);
    EXPECT_TRUE(c.records.empty() && c.repeats.empty() && c.vectors.empty() && c.optionalData.empty() &&
                c.varStrings.empty());

    // Every description of every built-in type, looked up one by one.
    const LayoutCatalogue& e = eager.catalogue;
    ASSERT_FALSE(e.records.empty());
    expectSameLookups(e.records, [&](const RecordKey& k) { return c.record(k); }, "record");
    expectSameLookups(e.optionalData, [&](const RecordKey& k) { return c.optional(k); }, "optional data");
    expectSameLookups(e.repeats, [&](const BlockKey& k) { return c.repeat(k); }, "repeat");
    expectSameLookups(e.vectors, [&](const BlockKey& k) { return c.vector(k); }, "vector");
    expectSameLookups(e.varStrings, [&](const BlockKey& k) { return c.varString(k); }, "variable text");
    // No more keys than the whole reading has.
    EXPECT_EQ(c.builtIns->recordKeys().size() + c.builtIns->optionalKeys().size() + c.builtIns->repeatKeys().size() +
                  c.builtIns->vectorKeys().size() + c.builtIns->varStringKeys().size(),
              // A type with repeat blocks but no layout gets an empty record when the loader finishes.
              e.records.size() - std::count_if(e.records.begin(), e.records.end(),
                                               [](const auto& r) { return r.second == RecordDescription{}; }) +
                  e.optionalData.size() + e.repeats.size() + e.vectors.size() + e.varStrings.size());
    EXPECT_TRUE(c.record(RecordKey{kCatalogueProtocolVersion, kCatalogueRecordVersion, 1}) == RecordDescription{});
    EXPECT_TRUE(c.repeat(BlockKey(kCatalogueProtocolVersion, kCatalogueRecordVersion, 7027, 99)) == RepeatDescription{});
    // A description is unpacked once: a second look-up gives the same one.
    const RecordKey key = e.records.begin()->first;
    EXPECT_EQ(&c.record(key), &c.record(key));

    // Everything besides the catalogue's maps is what the whole reading gives.
    EXPECT_TRUE(c.beamSampleLayout == e.beamSampleLayout);
    EXPECT_TRUE(lazy.commands == eager.commands);
    EXPECT_TRUE(lazy.commandRepeats == eager.commandRepeats);
    EXPECT_TRUE(lazy.sources == eager.sources);
    EXPECT_TRUE(lazy.problems == eager.problems);
    EXPECT_FALSE(lazy.commands.empty());

    // A loader that holds anything already does not take them so.
    LayoutLoader used;
    used.addText("first.yaml", "records: []\n");
    EXPECT_FALSE(used.addBuiltInForLookups());
}

TEST(LayoutImage, ThreadsLookingUpTogetherShareOneDescription) {
    const LoadedDefinitions eager = loadLayouts({}, false);
    const std::unique_ptr<const BuiltInLayouts> fresh = BuiltInLayouts::index(builtInLayoutImage());
    ASSERT_NE(fresh, nullptr);
    const std::vector<RecordKey> keys = fresh->recordKeys();
    std::vector<std::vector<const RecordDescription*>> seen(4);
    std::vector<std::thread> threads;
    for (auto& s : seen)
        threads.emplace_back([&] {
            for (const RecordKey& k : keys) s.push_back(fresh->record(k));
        });
    for (auto& t : threads) t.join();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        ASSERT_NE(seen[0][i], nullptr);
        for (const auto& s : seen) EXPECT_EQ(s[i], seen[0][i]);
        EXPECT_TRUE(*seen[0][i] == eager.catalogue.records.at(keys[i]));
    }
}

TEST(LayoutImage, ADamagedCatalogueIsNotIndexed) {
    LayoutLoader loader;
    loader.addText("every-part.yaml", kEveryPart);
    const std::string image = loader.builtInImage();
    const std::unique_ptr<const BuiltInLayouts> whole = BuiltInLayouts::index(image);
    ASSERT_NE(whole, nullptr);
    EXPECT_FALSE(whole->recordKeys().empty());
    for (std::size_t cut = 0; cut < whole->catalogueEnd(); ++cut)
        ASSERT_EQ(BuiltInLayouts::index(std::string_view(image).substr(0, cut)), nullptr) << "cut at " << cut;
    std::string unknown = image;
    const std::size_t at = unknown.find(std::string_view("\x01\x00\x00\x00u", 5));
    ASSERT_NE(at, std::string::npos);
    ASSERT_LT(at, whole->catalogueEnd());
    unknown[at + 4] = 'Z';
    EXPECT_EQ(BuiltInLayouts::index(unknown), nullptr);

    // The index steps over the descriptions by their lengths; the catalogue's
    // sum in the header stands for them until one is read. With the sum made
    // to match the damage, the index is made, and the damaged description is
    // refused where it is read: looked up, and in the whole catalogue.
    auto withSum = [](std::string damaged) {
        const std::uint32_t length = readLEOr0<std::uint32_t>(asBytes(damaged), 8);
        const std::uint32_t sum = computeChecksum(asBytes(std::string_view(damaged).substr(16, length)), length);
        for (std::size_t i = 0; i < 4; ++i) damaged[12 + i] = static_cast<char>((sum >> (8 * i)) & 0xFF);
        return damaged;
    };
    ASSERT_NE(BuiltInLayouts::index(withSum(image)), nullptr);
    // A format near the catalogue's end: in a description, not in the
    // beam-sample layout that the index reads.
    std::string late = image;
    const std::size_t lateAt = late.rfind(std::string_view("\x01\x00\x00\x00u", 5), whole->catalogueEnd() - 5);
    ASSERT_NE(lateAt, std::string::npos);
    late[lateAt + 4] = 'Z';
    EXPECT_EQ(BuiltInLayouts::index(late), nullptr);  // the sum no longer matches
    const std::string summed = withSum(late);
    const std::unique_ptr<const BuiltInLayouts> damaged = BuiltInLayouts::index(summed);
    ASSERT_NE(damaged, nullptr);
    std::size_t refused = 0;
    for (const RecordKey& k : damaged->recordKeys()) refused += damaged->record(k) == nullptr;
    for (const BlockKey& k : damaged->repeatKeys()) refused += damaged->repeat(k) == nullptr;
    for (const BlockKey& k : damaged->vectorKeys()) refused += damaged->vector(k) == nullptr;
    for (const RecordKey& k : damaged->optionalKeys()) refused += damaged->optional(k) == nullptr;
    EXPECT_EQ(refused, 1u);
    EXPECT_TRUE(damaged->whole().records.empty());
}

TEST(LayoutImage, UserLayoutFilesTakeTheWholeReading) {
    const std::filesystem::path config =
        std::filesystem::temp_directory_path() / ("tarvik-lookups-" + std::to_string(::getpid()));
    const std::filesystem::path folder = config / "Nerith" / "Tarvik" / "layouts";
    std::filesystem::create_directories(folder);
    const char* before = std::getenv("XDG_CONFIG_HOME");
    const std::string kept = before ? before : "";
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);

    // An empty folder: looked up.
    EXPECT_NE(loadLayoutsForLookups().catalogue.builtIns, nullptr);
    // A user file replaces a built-in record: everything is read, the file on top.
    {
        std::ofstream f(folder / "mine.yaml");
        f << "records:\n  - type: 7001\n    title: \"Mine\"\n    items:\n      - [\"Sequence\", u, 2]\n";
    }
    const LoadedDefinitions withFile = loadLayoutsForLookups();
    EXPECT_EQ(withFile.catalogue.builtIns, nullptr);
    EXPECT_EQ(withFile.catalogue.record(RecordKey{kCatalogueProtocolVersion, kCatalogueRecordVersion, 7001}).title,
              "Mine");
    EXPECT_TRUE(withFile == loadLayouts());
    // A --layouts folder is read whole too, and without the user's folder none is looked up.
    EXPECT_EQ(loadLayoutsForLookups(folder.string(), false).catalogue.builtIns, nullptr);
    EXPECT_NE(loadLayoutsForLookups({}, false).catalogue.builtIns, nullptr);

    if (before) ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(config);
}

TEST(LayoutImage, CodeThatWalksTheMapsGetsEveryBuiltInLayoutAtOnce) {
    const LoadedDefinitions eager = loadLayouts({}, false);
    const LoadedDefinitions looked = loadLayoutsForLookups({}, false);
    ASSERT_NE(looked.catalogue.builtIns, nullptr);
    EXPECT_TRUE(looked.catalogue.records.empty());
    // Threads asking together share the one unpacked copy.
    std::vector<const LayoutCatalogue*> seen(4);
    {
        std::vector<std::thread> threads;
        for (auto& s : seen) threads.emplace_back([&s, &looked] { s = &looked.catalogue.whole(); });
        for (auto& t : threads) t.join();
    }
    const LayoutCatalogue& whole = looked.catalogue.whole();
    for (const LayoutCatalogue* s : seen) EXPECT_EQ(s, &whole);
    EXPECT_EQ(whole.builtIns, nullptr);
    EXPECT_TRUE(whole == eager.catalogue);
    EXPECT_TRUE(checkLayoutCatalogue(whole).empty());
    // A catalogue that holds its maps is its own whole.
    EXPECT_EQ(&eager.catalogue.whole(), &eager.catalogue);
}
