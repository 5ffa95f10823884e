// Each fault the simulator can inject and each damage the generator can make
// trips the one rule of the built-in profiles that names it, and no other;
// clean runs and files pass. Run as a user would: tarvik-cli expect against
// vxcenter-sim on 127.0.0.1, its verdicts read from --json.

#include "tests/net/sim_process.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <set>

using tarvik::testing::runProgram;
using tarvik::testing::SimProcess;
using tarvik::testing::TempDir;

namespace {

const std::string kCli = TARVIK_CLI;
const std::string kProfiles = std::string(TARVIK_SOURCE_DIR) + "/data/profiles/";

// One profile holding the rules of the listed built-in ones (their names do
// not repeat), so that a source is read once for all of them.
std::string combined(const std::vector<std::string>& profiles, const TempDir& dir) {
    std::string text = "profile: combined\nrules:\n";
    for (const std::string& p : profiles) {
        const std::string file = tarvik::testing::slurp(kProfiles + p + ".yaml");
        text += file.substr(file.find("\nrules:\n") + 8);
    }
    const std::string path = dir.file("combined.yaml");
    std::ofstream(path) << text;
    return path;
}

// The rules of the listed built-in profiles that failed.
std::set<std::string> failed(const std::vector<std::string>& profiles, const std::vector<std::string>& source,
                             const TempDir& dir) {
    std::set<std::string> out;
    const std::string json = dir.file("verdicts.json");
    std::vector<std::string> args{"expect", combined(profiles, dir)};
    args.insert(args.end(), source.begin(), source.end());
    args.insert(args.end(), {"--json", json, "--force"});
    const auto r = runProgram(kCli, args);
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.err;
    const auto doc = nlohmann::json::parse(tarvik::testing::slurp(json), nullptr, false);
    if (doc.is_discarded()) {
        ADD_FAILURE() << "no JSON";
        return out;
    }
    for (const auto& s : doc["sources"])
        for (const auto& rule : s["rules"])
            if (rule["outcome"] == "failed") out.insert(rule["rule"].get<std::string>());
    // The exit status says the same as the verdicts (no warning rule fails here).
    EXPECT_EQ(r.status, out.empty() ? 0 : 1);
    return out;
}

const std::vector<std::string> kAll{"file-integrity", "bathymetry-feed", "imagery-feed", "remote-control-session"};

struct Row {
    std::vector<std::string> sim;
    std::set<std::string> trips;
};

} // namespace

TEST(ProfileFaultTable, SimulatorFaultsTripTheirRuleAndNoOther) {
    const std::vector<Row> rows{
        {{}, {}},  // a clean feed passes every profile
        {{"--skip-pings", "5"}, {"ping-gaps"}},
        {{"--drop-fragment", "2"}, {"no-lost-packets"}},
        {{"--orphan-fragment", "2"}, {"image-each-ping"}},
        {{"--close-after", "40"}, {"connection-kept"}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args{"--imagery", "--ping-rate", "10"};
        args.insert(args.end(), row.sim.begin(), row.sim.end());
        SimProcess sim(args);
        TempDir dir;
        EXPECT_EQ(failed(kAll, {"--live", "127.0.0.1", sim.port(), "--seconds", "1.5"}, dir), row.trips)
            << (row.sim.empty() ? "clean" : row.sim[0]);
    }
}

// The hostile server sends settings records and nothing of a ping feed, so the
// feed profiles' pairs do not apply to it: it is judged by the integrity and
// session profiles, and by the bathymetry feed's settings rate and gaps.
// Random bytes and a record announced as 3 GiB are not told from a quiet feed
// while the connection lasts: their rows end the hostile bytes at 2 MB, and
// the end of the connection is what trips. Garbage packets may swallow a
// settings record too, which the gap rule then sees as well.
TEST(ProfileFaultTable, HostileServerModesTripTheirRuleAndNoOther) {
    struct Chaos {
        std::string mode;
        std::string bytes;
        std::set<std::string> trips;
    };
    const std::string endless = "100000000000";
    const std::vector<Chaos> rows{
        {"raw", "2000000", {"connection-kept"}},
        {"garbage", endless, {"no-damage"}},
        {"size0", endless, {"connection-kept"}},
        {"size35", endless, {"connection-kept"}},
        {"size4g", endless, {"connection-kept"}},
        {"size100001", endless, {"connection-kept"}},
        {"fragments", endless, {"no-lost-packets"}},
        {"giant", "2000000", {"connection-kept"}},
        {"trickle", endless, {"settings-rate"}},
        {"flood", endless, {"settings-rate"}},
    };
    // On a busy machine a run may end before the client read anything (every
    // rule then goes unevaluated): a run that differs is taken again, twice as
    // long, before the difference counts.
    const auto tripped = [](const Chaos& row, const char* seconds) {
        SimProcess sim({"--chaos", row.mode, "--chaos-bytes", row.bytes});
        TempDir dir;
        std::set<std::string> trips = failed({"file-integrity", "bathymetry-feed", "remote-control-session"},
                                             {"--live", "127.0.0.1", sim.port(), "--seconds", seconds}, dir);
        trips.erase("detections-each-ping");
        if (row.mode == "garbage") trips.erase("ping-gaps");
        return trips;
    };
    for (const Chaos& row : rows) {
        std::set<std::string> trips = tripped(row, "3");
        if (trips != row.trips) trips = tripped(row, "6");
        EXPECT_EQ(trips, row.trips) << row.mode;
    }
}

TEST(ProfileFaultTable, GeneratedFilesPassAndTheirDamageTripsItsRule) {
    TempDir dir;
    const std::string plain = dir.file("plain.vxr"), imagery = dir.file("imagery.vxr");
    const std::string capture = dir.file("clean.pcapng"), damaged = dir.file("damaged.pcapng");
    ASSERT_EQ(runProgram(kCli, {"generate", plain, "--frames", "200"}).status, 0);
    ASSERT_EQ(runProgram(kCli, {"generate", imagery, "--imagery", "300"}).status, 0);
    ASSERT_EQ(runProgram(kCli, {"generate", capture, "--capture", "--plain"}).status, 0);
    ASSERT_EQ(runProgram(kCli, {"generate", damaged, "--capture"}).status, 0);
    const std::vector<std::string> bathymetry{"file-integrity", "bathymetry-feed", "remote-control-session"};
    EXPECT_EQ(failed(bathymetry, {plain}, dir), std::set<std::string>{});
    EXPECT_EQ(failed({"file-integrity", "imagery-feed", "remote-control-session"}, {imagery}, dir),
              std::set<std::string>{});
    EXPECT_EQ(failed(bathymetry, {capture}, dir), std::set<std::string>{});
    EXPECT_EQ(failed(bathymetry, {damaged}, dir), std::set<std::string>{"no-lost-packets"});
    // Each lost record counts once, though the capture's check also sums them up.
    const auto lost = runProgram(kCli, {"expect", "file-integrity", damaged});
    EXPECT_NE(lost.out.find("FAIL  no-lost-packets: 2 failures"), std::string::npos) << lost.out;
}

TEST(ProfileExpect, UsageAndProfileErrorsAreStatusTwo) {
    TempDir dir;
    const std::string file = dir.file("f.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file}).status, 0);
    const std::string bad = dir.file("bad.yaml");
    std::ofstream(bad) << "rules:\n  - name: a\n    value: \"7027.nope > 1\"\n";
    auto r = runProgram(kCli, {"expect", bad, file});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.substr(0, bad.size() + 3), bad + ":3:");
    EXPECT_EQ(runProgram(kCli, {"expect", "file-integrity"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"expect", "file-integrity", dir.file("missing.vxr")}).status, 2);
    // Outputs: never onto an input, an existing one only with --force.
    r = runProgram(kCli, {"expect", "file-integrity", file, "--junit", file});
    EXPECT_EQ(r.status, 2);
    const std::string junit = dir.file("j.xml");
    EXPECT_EQ(runProgram(kCli, {"expect", "file-integrity", file, "--junit", junit}).status, 0);
    EXPECT_EQ(runProgram(kCli, {"expect", "file-integrity", file, "--junit", junit}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"expect", "file-integrity", file, "--junit", junit, "--force"}).status, 0);
    // The built-in profiles are listed and printed.
    r = runProgram(kCli, {"profiles"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, 16), "bathymetry-feed\t");
    r = runProgram(kCli, {"profiles", "file-integrity"});
    EXPECT_NE(r.out.find("profile: file-integrity"), std::string::npos);
    EXPECT_EQ(runProgram(kCli, {"profiles", "nothing"}).status, 2);
}
