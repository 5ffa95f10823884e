#include "app/settings.h"

#include <gtest/gtest.h>

using namespace tarvik;

TEST(Settings, FirstRunYieldsDefaultsAndTheFirstWriteCreatesTheValue) {
    MemorySettingsStore store;
    RegistryString last(setting_names::kLastVxFileRead, store);
    EXPECT_EQ(last.Read("fallback"), "fallback");
    EXPECT_EQ(lastSettingsError(), kErrorFileNotFound);
    EXPECT_EQ(last.Read(), "");
    RegistryInt number(setting_names::kPortFromLastExecution, store);
    EXPECT_EQ(number.Read(-5), -5);

    last = "/data/run.vxr";
    EXPECT_TRUE(last.Write());
    EXPECT_EQ(store.values.at({"", "Last Vx file read"}), StoredValue{std::string("/data/run.vxr")});
    RegistryString again(setting_names::kLastVxFileRead, store);
    EXPECT_EQ(again.Read("x"), "/data/run.vxr");
    EXPECT_EQ(lastSettingsError(), 0);
}

TEST(Settings, WrongTypedValuesReadAsTheDefault) {
    MemorySettingsStore store;
    store.set("", "IP address from last execution", std::int32_t{42});
    RegistryString address(setting_names::kAddressFromLastExecution, store);
    EXPECT_EQ(address.Read("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(lastSettingsError(), kErrorInvalidData);

    store.set("", "Device from last execution", std::string("7125"));
    RegistryInt device(setting_names::kDeviceFromLastExecution, store);
    EXPECT_EQ(device.Read(3), 3);
    EXPECT_EQ(lastSettingsError(), kErrorInvalidData);

    store.set("", "Last script file", OtherValue{"\x01\x02"});
    RegistryString script(setting_names::kLastScriptFile, store);
    EXPECT_EQ(script.Read("none"), "none");

    writeDword(store, "Counter", -7);
    EXPECT_EQ(readDword(store, "Counter"), -7);
}

TEST(Settings, ValuePathRule) {
    EXPECT_EQ(resolveValuePath("Last output directory").subkey, "");
    EXPECT_EQ(resolveValuePath("Last output directory").name, "Last output directory");
    ValuePath p = resolveValuePath("Recent\\Servers\\First");
    EXPECT_EQ(p.subkey, "Recent\\Servers");
    EXPECT_EQ(p.name, "First");
    EXPECT_EQ(fullKeyOf("Name"), "Software\\Nerith\\Tarvik");
    EXPECT_EQ(fullKeyOf("Sub\\Name"), "Software\\Nerith\\Tarvik\\Sub");

    MemorySettingsStore store;
    ASSERT_TRUE(writeString(store, "Sub\\Name", "inside"));
    EXPECT_EQ(store.values.count({"Sub", "Name"}), 1u);
    EXPECT_EQ(readString(store, "Sub\\Name"), "inside");
    EXPECT_FALSE(readString(store, "Name").has_value());
}

TEST(Settings, NamesOfTheSettings) {
    EXPECT_EQ(settingNameText(61447), "Device from last execution");
    EXPECT_EQ(settingNameText(61448), "IP address from last execution");
    EXPECT_EQ(settingNameText(61449), "UDP port from last execution");
    EXPECT_EQ(settingNameText(61450), "Last Vx file read");
    EXPECT_EQ(settingNameText(61452), "Last output directory");
    EXPECT_EQ(settingNameText(61453), "Last script file directory");
    EXPECT_EQ(settingNameText(61454), "Last script file");
    EXPECT_EQ(settingNameText(61451), "");
}
