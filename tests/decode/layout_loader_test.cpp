// Layout definition files: what they load, how later files replace earlier
// definitions, and the problems a faulty file gives.

#include "decode/catalogue/catalogue.h"
#include "decode/layout_loader.h"
#include "tests/decode/decode_test_support.h"
#include "tests/support/bounded_child.h"
#include "tests/support/temp_dir.h"

#include <filesystem>

#include <gtest/gtest.h>

#include <string>

using namespace tarvik;
using tarvik::testing::hasLine;

namespace {

LoadedDefinitions loadOnTopOfBuiltIn(const std::string& name, const std::string& text) {
    LayoutLoader loader;
    loader.addBuiltIn();
    loader.addText(name, text);
    return loader.finish();
}

// One file without the built-in ones (which define commands of their own).
LoadedDefinitions loadAlone(const std::string& name, const std::string& text) {
    LayoutLoader loader;
    loader.addText(name, text);
    return loader.finish();
}

std::vector<std::string> messages(const LoadedDefinitions& d) {
    std::vector<std::string> out;
    for (const auto& p : d.problems) out.push_back(p.message());
    return out;
}

std::string writeText(const tarvik::testing::TempDir& dir, const std::string& name, std::string_view text) {
    const ByteSpan bytes = asBytes(text);
    return dir.write(name, Bytes(bytes.begin(), bytes.end()));
}

const RecordDescription& record(const LoadedDefinitions& d, std::int32_t type) {
    return d.catalogue.record(RecordKey{5, 1, type});
}

} // namespace

TEST(LayoutLoader, BuiltInFilesLoadWithoutProblems) {
    LayoutLoader loader;
    loader.addBuiltIn();
    const LoadedDefinitions d = loader.finish();
    EXPECT_TRUE(d.problems.empty()) << d.problems.front().message();
    EXPECT_EQ(d.sources.size(), builtInLayoutFiles().size());
    EXPECT_EQ(d.catalogue.records.size(), 112u);
    // Shared enumerations and their generated forms arrive as built before.
    const auto& flags = record(d, 7017).items[6];
    ASSERT_EQ(flags.name, "Flags");
    ASSERT_EQ(flags.enumeration.size(), 64u);
    EXPECT_EQ(flags.enumeration[5].text, "User-defined depth filter enabled, Automatic filter enabled");
    EXPECT_EQ(record(d, 7012).items.at(4).enumeration.at(3).text, "Pitch, Roll applied");
    // The count rules that used to be written into the walker.
    const VectorDescription& bite = d.catalogue.vector(BlockKey(5, 1, 7021, 0));
    EXPECT_EQ(bite.countRule.apply(0, 0), 4);
    const VectorDescription& roll = d.catalogue.vector(BlockKey(5, 1, 7012, 1));
    EXPECT_EQ(roll.countRule.apply(10, 5), 0);
    EXPECT_EQ(roll.countRule.apply(10, 2), 10);
    EXPECT_EQ(roll.blockCountRule.apply(6, 0), 12);  // 2 x ((6 AND 2) x 6) >> 1
}

TEST(LayoutLoader, ACopyLoadsOnFromWhereTheOriginalStood) {
    LayoutLoader shared;
    shared.addText(builtInLayoutFiles().front().name, builtInLayoutFiles().front().text);
    const std::string file = "records:\n  - type: 7999\n    title: Copied\n    items:\n"
                             "      - [\"Sequence\", u, 2, multi-ping-sequence]\n";
    LayoutLoader copy(shared);
    copy.addText("a.yaml", file);
    const LoadedDefinitions fromCopy = copy.finish();

    LayoutLoader fresh;
    fresh.addText(builtInLayoutFiles().front().name, builtInLayoutFiles().front().text);
    fresh.addText("a.yaml", file);
    const LoadedDefinitions fromScratch = fresh.finish();

    EXPECT_EQ(messages(fromCopy), messages(fromScratch));
    // The copy still knows the shared enumerations it did not parse itself.
    EXPECT_EQ(record(fromCopy, 7999).items.at(0).enumeration.at(0).text, "Not in multiping mode");
    ASSERT_EQ(fromCopy.sources.size(), 2u);
    EXPECT_EQ(fromCopy.sources.back().added, fromScratch.sources.back().added);
    // The original is untouched by what the copy loaded and finished.
    shared.addText("b.yaml", "records: []\n");
    const LoadedDefinitions fromOriginal = shared.finish();
    ASSERT_EQ(fromOriginal.sources.size(), 2u);
    EXPECT_TRUE(fromOriginal.sources.back().added.empty());
    EXPECT_FALSE(fromOriginal.catalogue.records.count(RecordKey{5, 1, 7999}));
}

TEST(LayoutLoader, LaterDefinitionsReplaceWholeOrAdd) {
    const LoadedDefinitions d = loadOnTopOfBuiltIn("user.yaml", R"yaml(
enumerations:
  state: {0: "Off", 1: "On"}
records:
  - type: 7005
    title: "Vx Calibration data"
    items:
      - ["Sonar serial number", u, 8]
      - ["State", u, 1, state]
      - ["Number of receiver channels", u, 4]
      - ["Receiver gain", vector, 0]
  - type: 4242
    title: "Made up"
    protocol: 6
    items:
      - ["Only", i, 2, {-1: "Minus one"}]
vectors:
  - {type: 7005, block: 0, element: "Gain", format: u, width: 2, count: "Number of receiver channels"}
)yaml");
    EXPECT_TRUE(d.problems.empty()) << messages(d).front();
    ASSERT_EQ(record(d, 7005).items.size(), 4u);
    EXPECT_EQ(record(d, 7005).items[1].enumeration[1].text, "On");
    // Replaced whole: the user's vector, not a blend with the built-in one.
    const VectorDescription& gain = d.catalogue.vector(BlockKey(5, 1, 7005, 0));
    EXPECT_EQ(gain.elementName, "Gain");
    EXPECT_EQ(gain.width, 2);
    EXPECT_EQ(gain.title, "Gain");
    EXPECT_EQ(d.catalogue.record(RecordKey{6, 1, 4242}).items[0].enumeration[0].value, -1);

    const LayoutSource& user = d.sources.back();
    EXPECT_EQ(user.file, "user.yaml");
    EXPECT_EQ(user.replaced, (std::vector<std::string>{"vector 7005/0", "record 7005"}));
    EXPECT_EQ(user.added, (std::vector<std::string>{"enumeration state", "record 4242 (protocol 6, version 1)"}));
}

TEST(LayoutLoader, EachFaultyDefinitionIsLeftOutWithItsLine) {
    const LoadedDefinitions d = loadOnTopOfBuiltIn("bad.yaml", R"yaml(records:
  - type: 9001
    title: "Unknown format"
    items:
      - ["A", q, 4]
  - type: 9002
    title: "Width"
    items:
      - ["A", u, 3]
  - type: 9003
    title: "Count field"
    items:
      - ["Blocks", repeat, 0]
      - ["Count", u, 4]
  - type: 9004
    title: "No block"
    items:
      - ["V", vector, 7]
  - type: 9005
    title: "Forward size rule"
    items:
      - {name: "Data", format: u, width: 0, size: {field: "Kind", bits: [0, 3], table: {1: 2}}}
      - ["Kind", u, 4]
  - type: 9006
    title: "Enumeration range"
    items:
      - ["Small", u, 1, {256: "Too big"}]
  - type: 9007
    title: "Good"
    items:
      - ["Fine", u, 4]
  - type: 9007
    title: "Twice"
repeats:
  - {type: 9003, block: 0, title: "Blocks", count: "Count", items: [["X", u, 1]]}
  - {type: 9008, block: 0, title: "", count: "N"}
)yaml");
    const auto m = messages(d);
    EXPECT_TRUE(hasLine(m, "bad.yaml:5: unknown format \"q\"")) << ::testing::PrintToString(m);
    EXPECT_TRUE(hasLine(m, "bad.yaml:9: the width must be 1, 2, 4, 8 or 16 for format \"u\": 3"));
    EXPECT_TRUE(hasLine(m, "bad.yaml:13: the count field \"Count\" of repeat block 9003/0 is not a field decoded "
                           "before it; record 9003 is left out"));
    EXPECT_TRUE(hasLine(m, "bad.yaml:18: \"V\" opens vector 7, which record type 9004 does not have; record 9004 is "
                           "left out"));
    EXPECT_TRUE(hasLine(m, "bad.yaml:22: the size rule field \"Kind\" of \"Data\" is not a field decoded before it; "
                           "record 9005 is left out"));
    EXPECT_TRUE(hasLine(m, "bad.yaml:27: enumeration value 256 is out of the range of a 1-byte \"u\" field"));
    EXPECT_TRUE(hasLine(m, "bad.yaml:32: record 9007 is defined twice in this file"));
    EXPECT_TRUE(hasLine(m, "bad.yaml:36: The description for REPEAT record type 9008 is empty")) << ::testing::PrintToString(m);
    EXPECT_EQ(m.size(), 8u) << ::testing::PrintToString(m);
    for (std::int32_t type = 9001; type <= 9006; ++type) EXPECT_TRUE(record(d, type).title.empty()) << type;
    EXPECT_EQ(record(d, 9007).title, "Good");
    EXPECT_EQ(d.catalogue.records.size(), 112u + 1u + 1u);  // "Good", and 9003 as the owner of a block
    EXPECT_EQ(d.sources.back().problems, 8u);
}

TEST(LayoutLoader, FilesThatAreNotDefinitionsGiveOneProblem) {
    auto only = [](const std::string& text) {
        LayoutLoader loader;
        loader.addText("f.yaml", text);
        return messages(loader.finish());
    };
    EXPECT_EQ(only("records: [\n  - type: 1\n"), (std::vector<std::string>{"f.yaml:2: not valid YAML: illegal block entry"}));
    EXPECT_EQ(only("just text"), (std::vector<std::string>{"f.yaml:1: a definition file is a map of sections (records:, repeats:, ...)"}));
    EXPECT_EQ(only("recrods: []"), (std::vector<std::string>{"f.yaml:1: unknown section \"recrods\""}));
    EXPECT_EQ(only(std::string(5000, '[')), (std::vector<std::string>{"f.yaml:1: nested deeper than 32 levels"}));
    EXPECT_EQ(only(std::string(17u << 20, '#')), (std::vector<std::string>{"f.yaml: the file is larger than 16 MiB"}));
    EXPECT_TRUE(only("").empty());
    EXPECT_TRUE(only("# only a comment\n").empty());

    tarvik::testing::TempDir dir;
    LayoutLoader loader;
    loader.addDirectory(dir.file("absent"), true);
    loader.addFile(dir.file("absent.yaml"));
    const auto m = messages(loader.finish());
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0], dir.file("absent") + ": is not a folder");
    EXPECT_EQ(m[1].rfind(dir.file("absent.yaml") + ": cannot be read", 0), 0u);
}

TEST(LayoutLoader, CommandsComeOutAsPlainData) {
    const LoadedDefinitions d = loadAlone("commands.yaml", R"yaml(
commands:
  - id: "1009"
    title: "Bottom detection mask"
    params:
      - name: "Bottom detection flag"
        format: u
        width: 4
        bits: [[0, 3, "Reserved"], [4, 7, "Bottom detection method"], [8, 8, "Absolute Range filter"]]
  - id: "1051"
    title: "Volatile data feed"
    params:
      - ["N, Number of record numbers", u, 4]
      - {name: "Record number (or zero) (CSV)", format: u, width: 4, count: "N, Number of record numbers"}
  - id: "P1009"
    title: "Sound velocity profile"
    count: 2
    parameters:
      - {name: "Position flag", format: u, width: 1, values: [[0, "Invalid"], [1, "Valid"]]}
      - {name: "SVP data", format: repeat, width: 0, count: "SVP data"}
  - id: "1200"
    title: "Start recording"
    params:
      - {name: "Reserved", format: u, width: 4, preset: 0}
      - ["Filename", s, 256]
  - id: "1019"
    title: "Vernier Processing Options"
    count: 6
    parameters: unknown
  - id: "1000"
    title: "Shutdown Processor"
  - id: "2001"
    title: "Misspelled count"
    params:
      - {name: "List", format: u, width: 4, count: "Nmber"}
  - id: "2002"
    title: "Repeat without a block"
    params:
      - {name: "Block", format: repeat, width: 0}
  - id: "2003"
    title: "Decoding only"
    params:
      - ["Angle", r2d, 4]
repeats:
  - id: "P1009"
    title: "Sound velocity profile"
    count: "Number of samples"
    items:
      - ["Depth (m)", f, 4]
      - ["Sound velocity (m/s)", f, 4]
)yaml");
    const auto m = messages(d);
    EXPECT_EQ(m, (std::vector<std::string>{
                     "commands.yaml:35: the count field \"Nmber\" is not an earlier parameter",
                     "commands.yaml:43: unknown format \"r2d\" in a command",
                     "commands.yaml:39: \"Block\" repeats a block that command 2002 does not have; the command is left out",
                 }));
    // Key order: identifier, text order; every plain number before "P".
    std::vector<std::string> ids;
    for (const auto& c : d.commands) ids.push_back(c.identifier);
    EXPECT_EQ(ids, (std::vector<std::string>{"1000", "1009", "1019", "1051", "1200", "P1009"}));
    const CommandDefinition& mask = d.commands[1];
    ASSERT_EQ(mask.parameters.size(), 1u);
    ASSERT_EQ(mask.parameters[0].bitFields.size(), 3u);
    EXPECT_EQ(mask.parameters[0].bitFields[1].firstBit, 4);
    EXPECT_EQ(mask.parameters[0].bitFields[1].lastBit, 7);
    EXPECT_EQ(mask.parameters[0].bitFields[2].firstBit, mask.parameters[0].bitFields[2].lastBit);
    EXPECT_FALSE(d.commands[2].parametersKnown);
    EXPECT_EQ(d.commands[2].parameterCount, 6);
    EXPECT_EQ(d.commands[3].parameters[1].item.countFieldName, "N, Number of record numbers");
    EXPECT_TRUE(d.commands[4].parameters[0].hasPreset);
    EXPECT_FALSE(d.commands[4].parameters[1].hasPreset);
    EXPECT_EQ(d.commands[5].parameters[0].item.enumeration[1].text, "Valid");
    ASSERT_EQ(d.commandRepeats.size(), 1u);
    EXPECT_EQ(d.commandRepeats[0].identifier, "P1009");
    EXPECT_EQ(d.commandRepeats[0].items.size(), 2u);
}

TEST(LayoutLoader, CheckingFilesReportsTheirProblemsAndWhatTheyBreak) {
    tarvik::testing::TempDir dir;
    const std::string good = writeText(dir, "good.yaml", ("records:\n  - {type: 7005, title: \"Vx Calibration data\"}\n"));
    const std::string bad = writeText(dir, "bad.yaml", ("records:\n  - {type: 7005}\n"));
    EXPECT_TRUE(checkLayoutFiles({good}).empty());
    const auto problems = checkLayoutFiles({good, bad});
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].message(), bad + ":2: a record needs \"title\"");

    // A title-only 7006 leaves the built-in optional data of 7006 without its count field.
    const std::string breaking = writeText(dir, "breaking.yaml", "records:\n  - {type: 7006, title: \"Bathymetry\", items:}\n");
    const auto broken = checkLayoutFiles({breaking});
    ASSERT_EQ(broken.size(), 1u);
    EXPECT_EQ(broken[0].file, "built-in:records-7000.yaml");
    EXPECT_NE(broken[0].text.find("its optional data is left out"), std::string::npos) << broken[0].text;
}

TEST(LayoutLoader, AliasesCannotBlowAFileUp) {
    // One list of 100 items named by 610 records: 61,000 items from a short file.
    std::string text = "records:\n  - {type: 1, title: \"t\", items: &i [";
    for (int i = 0; i < 100; ++i) text += std::string(i ? ", " : "") + "[\"f" + std::to_string(i) + "\", u, 1]";
    text += "]}\n";
    for (int type = 2; type <= 610; ++type) text += "  - {type: " + std::to_string(type) + ", title: \"t\", items: *i}\n";
    LayoutLoader loader;
    loader.addText("big.yaml", text);
    const LoadedDefinitions d = loader.finish();
    EXPECT_EQ(d.catalogue.records.size(), 500u);
    ASSERT_EQ(d.problems.size(), 101u);  // 100 listed, then one line for the rest
    EXPECT_EQ(d.problems[0].message(), "big.yaml:2: the file defines more than 50000 items");
    EXPECT_EQ(d.problems[100].message(), "big.yaml: more problems, not listed");
    EXPECT_EQ(d.sources.back().problems, 110u);
}

TEST(LayoutLoader, TheItemBudgetIsEachFilesOwn) {
    // Two files of 40,000 items each: both under the limit of one file.
    auto file = [](int firstType) {
        std::string text = "records:\n  - {type: " + std::to_string(firstType) + ", title: \"t\", items: &i [";
        for (int i = 0; i < 100; ++i) text += std::string(i ? ", " : "") + "[\"f" + std::to_string(i) + "\", u, 1]";
        text += "]}\n";
        for (int type = firstType + 1; type < firstType + 400; ++type)
            text += "  - {type: " + std::to_string(type) + ", title: \"t\", items: *i}\n";
        return text;
    };
    LayoutLoader loader;
    loader.addText("first.yaml", file(1));
    loader.addText("second.yaml", file(1001));
    const LoadedDefinitions d = loader.finish();
    EXPECT_TRUE(d.problems.empty()) << d.problems.front().message();
    EXPECT_EQ(d.catalogue.records.size(), 800u);
}

TEST(LayoutLoader, EnumerationsCannotBlowMemoryUp) {
    // Sixteen long bit names would make 65,536 texts of up to 16 names each.
    std::string bits = "enumerations:\n  wide:\n    bits: [";
    for (int i = 0; i < 16; ++i) bits += std::string(i ? ", " : "") + "\"" + std::string(2000, 'a' + i) + "\"";
    bits += "]\n";
    const LoadedDefinitions wide = loadAlone("bits.yaml", bits);
    ASSERT_EQ(wide.problems.size(), 1u);
    EXPECT_EQ(wide.problems[0].message(), "bits.yaml:3: the texts of these bit combinations could come to more than 64 MiB");

    // One enumeration of about 7.5 MB, allowed, named by ten items: each holds a
    // copy, and so does the file's list of enumerations.
    std::string many = "enumerations:\n  big:\n    bits: [";
    for (int i = 0; i < 12; ++i) many += std::string(i ? ", " : "") + "\"" + std::string(300, 'a' + i) + "\"";
    many += "]\nrecords:\n";
    for (int type = 1; type <= 10; ++type)
        many += "  - {type: " + std::to_string(type) + ", title: \"t\", items: [[\"f\", u, 2, big]]}\n";
    const LoadedDefinitions d = loadAlone("many.yaml", many);
    EXPECT_EQ(d.catalogue.records.size(), 7u);
    EXPECT_EQ(messages(d), (std::vector<std::string>{
                               "many.yaml:12: the enumerations of the file's items come to more than 64 MiB in all",
                               "many.yaml:13: the enumerations of the file's items come to more than 64 MiB in all",
                               "many.yaml:14: the enumerations of the file's items come to more than 64 MiB in all"}));
    EXPECT_EQ(record(d, 1).items.at(0).enumeration.size(), 4096u);
}

// Files that name a long part again and again through aliases: what they come
// to once expanded counts, and each is refused with its line, within a memory
// and a time limit whatever it would have expanded to.
namespace {

// Loads `text` on top of the built-in files in a bounded child; true when the
// only problem is `expected` (a prefix of "FILE:LINE: text").
std::string refusedInBounds(const std::string& text, const std::string& expected) {
    return tarvik::testing::runBounded([&] {
        const LoadedDefinitions d = loadOnTopOfBuiltIn("a.yaml", text);
        for (const auto& p : d.problems) std::fprintf(stderr, "%s\n", p.message().c_str());
        return !d.problems.empty() && d.problems.front().message().rfind(expected, 0) == 0 &&
               !d.catalogue.records.empty();
    });
}

} // namespace

TEST(LayoutFilesThatAmplify, AliasesAreCountedWhereTheyAreUsed) {
    // 49,000 items named by one 20 KB text: 1 GB of names from a short file.
    std::string names = "records:\n  - {type: 1, title: \"t\", items: [[&n \"" + std::string(20000, 'x') + "\", u, 1]]}\n"
                        "  - {type: 2, title: \"t\", items: [";
    for (int i = 0; i < 49000; ++i) names += std::string(i ? ", " : "") + "[*n, u, 1]";
    names += "]}\n";
    EXPECT_EQ(refusedInBounds(names, "a.yaml:3: the file's texts come to more than 16 MiB once its aliases are expanded"),
              "ok");

    // Aliased lists of enumeration values, nested: each level names the one below ten times.
    std::string values = "enumerations:\n  v0: &v0 [";
    for (int i = 0; i < 100; ++i) values += std::string(i ? ", " : "") + "[" + std::to_string(i) + ", \"value\"]";
    values += "]\n";
    for (int level = 1; level <= 5; ++level) {
        values += "  v" + std::to_string(level) + ": &v" + std::to_string(level) + " [";
        for (int i = 0; i < 10; ++i) values += std::string(i ? ", " : "") + "*v" + std::to_string(level - 1);
        values += "]\n";
    }
    EXPECT_EQ(refusedInBounds(values, "a.yaml:6: the file comes to more than 1000000 nodes once its aliases are expanded"),
              "ok");

    // A flat list of 16 MB: millions of nodes before any alias.
    std::string flat = "records:\n";
    flat.reserve(16u << 20);
    while (flat.size() < (16u << 20) - 16) flat += "- 1\n";
    EXPECT_EQ(refusedInBounds(flat, "a.yaml:249999: the file holds more than 250000 nodes"), "ok");

    // A file that stays within its budget loads as before.
    std::string fine = "records:\n  - {type: 1, title: &t \"Shared\", items: &i [[\"A\", u, 4]]}\n"
                       "  - {type: 2, title: *t, items: *i}\n";
    const LoadedDefinitions d = loadAlone("fine.yaml", fine);
    EXPECT_TRUE(d.problems.empty());
    EXPECT_EQ(record(d, 2).title, "Shared");
}

TEST(LayoutFilesThatAmplify, BitEnumerationsCountAgainstTheFileWhereverTheyStand) {
    // Thirty enumerations of one aliased list of sixteen bit names: each alone
    // is allowed (about 50 MB of texts), together they would be 1.5 GB.
    std::string names = "[";
    for (int i = 0; i < 16; ++i) names += std::string(i ? ", " : "") + "\"" + std::string(40, 'a' + i) + "\"";
    names += "]";
    std::string list = "enumerations:\n  e0: {bits: &b " + names + "}\n";
    for (int i = 1; i < 30; ++i) list += "  e" + std::to_string(i) + ": {bits: *b}\n";
    EXPECT_EQ(refusedInBounds(list, "a.yaml:3: the texts of these bit combinations could come to more than 64 MiB"), "ok");

    // The same lists as the values of command bit fields.
    std::string fields = "commands:\n  - id: \"9001\"\n    title: \"Bits\"\n    params:\n";
    for (int i = 0; i < 30; ++i)
        fields += "      - {name: \"P" + std::to_string(i) + "\", format: u, width: 4, bits: [{first: 0, last: 3, "
                  "description: \"d\", enum: {bits: " + (i ? std::string("*b") : "&b " + names) + "}}]}\n";
    EXPECT_EQ(refusedInBounds(fields, "a.yaml:"), "ok");
}

TEST(LayoutFilesThatAmplify, AFolderOfFilesStaysWithinOneBudget) {
    // Each file just within its own budget: 15 MiB of names through aliases.
    tarvik::testing::TempDir dir;
    std::string text = "records:\n  - {type: 1, title: \"t\", items: [[&n \"" + std::string(1u << 20, 'y') + "\", u, 1]";
    for (int i = 0; i < 14; ++i) text += ", [*n, u, 1]";
    text += "]}\n";
    for (int f = 0; f < 8; ++f) writeText(dir, "f" + std::to_string(f) + ".yaml", text);
    const std::string verdict = tarvik::testing::runBounded([&] {
        LayoutLoader loader;
        loader.addBuiltIn();
        loader.addDirectory(dir.path().string(), true);
        const LoadedDefinitions d = loader.finish();
        std::size_t refused = 0;
        for (const auto& p : d.problems)
            refused += p.text.find("once its aliases are expanded") != std::string::npos;
        return refused >= 4 && refused < 8;
    });
    EXPECT_EQ(verdict, "ok");

    // However many files a folder holds, a bounded number is read.
    tarvik::testing::TempDir many;
    for (int f = 0; f < 1001; ++f) writeText(many, "m" + std::to_string(10000 + f) + ".yaml", "records: []\n");
    LayoutLoader loader;
    loader.addDirectory(many.path().string(), true);
    const LoadedDefinitions d = loader.finish();
    EXPECT_EQ(messages(d), std::vector<std::string>{many.path().string() +
                                                    ": holds 1001 layout files; the first 1000 are loaded"});
    EXPECT_EQ(d.sources.size(), 1000u);
}

TEST(LayoutFilesThatAmplify, TheBuiltInFilesCountAgainstTheBudgetInAll) {
    // Four files whose texts come to 3,876 bytes less than the budget of all
    // files once their aliases expand: with the built-in files loaded first
    // (whose texts come to more than that) the last file is refused; alone
    // they all load.
    tarvik::testing::TempDir dir;
    const std::size_t name = (std::size_t{1} << 20) - 64;
    std::string text = "records:\n  - {type: 1, title: \"t\", items: [[&n \"" + std::string(name, 'y') + "\", u, 1]";
    for (int i = 0; i < 15; ++i) text += ", [*n, u, 1]";
    text += "]}\n";
    for (int f = 0; f < 4; ++f) writeText(dir, "f" + std::to_string(f) + ".yaml", text);
    auto refused = [&](bool builtIn) {
        LayoutLoader loader;
        if (builtIn) loader.addBuiltIn();
        loader.addDirectory(dir.path().string(), true);
        std::vector<std::string> files;
        for (const auto& p : loader.finish().problems)
            if (p.text.find("once its aliases are expanded") != std::string::npos)
                files.push_back(std::filesystem::path(p.file).filename().string());
        return files;
    };
    EXPECT_EQ(refused(false), std::vector<std::string>{});
    EXPECT_EQ(refused(true), std::vector<std::string>{"f3.yaml"});
}

TEST(LayoutLoader, EveryFaultyItemOfADefinitionIsReportedAtItsLine) {
    const LoadedDefinitions d = loadAlone("two.yaml",
                                          "records:\n"
                                          "  - type: 9\n"
                                          "    title: \"Two faults\"\n"
                                          "    items:\n"
                                          "      - [\"A\", nosuch, 4]\n"
                                          "      - [\"B\", u, 4]\n"
                                          "      - [\"C\", u]\n"
                                          "commands:\n"
                                          "  - id: \"9002\"\n"
                                          "    title: \"Two bad parameters\"\n"
                                          "    params:\n"
                                          "      - {name: \"P\", format: nosuch, width: 4}\n"
                                          "      - {name: \"Q\", format: u, width: 4}\n"
                                          "      - {name: \"R\", format: u}\n");
    EXPECT_EQ(messages(d), (std::vector<std::string>{
                               "two.yaml:5: unknown format \"nosuch\"",
                               "two.yaml:7: an item is [name, format, number] or [name, format, number, enumeration]",
                               "two.yaml:12: unknown format \"nosuch\"",
                               "two.yaml:14: the item \"R\" needs its width (or block, back, value)"}));
    EXPECT_TRUE(d.catalogue.records.empty());
    EXPECT_TRUE(d.commands.empty());
}
