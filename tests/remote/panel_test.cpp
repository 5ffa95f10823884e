#include "core/frame.h"
#include "tests/remote/remote_test_support.h"

#include <gtest/gtest.h>

namespace tarvik::remote {
namespace {

using testing::f32At;
using testing::PanelFixture;
using testing::u32At;

bool startsWith(const std::string& text, std::string_view prefix) { return text.rfind(prefix, 0) == 0; }

TEST(SendCommand, SetRangeIsTheNinetySixByteRecord) {
    PanelFixture f;
    f.choose("1003");
    EXPECT_EQ(f.panel.ticket, "1234");
    f.panel.rows[0].value = "50";
    ASSERT_TRUE(f.panel.buildAndSendCommand());
    ASSERT_EQ(f.sent.records.size(), 1u);
    const Bytes& r = f.sent.records[0];
    ASSERT_EQ(r.size(), 96u);
    FrameView v(r);
    EXPECT_EQ(v.protocolVersion(), 5);
    EXPECT_EQ(v.offset(), 60);
    EXPECT_EQ(v.syncPattern(), 0x0000FFFFu);
    EXPECT_EQ(v.size(), 96u);
    EXPECT_EQ(v.optionalDataOffset(), 0u);
    EXPECT_EQ(v.optionalDataId(), 0u);
    EXPECT_EQ(v.time().year, 2026);
    EXPECT_EQ(v.time().seconds, 12.75f);
    EXPECT_EQ(v.recordVersion(), 1);
    EXPECT_EQ(v.recordType(), 7500u);
    EXPECT_EQ(v.deviceId(), 7000u);
    EXPECT_EQ(v.reserved1(), 0);
    EXPECT_EQ(v.systemEnumerator(), 0);
    EXPECT_EQ(v.recordCounter(), 0u);
    EXPECT_EQ(v.flags(), 1);
    EXPECT_EQ(v.reserved2(), 0);
    EXPECT_EQ(Bytes(r.begin() + 52, r.begin() + 56), (Bytes{0xEF, 0xEF, 0xEF, 0xEF}));
    EXPECT_EQ(v.totalFragments(), 0u);
    EXPECT_EQ(v.fragmentNumber(), 0u);
    EXPECT_EQ(u32At(r, 64), 1003u);
    EXPECT_EQ(u32At(r, 68), 1234u);
    EXPECT_EQ(u32At(r, 72), 1003u);
    EXPECT_EQ(u32At(r, 76), 7500u);
    EXPECT_EQ(u32At(r, 80), 0u);
    EXPECT_EQ(u32At(r, 84), 7000u);
    EXPECT_EQ(f32At(r, 88), 50.0f);
    EXPECT_EQ(u32At(r, 92), computeChecksum(r, 92));
    // A complete send empties ticket and tracking number; the rows stay.
    EXPECT_TRUE(f.panel.ticket.empty());
    EXPECT_EQ(f.panel.rows[0].value, "50");
    EXPECT_TRUE(f.messages.empty());
}

TEST(SendCommand, RecordCommandsCarryOnlyTheirParameters) {
    PanelFixture f;
    f.choose("P1006");
    f.panel.rows[0].value = "12.5";
    ASSERT_TRUE(f.panel.buildAndSendCommand());
    const Bytes& r = f.sent.records.at(0);
    EXPECT_EQ(r.size(), 72u);
    EXPECT_EQ(FrameView(r).size(), 72u);
    EXPECT_EQ(FrameView(r).recordType(), 1006u);
    EXPECT_EQ(f32At(r, 64), 12.5f);
}

TEST(SendCommand, TrackingNumberTargetsAndHeads) {
    PanelFixture f;
    f.panel.devices = {{7000, 0, false}, {7125, 3, true}};
    f.choose("1003");
    f.panel.rows[0].value = "1";
    f.panel.trackingNumber = "7";
    f.panel.head = HeadSelect::Starboard;
    ASSERT_TRUE(f.panel.buildAndSendCommand());
    ASSERT_EQ(f.sent.records.size(), 2u);  // nothing checked: every device
    for (std::size_t at = 72; at < 88; at += 4) EXPECT_EQ(u32At(f.sent.records[0], at), 7u);
    const FrameView second(f.sent.records[1]);
    EXPECT_EQ(second.deviceId(), 7125u);
    EXPECT_EQ(second.systemEnumerator(), 2);  // the head, not the device's own enumerator

    // With an empty tracking number the two-headed device's own enumerator is tracked.
    f.sent.records.clear();
    f.panel.checked = {false, true};
    f.panel.head = HeadSelect::Port;
    ASSERT_TRUE(f.panel.buildAndSendCommand());
    ASSERT_EQ(f.sent.records.size(), 1u);
    EXPECT_EQ(FrameView(f.sent.records[0]).systemEnumerator(), 1);
    EXPECT_EQ(u32At(f.sent.records[0], 80), 3u);
    EXPECT_EQ(u32At(f.sent.records[0], 84), 7125u);
    EXPECT_EQ(u32At(f.sent.records[0], 68), 0u);  // the ticket went with the first send
}

TEST(SendCommand, ListsCountThemselves) {
    PanelFixture f;
    f.choose("1051");
    EXPECT_EQ(f.panel.rows[0].value, "auto");
    EXPECT_TRUE(f.panel.visibleRows[0].valueReadOnly);
    f.panel.rows[1].value = "7000, 7004,7027";
    ASSERT_TRUE(f.panel.buildAndSendCommand());
    EXPECT_EQ(f.panel.rows[0].value, "3");
    const Bytes& r = f.sent.records.at(0);
    ASSERT_EQ(r.size(), 88u + 16 + 4);
    EXPECT_EQ(u32At(r, 88), 3u);
    EXPECT_EQ(u32At(r, 92), 7000u);
    EXPECT_EQ(u32At(r, 96), 7004u);
    EXPECT_EQ(u32At(r, 100), 7027u);
}

TEST(SendCommand, RepeatBlocksTakeBracketedValues) {
    PanelFixture f;
    f.panel.scriptActive = true;  // seven parameters
    f.choose("P1009");
    for (int i = 0; i < 5; ++i) f.panel.rows[i].value = "0";
    f.panel.rows[6].value = "[10, 1500], [20, 1499]";
    ASSERT_TRUE(f.panel.buildAndSendCommand());
    EXPECT_EQ(f.panel.rows[5].value, "2");
    const Bytes& r = f.sent.records.at(0);
    ASSERT_EQ(r.size(), 64u + 24 + 16 + 4);
    EXPECT_EQ(u32At(r, 84), 2u);
    EXPECT_EQ(f32At(r, 88), 10.0f);
    EXPECT_EQ(f32At(r, 92), 1500.0f);
    EXPECT_EQ(f32At(r, 96), 20.0f);
    EXPECT_EQ(f32At(r, 100), 1499.0f);

    // Each repetition in its own closed brackets, or nothing goes out: a count
    // that does not match the values would reach the sonar otherwise.
    f.panel.ticket = "9";
    for (const char* value : {"10, 1500", "[10, 1500], [20, 1499", "10, 1500], [20, 1499]", "[10, [1500]]",
                              "[10], [20, 1499]", "[10, 1500], 5", "[10, 1500, 3]", "[10, sixty]"}) {
        f.messages.clear();
        f.panel.rows[6].value = value;
        EXPECT_FALSE(f.panel.buildAndSendCommand()) << value;
        ASSERT_EQ(f.messages.size(), 1u) << value;
        EXPECT_NE(f.messages[0].find("\"SVP data"), std::string::npos) << f.messages[0];
        EXPECT_NE(f.messages[0].find("nothing was sent"), std::string::npos) << f.messages[0];
    }
    EXPECT_EQ(f.messages[0], "Value \"sixty\" refused for \"SVP data: Sound velocity (m/s)\", format f4 (a finite "
                             "number from -3.4028235e+38 to 3.4028235e+38); nothing was sent");
    EXPECT_EQ(f.sent.records.size(), 1u);
    EXPECT_EQ(f.panel.ticket, "9");
}

TEST(SendCommand, RefusedValuesReachNoSonar) {
    PanelFixture f;
    f.panel.devices = {{7125, 0, false}, {7125, 1, false}};
    f.choose("1003");
    for (const char* value : {"sixty", "60abc", "1e39", "nan", "0x10"}) {
        f.messages.clear();
        f.panel.rows[0].value = value;
        EXPECT_FALSE(f.panel.checkValues());
        EXPECT_FALSE(f.panel.buildAndSendCommand());
        ASSERT_EQ(f.messages.size(), 2u) << value;
        EXPECT_EQ(f.messages[0], "Value \"" + std::string(value) +
                                     "\" refused for \"Range (m)\", format f4 (a finite number from -3.4028235e+38 to "
                                     "3.4028235e+38); nothing was sent");
    }
    EXPECT_TRUE(f.sent.records.empty());

    // A whole list is checked before the first sonar gets anything; so are ticket and tracking number.
    f.messages.clear();
    f.choose("1051");
    f.panel.rows[1].value = "7000, 7004x";
    EXPECT_FALSE(f.panel.buildAndSendCommand());
    EXPECT_TRUE(startsWith(f.messages.at(0), "Value \"7004x\" refused for \"Record number (or zero) (CSV)\", format u4"));
    f.panel.rows[1].value = "7000";
    f.panel.ticket = "12x";
    EXPECT_FALSE(f.panel.buildAndSendCommand());
    EXPECT_TRUE(startsWith(f.messages.back(), "Value \"12x\" refused for \"Ticket\", format u4"));
    f.panel.ticket = "4294967295";
    f.panel.trackingNumber = "-1";
    EXPECT_FALSE(f.panel.buildAndSendCommand());
    EXPECT_TRUE(startsWith(f.messages.back(), "Value \"-1\" refused for \"Tracking Number\", format u4"));
    EXPECT_TRUE(f.sent.records.empty());
    f.panel.trackingNumber = "4294967295";
    ASSERT_TRUE(f.panel.buildAndSendCommand());
    ASSERT_EQ(f.sent.records.size(), 2u);
    EXPECT_EQ(u32At(f.sent.records[0], 68), 4294967295u);
    EXPECT_EQ(u32At(f.sent.records[1], 72), 4294967295u);

    // A long text is refused, not cut, and the message stays short.
    f.messages.clear();
    f.panel.scriptActive = true;
    f.choose("P7051");
    for (std::size_t i = 0; i < 4; ++i) f.panel.rows[i].value = "1";
    f.panel.rows[4].value = std::string(131'000, 'x');
    EXPECT_FALSE(f.panel.buildAndSendCommand());
    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_LT(f.messages[0].size(), 200u);
    EXPECT_NE(f.messages[0].find("(131000 characters)"), std::string::npos);
    EXPECT_NE(f.messages[0].find("s167 (a text of at most 167 bytes, or NULL)"), std::string::npos);
    EXPECT_EQ(f.sent.records.size(), 2u);
}

TEST(SendCommand, EverySonarOnceAtItsOwnAddress) {
    PanelFixture f;
    // The second head of a system: a two-headed device with enumerator 1 beside the first.
    f.panel.devices = {{7125, 0, false}, {7125, 1, true}, {7000, 0, false}};
    f.choose("1003");
    f.panel.rows[0].value = "60";
    ASSERT_TRUE(f.panel.buildAndSendCommand());
    ASSERT_EQ(f.sent.records.size(), 3u);
    EXPECT_EQ(FrameView(f.sent.records[0]).systemEnumerator(), 0);
    EXPECT_EQ(FrameView(f.sent.records[1]).systemEnumerator(), 1);
    EXPECT_EQ(u32At(f.sent.records[1], 80), 1u);
    EXPECT_EQ(FrameView(f.sent.records[2]).deviceId(), 7000u);
    EXPECT_EQ(f.panel.sentRecords, 3u);

    // A head that would make two sonars one address sends to neither.
    f.sent.records.clear();
    f.panel.devices = {{7125, 1, false}, {7125, 0, true}};
    f.panel.head = HeadSelect::Port;
    EXPECT_FALSE(f.panel.buildAndSendCommand());
    EXPECT_EQ(f.messages, (std::vector<std::string>{"Device 7125, Enum 1 would receive the command twice: choose the "
                                                    "sonars or the head; nothing was sent"}));
    EXPECT_TRUE(f.sent.records.empty());
    f.panel.checked = {false, true};
    ASSERT_TRUE(f.panel.buildAndSendCommand());
    EXPECT_EQ(FrameView(f.sent.records.at(0)).systemEnumerator(), 1);
}

TEST(SendCommand, RefusalsSendNothing) {
    PanelFixture f;
    f.choose("P1009");  // seven parameters by hand
    EXPECT_EQ(f.messages, (std::vector<std::string>{"Large record size works only for scripts"}));
    f.messages.clear();

    f.choose("1003");  // a required value left empty
    f.panel.ticket = "5";
    EXPECT_FALSE(f.panel.buildAndSendCommand());
    EXPECT_EQ(f.messages, (std::vector<std::string>{"Empty data item that is required"}));
    EXPECT_EQ(f.panel.ticket, "5");
    f.messages.clear();

    f.choose("1004");  // parameters not known: never guessed
    EXPECT_EQ(f.panel.rows[0].description, kParametersUnknown);
    EXPECT_FALSE(f.panel.buildAndSendCommand());
    EXPECT_EQ(f.messages.size(), 1u);

    f.panel.selection.reset();
    EXPECT_FALSE(f.panel.buildAndSendCommand());
    f.panel.devices.clear();
    f.choose("1003");
    f.panel.rows[0].value = "1";
    EXPECT_FALSE(f.panel.buildAndSendCommand());
    EXPECT_TRUE(f.panel.ticket.empty());
    EXPECT_TRUE(f.sent.records.empty());
}

TEST(SendCommand, CountsThatDoNotFitTheirFieldAreRefused) {
    PanelFixture f;
    f.panel.scriptActive = true;
    f.choose("P1016");  // "Number of sets" is one byte
    f.panel.rows[0].value = "1";
    std::string sets;
    for (int i = 0; i < 256; ++i) sets += "[1, 0, 0, 0, 0],";
    f.panel.rows[2].value = sets;
    EXPECT_FALSE(f.panel.buildAndSendCommand());
    EXPECT_TRUE(f.sent.records.empty());
    ASSERT_EQ(f.messages.size(), 1u);
    EXPECT_EQ(f.messages[0], "256 values do not fit the count \"Number of sets\"");
}

TEST(SendCommand, EmptyLastTextIsSentAsZeros) {
    PanelFixture f;
    f.choose("1200");
    EXPECT_EQ(f.panel.rows[0].value, "   0");  // preset, read-only
    EXPECT_TRUE(f.panel.visibleRows[0].valueReadOnly);
    ASSERT_TRUE(f.panel.buildAndSendCommand());
    const Bytes& r = f.sent.records.at(0);
    ASSERT_EQ(r.size(), 88u + 4 + 256 + 4);
    EXPECT_EQ(Bytes(r.begin() + 92, r.begin() + 92 + 256), Bytes(256, 0));
}

TEST(PanelRows, ShowTypesButtonsAndValueLists) {
    PanelFixture f;
    f.choose("1053");
    EXPECT_EQ(f.panel.rows[0].type, "IPAddress4");
    EXPECT_EQ(f.panel.rows[4].type, "u4");
    EXPECT_EQ(f.panel.rows[3].value, "auto");
    EXPECT_TRUE(f.panel.visibleRows[2].showValuesButton);
    EXPECT_FALSE(f.panel.visibleRows[1].showValuesButton);
    EXPECT_FALSE(f.panel.visibleRows[5].valueShown);

    f.choose("1014");
    EXPECT_EQ(f.panel.showValuesCaption(), "System mode");
    EXPECT_EQ(f.panel.showValues(1), (std::vector<std::string>{"Flags", "", "BITFIELD", "0 - 14  Reserved",
                                                                "15 - 15  Use legacy AutoPilot instead of Tracker"}));
    EXPECT_EQ(f.panel.showValues(0).at(2), "0  Normal");
    EXPECT_TRUE(f.panel.showValues(5).empty());
}

} // namespace
} // namespace tarvik::remote
