// tarvik-cli listen against vxcenter-sim on 127.0.0.1, run as a user would.

#include "tests/net/sim_process.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using tarvik::testing::runProgram;
using tarvik::testing::SimProcess;
using tarvik::testing::TempDir;

namespace {
const std::string kCli = TARVIK_CLI;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    for (std::size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1) out.push_back(text.substr(at, nl - at));
    return out;
}
} // namespace

TEST(CliListen, DevicesThenListedRows) {
    SimProcess sim({"--devices", "2", "--ping-rate", "10"});
    auto r = runProgram(kCli, {"listen", "LOCALHOST", sim.port(), "--seconds", "1.2", "--filter", "7027; 7022",
                               "--report-last"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto out = lines(r.out);
    ASSERT_GE(out.size(), 8u);
    EXPECT_EQ(out[0], "device\t7125\t0\tSim sonar 1\t3\t0");
    EXPECT_EQ(out[1], "device\t7125\t1\tSim sonar 2\t3\t1");
    EXPECT_EQ(out[2], "device\t7000\t0\tGeneral device\t0\t0");
    EXPECT_EQ(out[3], "device\t0\t0\tDummy device\t0\t0");
    EXPECT_EQ(out[4], "7022\t100 bytes");
    EXPECT_EQ(out[5].substr(0, 5), "7027\t");
    // The report of the last listed record ends the output.
    EXPECT_NE(r.out.find("Record type 7027"), std::string::npos);
    EXPECT_NE(r.out.rfind("Checksum field"), std::string::npos);
}

TEST(CliListen, WithoutSubscriptionOnlyTheAnswersArrive) {
    SimProcess sim({"--ping-rate", "20"});
    auto r = runProgram(kCli, {"listen", "127.0.0.1", sim.port(), "--seconds", "0.8", "--no-subscribe"});
    EXPECT_EQ(r.status, 0);
    const auto out = lines(r.out);
    ASSERT_EQ(out.size(), 3u + 4u) << r.out;
    EXPECT_EQ(out[3], "7022\t100 bytes");
    EXPECT_EQ(out[4].substr(0, 5), "7001\t");
    EXPECT_EQ(out[5].substr(0, 5), "7004\t");
    EXPECT_EQ(out[6], "7503\t320 bytes");  // the 252 bytes of its layout
}

TEST(CliListen, FailuresAndUsage) {
    std::string port;
    {
        SimProcess gone({});
        port = gone.port();
    }
    auto refused = runProgram(kCli, {"listen", "127.0.0.1", port, "--seconds", "0"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "Connection refused\n");
    EXPECT_EQ(refused.out, "");

    SimProcess closing({"--close-after", "8", "--ping-rate", "20"});
    auto lost = runProgram(kCli, {"listen", "127.0.0.1", closing.port(), "--seconds", "5"});
    EXPECT_EQ(lost.status, 1);
    EXPECT_EQ(lost.err, "The connection to the server ended\n");

    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
             {"listen"}, {"listen", "127.0.0.1", "70000"}, {"listen", "127.0.0.1", "abc"}, {"listen", "127.0.0.1", ""},
             {"listen", "127.0.0.1", "0"}, {"listen", "127.0.0.1", "4466abc"}, {"listen", "no.such.host.invalid"},
             {"listen", "999.1.1.1", "7000"}, {"listen", "127.0.0.1", "--limit", "19"},
             {"listen", "127.0.0.1", "--seconds", "soon"}}) {
        auto r = runProgram(kCli, bad);
        EXPECT_EQ(r.status, 2) << (bad.size() > 2 ? bad[2] : bad.back());
        EXPECT_EQ(r.out, "");
    }
}

// The listed records go into a new record file as "Write Output File" writes
// it: the file header record first, then the frames in the order they were listed.
TEST(CliListen, WriteRecordsTheListedFramesIntoAnOutputFile) {
    SimProcess sim({"--devices", "2", "--ping-rate", "10"});
    TempDir dir;
    auto r = runProgram(kCli, {"listen", "127.0.0.1", sim.port(), "--seconds", "1.2", "--filter", "7027; 7006",
                               "--write", dir.path().string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto out = lines(r.out);
    ASSERT_GE(out.size(), 6u);
    const std::string written = out.back();
    EXPECT_EQ(written.rfind(dir.path().string(), 0), 0u) << written;
    EXPECT_EQ(written.substr(written.size() - 4), ".vxr");
    std::vector<std::string> listed;  // the frame rows between the device list and the file name
    for (std::size_t i = 4; i + 1 < out.size(); ++i)
        if (out[i].find('\t') != std::string::npos) listed.push_back(out[i]);
    ASSERT_GE(listed.size(), 3u);

    auto file = runProgram(kCli, {"list", written});
    ASSERT_EQ(file.status, 0) << file.err;
    const auto rows = lines(file.out);
    ASSERT_EQ(rows.size(), listed.size() + 1);
    EXPECT_EQ(rows[0].substr(0, 5), "7200\t");
    for (std::size_t i = 0; i < listed.size(); ++i)
        EXPECT_EQ(rows[i + 1].substr(0, listed[i].size()), listed[i]) << i;

    // A folder that cannot take the file: the message, and no success.
    auto nowhere = runProgram(kCli, {"listen", "127.0.0.1", sim.port(), "--seconds", "0.2", "--write",
                                     dir.file("no/such/folder")});
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_NE(nowhere.err.find("Could not create the output file"), std::string::npos) << nowhere.err;
}

TEST(CliListen, AnInterruptEndsTheListeningAsItsTimeWouldAndNamesTheFile) {
    SimProcess sim({"--ping-rate", "10"});
    ASSERT_FALSE(sim.port().empty());
    struct Way {
        const char* name;
        int signal;
        bool group;  // to the whole process group, as a terminal sends Ctrl-C
    };
    for (const Way way : {Way{"Ctrl-C", SIGINT, true}, Way{"kill -INT", SIGINT, false}, Way{"kill", SIGTERM, false}}) {
        SCOPED_TRACE(way.name);
        TempDir dir;
        const std::string out = dir.file("out.txt"), err = dir.file("err.txt");
        const std::string folder = dir.file("rec");
        std::filesystem::create_directory(folder);
        const std::string port = sim.port();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::setpgid(0, 0);
            const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(o, 1);
            ::dup2(e, 2);
            std::signal(SIGINT, SIG_DFL);
            std::signal(SIGTERM, SIG_DFL);
            ::execl(kCli.c_str(), kCli.c_str(), "listen", "127.0.0.1", port.c_str(), "--seconds", "60", "--write",
                    folder.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::setpgid(child, child);
        // Interrupted once it lists records.
        const auto start = std::chrono::steady_clock::now();
        while (tarvik::testing::slurp(out).find("\n7000\t") == std::string::npos &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(15))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::kill(way.group ? -child : child, way.signal);
        int status = 0;
        pid_t done = 0;
        while ((done = ::waitpid(child, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(30))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (done == 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            FAIL() << "listen did not end after the interrupt";
        }
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << tarvik::testing::slurp(err);
        const auto printed = lines(tarvik::testing::slurp(out));
        ASSERT_FALSE(printed.empty());
        const std::string written = printed.back();
        EXPECT_EQ(written.rfind(folder, 0), 0u) << written;
        auto listed = runProgram(kCli, {"list", written});
        EXPECT_EQ(listed.status, 0) << listed.err;
        EXPECT_GE(lines(listed.out).size(), 2u);
    }
}

TEST(CliListen, AnExpressionFiltersLiveRecordsByTheirFields) {
    SimProcess sim({"--devices", "2", "--ping-rate", "10"});
    auto r = runProgram(kCli, {"listen", "127.0.0.1", sim.port(), "--seconds", "1.2", "--filter",
                               "7027 && vx.enumerator == 1 && 7027.number_of_detection_points > 0"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::size_t rows = 0;
    for (const std::string& line : lines(r.out)) {
        if (line.rfind("device\t", 0) == 0) continue;
        EXPECT_EQ(line.substr(0, 5), "7027\t") << line;
        ++rows;
    }
    EXPECT_GT(rows, 0u) << r.out;
    // The same filter on the other enumerator: the other device's rows only.
    auto none = runProgram(kCli, {"listen", "127.0.0.1", sim.port(), "--seconds", "0.6", "--filter",
                                  "vx.enumerator == 7 && vx.device == 7125"});
    for (const std::string& line : lines(none.out)) EXPECT_EQ(line.rfind("device\t", 0), 0u) << line;
}
