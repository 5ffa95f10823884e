// --filter expressions on the console: the rows they keep, their refusals, the
// field names `fields` lists, and the same packets in tshark with the
// generated dissector.

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>
#include <sstream>
#include <utility>

using tarvik::testing::onPath;
using tarvik::testing::runProgram;
using tarvik::testing::TempDir;

namespace {
const std::string kCli = TARVIK_CLI;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    return out;
}

// (record type, record counter) of every record `report --all --json` gives under a filter.
std::vector<std::pair<long, long>> reportedUnder(const std::string& file, const std::string& filter) {
    const auto r = runProgram(kCli, {"report", file, "--all", "--json", "--filter", filter});
    EXPECT_EQ(r.status, 0) << filter << ": " << r.err;
    std::vector<std::pair<long, long>> out;
    for (const std::string& line : lines(r.out)) {
        const auto doc = nlohmann::json::parse(line);
        out.emplace_back(doc["header"]["recordType"].get<long>(), doc["header"]["recordCounter"].get<long>());
    }
    return out;
}

} // namespace

TEST(CliFilter, ExpressionsKeepTheRowsTheyName) {
    TempDir dir;
    const std::string file = dir.file("s.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "60"}).status, 0);
    const auto all = lines(runProgram(kCli, {"list", file}).out);
    ASSERT_FALSE(all.empty());

    // A bare record type is the type itself; the old text form matches by digits.
    const auto byType = runProgram(kCli, {"list", file, "--filter", "7027 || vx.record_type == 7000"});
    ASSERT_EQ(byType.status, 0) << byType.err;
    std::size_t expected = 0;
    for (const std::string& row : all) expected += row.rfind("7027\t", 0) == 0 || row.rfind("7000\t", 0) == 0;
    EXPECT_EQ(lines(byType.out).size(), expected);
    EXPECT_EQ(runProgram(kCli, {"list", file, "--filter", "7027; 7000"}).out, byType.out);

    // Rows keep their file positions; `row` is that number.
    const auto rows = runProgram(kCli, {"list", file, "--filter", "row >= 10 && row < 13"});
    ASSERT_EQ(rows.status, 0) << rows.err;
    ASSERT_EQ(lines(rows.out).size(), 3u);
    EXPECT_EQ(lines(rows.out)[0], all[10]);

    // A field expression reads the records; a checksum test every record passes.
    const auto ok = runProgram(kCli, {"list", file, "--filter", "vx.checksum.ok"});
    EXPECT_EQ(lines(ok.out).size(), all.size());
    const auto none = runProgram(kCli, {"list", file, "--filter", "7027.number_of_detection_points > 100000"});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("passes the filter"), std::string::npos) << none.err;
}

TEST(CliFilter, BadExpressionsAreUsageErrorsWithThePlace) {
    TempDir dir;
    const std::string file = dir.file("s.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "12"}).status, 0);
    for (const char* command : {"list", "report", "dump"}) {
        const auto r = runProgram(kCli, {command, file, "--filter", "7027 && 7027.qualty > 2"});
        EXPECT_EQ(r.status, 2) << command;
        EXPECT_NE(r.err.find("did you mean vx.7027.quality?) at column 9\n  7027 && 7027.qualty > 2\n          ^"),
                  std::string::npos)
            << command << ": " << r.err;
    }
    const auto typed = runProgram(kCli, {"list", file, "--filter", "vx.device == \"x\""});
    EXPECT_EQ(typed.status, 2);
    EXPECT_NE(typed.err.find("cannot compare a number with a text"), std::string::npos) << typed.err;
}

TEST(CliFilter, FieldsListsEveryNameWithItsTypeAndUnit) {
    const auto all = runProgram(kCli, {"fields"});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_NE(all.out.find("vx.device\tu32\t-\t"), std::string::npos);
    EXPECT_NE(all.out.find("vx.7027.rx_angle_deg\tdeg\tdeg\tRx Angle (deg) (repeated)\n"), std::string::npos) << all.out.substr(0, 400);
    const auto one = runProgram(kCli, {"fields", "7027"});
    ASSERT_EQ(one.status, 0);
    for (const std::string& line : lines(one.out)) EXPECT_EQ(line.rfind("vx.7027.", 0), 0u) << line;
    EXPECT_NE(one.out.find("vx.7027.number_of_detection_points\tu32\t-\t"), std::string::npos);
    EXPECT_EQ(runProgram(kCli, {"fields", "99999"}).status, 1);
    EXPECT_EQ(runProgram(kCli, {"fields", "x"}).status, 2);
}

TEST(CliFilter, TsharkWithTheGeneratedDissectorShowsTheSamePackets) {
    const std::string tshark = onPath("tshark");
    if (tshark.empty()) GTEST_SKIP() << "tshark is not installed";
    TempDir dir;
    const std::string lua = dir.file("vx.lua");
    ASSERT_EQ(runProgram(kCli, {"catalogue", "--export-wireshark", lua}).status, 0);
    const std::string capture = dir.file("c.pcapng");
    ASSERT_EQ(runProgram(kCli, {"generate", "--capture", capture, "--plain", "--frames", "80"}).status, 0);

    // Records that travel in one packet, so that the dissector shows their bodies.
    for (const std::string expression :
         {"vx.record_type == 7027 && vx.7027.number_of_detection_points >= 4 && vx.size < 1400",
          "vx.record_type in {7000, 7006} && vx.size < 1400", "vx.7027.quality > 0 && vx.size < 1400"}) {
        SCOPED_TRACE(expression);
        const auto listed = reportedUnder(capture, expression);
        const auto r = runProgram(tshark, {"-n", "-X", "lua_script:" + lua, "-r", capture, "-Y", expression, "-T",
                                           "fields", "-E", "aggregator=;", "-E", "occurrence=a", "-e",
                                           "vx.record_type", "-e", "vx.counter"});
        ASSERT_EQ(r.status, 0) << r.err;
        // A packet may carry several records: each packet tshark shows holds a
        // listed record, and each listed record is in a packet it shows.
        std::set<std::pair<long, long>> inPackets, listedSet(listed.begin(), listed.end());
        std::size_t packets = 0;
        for (const std::string& line : lines(r.out)) {
            ++packets;
            std::stringstream cols(line);
            std::string types, counters;
            std::getline(cols, types, '\t');
            std::getline(cols, counters, '\t');
            std::stringstream t(types), c(counters);
            bool holdsListed = false;
            for (std::string a, b; std::getline(t, a, ';') && std::getline(c, b, ';');) {
                inPackets.emplace(std::stol(a), std::stol(b));
                holdsListed = holdsListed || listedSet.count({std::stol(a), std::stol(b)});
            }
            EXPECT_TRUE(holdsListed) << line;
        }
        EXPECT_GT(packets, 0u);
        for (const auto& record : listed) EXPECT_TRUE(inPackets.count(record)) << record.first << "/" << record.second;
    }
}

TEST(CliFilter, CheckExportAndCondenseTakeTheFilter) {
    TempDir dir;
    const std::string file = dir.file("s.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "60"}).status, 0);
    const std::string expression = "7027 && 7027.number_of_detection_points > 3";
    const auto listed = lines(runProgram(kCli, {"list", file, "--filter", expression}).out);
    ASSERT_FALSE(listed.empty());

    const auto check = runProgram(kCli, {"check", file, "--filter", expression});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_NE(check.out.find("  filter: " + std::to_string(listed.size()) + " records pass " + expression + "\n"),
              std::string::npos)
        << check.out;
    EXPECT_EQ(runProgram(kCli, {"check", file, "--filter", "7027.qualty"}).status, 2);

    const auto table = runProgram(kCli, {"export", file, "--type", "7027", "--filter", expression});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(lines(table.out).size(), listed.size() + 1);  // and the header row

    const auto condensed = runProgram(kCli, {"condense", file, "--filter", expression, "--out", dir.path().string()});
    ASSERT_EQ(condensed.status, 0) << condensed.err;
    EXPECT_NE(condensed.err.find("Wrote " + std::to_string(listed.size()) + " lines"), std::string::npos)
        << condensed.err;
}
