// tarvik-cli commands, send and play: into record files with --dry-run and
// against vxcenter-sim on 127.0.0.1, whose log says what arrived.

#include "core/frame.h"
#include "tests/net/sim_process.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

namespace tarvik {
namespace {

using testing::runProgram;
using testing::SimProcess;
using testing::TempDir;

const std::string kCli = TARVIK_CLI;

std::vector<Bytes> recordsIn(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Bytes all((std::istreambuf_iterator<char>(in)), {});
    std::vector<Bytes> records;
    for (std::size_t at = 0; at + kFrameHeaderSize <= all.size();) {
        const std::uint32_t size = FrameView(ByteSpan(all).subspan(at)).size();
        if (size < kFrameHeaderSize || at + size > all.size()) break;
        records.emplace_back(all.begin() + static_cast<long>(at), all.begin() + static_cast<long>(at + size));
        at += size;
    }
    return records;
}

double secondsOfDay(const Bytes& record) {
    const VxTIME t = FrameView(record).time();
    return t.hours * 3600.0 + t.minutes * 60.0 + t.seconds;
}

std::string writeScript(const TempDir& dir, const std::string& name, const std::string& text) {
    return dir.write(name, Bytes(text.begin(), text.end()));
}

TEST(CliCommands, ListTheCatalogueAndOneCommand) {
    auto all = runProgram(kCli, {"commands"});
    ASSERT_EQ(all.status, 0);
    EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 124);
    EXPECT_EQ(all.out.substr(0, 20), "1000  Shutdown Proce");
    auto one = runProgram(kCli, {"commands", "--id", "1051"});
    EXPECT_EQ(one.out, "N, Number of record numbers\tu\t4\t\t\t\t\n"
                       "Record number (or zero) (CSV)\tu\t4\t\tN, Number of record numbers\t\t\n");
    EXPECT_EQ(runProgram(kCli, {"commands", "--id", "9999"}).status, 2);
}

TEST(CliSend, DryRunWritesTheRecordTheReportDecodes) {
    TempDir dir;
    const std::string file = dir.file("sent.vxr");
    auto r = runProgram(kCli, {"send", "--dry-run", file, "1003", "50", "--ticket", "12"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "sent 7500\t96 bytes\tdevice 7000:0\n");
    auto records = recordsIn(file);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(Bytes(records[0].begin() + 52, records[0].begin() + 56), Bytes(4, 0xEF));
    EXPECT_EQ(readLEOr0<std::uint32_t>(records[0], 68), 12u);
    auto report = runProgram(kCli, {"report", file});
    EXPECT_NE(report.out.find("\nRange (m) 50.000\n"), std::string::npos) << report.out;

    // Two devices, one two-headed, the starboard head, a tracking number.
    r = runProgram(kCli, {"send", "--dry-run", file, "P1006", "12.5", "--device", "7000:0", "--device", "7125:0:idh",
                          "--head", "starboard"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "sent 1006\t72 bytes\tdevice 7000:0\nsent 1006\t72 bytes\tdevice 7125:2\n");

    // Refusals: exit 1 with the panel's message, nothing written.
    r = runProgram(kCli, {"send", "--dry-run", file, "1003"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Empty data item that is required\n");
    r = runProgram(kCli, {"send", "--dry-run", file, "P1009", "1"});
    EXPECT_EQ(r.err, "Large record size works only for scripts\n");
    r = runProgram(kCli, {"send", "--dry-run", file, "1004", "10"});
    EXPECT_EQ(r.status, 2);  // takes no values it does not know
    EXPECT_EQ(runProgram(kCli, {"send", "--dry-run", file, "1004"}).status, 1);
    EXPECT_EQ(runProgram(kCli, {"send", "127.0.0.1"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"send", "--dry-run", file, "1003", "1", "--head", "up"}).status, 2);
    EXPECT_EQ(runProgram(kCli, {"send", "--dry-run", file, "1003", "1", "--device", "7000"}).status, 2);
}

TEST(CliSend, ConnectsAsStartCommunicatingAndTargetsTheFoundSonars) {
    SimProcess sim({"--log"});
    ASSERT_FALSE(sim.port().empty());
    const auto r = runProgram(kCli, {"send", "127.0.0.1", sim.port(), "1003", "50", "--seconds", "0.5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), "sent 7500\t96 bytes\tdevice 7125:0\n");
    EXPECT_NE(r.out.find("\n7501\t88 bytes\n"), std::string::npos) << r.out;  // acknowledged, as listed
    const std::string log = sim.log();
    EXPECT_NE(log.find("record 7001"), std::string::npos);
    EXPECT_NE(log.find("applied to device 7125:0"), std::string::npos) << log;
    EXPECT_EQ(log.find("command 1051"), std::string::npos);  // no initial subscription
}

TEST(CliPlay, PaceSeparatesSendsAndTicketsCountLines) {
    TempDir dir;
    const std::string script = writeScript(dir, "pace.vxs", "PACE, 500\r\n1003, 50\r\n1003, 100\r\n");
    const std::string file = dir.file("out.vxr");
    auto r = runProgram(kCli, {"play", script, "--dry-run", file});
    ASSERT_EQ(r.status, 0) << r.err;
    auto records = recordsIn(file);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(readLEOr0<std::uint32_t>(records[0], 68), 2u);
    EXPECT_EQ(readLEOr0<std::uint32_t>(records[1], 68), 3u);
    double apart = secondsOfDay(records[1]) - secondsOfDay(records[0]);
    if (apart < 0) apart += 86400.0;
    EXPECT_GE(apart, 0.45);

    // The same script against the server stand-in; a script with three leading blanks sends nothing.
    SimProcess sim({"--log"});
    ASSERT_FALSE(sim.port().empty());
    const auto start = std::chrono::steady_clock::now();
    r = runProgram(kCli, {"play", script, "--host", "127.0.0.1", "--port", sim.port(), "--seconds", "0"});
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(950));  // two waits
    ASSERT_EQ(r.status, 0) << r.err;
    const auto blanks = writeScript(dir, "blanks.vxs", "   1003, 50\n");
    EXPECT_EQ(runProgram(kCli, {"play", blanks, "--host", "127.0.0.1", "--port", sim.port()}).status, 1);
    const std::string log = sim.log();
    EXPECT_NE(log.find("command 1003\tticket 2\n  command 1003 Set range: Range (m)=50\n"), std::string::npos) << log;
    EXPECT_NE(log.find("command 1003\tticket 3\n  command 1003 Set range: Range (m)=100\n"), std::string::npos);
    std::size_t sent = 0;
    for (auto at = log.find("\tcommand 1003"); at != std::string::npos; at = log.find("\tcommand 1003", at + 1)) ++sent;
    EXPECT_EQ(sent, 2u) << log;  // nothing from the second script
    // Both connected as "Start Communicating" does: the configuration record was asked for.
    std::size_t asked = 0;
    for (auto at = log.find("record 7001"); at != std::string::npos; at = log.find("record 7001", at + 1)) ++asked;
    EXPECT_EQ(asked, 2u);
}

TEST(CliPlay, ScriptExamplesAgainstTheServerStandIn) {
    TempDir dir;
    SimProcess sim({"--log", "--devices", "2", "--ping-rate", "50"});
    ASSERT_FALSE(sim.port().empty());
    const std::string script = writeScript(dir, "tour.vxs",
                                           "// a tour of the directives\n"
                                           "LIMITRECORDS, 5\n"
                                           "LIMITRECORDS, 1000\n"
                                           "NOSUB\n"
                                           "DEVICES, 7125, 1\n"
                                           "7500, 1003 Set range, 50 // by its list line\n"
                                           "1051, 0, 7000, 7004, 7027\n"
                                           "ECHO, Hello, world\n"
                                           "P1009, 1, 0, 0, 0.7, -2.1, 2, [10, 1500], [20, 1499]\n"
                                           "1051, 7000, 7004, 7027\n"
                                           "END\n"
                                           "1003, 1\n");
    auto r = runProgram(kCli, {"play", script, "--host", "127.0.0.1", "--port", sim.port(), "--device", "7125:0",
                               "--device", "7125:1", "--seconds", "0.5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("sent")),
              "limit records 20\nlimit records 200\ndisable initial subscription on\n");
    EXPECT_NE(r.out.find("\nend subscriptions\n"), std::string::npos);
    EXPECT_NE(r.out.find("7501\t88 bytes"), std::string::npos);  // acknowledged
    const std::string log = sim.log();
    EXPECT_NE(log.find("command 1003\tticket 6\n  command 1003 Set range: Range (m)=50\n  applied to device 7125:1"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Record number (or zero) (CSV)=[7000, 7004, 7027]"), std::string::npos);
    EXPECT_NE(log.find("N, Number of record numbers=2; Record number (or zero) (CSV)=[7004, 7027]"), std::string::npos);
    EXPECT_NE(log.find("Message length=5; Event identifier=19191; Event message=\"Hello\""), std::string::npos);
    EXPECT_NE(log.find("Number of samples=2; SVP data=[(10, 1500), (20, 1499)]"), std::string::npos);
    EXPECT_EQ(log.find("device 7125:0\tcommand 1003"), std::string::npos);  // not a target
    EXPECT_EQ(log.find("Range (m)=1"), std::string::npos);                  // after END
}

TEST(CliPlay, StoppedScriptsSayWhy) {
    TempDir dir;
    const std::string file = dir.file("out.vxr");
    auto blanks = writeScript(dir, "blanks.vxs", "   1003, 50\n1003, 60\n");
    auto r = runProgram(kCli, {"play", blanks, "--dry-run", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Script " + blanks + " Stopped While Examining Line: \"   1003, 50\"\n");
    EXPECT_TRUE(recordsIn(file).empty());

    auto devices = writeScript(dir, "devices.vxs", "DEVICES, 7000\n1003, 50\n");
    r = runProgram(kCli, {"play", devices, "--dry-run", file});
    EXPECT_EQ(r.err, "Bad DEVICES Command\n");
    EXPECT_EQ(runProgram(kCli, {"play", dir.file("none.vxs"), "--dry-run", file}).err,
              "could not open the specified file " + dir.file("none.vxs") + "\n");
    EXPECT_EQ(runProgram(kCli, {"play", devices}).status, 2);  // neither a server nor --dry-run
}

} // namespace
} // namespace tarvik
