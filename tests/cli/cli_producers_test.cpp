// Every record file this project writes passes its own check: the generator
// with each of its options, a recording of the simulator's picture stream, and
// the records that send and play write with --dry-run.

#include "tests/net/sim_process.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using tarvik::testing::runProgram;
using tarvik::testing::SimProcess;
using tarvik::testing::TempDir;

namespace {
const std::string kCli = TARVIK_CLI;

// Runs check on a file and expects a clean verdict, showing its findings otherwise.
void expectClean(const std::string& file, const std::string& producer) {
    const auto r = runProgram(kCli, {"check", file});
    EXPECT_EQ(r.status, 0) << producer << "\n" << r.out << r.err;
    EXPECT_NE(r.out.find("no problems found"), std::string::npos) << producer << "\n" << r.out;
}
} // namespace

TEST(CliProducers, GeneratedFilesPassCheck) {
    TempDir dir;
    const std::vector<std::vector<std::string>> options = {
        {},
        {"--frames", "120"},
        {"--no-catalog"},
        {"--size", "15", "400"},
        {"--size", "300", "70000", "--frames", "12"},
        {"--imagery", "150"},
        {"--imagery", "20", "--no-catalog"},
    };
    int n = 0;
    for (const auto& extra : options) {
        const std::string file = dir.file("g" + std::to_string(n++) + ".vxr");
        std::vector<std::string> args = {"generate", file};
        args.insert(args.end(), extra.begin(), extra.end());
        const auto r = runProgram(kCli, args);
        ASSERT_EQ(r.status, 0) << r.err;
        std::string producer = "generate";
        for (const auto& a : extra) producer += " " + a;
        expectClean(file, producer);
    }
}

TEST(CliProducers, GeneratedCapturesAndTheirConversionsPassCheck) {
    TempDir dir;
    // Two TCP streams and a UDP one interleave; each keeps its own time line.
    for (const bool plain : {true, false}) {
        const std::string capture = dir.file(plain ? "plain.pcapng" : "hard.pcapng");
        std::vector<std::string> args = {"generate", capture, "--capture"};
        if (plain) args.push_back("--plain");
        ASSERT_EQ(runProgram(kCli, args).status, 0);
        if (plain) {
            expectClean(capture, "generate --capture --plain");
        } else {
            // The missing segment takes two records with it: the check says so, never "clean".
            const auto r = runProgram(kCli, {"check", capture});
            EXPECT_EQ(r.status, 1) << r.out;
            EXPECT_NE(r.out.find("capture: frame 44 at byte 0: 2 records whose bytes never all came"), std::string::npos)
                << r.out;
        }
        const std::string converted = capture + ".vxr";
        ASSERT_EQ(runProgram(kCli, {"convert", capture, converted}).status, 0);
        expectClean(converted, "convert of a generated capture");
    }
}

TEST(CliProducers, SimulatorRecordingPassesCheck) {
    TempDir dir;
    // Two devices, the picture records on every feed, and the settings records
    // the connection asks for (7503) and subscribes to (7000, 7002, 7004, 7027).
    SimProcess sim({"--imagery", "--devices", "2", "--ping-rate", "10", "--samples", "64", "--image", "64", "32"});
    const std::string folder = dir.file("rec");
    std::filesystem::create_directory(folder);
    const auto r = runProgram(kCli, {"listen", "127.0.0.1", sim.port(), "--seconds", "1.5", "--write", folder});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path().string());
    ASSERT_EQ(files.size(), 1u);
    expectClean(files[0], "listen --write of vxcenter-sim --imagery");
    // The recording holds what the check is to look at.
    const auto listed = runProgram(kCli, {"check", files[0]});
    for (const char* type : {"7002", "7503", "7006", "7007", "7008", "7011"})
        EXPECT_NE(listed.out.find(std::string("\n  ") + type + " "), std::string::npos) << type << "\n" << listed.out;
}

TEST(CliProducers, DryRunRecordsPassCheck) {
    TempDir dir;
    // Remote commands with single values, lists and a bit mask, one record per device.
    const std::vector<std::vector<std::string>> commands = {
        {"1003", "60"},
        {"1051", "auto", "7000, 7004, 7027"},
        {"1209", "0", "1", "auto", "7000, 7027"},
        {"1009", "0"},
        {"1002", "0", "0"},
        {"1111", "2", "400000", "-1000"},
    };
    int n = 0;
    for (const auto& command : commands) {
        const std::string file = dir.file("s" + std::to_string(n++) + ".vxr");
        std::vector<std::string> args = {"send", "--dry-run", file};
        args.insert(args.end(), command.begin(), command.end());
        args.insert(args.end(), {"--device", "7125:0", "--device", "7125:1"});
        const auto r = runProgram(kCli, args);
        ASSERT_EQ(r.status, 0) << command[0] << ": " << r.err;
        expectClean(file, "send --dry-run " + command[0]);
    }

    // A script with remote commands, record commands and an event message.
    const std::string script = dir.file("all.vxs");
    std::ofstream(script) << "PACE, 0\n"
                             "1003, 50\n"
                             "1051, 3, 7000, 7004, 7027\n"
                             "ECHO, Hello\n"
                             "P1000, 0.5, 0.25, -1, 0.1\n"
                             "P1009, 1, 0, 0, 0.7, -2.1, 2, [10, 1500], [20, 1499]\n"
                             "P1014, 0, 1, 20, Line one\n"
                             "P1016, 3.5, 2, [10, 0.01, 0.02, 0.3, 1.5], [20, 0.02, 0.01, 0.25, 1.5]\n"
                             "P7400, 0, 1, 2, 0, 0\n"
                             "END\n";
    const std::string played = dir.file("play.vxr");
    const auto r = runProgram(kCli, {"play", script, "--dry-run", played, "--device", "7125:0"});
    ASSERT_EQ(r.status, 0) << r.err;
    expectClean(played, "play --dry-run");
}
