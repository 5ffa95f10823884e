// Reading the device list from a configuration record: element and attribute
// rules, and broken records that must give no device and read nothing outside.

#include "core/frame.h"
#include "net/sonar_devices.h"
#include "tools/synth/server_records.h"

#include <gtest/gtest.h>

using namespace tarvik;
using namespace tarvik::net;

namespace {

// A configuration record with the given device information texts (each written
// with its zero byte unless `terminate` is false).
Bytes configuration(const std::vector<std::string>& texts, std::uint32_t claimed, bool terminate = true) {
    FrameBuilder b(7001);
    ByteWriter& d = b.data();
    d.u64(1).u32(claimed);
    for (const auto& t : texts) {
        d.u32(7125).fixedText("module", 64).u64(2);
        d.u32(static_cast<std::uint32_t>(t.size() + (terminate ? 1 : 0))).bytes(asBytes(t));
        if (terminate) d.u8(0);
    }
    return b.build();
}

std::string info(std::string_view name, std::string_view attributes = "deviceid=\"7125\" enumerator=\"1\"",
                 std::string_view rest = "<SonarType type=\"3\" /><SystemInfo IDH=\"yes\" />") {
    return "<Device><Name " + std::string(attributes) + ">" + std::string(name) + "</Name>" + std::string(rest) +
           "</Device>";
}

} // namespace

TEST(DeviceList, ReadsTheServersConfigurationRecord) {
    std::vector<synth::SimDevice> sim(2);
    sim[0].name = "Port head";
    sim[1] = {7150, 3, "Second", 9, true};
    const auto devices = parseDeviceList(synth::configurationRecord(sim, 1));
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].name, "Port head");
    EXPECT_EQ(devices[0].deviceId, 7125u);
    EXPECT_EQ(devices[0].idh, 0u);
    EXPECT_EQ(devices[1].deviceId, 7150u);
    EXPECT_EQ(devices[1].enumerator, 3u);
    EXPECT_EQ(devices[1].sonarType, 9u);
    EXPECT_EQ(devices[1].idh, 1u);
    // Equality and order by device id, then enumerator.
    EXPECT_EQ(CSonarDevices(7125, 1, "a", 0), CSonarDevices(7125, 2, "b", 0));
    EXPECT_LT(CSonarDevices(7125, 0, "", 0), CSonarDevices(7125, 0, "", 1));
    EXPECT_LT(CSonarDeviceRecordKey(devices[0], 7000), CSonarDeviceRecordKey(devices[0], 7004));
}

TEST(DeviceList, ElementAndAttributeRules) {
    struct Case {
        std::string text;
        std::uint32_t id;
        std::uint16_t enumerator;
        std::string name;
        std::uint32_t sonarType, idh;
    };
    const std::string big(64, '9');
    const Case cases[] = {
        {info("A"), 7125, 1, "A", 3, 1},
        // Attribute names ignore case; element names do not.
        {info("B", "DeviceID=\"7\" ENUMERATOR=\"2\""), 7, 2, "B", 3, 1},
        {"<name deviceid=\"7\">C</name><SonarType type=\"4\" />", 0, 0, "", 4, 0},
        // IDH: "yes" or a prefix of it, any case; anything else clears it.
        {info("D", "deviceid=\"1\"", "<SystemInfo IDH=\"Y\" />"), 1, 0, "D", 0, 1},
        {info("E", "deviceid=\"1\"", "<SystemInfo idh=\"YES\" />"), 1, 0, "E", 0, 1},
        {info("F", "deviceid=\"1\"", "<SystemInfo IDH=\"no\" />"), 1, 0, "F", 0, 0},
        {info("G", "deviceid=\"1\"", "<SystemInfo IDH=\"yess\" />"), 1, 0, "G", 0, 0},
        // Quoted text is skipped: a '>' inside quotes does not end the tag.
        {info("H", "note=\"a>b deviceid=&quot;5\" deviceid=\"6\""), 6, 0, "H", 3, 1},
        // A value of 64 characters or more leaves the field at its default.
        {info("I", "deviceid=\"" + big + "\" enumerator=\"4\""), 0, 4, "I", 3, 1},
        // Blanks around the equals sign are not the attribute's form.
        {info("J", "deviceid = \"9\""), 0, 0, "J", 3, 1},
        // Missing elements leave every field at zero.
        {"no elements at all", 0, 0, "", 0, 0},
        // A tag that never closes: its attributes run to the end of the text, the name is empty.
        {"<Name deviceid=\"8\"", 8, 0, "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto d = parseDeviceInformation(c.text);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->deviceId, c.id);
        EXPECT_EQ(d->enumerator, c.enumerator);
        EXPECT_EQ(d->name, c.name);
        EXPECT_EQ(d->sonarType, c.sonarType);
        EXPECT_EQ(d->idh, c.idh);
    }
    // A name of 64 characters or more gives no device; 63 are kept.
    EXPECT_FALSE(parseDeviceInformation(info(std::string(64, 'n'))));
    EXPECT_EQ(parseDeviceInformation(info(std::string(63, 'n')))->name.size(), 63u);
}

TEST(DeviceList, BrokenRecordsGiveNoDeviceFromABrokenEntry) {
    const std::vector<std::string> two = {info("one"), info("two")};
    EXPECT_EQ(parseDeviceList(configuration(two, 2)).size(), 2u);
    EXPECT_TRUE(parseDeviceList(configuration(two, 0)).empty());
    EXPECT_TRUE(parseDeviceList(configuration(std::vector<std::string>(11, info("x")), 11)).empty());
    EXPECT_EQ(parseDeviceList(configuration(std::vector<std::string>(10, info("x")), 10)).size(), 10u);

    // More devices claimed than the record holds: the ones there, nothing read beyond.
    EXPECT_EQ(parseDeviceList(configuration(two, 5)).size(), 2u);
    // A text without its zero byte inside its entry: no device from it.
    EXPECT_TRUE(parseDeviceList(configuration({info("open")}, 1, false)).empty());
    // An entry claiming a longer text than the record holds.
    Bytes claims = configuration({info("long")}, 1);
    ByteWriter w(claims);
    w.patch<std::uint32_t>(76 + 76, 1'000'000);
    EXPECT_TRUE(parseDeviceList(w.data()).empty());
    // Every cut of a good record parses without reading past its end.
    const Bytes good = configuration(two, 2);
    for (std::size_t n = 0; n < good.size(); n += 7) {
        const Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
        EXPECT_LE(parseDeviceList(cut).size(), 2u);
    }
}
