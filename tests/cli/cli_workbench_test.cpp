// The layout workbench from the console: drafts from records, the undecoded
// bytes of a record and of a file, and commands without parameters marked.

#include "tests/support/hidden_records.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace tarvik;
using namespace tarvik::testing;

namespace {
const std::string kCli = TARVIK_CLI;

std::string hiddenFile(const TempDir& dir, std::uint32_t records, const std::string& name = "hidden.vxr") {
    Bytes file;
    for (std::uint32_t i = 0; i < records; ++i) {
        const Bytes r = hiddenRecord(i);
        file.insert(file.end(), r.begin(), r.end());
    }
    return dir.write(name, file);
}
} // namespace

TEST(CliWorkbench, DraftFindsTheCountFieldAndCheckAcceptsIt) {
    TempDir dir;
    const std::string file = hiddenFile(dir, 200);
    const std::string out = dir.file("7032.yaml");
    auto draft = runProgram(kCli, {"catalogue", "--draft", "7032", file, "--out", out});
    ASSERT_EQ(draft.status, 0) << draft.err;
    EXPECT_NE(draft.err.find("200 records of type 7032 read"), std::string::npos) << draft.err;
    std::stringstream text;
    text << std::ifstream(out).rdbuf();
    EXPECT_NE(text.str().find("title: \"Vx 7032 Record\""), std::string::npos);
    // Names and offsets count from the frame's first byte, as the coverage does.
    EXPECT_NE(text.str().find("# Count field candidate: unknown_80 (u4): value x 12 bytes accounts for the bytes "
                              "from offset 96 on in every record."),
              std::string::npos)
        << text.str();
    EXPECT_EQ(runProgram(kCli, {"catalogue", "--check", out}).status, 0);

    // Written once; not again without --force.
    EXPECT_EQ(runProgram(kCli, {"catalogue", "--draft", "7032", file, "--out", out}).status, 1);
    EXPECT_EQ(runProgram(kCli, {"catalogue", "--draft", "7032", file, "--out", out, "--force"}).status, 0);

    // With the draft as a user layout, every byte of the records is decoded.
    std::filesystem::create_directories(dir.file("layouts"));
    std::filesystem::copy_file(out, dir.file("layouts/7032.yaml"));
    auto covered = runProgram(kCli, {"check", "--coverage", file, "--layouts", dir.file("layouts")});
    EXPECT_EQ(covered.status, 0) << covered.err;
    EXPECT_NE(covered.out.find("0 of "), std::string::npos) << covered.out;

    // More records than one piece of reading holds: none is lost at a piece's end.
    const std::string many = hiddenFile(dir, 20000, "many.vxr");
    ASSERT_GT(std::filesystem::file_size(many), 4u << 20);
    auto all = runProgram(kCli, {"catalogue", "--draft", "7032", many});
    EXPECT_NE(all.err.find("20000 records of type 7032 read"), std::string::npos) << all.err;

    auto none = runProgram(kCli, {"catalogue", "--draft", "7033", file});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("tarvik-cli: no record of type 7033 in"), std::string::npos) << none.err;
    EXPECT_EQ(runProgram(kCli, {"catalogue", "--draft", "7032"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"catalogue", file}).status, 2);
}

TEST(CliWorkbench, CoverageOfARecordAndOfAFile) {
    TempDir dir;
    const std::string file = hiddenFile(dir, 3);
    // Record 1 holds 8 elements: 32 + 96 data bytes, none decoded.
    auto one = runProgram(kCli, {"report", file, "--row", "1", "--coverage"});
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out, "1\t7032\t64\t128\tno layout items\n");
    EXPECT_EQ(one.err, "128 of 128 data bytes not decoded\n");

    // Under a filter a line names the record by its "Record #", as the report does, not by the listed row.
    Bytes mixed = FrameBuilder(7000).build();
    const Bytes second = hiddenRecord(1);
    mixed.insert(mixed.end(), second.begin(), second.end());
    const std::string mixedFile = dir.write("mixed.vxr", mixed);
    auto filtered = runProgram(kCli, {"report", mixedFile, "--filter", "7032", "--coverage"});
    EXPECT_EQ(filtered.out, "1\t7032\t64\t128\tno layout items\n") << filtered.err;
    EXPECT_NE(runProgram(kCli, {"report", mixedFile, "--filter", "7032"}).out.find("Record # 1"), std::string::npos);

    auto file3 = runProgram(kCli, {"check", "--coverage", file});
    EXPECT_EQ(file3.status, 0);
    EXPECT_NE(file3.out.find("  7032\t3\t"), std::string::npos) << file3.out;
    EXPECT_NE(file3.out.find("100.0%\t3\tVx 7032 Record"), std::string::npos) << file3.out;
}

TEST(CliWorkbench, CommandsWithoutParametersAreMarked) {
    auto all = runProgram(kCli, {"commands"});
    EXPECT_NE(all.out.find("1004  Max ping rate  [parameters not known]\n"), std::string::npos);
    EXPECT_NE(all.out.find("1003  Set range\n"), std::string::npos);
}
