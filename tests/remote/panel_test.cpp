#include "core/frame.h"
#include "tests/remote/remote_test_support.h"

#include <gtest/gtest.h>

namespace tarvik::remote {
namespace {

using testing::f32At;
using testing::PanelFixture;
using testing::u32At;

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

    // Without brackets each piece is converted as "repeat", which gives nothing.
    f.panel.rows[6].value = "10, 1500";
    ASSERT_TRUE(f.panel.buildAndSendCommand());
    EXPECT_EQ(f.sent.records.at(1).size(), 64u + 24 + 4);
    EXPECT_EQ(f.messages, (std::vector<std::string>{"unknown data format (b), ==repeat=="}));
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
