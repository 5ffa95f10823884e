// The names the generated Wireshark dissector gives the layout fields: made
// from the item names, stable, and unique within a record type.

#include "decode/layout_loader.h"
#include "decode/wireshark_lua.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tarvik {
namespace {

TEST(WiresharkLua, FilterNamesComeFromItemNames) {
    EXPECT_EQ(wiresharkNamePart("Beam vert. angle (deg)"), "beam_vert_angle_deg");
    EXPECT_EQ(wiresharkNamePart("  Sound velocity (m/s) "), "sound_velocity_m_s");
    EXPECT_EQ(wiresharkNamePart("Reserved2"), "reserved2");
    EXPECT_EQ(wiresharkNamePart("\xC3\xA9t\xC3\xA9"), "t");
    EXPECT_EQ(wiresharkNamePart("(---)"), "field");

    LayoutLoader loader;
    loader.addBuiltIn();
    loader.addText("test.yaml", R"(records:
  - type: 9100
    title: "Clashes"
    items:
      - ["Depth", f, 4]
      - ["depth", f, 4]
      - ["Depth!", u, 2]
      - ["Count", u, 4]
      - ["Samples", vector, 0]
      - ["Block", repeat, 0]
repeats:
  - type: 9100
    block: 0
    title: "Block"
    count: "Count"
    items:
      - ["Depth", f, 4]
vectors:
  - {type: 9100, block: 0, element: "Samples", format: u, width: 2, count: "Count"}
)");
    const LoadedDefinitions loaded = loader.finish();
    ASSERT_TRUE(loaded.problems.empty()) << loaded.problems.front().message();
    std::vector<std::pair<std::string, std::string>> names;
    for (const WiresharkField& f : wiresharkFields(loaded.catalogue))
        if (f.filter.rfind("vx.9100.", 0) == 0) names.emplace_back(f.filter, f.kind);
    // Same name and kind: one field; another kind: the next free suffix.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"vx.9100.depth", "float"}, {"vx.9100.depth_2", "u16"},   {"vx.9100.count", "u32"},
        {"vx.9100.samples", "count"}, {"vx.9100.block", "count"}, {"vx.9100.samples_2", "u16"}};
    EXPECT_EQ(names, expected);

    // The built-in names do not move when a user layout adds a record type.
    LayoutLoader builtIn;
    builtIn.addBuiltIn();
    const std::vector<WiresharkField> before = wiresharkFields(builtIn.finish().catalogue);
    const std::vector<WiresharkField> after = wiresharkFields(loaded.catalogue);
    ASSERT_GT(before.size(), 500u);
    for (const WiresharkField& f : before)
        EXPECT_TRUE(std::any_of(after.begin(), after.end(), [&](const WiresharkField& g) {
            return g.filter == f.filter && g.kind == f.kind;
        })) << f.filter;
}

TEST(WiresharkLua, TheFileNamesItsPortsAndEveryRecordType) {
    LayoutLoader loader;
    loader.addBuiltIn();
    const LoadedDefinitions loaded = loader.finish();
    WiresharkExportOptions options;
    options.ports = {7000, 7010};
    const std::string lua = wiresharkDissector(loaded.catalogue, options);
    EXPECT_NE(lua.find("local PORTS = {7000,7010,}"), std::string::npos);
    EXPECT_NE(lua.find("  [7027]=\"Vx Bathymetric data (Uncorrected)\",\n"), std::string::npos);
    EXPECT_NE(lua.find("F[1]={\"vx."), std::string::npos);
    EXPECT_NE(lua.find("function vx.dissector"), std::string::npos);
    // Texts from the layouts are Lua string literals whatever they hold.
    LayoutLoader odd;
    odd.addText("odd.yaml", "records:\n  - {type: 9200, title: \"Quote \\\" and \\\\ back\\nslash\", items: [[\"A\\\"B\", u, 1]]}\n");
    const LoadedDefinitions oddLoaded = odd.finish();
    ASSERT_TRUE(oddLoaded.problems.empty()) << oddLoaded.problems.front().message();
    const std::string oddLua = wiresharkDissector(oddLoaded.catalogue, {});
    EXPECT_NE(oddLua.find("[9200]=\"Quote \\\" and \\\\ back\\010slash\""), std::string::npos);
    EXPECT_NE(oddLua.find("\"vx.9200.a_b\",\"A\\\"B\""), std::string::npos);
}

} // namespace
} // namespace tarvik
