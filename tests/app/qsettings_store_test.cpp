#include "app/qt/qsettings_store.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

using namespace tarvik;

TEST(QSettingsStore, KeepsTypesPathsAndValuesAcrossInstances) {
    tarvik::testing::TempDir dir;
    const std::string ini = dir.file("tarvik.ini");
    {
        QSettingsStore store(ini);
        RegistryString first(setting_names::kLastOutputDirectory, store);
        EXPECT_EQ(first.Read("/tmp"), "/tmp");
        first = "/data/out";
        EXPECT_TRUE(first.Write());
        EXPECT_TRUE(writeDword(store, "Sub\\Count", 12345));
        EXPECT_TRUE(writeString(store, "Digits", "42"));
    }
    QSettingsStore store(ini);
    RegistryString again(setting_names::kLastOutputDirectory, store);
    EXPECT_EQ(again.Read("/tmp"), "/data/out");
    EXPECT_EQ(readDword(store, "Sub\\Count"), 12345);
    EXPECT_FALSE(readDword(store, "Count").has_value());
    // A text made of digits stays a text; a number is not a text.
    EXPECT_FALSE(readDword(store, "Digits").has_value());
    EXPECT_EQ(readString(store, "Digits"), "42");
    EXPECT_FALSE(readString(store, "Sub\\Count").has_value());
    EXPECT_EQ(lastSettingsError(), kErrorInvalidData);
}
