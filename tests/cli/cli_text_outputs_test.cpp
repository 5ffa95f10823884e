// tarvik-cli condense, dump and print, run as a user would.

#include "core/frame.h"
#include "core/record_file.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using tarvik::testing::runProgram;
using tarvik::testing::TempDir;

namespace {
using tarvik::testing::slurp;
const std::string kCli = TARVIK_CLI;

std::size_t countOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}
} // namespace

TEST(CliTextOutputs, CondenseWritesOneLinePerRecordInTheChosenLayout) {
    TempDir dir;
    const std::string file = dir.file("s.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "30"}).status, 0);

    auto r = runProgram(kCli, {"condense", file, "--sep", "tab", "--out", dir.path().string()});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string out = dir.file("s.txt");
    EXPECT_EQ(r.out, out + "\n");
    EXPECT_EQ(r.err, "Wrote 32 lines to the the log file, " + out + "\n");
    const std::string text = slurp(out);
    EXPECT_EQ(text.substr(0, 27 + out.size()), "Tarvik: Logging to file: " + out + "\r\n");
    EXPECT_EQ(countOf(text, "/2024\t"), 32u);
    EXPECT_NE(text.find("\r\n0\t7200\t396\t03/05/2024\t07:04:09.125\r\n"), std::string::npos);

    // A second run takes the next free name; the first file stays.
    auto again = runProgram(kCli, {"condense", file, "--out", dir.path().string()});
    EXPECT_EQ(again.out, dir.file("s.000.txt") + "\n");
    EXPECT_EQ(slurp(out), text);
    EXPECT_NE(slurp(dir.file("s.000.txt")).find("        0      7200       396 03/05/2024"), std::string::npos);

    EXPECT_EQ(runProgram(kCli, {"condense", file, "--sep", "semicolon"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"condense"}).status, 2);
    auto missing = runProgram(kCli, {"condense", file, "--out", dir.file("nowhere")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "Logging Path Does Not Exist\ncould not resolve the output file name\n");
}

TEST(CliTextOutputs, BrokenFilesAreCondensedAndDumpedUpToTheBreak) {
    TempDir dir;
    const std::string file = dir.file("b.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "20", "--no-catalog"}).status, 0);
    // Spoil the sync pattern of record 10.
    tarvik::RecordFile reader;
    ASSERT_TRUE(reader.open(file));
    tarvik::RecordIndex index;
    ASSERT_FALSE(tarvik::ScanFrames(reader, index));
    const std::uint64_t at = index[10].offset() + 4;
    {
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(at));
        f.put('\0');
    }
    auto c = runProgram(kCli, {"condense", file, "--out", dir.path().string()});
    EXPECT_EQ(c.status, 1);
    EXPECT_EQ(c.err, "Record 10 Of File b.vxr Does Not Have The Sync Pattern\n"
                     "Wrote 10 lines to the the log file, " + dir.file("b.txt") + "\n");
    EXPECT_EQ(c.out, dir.file("b.txt") + "\n");
    EXPECT_EQ(countOf(slurp(dir.file("b.txt")), "/2024 "), 10u);

    auto d = runProgram(kCli, {"dump", file, "--out", dir.path().string()});
    EXPECT_EQ(d.status, 1);
    EXPECT_EQ(d.out, dir.file("b.000.txt") + "\n");
    EXPECT_EQ(countOf(slurp(dir.file("b.000.txt")), "-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-\r\n"), 10u);

    // Cut in the middle of a frame: the lines up to the cut are written.
    std::filesystem::resize_file(file, index[5].offset() + 30);
    auto t = runProgram(kCli, {"condense", file, "--out", dir.path().string()});
    EXPECT_EQ(t.out, dir.file("b.001.txt") + "\n");
    EXPECT_EQ(countOf(slurp(dir.file("b.001.txt")), "/2024 "), 5u);
}

TEST(CliTextOutputs, DumpWritesTheRowsAskedFor) {
    TempDir dir;
    const std::string file = dir.file("s.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "30"}).status, 0);
    auto r = runProgram(kCli, {"dump", file, "--filter", "7004", "--rows", "1:2", "--out", dir.path().string()});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string text = slurp(dir.file("s.txt"));
    EXPECT_EQ(countOf(text, "-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-\r\n"), 2u);
    EXPECT_EQ(countOf(text, "\r\n7004\t400 bytes\t"), 2u);
    EXPECT_EQ(countOf(text, "Record type 7004, Vx Beam Geometry\r\n"), 2u);
    EXPECT_EQ(r.err.rfind("Wrote ", 0), 0u);
    EXPECT_EQ(runProgram(kCli, {"dump", file, "--rows", "3"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"dump", file, "--rows", "3:0"}).status, 2);
}

TEST(CliTextOutputs, PrintWritesTheReportAsPdf) {
    TempDir dir;
    const std::string file = dir.file("s.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "10"}).status, 0);
    const std::string pdf = dir.file("r.pdf");
    auto r = runProgram(kCli, {"print", file, "--row", "2", "--pdf", pdf});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, pdf + "\n");
    auto text = runProgram("/usr/bin/pdftotext", {"-layout", pdf, "-"});
    ASSERT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Nerith Vx Record Test Tool"), std::string::npos);
    EXPECT_NE(text.out.find("Record type 7004, Vx Beam Geometry"), std::string::npos);
    EXPECT_NE(text.out.find("Page 1 of 1"), std::string::npos);
    // Every page names the file, the record type and the row.
    EXPECT_NE(text.out.find("s.vxr   Record type 7004   Row 2"), std::string::npos) << text.out;

    EXPECT_EQ(runProgram(kCli, {"print", file, "--row", "99", "--pdf", pdf}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"print", file, "--row", "2"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"print", file, "--row", "2", "--pdf", dir.file("no/r.pdf")}).status, 1);
}

// print follows the rule of every output: an existing PDF is kept unless
// --force is given, the record file is never printed over, and a target that
// is not a regular file is neither written nor removed.
TEST(CliTextOutputs, PrintKeepsWhatIsThere) {
    TempDir dir;
    const std::string file = dir.file("s.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "10"}).status, 0);
    const std::string pdf = dir.write("r.pdf", tarvik::Bytes{'k', 'e', 'e', 'p'});
    auto r = runProgram(kCli, {"print", file, "--row", "2", "--pdf", pdf});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_EQ(slurp(pdf), "keep");
    r = runProgram(kCli, {"print", file, "--row", "2", "--pdf", pdf, "--force"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(pdf).rfind("%PDF-", 0), 0u);

    const std::string before = slurp(file);
    EXPECT_EQ(runProgram(kCli, {"print", file, "--row", "2", "--pdf", file, "--force"}).status, 1);
    EXPECT_EQ(slurp(file), before);
    r = runProgram(kCli, {"print", file, "--row", "2", "--pdf", "/dev/null", "--force"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(std::filesystem::exists("/dev/null"));
    EXPECT_FALSE(std::filesystem::is_regular_file("/dev/null"));
    // Nothing half-written is left beside the target.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 2u);
}
