// tarvik-cli check, report --json and the programs' refusal of paths that are
// not record files, run as a user would.

#include "core/frame.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"
#include "tools/synth/sample_records.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

using tarvik::testing::runProgram;
using tarvik::testing::TempDir;

namespace {
const std::string kCli = TARVIK_CLI;
const std::string kSim = TARVIK_SIM;
const std::string kSource = TARVIK_SOURCE_DIR;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Validates the output against a documented schema with the Python checker.
std::string validate(const TempDir& dir, const std::string& schema, const std::string& output) {
    std::ofstream(dir.file("out.json")) << output;
    auto r = runProgram("/usr/bin/python3", {kSource + "/tests/cli/validate_json.py", kSource + "/docs/" + schema,
                                             dir.file("out.json")});
    return r.status == 0 ? std::string() : r.out + r.err;
}

// A sample file with one checksum broken in frame 3.
std::string damagedFile(const TempDir& dir, std::uint64_t& offset3) {
    const std::string path = dir.file("damaged.vxr");
    tarvik::synth::SampleOptions o;
    o.frames = 10;
    o.withCatalog = false;
    EXPECT_TRUE(tarvik::synth::writeSampleFile(path, o));
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    offset3 = 0;
    for (int i = 0; i < 3; ++i) {
        std::uint8_t header[12];
        f.seekg(static_cast<std::streamoff>(offset3));
        f.read(reinterpret_cast<char*>(header), sizeof header);
        offset3 += tarvik::readLEOr0<std::uint32_t>(header, 8);
    }
    f.seekp(static_cast<std::streamoff>(offset3 + 70));
    f.put('\x7F');
    return path;
}
} // namespace

TEST(CliCheck, SummarisesACleanAndADamagedFile) {
    TempDir dir;
    const std::string clean = dir.file("clean.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", clean, "--frames", "20"}).status, 0);
    auto r = runProgram(kCli, {"check", clean});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(contains(r.out, "  22 frames, "));
    EXPECT_TRUE(contains(r.out, "no problems found"));
    EXPECT_TRUE(contains(r.out, "  7000              3 "));

    std::uint64_t at = 0;
    const std::string damaged = damagedFile(dir, at);
    r = runProgram(kCli, {"check", damaged, clean});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.out, "    checksum: frame 3 at byte " + std::to_string(at) + ": ")) << r.out;
    EXPECT_TRUE(contains(r.out, clean + "\n"));

    // Several jobs give the same output in the same order.
    auto parallel = runProgram(kCli, {"check", damaged, clean, damaged, "--jobs", "2"});
    auto serial = runProgram(kCli, {"check", damaged, clean, damaged, "--jobs", "1"});
    EXPECT_EQ(parallel.out, serial.out);
    EXPECT_EQ(parallel.status, 1);

    EXPECT_EQ(runProgram(kCli, {"check"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"check", clean, "--jobs", "0"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"check", clean, "--bogus"}).status, 2);
}

TEST(CliCheck, JsonFollowsTheDocumentedSchema) {
    TempDir dir;
    std::uint64_t at = 0;
    const std::string damaged = damagedFile(dir, at);
    auto one = runProgram(kCli, {"check", damaged, "--json"});
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(validate(dir, "check.schema.json", one.out), "");
    EXPECT_TRUE(contains(one.out, "\"kind\": \"checksum\""));
    EXPECT_TRUE(contains(one.out, "\"offset\": " + std::to_string(at)));

    // Several files: one document a line, an unreadable one among them.
    auto several = runProgram(kCli, {"check", damaged, dir.path().string(), "--json"});
    EXPECT_EQ(several.status, 2);
    EXPECT_EQ(validate(dir, "check.schema.json", several.out), "");
    EXPECT_TRUE(contains(several.out, "\"error\":\"it is a directory\""));

    const std::string sample = dir.file("s.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", sample, "--frames", "14"}).status, 0);
    for (const char* row : {"0", "3", "5", "6", "15"}) {
        auto rep = runProgram(kCli, {"report", sample, "--row", row, "--json", "--hex"});
        EXPECT_EQ(rep.status, 0) << row;
        EXPECT_EQ(validate(dir, "record.schema.json", rep.out), "") << row;
    }
    auto all = runProgram(kCli, {"report", sample, "--all", "--json"});
    EXPECT_EQ(validate(dir, "record.schema.json", all.out), "");
}

TEST(CliReport, HexDumpFollowsTheReport) {
    TempDir dir;
    const std::string file = dir.write("one.vxr", tarvik::synth::sampleFrame(7022, 7125, 1, 0));
    auto r = runProgram(kCli, {"report", file, "--hex"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "probably ends in checksum\n"));
    EXPECT_TRUE(contains(r.out, "\n00000000  05 00 3C 00 FF FF 00 00  "));
    EXPECT_TRUE(contains(r.out, "\n00000010  "));
}

TEST(CliRefusal, PathsThatAreNotRegularFilesAreRefusedWithoutBlocking) {
    TempDir dir;
    const std::string fifo = dir.file("pipe.vxr");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.path().string();

    auto list = runProgram(kCli, {"list", fifo});
    EXPECT_EQ(list.status, 1);
    EXPECT_TRUE(contains(list.err, "could not open the specified file " + fifo + "\nit is a FIFO")) << list.err;
    auto report = runProgram(kCli, {"report", fifo});
    EXPECT_EQ(report.status, 1);
    auto onFolder = runProgram(kCli, {"list", folder});
    EXPECT_EQ(onFolder.err, "could not open the specified file " + folder + "\nit is a directory\n");

    auto check = runProgram(kCli, {"check", fifo});
    EXPECT_EQ(check.status, 2);
    EXPECT_TRUE(contains(check.err, "FIFO"));

    auto sim = runProgram(kSim, {"--port", "0", "--replay", fifo, "--exit-after", "1"});
    EXPECT_EQ(sim.status, 1);
    EXPECT_TRUE(contains(sim.err, "FIFO")) << sim.err;
}

TEST(CliPingGaps, EveryPingRecordTypeIsWatchedByTheCheckAndTheCondensedFile) {
    // The record list (its own test) and check watch these types; the condensed file a longer list.
    const std::vector<std::uint32_t> pingTypes = {7006, 7007, 7008, 7009, 7011, 7012};
    const std::vector<std::uint32_t> condensedTypes = {1200, 7000, 7002, 7006, 7007, 7008,
                                                       7009, 7011, 7016, 7017, 7021, 7503};
    std::vector<std::uint32_t> all = condensedTypes;
    all.push_back(7012);
    // Pings 10 and 12 of each type: one missing in between.
    tarvik::Bytes file;
    for (std::uint32_t type : all)
        for (std::uint32_t ping : {10u, 12u}) {
            tarvik::FrameBuilder b(type);
            b.device(7125, 0);
            b.data().u64(1).u32(ping).u32(0).u32(0);
            const tarvik::Bytes frame = b.build();
            file.insert(file.end(), frame.begin(), frame.end());
        }
    TempDir dir;
    const std::string path = dir.write("pings.vxr", file);
    auto gapLine = [](std::uint32_t type) { return "! ! ! " + std::to_string(type) + " DROPPED PING AFTER # 10"; };

    const auto checked = runProgram(kCli, {"check", path});
    ASSERT_EQ(runProgram(kCli, {"condense", path, "--out", dir.path().string()}).status, 0);
    const std::string condensed = tarvik::testing::slurp(dir.file("pings.txt"));
    for (std::uint32_t type : all) {
        SCOPED_TRACE(type);
        const bool ping = std::find(pingTypes.begin(), pingTypes.end(), type) != pingTypes.end();
        const bool inCondensed = std::find(condensedTypes.begin(), condensedTypes.end(), type) != condensedTypes.end();
        EXPECT_EQ(contains(checked.out, "record type " + std::to_string(type) + ", device 7125, enumerator 0: ping 12 "
                                        "after ping 10"),
                  ping)
            << checked.out;
        EXPECT_EQ(contains(condensed, gapLine(type)), inCondensed) << condensed;
    }
}

TEST(CliCheck, ARecordTypeWhoseLayoutListsNoFieldsIsNamedNotFailed) {
    // The built-in 7005 layout has its title only: its 16 bytes of data cannot be walked.
    tarvik::FrameBuilder b(7005);
    b.device(7125, 0);
    b.data().u64(42).u32(1).u32(2);
    TempDir dir;
    const std::string path = dir.write("calibration.vxr", b.build());
    const auto r = runProgram(kCli, {"check", path});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(contains(r.out, "after the last field")) << r.out;
    EXPECT_TRUE(contains(r.out, "  not decoded: record type 7005 (the layout lists no fields)\n")) << r.out;
}

TEST(CliReadme, TheDamagedFileRecipeGivesTheCheckShown) {
    const std::string readme = tarvik::testing::slurp(std::string(TARVIK_SOURCE_DIR) + "/README.md");
    const std::string recipeHead = "made with these commands:\n\n```sh\n";
    const auto recipeAt = readme.find(recipeHead);
    ASSERT_NE(recipeAt, std::string::npos) << "the README gives no recipe for damaged.vxr";
    const auto recipeFrom = recipeAt + recipeHead.size();
    const std::string recipe = readme.substr(recipeFrom, readme.find("```", recipeFrom) - recipeFrom);
    const std::string command = "$ build/bin/tarvik-cli check build/damaged.vxr\n";
    const auto shownAt = readme.find(command);
    ASSERT_NE(shownAt, std::string::npos);
    const auto shownFrom = shownAt + command.size();
    const std::string shown = readme.substr(shownFrom, readme.find("\n$ ", shownFrom) + 1 - shownFrom);

    // The commands, run from a folder whose build/bin holds the programs.
    TempDir dir;
    std::filesystem::create_directory(dir.file("build"));
    std::filesystem::create_directory_symlink(std::filesystem::path(kCli).parent_path(), dir.file("build/bin"));
    const auto made = runProgram("/bin/sh", {"-ec", "cd \"$0\"\n" + recipe, dir.path().string()});
    ASSERT_EQ(made.status, 0) << made.err;
    const auto checked =
        runProgram("/bin/sh", {"-c", "cd \"$0\" && build/bin/tarvik-cli check build/damaged.vxr", dir.path().string()});
    EXPECT_EQ(checked.status, 1);
    // Every line shown (but the "..." that stands for lines left out) is printed, in order.
    std::istringstream lines(shown);
    std::size_t from = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line == "  ...") continue;
        const auto at = checked.out.find(line + "\n", from);
        ASSERT_NE(at, std::string::npos) << "not printed: " << line << "\n" << checked.out;
        from = at + line.size();
    }
}

TEST(CliCheck, RemoteControlRecordsAreWalkedIntoTheirCommandBodies) {
    // Command 1002 takes a 2-byte and a 4-byte parameter: a body of 6 bytes
    // walks clean, one of 2 runs out. The command definitions are read only
    // when such a record comes, once for all workers.
    auto remoteControl = [](std::uint32_t ping, std::size_t bodyBytes) {
        tarvik::FrameBuilder b(7500);
        b.device(7125, 0);
        b.data().u32(1002).u32(ping).fill(16).fill(bodyBytes);
        return b.build();
    };
    TempDir dir;
    const std::string whole = dir.write("whole.vxr", remoteControl(1, 6));
    const std::string cut = dir.write("cut.vxr", remoteControl(2, 2));
    const auto clean = runProgram(kCli, {"check", whole});
    EXPECT_EQ(clean.status, 0) << clean.out;
    const auto short_ = runProgram(kCli, {"check", cut});
    EXPECT_EQ(short_.status, 1) << short_.out;
    EXPECT_TRUE(contains(short_.out, "Data exhausted") || contains(short_.out, "data exhausted")) << short_.out;
    const auto both = runProgram(kCli, {"check", cut, whole, cut, whole, "--jobs", "2"});
    EXPECT_EQ(both.status, 1);
    EXPECT_EQ(both.out, runProgram(kCli, {"check", cut, whole, cut, whole, "--jobs", "1"}).out);
}
