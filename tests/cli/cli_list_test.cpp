// tarvik-cli list and generate, run as a user would.

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

using tarvik::testing::runProgram;
using tarvik::testing::TempDir;

namespace {
const std::string kCli = TARVIK_CLI;

std::size_t countLines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }
} // namespace

TEST(CliList, ListsGeneratedFilesWithAndWithoutCatalog) {
    TempDir dir;
    const std::string withCatalog = dir.file("a.vxr"), without = dir.file("b.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", withCatalog, "--frames", "12"}).status, 0);
    ASSERT_EQ(runProgram(kCli, {"generate", without, "--frames", "12", "--no-catalog"}).status, 0);

    auto a = runProgram(kCli, {"list", withCatalog});
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.err, "");
    EXPECT_EQ(countLines(a.out), 14u);
    EXPECT_EQ(a.out.substr(0, a.out.find('\n')), "7200\t396 bytes\t0");

    auto b = runProgram(kCli, {"list", without});
    EXPECT_EQ(b.status, 0);
    EXPECT_EQ(countLines(b.out), 13u);
    EXPECT_EQ(b.out.substr(0, 5), "7200\t");

    auto filtered = runProgram(kCli, {"list", withCatalog, "--filter", "7027"});
    EXPECT_EQ(filtered.out, "7027\t" + filtered.out.substr(5, filtered.out.find('\n') - 5) + "\n" +
                                filtered.out.substr(filtered.out.find('\n') + 1));
    EXPECT_EQ(countLines(filtered.out), 2u);
}

TEST(CliList, MessagesGoToStderrAndSetTheExitStatus) {
    TempDir dir;
    auto empty = dir.write("empty.vxr", {});
    auto r = runProgram(kCli, {"list", empty});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "File empty.vxr Is Empty\n");

    auto missing = runProgram(kCli, {"list", dir.file("none.vxr")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "could not open the specified file " + dir.file("none.vxr") + "\nNo such file or directory\n");
}

TEST(CliList, UsageErrorsAndHelp) {
    EXPECT_EQ(runProgram(kCli, {}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"list"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"list", "a", "b"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"list", "a", "--filter"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"list", "a", "--bogus"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"frobnicate"}).status, 2);
    auto help = runProgram(kCli, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("list"), std::string::npos);
    auto listHelp = runProgram(kCli, {"list", "--help"});
    EXPECT_EQ(listHelp.status, 0);
    EXPECT_NE(listHelp.out.find("--filter"), std::string::npos);
}

TEST(CliList, ACatalogThatPointsBesideItsFramesIsNotTrusted) {
    TempDir dir;
    const std::string file = dir.file("off.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "12"}).status, 0);
    // Move the catalog entry of row 3 seven bytes on: no frame begins there.
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    std::uint8_t pointer[12];
    f.seekg(396 - 4 - 12);
    f.read(reinterpret_cast<char*>(pointer), sizeof pointer);
    std::uint64_t catalog = 0, entry = 0;
    std::memcpy(&catalog, pointer + 4, 8);
    const std::streamoff entryOffset = static_cast<std::streamoff>(catalog + 64 + 14 + 48 * 3 + 4);
    f.seekg(entryOffset);
    f.read(reinterpret_cast<char*>(&entry), 8);
    entry += 7;
    f.seekp(entryOffset);
    f.write(reinterpret_cast<const char*>(&entry), 8);
    f.close();

    const auto r = runProgram(kCli, {"list", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("The file catalog of off.vxr does not match its frames: entry 4 "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("The file is listed by walking its frames."), std::string::npos) << r.err;
    // The walk lists every frame as it is, the catalog last.
    EXPECT_EQ(countLines(r.out), 14u);
    const auto check = runProgram(kCli, {"check", file});
    EXPECT_EQ(check.status, 1);
    EXPECT_NE(check.out.find("catalog: frame 3 "), std::string::npos) << check.out;

    // check of an empty file is a problem, not a clean file.
    const auto empty = runProgram(kCli, {"check", dir.write("empty.vxr", {})});
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.out.find("the file is empty"), std::string::npos) << empty.out;
}

TEST(CliList, ResyncListsPastDamageLikeCheck) {
    TempDir dir;
    const std::string good = dir.file("good.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", good, "--frames", "6", "--no-catalog"}).status, 0);
    std::string bytes = tarvik::testing::slurp(good);
    // Seven bytes of noise between the file header record and the first frame.
    const std::string first = runProgram(kCli, {"list", good}).out;
    ASSERT_EQ(first.substr(0, 5), "7200\t");
    const std::size_t header = std::stoul(first.substr(5));
    bytes.insert(header, "noise!!");
    const std::string damaged = dir.file("damaged.vxr");
    std::ofstream(damaged, std::ios::binary) << bytes;

    const auto stopped = runProgram(kCli, {"list", damaged});
    EXPECT_EQ(stopped.status, 1);
    EXPECT_EQ(countLines(stopped.out), 1u);
    EXPECT_EQ(stopped.err, "Second Record Of File damaged.vxr Does Not Have The Sync Pattern\n"
                           "tarvik-cli: the list stops at the broken frame; --resync goes on at the next sync "
                           "pattern\n");

    const auto resynced = runProgram(kCli, {"list", damaged, "--resync"});
    EXPECT_EQ(resynced.status, 0);
    EXPECT_EQ(resynced.err, "");
    EXPECT_EQ(countLines(resynced.out), 8u);
    const std::size_t second = resynced.out.find('\n') + 1;
    EXPECT_EQ(resynced.out.substr(second, resynced.out.find('\n', second) - second + 1),
              "\tTEXT 7 Bytes Skipped To The Next Sync Pattern\t\n");
    // The frames after it keep their index positions.
    EXPECT_NE(resynced.out.find("\t1\n"), std::string::npos);
}

TEST(CliList, AFileCutOffMidFrameIsShownAsDamagedByEveryCommand) {
    TempDir dir;
    const std::string good = dir.file("good.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", good, "--frames", "6", "--no-catalog"}).status, 0);
    const std::string bytes = tarvik::testing::slurp(good);
    const std::string cut = dir.file("cut.vxr");
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() - 100);

    const auto list = runProgram(kCli, {"list", cut});
    EXPECT_EQ(list.status, 1);
    EXPECT_NE(list.err.find(" Of File cut.vxr Is Cut Off At Byte " + std::to_string(bytes.size() - 100)),
              std::string::npos)
        << list.err;
    const std::string lastLine = list.out.substr(list.out.rfind('\n', list.out.size() - 2) + 1);
    EXPECT_NE(lastLine.find(" bytes, cut off: "), std::string::npos) << list.out;
    const std::string type = lastLine.substr(0, lastLine.find('\t'));
    const std::string row = std::to_string(countLines(list.out) - 1);

    const auto report = runProgram(kCli, {"report", cut, "--row", row});
    EXPECT_EQ(report.status, 1);
    EXPECT_NE(report.err.find("Is Cut Off"), std::string::npos) << report.err;
    const auto coverage = runProgram(kCli, {"report", cut, "--row", row, "--coverage"});
    EXPECT_EQ(coverage.status, 1);
    EXPECT_NE(coverage.out.find("\t96\tcut off\n"), std::string::npos) << coverage.out;
    const auto exported = runProgram(kCli, {"export", cut, "--type", type});
    EXPECT_EQ(exported.status, 1);
    EXPECT_NE(exported.err.find("Is Cut Off"), std::string::npos) << exported.err;

    // The whole file says nothing of the kind.
    const auto whole = runProgram(kCli, {"list", good});
    EXPECT_EQ(whole.status, 0);
    EXPECT_EQ(whole.out.find("cut off"), std::string::npos);
}

TEST(CliList, SaysWhatAFileOfAnotherKindAndAFilterThatLetsNothingThroughMean) {
    TempDir dir;
    const std::string notes = dir.file("notes.txt");
    std::ofstream(notes) << std::string(200, 'n') << "\n";
    auto r = runProgram(kCli, {"list", notes});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Record 0 Of File notes.txt Does Not Have The Sync Pattern\n"
                     "tarvik-cli: " + notes + " does not look like a Vx record file: no frame begins at its first "
                     "byte (--resync looks for frames further on)\n");
    // A note shorter than a frame header: said the same way, with nothing to resync to.
    std::ofstream(notes, std::ios::trunc) << "hello notes\n";
    r = runProgram(kCli, {"list", notes});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "First Record Of File notes.txt Is Too Small\n"
                     "tarvik-cli: " + notes + " does not look like a Vx record file: it is shorter than one frame "
                     "header (64 bytes)\n");

    const std::string file = dir.file("s.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "12"}).status, 0);
    r = runProgram(kCli, {"list", file, "--filter", "700"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tarvik-cli: no record of " + file + " passes the filter \"700\" (14 records read)\n");
    for (const char* notAFilter : {"xyz", "", "all records"}) {
        r = runProgram(kCli, {"list", file, "--filter", notAFilter});
        EXPECT_EQ(r.status, 2) << notAFilter;
        EXPECT_NE(r.err.find("names no record type"), std::string::npos) << r.err;
    }
    r = runProgram(kCli, {"list", file, "--filter", "7004"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out, "");
}
