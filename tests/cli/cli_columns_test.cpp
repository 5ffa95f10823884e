// Columns of field values in `list`, and plots of them.

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

using tarvik::testing::runProgram;
using tarvik::testing::TempDir;

namespace {
const std::string kCli = TARVIK_CLI;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> cells(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        out.push_back(line.substr(start, tab - start));
    out.push_back(line.substr(start));
    return out;
}
} // namespace

TEST(CliColumns, ListShowsAColumnPerExpressionUnderAHeader) {
    TempDir dir;
    const std::string file = dir.file("s.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "30"}).status, 0);
    const auto plain = lines(runProgram(kCli, {"list", file}).out);

    const auto r = runProgram(kCli, {"list", file, "--columns",
                                     "7027.number_of_detection_points, count(7027.quality > 2),vx.device in {7125, 1}"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto out = lines(r.out);
    ASSERT_EQ(out.size(), plain.size() + 1);
    EXPECT_EQ(out[0], "Type\tSize\tNumber\t7027.number_of_detection_points\tcount(7027.quality > 2)\tvx.device in {7125, 1}");
    std::size_t bathymetry = 0;
    for (std::size_t i = 1; i < out.size(); ++i) {
        const auto c = cells(out[i]);
        ASSERT_EQ(c.size(), 6u) << out[i];
        // The list's own columns are unchanged.
        EXPECT_EQ(out[i].rfind(plain[i - 1] + "\t", 0), 0u);
        if (c[0] == "7027") {
            ++bathymetry;
            EXPECT_FALSE(c[3].empty());
            EXPECT_EQ(c[3], c[4]);  // every detection of the sample has quality 31
        } else {
            // A record without the field: empty cells.
            EXPECT_EQ(c[3], "");
            EXPECT_EQ(c[4], "");
        }
        if (c[0] != "7200") EXPECT_EQ(c[5], "true") << out[i];
    }
    EXPECT_GT(bathymetry, 0u);

    // With a filter: only its rows, under the same header.
    const auto filtered = lines(runProgram(kCli, {"list", file, "--filter", "7027", "--columns", "7027.quality[0]"}).out);
    ASSERT_EQ(filtered.size(), bathymetry + 1);
    EXPECT_EQ(cells(filtered[1]).back(), "31");
}

TEST(CliColumns, AColumnThatDoesNotCompileIsAUsageError) {
    TempDir dir;
    const std::string file = dir.file("s.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "5"}).status, 0);
    const auto r = runProgram(kCli, {"list", file, "--columns", "vx.device,7027.qualty"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("column \"7027.qualty\": unknown field"), std::string::npos) << r.err;
    EXPECT_EQ(runProgram(kCli, {"list", file, "--columns", " , "}).status, 2);
}

TEST(CliPlot, QtIsLoadedOnlyByPlotAndTheFileIsWrittenWhole) {
    TempDir dir;
    const std::string file = dir.file("s.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "30"}).status, 0);
    // Every other command starts without Qt; plot loads it through its module.
    const auto list = runProgram("/usr/bin/env", {"LD_DEBUG=libs", kCli, "list", file});
    ASSERT_EQ(list.status, 0);
    ASSERT_NE(list.err.find("calling init"), std::string::npos) << "the loader's report is missing";
    EXPECT_EQ(list.err.find("libQt6"), std::string::npos);
    const std::string png = dir.file("p.png");
    const auto drawn = runProgram("/usr/bin/env", {"LD_DEBUG=libs", kCli, "plot", file, "--y", "7027.quality",
                                                   "--y", "rate", "--out", png});
    if (drawn.status != 0 && drawn.err.find("cannot load the plot drawing module") != std::string::npos)
        GTEST_SKIP() << "this build has no plot drawing module (built without the window)";
    ASSERT_EQ(drawn.status, 0) << drawn.err;
    EXPECT_NE(drawn.err.find("libQt6Charts"), std::string::npos);
    EXPECT_NE(drawn.out.find("points in 2 series"), std::string::npos) << drawn.out;
    const auto bytes = runProgram("/usr/bin/head", {"-c", "4", png});
    EXPECT_EQ(bytes.out, "\x89PNG");

    // Refusals: an existing picture, a name that is no picture, a bad axis, a series that does not compile.
    const auto kept = runProgram(kCli, {"plot", file, "--y", "count", "--out", png});
    EXPECT_EQ(kept.status, 1);
    EXPECT_NE(kept.err.find("--force"), std::string::npos) << kept.err;
    EXPECT_EQ(runProgram(kCli, {"plot", file, "--y", "count", "--out", png, "--force"}).status, 0);
    EXPECT_EQ(runProgram(kCli, {"plot", file, "--y", "count", "--out", dir.file("p.jpg")}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"plot", file, "--y", "count", "--x", "row", "--out", dir.file("q.png")}).status, 2);
    const auto bad = runProgram(kCli, {"plot", file, "--y", "7027.qualty", "--out", dir.file("q.png")});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("series \"7027.qualty\""), std::string::npos) << bad.err;
    // A missing module says which and what to install; nothing is written.
    const auto missing = runProgram("/usr/bin/env", {"TARVIK_PLOT_MODULE=" + dir.file("none.so"), kCli, "plot", file,
                                                     "--y", "count", "--out", dir.file("r.png")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.so"), std::string::npos) << missing.err;
    EXPECT_NE(missing.err.find("libqt6charts6"), std::string::npos) << missing.err;
    EXPECT_EQ(runProgram("/usr/bin/test", {"-e", dir.file("r.png")}).status, 1);
}
