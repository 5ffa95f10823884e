// tarvik-cli diff as a user runs it: recordings against themselves, against a
// copy that went through a capture, and a server against a recording of another.

#include "tests/net/sim_process.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

using tarvik::testing::runProgram;
using tarvik::testing::SimProcess;
using tarvik::testing::slurp;
using tarvik::testing::TempDir;

namespace {
const std::string kCli = TARVIK_CLI;
}

TEST(CliDiff, ARecordingEqualsItselfAndItsCopyThroughACapture) {
    TempDir dir;
    const std::string file = dir.file("a.vxr"), capture = dir.file("c.pcapng"), copy = dir.file("c.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "300"}).status, 0);
    ASSERT_EQ(runProgram(kCli, {"generate", capture, "--capture", "--plain", "--frames", "60"}).status, 0);
    ASSERT_EQ(runProgram(kCli, {"convert", capture, copy}).status, 0);

    auto self = runProgram(kCli, {"diff", file, file});
    EXPECT_EQ(self.status, 0) << self.err;
    EXPECT_NE(self.out.find("\nequal\n"), std::string::npos) << self.out;
    EXPECT_NE(self.out.find("7027             43         43          0          0          0"), std::string::npos)
        << self.out;

    auto converted = runProgram(kCli, {"diff", capture, copy, "--json", dir.file("d.json")});
    EXPECT_EQ(converted.status, 0) << converted.out << converted.err;
    const auto j = nlohmann::json::parse(slurp(dir.file("d.json")));
    EXPECT_TRUE(j["equal"]);
    EXPECT_GT(j["a"]["records"].get<int>(), 50);
    EXPECT_EQ(j["a"]["records"], j["b"]["records"]);
    EXPECT_TRUE(j["findings"].empty());

    // Different recordings: the first findings, as many as asked, and all in the JSON.
    auto different = runProgram(kCli, {"diff", file, copy, "--limit", "3", "--json", dir.file("d.json")});
    EXPECT_EQ(different.status, 1);
    EXPECT_EQ(different.out, "");  // the output is refused before any work
    EXPECT_EQ(different.err, "tarvik-cli: " + dir.file("d.json") + " exists; --force replaces it\n");
    different = runProgram(kCli, {"diff", file, copy, "--limit", "3", "--json", dir.file("d.json"), "--force"});
    EXPECT_EQ(different.status, 1);
    EXPECT_NE(different.out.find("first 3 findings of "), std::string::npos) << different.out;
    const auto all = nlohmann::json::parse(slurp(dir.file("d.json")));
    EXPECT_FALSE(all["equal"]);
    EXPECT_EQ(all["findings"].size(), all["findings_total"].get<std::size_t>());
    EXPECT_GT(all["findings"].size(), 3u);
}

TEST(CliDiff, UsageErrors) {
    TempDir dir;
    const std::string file = dir.file("a.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file}).status, 0);
    auto typo = runProgram(kCli, {"diff", file, file, "--tolerance", "7027.qualty=1"});
    EXPECT_EQ(typo.status, 2);
    EXPECT_EQ(typo.err, "tarvik-cli: --tolerance: no field is named 7027.qualty (did you mean vx.7027.quality?)\n");
    EXPECT_EQ(runProgram(kCli, {"diff", file, file, "--ignore", "vx.tme"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"diff", file}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"diff", file, file, "--live", "127.0.0.1", "7000"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"diff", file, "--live", "nowhere", "7000"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"diff", file, file, "--filter", "7027.qualty > 1"}).status, 2);
    auto missing = runProgram(kCli, {"diff", file, dir.file("none.vxr")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.vxr"), std::string::npos);
    // The defaults that are ignored are named in the help.
    EXPECT_NE(runProgram(kCli, {"diff", "--help"}).out.find("vx.time,vx.record_counter"), std::string::npos);
}

TEST(CliDiff, ServersWithOtherBeamCountsDifferInWhatTheBeamsMake) {
    TempDir dir;
    SimProcess wide({"--beams", "64", "--ping-rate", "20"});
    SimProcess narrow({"--beams", "32", "--ping-rate", "20"});
    auto recorded = runProgram(kCli, {"listen", "127.0.0.1", wide.port(), "--seconds", "1.5", "--write", dir.path().string()});
    ASSERT_EQ(recorded.status, 0) << recorded.err;
    const std::string file = recorded.out.substr(recorded.out.rfind('\n', recorded.out.size() - 2) + 1,
                                                 std::string::npos);
    const std::string path = file.substr(0, file.size() - 1);
    ASSERT_TRUE(std::filesystem::exists(path)) << path;

    auto r = runProgram(kCli, {"diff", path, "--live", "127.0.0.1", narrow.port(), "--seconds", "1.5", "--json",
                               dir.file("d.json")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out.find("7027\t"), std::string::npos);  // the live rows are not listed
    const auto j = nlohmann::json::parse(slurp(dir.file("d.json")));
    bool beams = false;
    for (const auto& f : j["fields"]) {
        const std::string name = f["field"];
        // Only what the beam count shapes: the beam geometry, the detections, the records' sizes.
        EXPECT_TRUE(name == "vx.size" || name.rfind("vx.7004.", 0) == 0 || name.rfind("vx.7027.", 0) == 0) << name;
        if (name == "vx.7004.number_of_receiver_beams") {
            beams = true;
            EXPECT_EQ(f["largest_difference"], 32.0);
        }
    }
    EXPECT_TRUE(beams);
    for (const auto& t : j["types"]) {
        if (t["type"] == 7000) {
            EXPECT_GT(t["pairs"].get<int>(), 10);
            EXPECT_EQ(t["differing"], 0);
        }
    }
}
