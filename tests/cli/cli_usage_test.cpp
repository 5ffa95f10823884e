// Usage errors and help of tarvik-cli and vxcenter-sim: every usage error is one
// line on stderr naming what is wrong, exit status 2, nothing on stdout.

#include "tests/net/sim_process.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>

using tarvik::testing::runProgram;
using tarvik::testing::SimProcess;
using tarvik::testing::TempDir;

namespace {

const std::string kCli = TARVIK_CLI;
const std::string kSim = TARVIK_SIM;

struct UsageCase {
    const std::string& program;
    std::vector<std::string> args;
    std::string named;  // what the line must name
};

} // namespace

TEST(Usage, ErrorsAreOneLineNamingTheOptionWithExitTwo) {
    TempDir dir;
    const std::string file = dir.file("sample.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "4"}).status, 0);
    const std::string host = "127.0.0.1";
    const std::vector<UsageCase> cases = {
        // Bad numbers: signs, letters, values out of range are refused, not wrapped.
        {kCli, {"report", file, "--row", "-1"}, "--row"},
        {kCli, {"report", file, "--row", "abc"}, "--row"},
        {kCli, {"report", file, "--row", "0x10"}, "--row"},
        {kCli, {"receive", host, "7000", "--seconds", "-5"}, "--seconds"},
        {kCli, {"receive", host, "7000", "--seconds", "nan"}, "--seconds"},
        {kCli, {"receive", host, "7000", "--request", "7000", "--request", "4294967296"}, "--request"},
        {kCli, {"generate", file, "--size", "5", "3"}, "--size"},
        {kCli, {"generate", file, "--size", "50", "30"}, "--size"},
        {kCli, {"catalogue", "--record", "abc"}, "--record"},
        {kCli, {"check", file, "--jobs", "0"}, "--jobs"},
        {kCli, {"listen", host, "--limit", "19"}, "--limit"},
        {kCli, {"listen", host, "70000"}, "PORT"},
        {kCli, {"listen", "999.1.1.1"}, "HOST"},
        {kCli, {"dump", file, "--rows", "3:0"}, "--rows"},
        {kCli, {"image", file, "--out", dir.file("x.png"), "--size", "8", "8"}, "--size"},
        {kCli, {"send", "--dry-run", dir.file("x.vxr"), "1003", "--device", "7000"}, "--device"},
        {kCli, {"condense", file, "--sep", "semicolon"}, "--sep"},
        // Unknown options and extra words, in several commands.
        {kCli, {"list", file, "--bogus"}, "--bogus"},
        {kCli, {"report", file, "--bogus"}, "--bogus"},
        {kCli, {"check", file, "--bogus"}, "--bogus"},
        {kCli, {"receive", host, "7000", "--bogus"}, "--bogus"},
        {kCli, {"commands", "--bogus"}, "--bogus"},
        {kCli, {"generate", file, "extra"}, "extra"},
        {kCli, {"frobnicate"}, "frobnicate"},
        {kCli, {}, "command"},
        // Missing values and missing arguments.
        {kCli, {"list", file, "--filter"}, "--filter"},
        {kCli, {"image", file, "--out", dir.file("x.png"), "--size", "16"}, "--size"},
        {kCli, {"print", file, "--row", "0"}, "--pdf"},
        {kCli, {"list"}, "FILE"},
        {kCli, {"catalogue", "--check"}, "--check"},
        {kCli, {"play", file}, "--host"},
        // Options that do not go together.
        {kCli, {"report", file, "--row", "0", "--all"}, "--all"},
        {kCli, {"catalogue", "--repeats", "--vectors"}, "--vectors"},
        // The server stand-in: rates, counts and sizes it cannot serve.
        {kSim, {"--ping-rate", "1e9"}, "--ping-rate"},
        {kSim, {"--beams", "0"}, "--beams"},
        {kSim, {"--split-writes", "0"}, "--split-writes"},
        {kSim, {"--port", "65536"}, "--port"},
        {kSim, {"--chaos", "nope"}, "--chaos"},
        {kSim, {"--record-size", "7000"}, "--record-size"},
        {kSim, {"--image", "65536", "65536"}, "--image"},
        {kSim, {"--bogus"}, "--bogus"},
    };
    for (const UsageCase& c : cases) {
        std::string command;
        for (const auto& a : c.args) command += " " + a;
        SCOPED_TRACE(c.program.substr(c.program.rfind('/') + 1) + command);
        const auto r = runProgram(c.program, c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(!r.err.empty() && r.err.back() == '\n');
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
    }
}

// The forms the commands took before stay: "localhost" for the loopback, a
// repeated option given once per value, options before and after the positionals.
TEST(Usage, RepeatedOptionsAndLocalhostAreTakenAsBefore) {
    SimProcess sim({});
    ASSERT_FALSE(sim.port().empty());
    const auto r = runProgram(kCli, {"receive", "--request", "7022", "localhost", sim.port(), "--request", "7001",
                                     "--seconds", "0.5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("7022\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("7001\t"), std::string::npos) << r.out;
}

// Numbers are decimal whatever their leading zeros ("--row 010" is row ten),
// and a file named like a command is a file.
TEST(Usage, NumbersAndWordsAreReadAsWritten) {
    TempDir dir;
    const std::string file = dir.file("sample.vxr");
    ASSERT_EQ(runProgram(kCli, {"generate", file, "--frames", "12"}).status, 0);
    const auto padded = runProgram(kCli, {"report", file, "--row", "010"});
    ASSERT_EQ(padded.status, 0) << padded.err;
    EXPECT_EQ(padded.out, runProgram(kCli, {"report", file, "--row", "10"}).out);
    EXPECT_NE(padded.out, runProgram(kCli, {"report", file, "--row", "8"}).out);

    const std::string named = dir.file("report");
    ASSERT_EQ(runProgram(kCli, {"generate", named, "--frames", "3"}).status, 0);
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const auto listed = runProgram(kCli, {"list", "report"});
    std::filesystem::current_path(before);
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 5);
}

// The overview lists every command with a line of its own; each command's
// help has the same layout and goes to stdout with exit 0.
TEST(Usage, EveryCommandHasItsHelp) {
    const auto overview = runProgram(kCli, {"--help"});
    ASSERT_EQ(overview.status, 0);
    std::istringstream lines(overview.out.substr(overview.out.find("\nCommands:\n") + 11));
    std::vector<std::string> commands;
    for (std::string line; std::getline(lines, line) && !line.empty();) {
        std::istringstream words(line);
        std::string name, summary;
        words >> name;
        std::getline(words, summary);
        EXPECT_FALSE(summary.empty()) << name;
        commands.push_back(name);
    }
    EXPECT_EQ(commands.size(), 21u);
    for (const std::string& name : commands) {
        const auto help = runProgram(kCli, {name, "--help"});
        EXPECT_EQ(help.status, 0) << name;
        EXPECT_EQ(help.out.rfind("Usage: tarvik-cli " + name, 0), 0u) << help.out;
        EXPECT_NE(help.out.find("\nOptions:\n  -h,--help"), std::string::npos) << name;
    }
    EXPECT_EQ(runProgram(kCli, {"--version"}).out, std::string("tarvik-cli ") + TARVIK_VERSION + "\n");
    EXPECT_EQ(runProgram(kSim, {"--version"}).out, std::string("vxcenter-sim ") + TARVIK_VERSION + "\n");
    EXPECT_EQ(runProgram(kSim, {"--help"}).out.rfind("Usage: vxcenter-sim", 0), 0u);
}

// A port file that cannot be written ends the simulator with the reason, not silently.
TEST(Usage, SimulatorSaysWhyThePortFileCannotBeWritten) {
    TempDir dir;
    const std::string portFile = dir.file("no-such-folder/port");
    const auto r = runProgram(kSim, {"--port", "0", "--port-file", portFile, "--exit-after", "5"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vxcenter-sim: cannot write the port file " + portFile + ": " + std::strerror(ENOENT) + "\n");
}
