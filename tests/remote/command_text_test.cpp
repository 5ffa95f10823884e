// The one-line description of command records that the server stand-in logs.

#include "core/frame.h"
#include "remote/command_text.h"
#include "remote/definitions.h"

#include <gtest/gtest.h>

namespace tarvik::remote {
namespace {

// A catalogue with one command of every value format, a list, a record
// command with a repeat block, and commands without parameters.
RemoteCommandCatalogue catalogue() {
    RemoteCommandCatalogue c;
    const MessageFn quiet = [](std::string_view) {};
    CRemoteControlDefinition all;
    all.identifier = "1042";
    all.title = "Every format";
    all.InsertLayoutItem("Count", "u", 2);
    all.InsertLayoutItem("Offset", "i", 1);
    all.InsertLayoutItem("Gain", "f", 4);
    all.InsertLayoutItem("Angle", "d2r", 8);
    all.InsertLayoutItem("Name", "s", 8);
    all.InsertLayoutItem("Address", "IPAddress", 4);
    all.InsertLayoutItem("When", "t10", 10);
    all.InsertLayoutItem("Reserved", "x", 3);
    all.InsertLayoutItem("Beams", "u", 2, "Count", quiet);
    c.insert(all);

    CRemoteControlDefinition record;
    record.identifier = "P1009";
    record.title = "Sound velocity profile";
    record.InsertLayoutItem("Samples", "u", 4);
    record.InsertLayoutItem("Profile", "repeat", 0, "Samples", quiet);
    record.InsertLayoutItem("Tail", "u", 1);
    c.insert(record);
    RemoteRepeatDescription block;
    block.identifier = "P1009";
    block.countFieldName = "Samples";
    block.items = {CRemoteControlDataLayout("Depth", "f", 4), CRemoteControlDataLayout("Speed", "u", 2)};
    c.repeats[{"P1009", 0}] = block;

    CRemoteControlDefinition unknown;
    unknown.identifier = "1008";
    unknown.title = "Depth";
    unknown.parametersKnown = false;
    c.insert(unknown);

    CRemoteControlDefinition noBlock;
    noBlock.identifier = "P1016";
    noBlock.title = "Attitude";
    noBlock.InsertLayoutItem("Sets", "u", 1);
    noBlock.InsertLayoutItem("Set", "repeat", 0, "Sets", quiet);
    c.insert(noBlock);
    return c;
}

Bytes command(std::uint32_t number, const std::function<void(ByteWriter&)>& body, bool checksum = true) {
    FrameBuilder b(7500);
    b.data().u32(number).u32(7).fill(16);
    body(b.data());
    return b.checksum(checksum).build();
}

Bytes recordCommand(std::uint32_t type, const std::function<void(ByteWriter&)>& body) {
    FrameBuilder b(type);
    body(b.data());
    return b.build();
}

void everyFormat(ByteWriter& w, std::uint16_t count) {
    w.u16(count).i8(-5).f32(2.5f).f64(0.125).fixedText("sonar", 8).u32(0xC0A80102u);
    VxTIME t;
    t.year = 2026;
    t.day = 342;
    t.hours = 9;
    t.minutes = 5;
    t.seconds = 7.25f;
    ByteWriter time;
    t.write(time);
    w.bytes(time.data()).fill(3, 0xAA);
}

TEST(CommandText, DescribesEveryFormatListsAndWhatIsLeftOver) {
    const RemoteCommandCatalogue c = catalogue();
    EXPECT_EQ(describeCommandRecord(c, command(1042, [](ByteWriter& w) {
                  everyFormat(w, 3);
                  w.u16(10).u16(20).u16(30);
              })),
              "command 1042 Every format: Count=3; Offset=-5; Gain=2.5; Angle=0.125; Name=\"sonar\"; "
              "Address=192.168.1.2; When=2026/342 09:05:07.250; Reserved=(3 reserved bytes); Beams=[10, 20, 30]");
    // Bytes behind the last parameter are counted.
    EXPECT_EQ(describeCommandRecord(c, command(1042, [](ByteWriter& w) {
                  everyFormat(w, 0);
                  w.u32(0);
              })),
              "command 1042 Every format: Count=0; Offset=-5; Gain=2.5; Angle=0.125; Name=\"sonar\"; "
              "Address=192.168.1.2; When=2026/342 09:05:07.250; Reserved=(3 reserved bytes); Beams=[] (+4 bytes after the last parameter)");
    // Four bytes left in a record whose flags claim no checksum: a record request's checksum field.
    EXPECT_EQ(describeCommandRecord(c, command(1042, [](ByteWriter& w) {
                  everyFormat(w, 0);
                  w.u32(0);
              }, false)),
              "command 1042 Every format: Count=0; Offset=-5; Gain=2.5; Angle=0.125; Name=\"sonar\"; "
              "Address=192.168.1.2; When=2026/342 09:05:07.250; Reserved=(3 reserved bytes); Beams=[] (+4 bytes: a "
              "checksum field the flags do not claim)");
    // A long list is cut after 64 values; the rest is not read.
    const std::string longList = describeCommandRecord(c, command(1042, [](ByteWriter& w) {
        everyFormat(w, 70);
        for (int i = 0; i < 70; ++i) w.u16(static_cast<std::uint16_t>(i));
    }));
    EXPECT_NE(longList.find("Beams=[0, 1, 2, "), std::string::npos) << longList;
    EXPECT_TRUE(longList.ends_with(", 62, 63, ... 70 in all]")) << longList;
}

TEST(CommandText, SaysWhereTheRecordEnds) {
    const RemoteCommandCatalogue c = catalogue();
    // In a plain parameter, in a list, and in a record without a checksum.
    EXPECT_EQ(describeCommandRecord(c, command(1042, [](ByteWriter& w) { w.u16(2).i8(1).u16(0); })),
              "command 1042 Every format: Count=2; Offset=1; Gain=(record ends)");
    EXPECT_EQ(describeCommandRecord(c, command(1042, [](ByteWriter& w) {
                  everyFormat(w, 3);
                  w.u16(10).u16(20);
              }, false)),
              "command 1042 Every format: Count=3; Offset=-5; Gain=2.5; Angle=0.125; Name=\"sonar\"; "
              "Address=192.168.1.2; When=2026/342 09:05:07.250; Reserved=(3 reserved bytes); "
              "Beams=[10, 20, (record ends)");
    EXPECT_EQ(describeCommandRecord(c, recordCommand(1009, [](ByteWriter& w) { w.u32(2).f32(1.5f).u16(1480).f32(3); })),
              "record 1009 Sound velocity profile: Samples=2; Profile=[(1.5, 1480), (3(record ends)");
}

TEST(CommandText, RecordCommandsWithRepeatedBlocks) {
    const RemoteCommandCatalogue c = catalogue();
    EXPECT_EQ(describeCommandRecord(c, recordCommand(1009, [](ByteWriter& w) {
                  w.u32(2).f32(1.5f).u16(1480).f32(3).u16(1490).u8(9);
              })),
              "record 1009 Sound velocity profile: Samples=2; Profile=[(1.5, 1480), (3, 1490)]; Tail=9");
    EXPECT_EQ(describeCommandRecord(c, recordCommand(1009, [](ByteWriter& w) { w.u32(0).u8(9); })),
              "record 1009 Sound velocity profile: Samples=0; Profile=[]; Tail=9");
    EXPECT_EQ(describeCommandRecord(c, recordCommand(1016, [](ByteWriter& w) { w.u8(1).u32(0); })),
              "record 1016 Attitude: Sets=1; Set=(no block)");
}

TEST(CommandText, RecordsTheCatalogueCannotRead) {
    const RemoteCommandCatalogue c = catalogue();
    EXPECT_EQ(describeCommandRecord(c, Bytes(10, 0)), "not a record");
    EXPECT_EQ(describeCommandRecord(c, command(1008, [](ByteWriter& w) { w.u32(1); })),
              "command 1008 Depth: parameters not known");
    EXPECT_EQ(describeCommandRecord(c, command(1999, [](ByteWriter&) {})), "command 1999 (not in the catalogue)");
    EXPECT_EQ(describeCommandRecord(c, recordCommand(7001, [](ByteWriter& w) { w.u32(1); })),
              "record 7001 (not in the catalogue)");
    FrameBuilder shortCommand(7500);
    shortCommand.data().u32(1042);
    EXPECT_EQ(describeCommandRecord(c, shortCommand.build()), "remote control record too short");
}

} // namespace
} // namespace tarvik::remote
