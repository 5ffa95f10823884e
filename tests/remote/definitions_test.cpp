#include "decode/layout_loader.h"
#include "remote/definitions.h"
#include "tests/remote/remote_test_support.h"

#include <gtest/gtest.h>

#include <set>

namespace tarvik::remote {
namespace {

using testing::builtInCatalogue;

TEST(CommandCatalogue, HoldsEveryListedCommandWithTitleAndCount) {
    std::vector<std::string> messages;
    const auto catalogue = builtInRemoteCommandCatalogue([&](std::string_view m) { messages.emplace_back(m); });
    EXPECT_TRUE(messages.empty()) << messages.front();
    ASSERT_EQ(catalogue.size(), 124u);
    for (const auto& line : catalogue.commandLines()) {
        const auto blank = line.find("  ");
        ASSERT_NE(blank, std::string::npos) << line;
        EXPECT_EQ(line.find(' '), blank) << line;
    }

    const auto& range = catalogue.lookup("1003");
    EXPECT_EQ(range.title, "Set range");
    ASSERT_EQ(range.size(), 1u);
    EXPECT_EQ(range[0].name, "Range (m)");
    EXPECT_EQ(range[0].format, "f");
    EXPECT_EQ(range[0].width(), 4);

    const auto& position = catalogue.lookup("P1003");
    EXPECT_EQ(position.title, "Position (SCRIPTS ONLY)");
    EXPECT_EQ(position.parameterCount(), 10u);

    const auto& none = catalogue.lookup("9999");
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(none.title.empty());
    EXPECT_EQ(catalogue.lookup("1000").parameterCount(), 0u);
    EXPECT_TRUE(catalogue.lookup("1000").parametersKnown);
}

TEST(CommandCatalogue, KeysOrderIdentifiersBytewise) {
    std::vector<std::string> ids;
    for (const auto& [key, def] : builtInCatalogue().definitions()) ids.push_back(key.identifier);
    EXPECT_EQ(ids.front(), "1000");
    EXPECT_EQ(ids[1], "1001");
    const auto lastPlain = std::find(ids.begin(), ids.end(), "7614");
    const auto firstRecord = std::find(ids.begin(), ids.end(), "P1000");
    ASSERT_NE(lastPlain, ids.end());
    EXPECT_EQ(lastPlain + 1, firstRecord);

    EXPECT_TRUE(CRemoteControlKey("P100") < CRemoteControlKey("P1000"));  // a prefix sorts first
    EXPECT_TRUE(CRemoteControlKey("z") < CRemoteControlKey("\xE9"));      // bytes compare unsigned
    EXPECT_TRUE(CRemoteControlKey("A", 1, 5) < CRemoteControlKey("A", 2, 0));
    const CRemoteControlKey blank;
    EXPECT_EQ(blank.recordVersion, 0x7FFFFFFF);
    EXPECT_EQ(blank.protocolVersion, 0x7FFFFFFF);
}

TEST(CommandCatalogue, ParameterDetailsSurviveTheFiles) {
    const auto& c = builtInCatalogue();
    const auto& mask = c.lookup("1009")[0];
    ASSERT_EQ(mask.bitFields.size(), 7u);
    EXPECT_EQ(mask.bitFields[1].firstBit, 4);
    EXPECT_EQ(mask.bitFields[1].lastBit, 7);
    EXPECT_EQ(mask.bitFields[1].description, "Bottom detection method");
    EXPECT_EQ(mask.bitFields[2].firstBit, mask.bitFields[2].lastBit);

    const auto& event = c.lookup("P7051");
    ASSERT_EQ(event.size(), 5u);
    EXPECT_TRUE(event[2].preset);
    EXPECT_EQ(event[2].presetValue, 167.0);
    EXPECT_FALSE(event[1].preset);
    EXPECT_EQ(event[1].enumeration.at(3).text, "Error");

    EXPECT_EQ(c.lookup("1051")[1].countFieldName, "N, Number of record numbers");
    EXPECT_EQ(c.lookup("P1009")[6].format, "repeat");
    EXPECT_EQ(c.lookup("P1009")[6].width(), 0);

    // The four repeat blocks.
    ASSERT_EQ(c.repeats.size(), 4u);
    const auto* svp = c.repeat("P1009");
    ASSERT_NE(svp, nullptr);
    EXPECT_EQ(svp->countFieldName, "Number of samples");
    ASSERT_EQ(svp->items.size(), 2u);
    EXPECT_EQ(svp->items[1].name, "Sound velocity (m/s)");
    EXPECT_EQ(c.repeat("P1010")->title, "CTD (SCRIPT ONLY)");
    EXPECT_EQ(c.repeat("P1016")->items[0].format, "u");
    EXPECT_EQ(c.repeat("1003"), nullptr);
}

TEST(CommandCatalogue, UnknownParametersKeepTheirCount) {
    const auto& c = builtInCatalogue();
    const auto& rate = c.lookup("1004");
    EXPECT_EQ(rate.title, "Max ping rate");
    EXPECT_FALSE(rate.parametersKnown);
    EXPECT_TRUE(rate.empty());
    EXPECT_EQ(rate.parameterCount(), 1u);
    EXPECT_EQ(c.lookup("P1020").parameterCount(), 26u);
    // The report decodes only bodies the catalogue knows.
    EXPECT_EQ(c.commandItems(1003).size(), 1u);
    EXPECT_TRUE(c.commandItems(1004).empty());
    EXPECT_TRUE(c.commandItems(9999).empty());
}

TEST(CommandDefinition, ListFormChecksTheCountName) {
    std::vector<std::string> messages;
    auto note = [&](std::string_view m) { messages.emplace_back(m); };
    CRemoteControlDefinition d;
    d.InsertLayoutItem("N", "u", 4);
    d.InsertLayoutItem("List", "u", 4, std::string("N"), note);
    EXPECT_TRUE(messages.empty());
    d.InsertLayoutItem("Other", "u", 4, std::string("Nn"), note);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "In CRemoteControlDefinition::InsertLayoutItem, failed to find count variable name \"Nn\"");
    EXPECT_EQ(d.size(), 3u);  // the parameter stays
    d.InsertLayoutItem("Fixed", "u", 2, 7.0);
    EXPECT_TRUE(d.back().preset);
    d.Clear();
    EXPECT_TRUE(d.empty());
}

// Definition files go through the layout loader; the catalogue is made from what it loaded.
RemoteCommandCatalogue catalogueOf(std::initializer_list<std::pair<const char*, const char*>> files,
                                   std::vector<std::string>* problems = nullptr) {
    LayoutLoader loader;
    for (const auto& [name, text] : files) loader.addText(name, text);
    const LoadedDefinitions loaded = loader.finish();
    if (problems)
        for (const auto& p : loaded.problems) problems->push_back(p.message());
    return remoteCommandCatalogue(loaded);
}

TEST(DefinitionFiles, UserFilesAddOrReplaceAndBadDefinitionsSayWhere) {
    const char* user = "commands:\n  - id: \"9001\"\n    title: \"Lamp\"\n    params:\n"
                       "      - [\"On\", u, 1, {0: \"off\", 1: \"on\"}]\n"
                       "  - {id: \"9002\", title: \"Later\", params: unknown, count: 2}\n";
    std::vector<std::string> problems;
    auto c = catalogueOf({{"user.yaml", user}}, &problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(c.lookup("9001")[0].enumeration.size(), 2u);
    EXPECT_EQ(c.lookup("9001")[0].enumeration[1].text, "on");
    EXPECT_EQ(c.lookup("9002").parameterCount(), 2u);
    EXPECT_FALSE(c.lookup("9002").parametersKnown);
    EXPECT_EQ(c.commandItems(9001).size(), 1u);
    // A later file replaces a command whole.
    c = catalogueOf({{"user.yaml", user}, {"b.yaml", "commands:\n  - {id: \"9001\", title: \"Other\"}\n"}});
    EXPECT_EQ(c.lookup("9001").title, "Other");
    EXPECT_TRUE(c.lookup("9001").empty());
    EXPECT_TRUE(c.commandItems(9001).empty());

    // A faulty definition is left out, with its file and line; the others of the file load.
    problems.clear();
    c = catalogueOf({{"bad.yaml", "commands:\n  - {id: \"1\", title: \"T\"}\n"
                                  "  - {id: \"2\", title: \"T\", params: [{name: a, format: u}]}\n"}},
                    &problems);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].rfind("bad.yaml:3: ", 0), 0u) << problems[0];
    EXPECT_NE(problems[0].find("width"), std::string::npos) << problems[0];
    EXPECT_TRUE(c.contains("1"));
    EXPECT_FALSE(c.contains("2"));
    problems.clear();
    c = catalogueOf({{"broken.yaml", "commands: [\n"}, {"c.yaml", "commands:\n  - {id: \"3\", title: \"T\", colour: red}\n"}},
                    &problems);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].rfind("broken.yaml:", 0), 0u) << problems[0];
    EXPECT_NE(problems[1].find("unknown key \"colour\""), std::string::npos) << problems[1];
    EXPECT_EQ(c.size(), 0u);
}

TEST(DefinitionFiles, RepeatBlocksAndOtherVersions) {
    const auto c = catalogueOf({{"u.yaml", R"yaml(
commands:
  - id: "P9100"
    title: "Table"
    params:
      - ["Rows", u, 4]
      - {name: "Row data", format: repeat, width: 0, count: "Rows"}
      - {name: "Mask", format: u, width: 2, preset: 3, bits: [[0, 0, "Low"], {first: 1, last: 15, description: "Rest", enum: {0: "none"}}]}
  - {id: "9101", title: "Newer", version: 2, params: [["A", u, 4]]}
command-repeats:
  - id: "P9100"
    title: "Table row"
    count: "Rows"
    items:
      - ["Depth (m)", f, 4]
)yaml"}});
    const auto& table = c.lookup("P9100");
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[1].format, "repeat");
    EXPECT_EQ(table[1].countFieldName, "Rows");
    EXPECT_TRUE(table[2].preset);
    EXPECT_EQ(table[2].presetValue, 3.0);
    ASSERT_EQ(table[2].bitFields.size(), 2u);
    EXPECT_EQ(table[2].bitFields[1].firstBit, 1);
    EXPECT_EQ(table[2].bitFields[1].lastBit, 15);
    EXPECT_EQ(table[2].bitFields[1].values.at(0).text, "none");
    const auto* block = c.repeat("P9100");
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->title, "Table row");
    EXPECT_EQ(block->countFieldName, "Rows");
    ASSERT_EQ(block->items.size(), 1u);
    EXPECT_EQ(block->items[0].width(), 4);
    // Commands are built as version 1, protocol 5: other versions are not offered.
    EXPECT_FALSE(c.contains("9101"));
}

} // namespace
} // namespace tarvik::remote
