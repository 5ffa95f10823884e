// tarvik-cli commands, send and play: into record files with --dry-run and
// against vxcenter-sim on 127.0.0.1, whose log says what arrived.

#include "core/frame.h"
#include "tests/net/sim_process.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include "tests/support/sanitized.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tarvik {
namespace {
using tarvik::testing::slurp;
using tarvik::testing::slurpBytes;

using testing::ProgramLimits;
using testing::runProgram;
using testing::SimProcess;
using testing::TempDir;

const std::string kCli = TARVIK_CLI;

std::vector<Bytes> recordsIn(const std::string& path) {
    const Bytes all = slurpBytes(path);
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

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
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
    EXPECT_EQ(r.out, "sent 7500\t96 bytes\tdevice 7125:0\n");  // the sonar the simulator lists
    auto records = recordsIn(file);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(Bytes(records[0].begin() + 52, records[0].begin() + 56), Bytes(4, 0xEF));
    EXPECT_EQ(readLEOr0<std::uint32_t>(records[0], 68), 12u);
    auto report = runProgram(kCli, {"report", file});
    EXPECT_NE(report.out.find("\nRange (m) 50.000\n"), std::string::npos) << report.out;

    // Two devices, one two-headed, the starboard head, a tracking number.
    r = runProgram(kCli, {"send", "--dry-run", file, "P1006", "12.5", "--device", "7000:0", "--device", "7125:0:idh",
                          "--head", "starboard", "--force"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "sent 1006\t72 bytes\tdevice 7000:0\nsent 1006\t72 bytes\tdevice 7125:2\n");

    // Refusals: exit 1 with the panel's message, nothing written.
    const std::string none = dir.file("none.vxr");
    r = runProgram(kCli, {"send", "--dry-run", none, "1003"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Empty data item that is required\n");
    EXPECT_FALSE(std::filesystem::exists(none));
    r = runProgram(kCli, {"send", "--dry-run", none, "P1009", "1"});
    EXPECT_EQ(r.err, "Large record size works only for scripts\n");
    r = runProgram(kCli, {"send", "--dry-run", file, "1004", "10"});
    EXPECT_EQ(r.status, 2);  // takes no values it does not know
    EXPECT_EQ(runProgram(kCli, {"send", "--dry-run", none, "1004"}).status, 1);
    EXPECT_FALSE(std::filesystem::exists(none));
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
    EXPECT_EQ(r.out, "wait 500 ms\nsent 7500\t96 bytes\tdevice 7125:0\nwait 500 ms\nsent 7500\t96 bytes\tdevice 7125:0\n");
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
    // The first connected as "Start Communicating" does (the configuration record was asked
    // for); the second was refused by its check before connecting.
    EXPECT_EQ(countOf(log, "record 7001"), 1u);
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
    // END ends the subscriptions of every device the server listed, each printed as sent.
    const std::string ended = r.out.substr(r.out.find("\nend subscriptions\n"));
    EXPECT_EQ(countOf(ended, "sent 7500\t92 bytes\t"), 4u) << r.out;  // two sonars, the general and the dummy device
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
    EXPECT_EQ(r.out, "no record sent: " + file + " not written\n");
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(runProgram(kCli, {"play", dir.file("none.vxs"), "--dry-run", file}).err,
              "could not open the specified file " + dir.file("none.vxs") + "\n");
    EXPECT_EQ(runProgram(kCli, {"play", devices}).status, 2);  // neither a server nor --dry-run
}

TEST(CliSend, EverySonarOfTheServerOnceAndValuesCheckedBeforeConnecting) {
    SimProcess sim({"--log", "--devices", "2"});
    ASSERT_FALSE(sim.port().empty());
    auto r = runProgram(kCli, {"send", "127.0.0.1", sim.port(), "1003", "60", "--seconds", "0.3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(r.out, "sent 7500\t96 bytes\tdevice 7125:0\n"), 1u) << r.out;
    EXPECT_EQ(countOf(r.out, "sent 7500\t96 bytes\tdevice 7125:1\n"), 1u) << r.out;
    const std::string log = sim.log();
    EXPECT_EQ(countOf(log, "applied to device 7125:0"), 1u) << log;
    EXPECT_EQ(countOf(log, "applied to device 7125:1"), 1u) << log;

    // A value that is not one of its format, or a missing one, is refused before the connection.
    for (const std::vector<std::string>& values : {std::vector<std::string>{"sixty"}, {"60abc"}, {"1e39"}, {}}) {
        std::vector<std::string> args{"send", "127.0.0.1", sim.port(), "1003"};
        args.insert(args.end(), values.begin(), values.end());
        r = runProgram(kCli, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_EQ(r.err, "Empty data item that is required\n");
    EXPECT_EQ(countOf(sim.log(), "record 7001"), 1u);  // only the first send connected
}

TEST(CliDryRun, OutputsNeverDestroyData) {
    TempDir dir;
    const std::string old = "an existing file, not ours to lose";
    const std::string file = writeScript(dir, "old.vxr", old);
    const std::string script = writeScript(dir, "tour.vxs", "1003, 50\n1003, 60\n");

    // An existing file is kept unless --force says otherwise.
    auto r = runProgram(kCli, {"send", "--dry-run", file, "1003", "50"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("could not write " + file + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_EQ(runProgram(kCli, {"play", script, "--dry-run", file}).status, 1);
    EXPECT_EQ(slurp(file), old);
    // A failing run leaves it as it was, --force or not.
    EXPECT_EQ(runProgram(kCli, {"send", "--dry-run", file, "1003", "sixty", "--force"}).status, 1);
    const std::string bad = writeScript(dir, "bad.vxs", "1003, 50\n1003, 60abc\n");
    EXPECT_EQ(runProgram(kCli, {"play", bad, "--dry-run", file, "--force"}).status, 1);
    EXPECT_EQ(slurp(file), old);
    // Never onto the script it plays.
    r = runProgram(kCli, {"play", script, "--dry-run", script, "--force"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "could not write " + script + ": it is the input " + script + "\n");
    EXPECT_EQ(slurp(script), "1003, 50\n1003, 60\n");
    // A device is never written or replaced.
    EXPECT_EQ(runProgram(kCli, {"send", "--dry-run", "/dev/null", "1003", "50", "--force"}).status, 1);
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

    // Writes that fail part-way (a file size limit) leave the old file whole and no temporary file.
    std::string many;
    for (int i = 0; i < 300; ++i) many += "1003, " + std::to_string(i) + "\n";
    const std::string big = writeScript(dir, "many.vxs", many);
    r = runProgram(kCli, {"play", big, "--dry-run", file, "--force"}, ProgramLimits{0, 8192, 60});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("could not write " + file + ": File too large"), std::string::npos) << r.err;
    EXPECT_EQ(slurp(file), old);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 4u);  // old.vxr and the three scripts

    // With --force a complete run replaces it.
    r = runProgram(kCli, {"play", script, "--dry-run", file, "--force"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(recordsIn(file).size(), 2u);
}

TEST(CliPlay, DryRunsNeverWaitAndTheTourNeedsNoDevice) {
    TempDir dir;
    const std::string tour = writeScript(dir, "tour.vxs",
                                         "// tour.vxs\r\n"
                                         "PACE, 29999\r\n"
                                         "DEVICES, 7125, 0\r\n"
                                         "// comment lines take no pace\r\n"
                                         "// nor do these\r\n"
                                         "1003, 50\r\n"
                                         "SLEEP, 2147483647\r\n"
                                         "1051, 0, 7000, 7004, 7027\r\n"
                                         "ECHO, Hello\r\n"
                                         "P1009, 1, 0, 0, 0.7, -2.1, 2, [10, 1500], [20, 1499]\r\n"
                                         "END\r\n");
    const std::string file = dir.file("tour.vxr");
    const auto start = std::chrono::steady_clock::now();
    auto r = runProgram(kCli, {"play", tour, "--dry-run", file}, ProgramLimits{0, 0, 30});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(r.out, "wait 29999 ms\n"), 7u) << r.out;
    EXPECT_EQ(countOf(r.out, "wait 2147483647 ms\n"), 1u);
    const auto records = recordsIn(file);
    // The four commands, then END's end of subscriptions for each device of the list.
    ASSERT_EQ(records.size(), 7u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(FrameView(records[i]).deviceId(), 7125u);
    std::string printed;
    for (const Bytes& record : records) {
        const FrameView f(record);
        printed += "sent " + std::to_string(f.recordType()) + "\t" + std::to_string(f.size()) + " bytes\tdevice " +
                   std::to_string(f.deviceId()) + ":" + std::to_string(f.systemEnumerator()) + "\n";
    }
    std::string sentLines;
    std::stringstream out(r.out);
    for (std::string line; std::getline(out, line);)
        if (line.rfind("sent ", 0) == 0) sentLines += line + "\n";
    EXPECT_EQ(sentLines, printed);  // what is written is what is printed
    for (std::size_t i = 4; i < 7; ++i) EXPECT_EQ(readLEOr0<std::uint32_t>(records[i], 64), 1052u) << i;
    EXPECT_EQ(FrameView(records[5]).deviceId(), 7000u);  // the general device
    EXPECT_EQ(FrameView(records[6]).deviceId(), 0u);     // the dummy device
    // Stamped as a live run would be: the second record a sleep and a pace after the first.
    double apart = secondsOfDay(records[1]) - secondsOfDay(records[0]);
    if (apart < 0) apart += 86400.0;
    EXPECT_NEAR(std::fmod(2147483.647 + 2 * 29.999, 86400.0), apart, 0.01);
    EXPECT_EQ(runProgram(kCli, {"check", file}).status, 0);
}

TEST(CliPlay, NestedScriptsThatCannotBeOpenedStopThePlayBeforeAnythingIsSent) {
    TempDir dir;
    const std::string file = dir.file("out.vxr");
    for (const std::string& nested : {dir.file("missing.vxs"), std::string("/dev/zero"), dir.path().string()}) {
        SCOPED_TRACE(nested);
        const std::string script = writeScript(dir, "outer.vxs", "1003, 4\nSCRIPT, " + nested + "\n1003, 5\n");
        auto r = runProgram(kCli, {"play", script, "--dry-run", file, "--force"}, ProgramLimits{512u << 20, 0, 30});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, script + ":2: the nested script " + nested + " could not be opened\n");
        EXPECT_EQ(r.out.find("sent "), std::string::npos) << r.out;
        EXPECT_FALSE(std::filesystem::exists(file));
    }
}

TEST(CliPlay, FanOutIsRefusedWithinMemoryAndTime) {
    // Sixteen lines that each play sixteen lines, five deep: a million records in a few kilobytes.
    TempDir dir;
    std::string leaf;
    for (int i = 0; i < 16; ++i) leaf += "1003, 1\n";
    std::string level = writeScript(dir, "leaf.vxs", leaf);
    for (int depth = 1; depth <= 4; ++depth) {
        std::string text;
        for (int i = 0; i < 16; ++i) text += "SCRIPT, " + level + "\n";
        level = writeScript(dir, "level" + std::to_string(depth) + ".vxs", text);
    }
    const std::string file = dir.file("out.vxr");
    const auto r = runProgram(kCli, {"play", level, "--dry-run", file}, ProgramLimits{512u << 20, 0, 60});
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("stopped: one play sends records at most 50000"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_FALSE(std::filesystem::exists(file));
    // The sanitizers' shadow memory and quarantine count in the peak; the
    // memory limit above still holds there.
    if (!tarvik::testing::kSanitized) {
        EXPECT_LT(r.peakRssKb, 100 * 1024);
    }
}

} // namespace
} // namespace tarvik
