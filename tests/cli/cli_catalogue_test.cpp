// tarvik-cli catalogue: the layouts, repeat blocks and vectors it lists, in their line formats.

#include "tests/support/run_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

using tarvik::testing::runProgram;

namespace {
const std::string kCli = TARVIK_CLI;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

bool has(const std::vector<std::string>& all, const std::string& line) {
    return std::find(all.begin(), all.end(), line) != all.end();
}
} // namespace

TEST(CliCatalogue, ListsLayoutsBlocksAndVectors) {
    auto records = runProgram(kCli, {"catalogue"});
    EXPECT_EQ(records.status, 0);
    const auto r = lines(records.out);
    ASSERT_EQ(r.size(), 112u);
    EXPECT_EQ(r.front(), "1000\tReference point\t4");
    EXPECT_TRUE(has(r, "7000\tVx volatile sonar settings\t39"));
    EXPECT_TRUE(has(r, "7502\tVx Remote Control Nak\t3"));
    EXPECT_EQ(r.back().rfind("15050\tDetector Settings\t", 0), 0u);

    auto repeats = runProgram(kCli, {"catalogue", "--repeats"});
    EXPECT_EQ(repeats.status, 0);
    const auto b = lines(repeats.out);
    ASSERT_EQ(b.size(), 41u);
    EXPECT_EQ(b.front(), "1004\t0\tAttitude Samples\tNumber of samples\t1");
    EXPECT_TRUE(has(b, "7008\t2\tOpt. Beam along/across track dist.\tNumber of beams in record\t3"));
    EXPECT_TRUE(has(b, "7300\t0\tIndex data\tNumber of Records\t8"));

    auto vectors = runProgram(kCli, {"catalogue", "--vectors"});
    EXPECT_EQ(vectors.status, 0);
    const auto v = lines(vectors.out);
    ASSERT_EQ(v.size(), 57u);
    EXPECT_TRUE(has(v, "4003\t1\tMagnitude (strbrd. side)\tu\t0\tNum. of samp. per beam per side"));
    EXPECT_TRUE(has(v, "1007\t0\tMotion Data\tf\t4\t"));
    EXPECT_TRUE(has(v, "7004\t0\tBeam vert. direction angle (deg)\tr2d\t4\tNumber of receiver beams"));
}

TEST(CliCatalogue, PrintsTheItemsOfOneLayout) {
    auto nak = runProgram(kCli, {"catalogue", "--record", "7502"});
    EXPECT_EQ(nak.status, 0);
    EXPECT_EQ(nak.out, "Ticket number\tu\t4\nTracking number\tu\t16\nError code\tu\t4\n");

    auto beams = runProgram(kCli, {"catalogue", "--record", "7008"});
    EXPECT_EQ(lines(beams.out).back(), "Beam data\t7008PingData\t1");

    auto unknown = runProgram(kCli, {"catalogue", "--record", "4242"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_NE(unknown.err.find("4242"), std::string::npos);

    EXPECT_EQ(runProgram(kCli, {"catalogue", "--record", "7x"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"catalogue", "--record"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"catalogue", "--repeats", "--vectors"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"catalogue", "extra"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"catalogue", "--help"}).status, 0);
}
