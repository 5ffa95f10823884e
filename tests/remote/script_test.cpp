#include "core/frame.h"
#include "remote/script.h"
#include "tests/remote/remote_test_support.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#include "tests/support/sanitized.h"

#include <gtest/gtest.h>

namespace tarvik::remote {
namespace {

using testing::f32At;
using testing::u32At;

std::string writeText(const testing::TempDir& dir, const std::string& name, const std::string& text) {
    return dir.write(name, Bytes(text.begin(), text.end()));
}

struct RecordingHost : ScriptHost {
    std::vector<std::string> messages;
    std::vector<std::string> actions;
    std::vector<unsigned> waits;
    void messageBox(std::string_view text) override { messages.emplace_back(text); }
    void wait(unsigned ms) override { waits.push_back(ms); }
    void writeOutputFile() override { actions.push_back("record"); }
    void setDisableInitialSubscription(bool on) override { actions.push_back(on ? "nosub" : "subscribe"); }
    void setScrollLimit(int n) override { actions.push_back("limit " + std::to_string(n)); }
    void startCommunicating() override { actions.push_back("start"); }
    void stopVolatileConnections() override { actions.push_back("stop"); }
    void terminate() override { actions.push_back("term"); }
};

struct Player : testing::PanelFixture {
    RecordingHost host;
    CScript script{panel, host};
    Player() { panel.devices = {{7000, 0, false}, {7125, 1, false}}; }
    bool play(std::string_view text) {
        panel.scriptActive = true;
        return script.playScript(text, "test.vxs");
    }
};

TEST(ScriptLines, AcceptEveryLineEnd) {
    EXPECT_EQ(scriptLines("a\rb\r\nc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(scriptLines("a\tb\r\r\n"), (std::vector<std::string>{"a b", ""}));
    EXPECT_TRUE(scriptLines("").empty());
}

TEST(Script, PaceWaitsBeforeEachLaterLineAndTicketsFollowTheLineCounter) {
    Player p;
    p.panel.devices.resize(1);
    ASSERT_TRUE(p.play("PACE, 500\r\n1003, 50\r\n// a comment\r\n\r\n1003, 100\r\n"));
    // A comment or empty line is no packet and takes no pace.
    EXPECT_EQ(p.host.waits, (std::vector<unsigned>{500, 500}));
    ASSERT_EQ(p.sent.records.size(), 2u);
    EXPECT_EQ(u32At(p.sent.records[0], 68), 2u);
    EXPECT_EQ(u32At(p.sent.records[1], 68), 5u);
    EXPECT_EQ(f32At(p.sent.records[1], 88), 100.0f);
    EXPECT_TRUE(p.host.messages.empty());
    // The counter goes on across scripts; a pace out of range never waits.
    ASSERT_TRUE(p.play("pace, 30000\n1003, 50 // set range\n"));
    EXPECT_EQ(p.host.waits.size(), 2u);
    EXPECT_EQ(u32At(p.sent.records[2], 68), 7u);
    EXPECT_EQ(f32At(p.sent.records[2], 88), 50.0f);
}

TEST(Script, BothCommandFormsSendTheSameRecord) {
    Player p;
    p.panel.devices.resize(1);
    ASSERT_TRUE(p.play("7500, 1003 Set range, 50\n1003, 50\n"));
    ASSERT_EQ(p.sent.records.size(), 2u);
    Bytes a = p.sent.records[0], b = p.sent.records[1];
    // Apart from the ticket (and so the checksum) they are the same.
    EXPECT_EQ(u32At(a, 68) + 1, u32At(b, 68));
    EXPECT_EQ(Bytes(a.begin(), a.begin() + 68), Bytes(b.begin(), b.begin() + 68));
    EXPECT_EQ(Bytes(a.begin() + 72, a.end() - 4), Bytes(b.begin() + 72, b.end() - 4));
}

TEST(Script, LinesThatAreNoCommandStopTheScript) {
    Player p;
    EXPECT_TRUE(p.play("   1003, 50\n1003, 1\n"));
    EXPECT_EQ(p.host.messages, (std::vector<std::string>{"Script test.vxs Stopped While Examining Line: \"   1003, 50\""}));
    EXPECT_TRUE(p.sent.records.empty());

    p.host.messages.clear();
    EXPECT_TRUE(p.play("7500, 9999 nothing, 1\n"));
    EXPECT_EQ(p.host.messages.at(0),
              "Script test.vxs Stopped While Examining Line: \"7500, 9999 nothing, 1\", Command not in Remote Control "
              "List (a)");
    p.host.messages.clear();
    EXPECT_TRUE(p.play("100, 1\n"));  // begins the line of 1000 but names no command
    EXPECT_NE(p.host.messages.at(0).find("(a)"), std::string::npos);

    p.host.messages.clear();
    EXPECT_TRUE(p.play("1115, 1, 2\n"));
    EXPECT_EQ(p.host.messages, (std::vector<std::string>{"Required Item Count=4,  Supplied Count=3 (a)",
                                                         "Script test.vxs Stopped While Examining Line: \"1115, 1, 2\""}));
    EXPECT_TRUE(p.sent.records.empty());
}

TEST(Script, ListsTakeTheRemainingFields) {
    Player p;
    p.panel.devices.resize(1);
    ASSERT_TRUE(p.play("1051, 0, 7000, 7004, 7027\n1051, 7000, 7004, 7027\n"));
    ASSERT_EQ(p.sent.records.size(), 2u);
    EXPECT_EQ(u32At(p.sent.records[0], 88), 3u);
    EXPECT_EQ(u32At(p.sent.records[0], 92), 7000u);
    EXPECT_EQ(u32At(p.sent.records[1], 88), 2u);
    EXPECT_EQ(u32At(p.sent.records[1], 92), 7004u);
    EXPECT_EQ(p.sent.records[1].size(), 88u + 12 + 4);
}

TEST(Script, RepeatValuesAndBracketsElsewhere) {
    Player p;
    p.panel.devices.resize(1);
    ASSERT_TRUE(p.play("P1009, 1, 0, 0, 0.7, -2.1, 2, [10, 1500], [20, 1499]\n"));
    ASSERT_EQ(p.sent.records.size(), 1u);
    const Bytes& r = p.sent.records[0];
    EXPECT_EQ(FrameView(r).recordType(), 1009u);
    EXPECT_EQ(readLEOr0<double>(r, 68), 0.7);
    EXPECT_EQ(u32At(r, 84), 2u);
    EXPECT_EQ(f32At(r, 100), 1499.0f);

    EXPECT_FALSE(p.play("P1009, 1, 0, [0, 0.7, -2.1, 2, [10, 1500]\n1003, 1\n"));
    EXPECT_EQ(p.host.messages.back(),
              "Script test.vxs Stopped, found a bracket in a non-repeat field: \"P1009, 1, 0, [0, 0.7, -2.1, 2, [10, "
              "1500]\"");
    EXPECT_EQ(p.sent.records.size(), 1u);
}

TEST(Script, DevicesChooseTargets) {
    Player p;
    ASSERT_TRUE(p.play("DEVICES, 7125, 1\n1003, 5\n"));
    EXPECT_EQ(p.panel.checked, (std::vector<bool>{false, true}));
    ASSERT_EQ(p.sent.records.size(), 1u);
    EXPECT_EQ(FrameView(p.sent.records[0]).deviceId(), 7125u);

    ASSERT_TRUE(p.play("DEVICES\n"));
    EXPECT_EQ(p.panel.checked, (std::vector<bool>{false, false}));

    ASSERT_TRUE(p.play("DEVICES, 7000\n1003, 5\n"));
    EXPECT_EQ(p.host.messages, (std::vector<std::string>{"Bad DEVICES Command"}));
    ASSERT_TRUE(p.play("DEVICES, 7000, 0, 1, 2, 3, 4\n1003, 5\n"));
    EXPECT_EQ(p.host.messages, (std::vector<std::string>{"Bad DEVICES Command", "Didn't find device 1, Enum 2",
                                                         "Didn't find device 3, Enum 4"}));
    EXPECT_EQ(p.panel.checked, (std::vector<bool>{false, false}));  // unchanged
    EXPECT_EQ(p.sent.records.size(), 1u);
}

TEST(Script, DirectivesReachTheirActions) {
    Player p;
    ASSERT_TRUE(p.play("LIMITRECORDS, 5\nLIMITRECORDS, 1000\nLimitRecords\nNOSUB\nSUBSCRIBE\nRECORDS\nSTARTUP\n"
                       "BEGIN\nSLEEP, 25\nSCRIPT\n,ignored\nEND\n1003, 1\n"));
    EXPECT_EQ(p.host.actions, (std::vector<std::string>{"limit 20", "limit 200", "limit 20", "nosub", "subscribe",
                                                        "record", "start", "start", "stop"}));
    EXPECT_EQ(p.host.waits, (std::vector<unsigned>{25}));
    EXPECT_TRUE(p.sent.records.empty());
    ASSERT_TRUE(p.play("TERM\n1003, 1\n"));
    EXPECT_EQ(p.host.actions.back(), "term");
    EXPECT_TRUE(p.sent.records.empty());
}

TEST(Script, EchoSendsAnEventMessage) {
    Player p;
    p.panel.devices.resize(1);
    ASSERT_TRUE(p.play("ECHO, Hello, world\n"));
    ASSERT_EQ(p.sent.records.size(), 1u);
    const Bytes& r = p.sent.records[0];
    EXPECT_EQ(FrameView(r).recordType(), 7051u);
    EXPECT_EQ(readLEOr0<std::uint16_t>(r, 72), 1);  // information
    EXPECT_EQ(readLEOr0<std::uint16_t>(r, 74), 5);  // message length
    EXPECT_EQ(readLEOr0<std::uint16_t>(r, 76), 19191);
    EXPECT_EQ(std::string(r.begin() + 78, r.begin() + 84), std::string("Hello\0", 6));
    EXPECT_EQ(r.size(), 64u + 14 + 167 + 4);
}

TEST(Script, NestedScriptsPlayAndMissingOnesAreReported) {
    testing::TempDir dir;
    Player p;
    p.panel.devices.resize(1);
    const std::string inner = dir.write("inner.vxs", Bytes{'1', '0', '0', '3', ',', ' ', '7', '\r', '\n'});
    ASSERT_TRUE(p.play("SCRIPT, " + inner + "\nSCRIPT, " + dir.file("missing.vxs") + "\n1003, 8\n"));
    ASSERT_EQ(p.sent.records.size(), 4u);
    EXPECT_EQ(f32At(p.sent.records[0], 88), 7.0f);
    for (int i : {1, 2}) {
        EXPECT_EQ(FrameView(p.sent.records[i]).recordType(), 7051u);
        EXPECT_EQ(readLEOr0<std::uint16_t>(p.sent.records[i], 72), 3);  // error
    }
    EXPECT_EQ(f32At(p.sent.records[3], 88), 8.0f);
    // The error events go out as the rule says, and the user is told.
    EXPECT_EQ(p.host.messages, (std::vector<std::string>{"Script test.vxs: the nested script " +
                                                         dir.file("missing.vxs") +
                                                         " could not be opened (sent as an error event message)"}));
    p.host.messages.clear();

    // A script that plays itself stops at the depth limit, found before anything is played.
    const std::string self = dir.file("self.vxs");
    const std::string text = "SCRIPT, " + self + "\n1003, 1\n";
    dir.write("self.vxs", Bytes(text.begin(), text.end()));
    EXPECT_FALSE(p.script.playFile(self));
    EXPECT_EQ(p.sent.records.size(), 4u);
    ASSERT_EQ(p.host.messages.size(), 1u);
    EXPECT_NE(p.host.messages[0].find("at most 16 deep"), std::string::npos);
    EXPECT_FALSE(p.panel.scriptActive);
}

TEST(Script, HostileFilesStopWithAMessage) {
    Player p;
    p.panel.devices.resize(1);
    EXPECT_FALSE(p.play(std::string(kMaxScriptBytes + 1, 'x')));
    EXPECT_EQ(p.host.messages, (std::vector<std::string>{"The script file is much too large to be reasonable\n"
                                                          "test.vxs: 1000001 bytes, above the limit of 1000000 bytes"}));

    p.host.messages.clear();
    std::string binary = "\x01\xFF\x80\n1003, 2";
    binary.push_back('\0');
    binary += "\n";
    EXPECT_TRUE(p.play(binary));
    EXPECT_EQ(p.host.messages.size(), 1u);

    // A list of half a million values fits no count and sends nothing.
    p.host.messages.clear();
    std::string many = "1051, 0";
    for (int i = 0; i < 300'000; ++i) many += ",1";
    EXPECT_TRUE(p.play(many));
    ASSERT_EQ(p.host.messages.size(), 0u);
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_NE(p.messages[0].find("longer than"), std::string::npos);
    EXPECT_TRUE(p.sent.records.empty());
}

TEST(Script, LinesThatWouldNotSendExactlyWhatTheySayAreRefused) {
    Player p;
    p.panel.devices.resize(1);
    // A bracket left open, or one that only closes, refuses the line: nothing is sent.
    EXPECT_TRUE(p.play("P1009, 1, 0, 0, 0.7, -2.1, 2, [10, 1500], [20, 1499\n"));
    EXPECT_FALSE(p.play("1003, 50]\n"));
    EXPECT_EQ(p.host.messages.back(), "Script test.vxs Stopped, found a bracket in a non-repeat field: \"1003, 50]\"");
    // Values beyond the parameters are not dropped without a word.
    EXPECT_TRUE(p.play("1003, 50, 60\n1003, 1\n"));
    EXPECT_EQ(p.host.messages.back(), "Script test.vxs Stopped While Examining Line: \"1003, 50, 60\", 2 values for the "
                                      "1 parameters of 1003");
    // A value that is not one of its format.
    EXPECT_TRUE(p.play("1003, sixty\n"));
    EXPECT_TRUE(p.sent.records.empty());
    ASSERT_EQ(p.messages.size(), 2u);
    EXPECT_NE(p.messages[0].find("\"SVP data"), std::string::npos);
    EXPECT_NE(p.messages[1].find("\"Range (m)\", format f4"), std::string::npos);
    // Values that fit go out exactly.
    EXPECT_TRUE(p.play("1053, 10.1.2.3, 65535, 1, auto, 4294967295\n"));
    ASSERT_EQ(p.sent.records.size(), 1u);
    EXPECT_EQ(u32At(p.sent.records[0], 88), 0x0A010203u);
    EXPECT_EQ(readLEOr0<std::uint16_t>(p.sent.records[0], 92), 65535);
    EXPECT_EQ(u32At(p.sent.records[0], 100), 4294967295u);
}

TEST(Script, TheCheckNamesTheFileAndLineOfARefusedValueAndStopsAtAMissingNestedScript) {
    testing::TempDir dir;
    Player p;
    const std::string inner = writeText(dir, "inner.vxs", "1003, 50\n\n1003, 60abc\n");
    const std::string outer = writeText(dir, "outer.vxs", "1003, 40\nSCRIPT, " + inner + "\n");
    EXPECT_FALSE(p.script.playFile(outer));
    EXPECT_TRUE(p.sent.records.empty());
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0].rfind(inner + ":3: Value \"60abc\" refused for \"Range (m)\"", 0), 0u) << p.messages[0];

    p.messages.clear();
    const std::string gone = dir.file("gone.vxs");
    const std::string missing = writeText(dir, "missing.vxs", "1003, 40\n// then\nSCRIPT, " + gone + "\n1003, 41\n");
    EXPECT_FALSE(p.script.checkFile(missing));
    EXPECT_TRUE(p.sent.records.empty());
    EXPECT_TRUE(p.messages.empty());
    EXPECT_EQ(p.host.messages,
              std::vector<std::string>{missing + ":3: the nested script " + gone + " could not be opened"});

    // A play (the window's "Play Script File") goes on past it: both commands
    // and the error events for the missing script are sent.
    p.host.messages.clear();
    EXPECT_TRUE(p.script.playFile(missing));
    std::size_t commands = 0, events = 0;
    for (const Bytes& r : p.sent.records) {
        commands += FrameView(r).recordType() == 7500;
        events += FrameView(r).recordType() == 7051;
    }
    EXPECT_EQ(commands, 2u * 2u);  // two lines to each of the player's two sonars
    EXPECT_EQ(events, 2u * 2u);    // the two error events to each
}

TEST(Script, AFileIsCheckedWholeBeforeItsFirstLinePlays) {
    testing::TempDir dir;
    Player p;
    const std::string bad = writeText(dir, "bad.vxs", "PACE, 100\n1003, 50\nSLEEP, 1000\n1003, 60abc\n");
    EXPECT_FALSE(p.script.playFile(bad));
    EXPECT_TRUE(p.sent.records.empty());
    EXPECT_TRUE(p.host.waits.empty());
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_NE(p.messages[0].find("Value \"60abc\" refused for \"Range (m)\""), std::string::npos);
    // The check neither waits nor acts, and sonars named by DEVICES are left to the play.
    const std::string good = writeText(dir, "good.vxs", "NOSUB\nPACE, 100\nDEVICES, 7125, 1\n1003, 50\n");
    EXPECT_TRUE(p.script.checkFile(good));
    EXPECT_TRUE(p.host.actions.empty());
    EXPECT_TRUE(p.host.waits.empty());
    EXPECT_TRUE(p.script.playFile(good));
    EXPECT_EQ(p.host.actions, (std::vector<std::string>{"nosub"}));
    EXPECT_EQ(p.host.waits, (std::vector<unsigned>{100, 100}));
    ASSERT_EQ(p.sent.records.size(), 1u);
    EXPECT_EQ(FrameView(p.sent.records[0]).deviceId(), 7125u);
}

// Counts what a play sends without keeping it.
struct CountingSender : CommandSender {
    std::size_t records = 0;
    void sendRecord(const Bytes&) override { ++records; }
};

// The sanitizers' bookkeeping makes a play many times slower; the bound that
// matters there is memory, so they get more time.
constexpr testing::ProgramLimits kPlayLimits{512u << 20, 0, testing::kSanitized ? 180 : 30};

TEST(ScriptBudgets, NestedFanOutStopsAtTheRecordCap) {
    // 16 lines that each play 16 lines, four deep: 65,536 records.
    testing::TempDir dir;
    std::string leaf, level = dir.file("leaf.vxs");
    for (int i = 0; i < 16; ++i) leaf += "1003, 1\n";
    writeText(dir, "leaf.vxs", leaf);
    for (int depth = 1; depth <= 3; ++depth) {
        std::string text;
        for (int i = 0; i < 16; ++i) text += "SCRIPT, " + level + "\n";
        level = writeText(dir, "level" + std::to_string(depth) + ".vxs", text);
    }
    const std::string top = level;
    EXPECT_TRUE(testing::runLimited(
        [&] {
            Player p;
            p.panel.devices.resize(1);
            CountingSender counted;
            p.panel.sender = &counted;
            const std::string cap = "stopped: one play sends records at most 50000";
            // Played as chosen: the check finds the fan-out before anything goes out.
            if (p.script.playFile(top) || counted.records != 0 || p.host.messages.size() != 1 ||
                p.host.messages[0].find(cap) == std::string::npos)
                return false;
            // Played without the check: it stops at the cap.
            p.host.messages.clear();
            p.panel.scriptActive = true;
            p.script.playScript(*p.host.readScriptFile(top), top);
            return counted.records == kMaxPlayRecords && p.host.messages.size() == 1 &&
                   p.host.messages[0].find(cap) != std::string::npos;
        },
        kPlayLimits));
}

TEST(ScriptBudgets, LinesAndBytesOfNestedScriptsAreCapped) {
    testing::TempDir dir;
    const std::string lines = writeText(dir, "lines.vxs", std::string(kMaxScriptBytes - 1, '\n'));
    const std::string big = writeText(dir, "big.vxs", "//" + std::string(kMaxScriptBytes - 3, 'x') + "\n");
    std::string twice, many;
    for (int i = 0; i < 2; ++i) twice += "SCRIPT, " + lines + "\n";
    for (int i = 0; i < 70; ++i) many += "SCRIPT, " + big + "\n";
    EXPECT_TRUE(testing::runLimited(
        [&] {
            Player p;
            p.play(twice);
            if (p.host.messages.size() != 1 ||
                p.host.messages[0].find("one play plays lines at most 1000000") == std::string::npos)
                return false;
            p.host.messages.clear();
            p.play(many);
            return p.host.messages.size() == 1 &&
                   p.host.messages[0].find("one play reads bytes of script files at most 67108864") != std::string::npos;
        },
        kPlayLimits));
}

} // namespace
} // namespace tarvik::remote
