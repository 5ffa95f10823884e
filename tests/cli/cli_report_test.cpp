// tarvik-cli report, run as a user would.

#include "core/frame.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/report_records.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>

using tarvik::testing::runProgram;
using tarvik::testing::TempDir;

namespace {
const std::string kCli = TARVIK_CLI;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        out.push_back(text.substr(start, nl - start));
    return out;
}
} // namespace

TEST(CliReport, PrintsTheReportOfAListedRow) {
    TempDir dir;
    const std::string file = dir.file("s.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "10"}).status, 0);

    auto r = runProgram(kCli, {"report", file, "--filter", "7004", "--row", "1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const auto lines = linesOf(r.out);
    ASSERT_GT(lines.size(), 12u);
    EXPECT_EQ(lines[0], "   Record # 9  (Protocol 5, Record_Version 1)");  // the row's index position
    EXPECT_EQ(lines[9], "Record type 7004, Vx Beam Geometry");
    EXPECT_EQ(lines[lines.size() - 2], "Bytes consumed 396, Record size 400, probably ends in checksum");

    auto all = runProgram(kCli, {"report", file, "--all", "--filter", "7027"});
    EXPECT_EQ(all.status, 0);
    const std::string separator = "-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-";
    std::size_t reports = 0;
    for (const auto& l : linesOf(all.out)) reports += l == separator;
    EXPECT_EQ(reports, 2u);
}

TEST(CliReport, MessagesAndUsageErrors) {
    TempDir dir;
    const std::string file = dir.write("one.vxr", tarvik::synth::sampleFrame(7022, 7125, 1, 0));
    auto shown = runProgram(kCli, {"report", file});
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.out.find("Version 5.1.2.3\n"), std::string::npos);

    EXPECT_EQ(runProgram(kCli, {"report", file, "--row", "5"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"report"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"report", file, "--row", "x"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"report", file, "--row", "0", "--all"}).status, 2);
    auto missing = runProgram(kCli, {"report", dir.file("missing.vxr")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "could not open the specified file " + dir.file("missing.vxr") + "\nNo such file or directory\n");
}
