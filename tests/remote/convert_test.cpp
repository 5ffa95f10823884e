#include "remote/convert.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tarvik::remote {
namespace {

struct Converter {
    std::vector<std::string> messages;
    ConvertContext context{[this](std::string_view m) { messages.emplace_back(m); }, [] { return 0x1ABu; },
                           [] {
                               VxTIME t;
                               t.year = 2026;
                               t.day = 5;
                               t.seconds = 7.9f;
                               t.hours = 1;
                               t.minutes = 2;
                               return t;
                           }};
    Bytes operator()(std::string_view format, std::int32_t width, std::string_view value) {
        return convertValue(format, width, value, context);
    }
};

TEST(ListSplitting, CutsAtCommasAndSkipsBlanksAfterThem) {
    EXPECT_EQ(splitList("7000, 7004,7027"), (std::vector<std::string>{"7000", "7004", "7027"}));
    EXPECT_EQ(splitList("  a ,  b,,"), (std::vector<std::string>{"  a ", "b", "", ""}));
    EXPECT_TRUE(splitList("").empty());
    EXPECT_EQ(splitList(","), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(countListPieces("  a ,  b,,"), 4u);
    EXPECT_EQ(countListPieces(""), 0u);
}

TEST(NumberParsing, FollowsTheCRulesAndSaturates) {
    EXPECT_EQ(parseDecimal32("  -12abc"), -12);
    EXPECT_EQ(parseDecimal32("+7"), 7);
    EXPECT_EQ(parseDecimal32("x1"), 0);
    EXPECT_EQ(parseDecimal32("99999999999999999999"), 2147483647);
    EXPECT_EQ(parseDecimal32("-99999999999"), -2147483647 - 1);
    EXPECT_EQ(parseFloat(" 12.5e1x"), 125.0);
    EXPECT_EQ(parseFloat("-0.25"), -0.25);
    EXPECT_EQ(parseFloat("abc"), 0.0);
    EXPECT_TRUE(std::isinf(parseFloat("1e999")));
}

TEST(ConvertValue, IntegersGoOutExactlyUpToTheirFullRange) {
    Converter c;
    EXPECT_EQ(c("u", 4, "4294967295"), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(c("i", 4, "-1"), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(c("i", 4, "-2147483648"), (Bytes{0, 0, 0, 0x80}));
    EXPECT_EQ(c("u", 2, "65535"), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(c("i", 1, "-128"), (Bytes{0x80}));
    EXPECT_EQ(c("i", 8, "-2"), (Bytes{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(c("u", 8, "18446744073709551615"), Bytes(8, 0xFF));
    EXPECT_EQ(c("u", 8, "5"), (Bytes{5, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(c("u", 4, "   +7 "), (Bytes{7, 0, 0, 0}));  // preset rows begin with blanks
    EXPECT_EQ(c("u", 2, ""), (Bytes{0, 0}));              // an empty value is 0
    EXPECT_EQ(c("i", 4, "-0"), (Bytes{0, 0, 0, 0}));
    EXPECT_TRUE(c.messages.empty());
    EXPECT_TRUE(c("u", 16, "1").empty());
    EXPECT_TRUE(c("i", 42, "1").empty());
    EXPECT_EQ(c.messages, (std::vector<std::string>{"unknown unsigned integer format", "unknown integer format"}));
}

TEST(ConvertValue, TextThatIsNotExactlyAnIntegerOfTheWidthIsRefused) {
    Converter c;
    const std::pair<const char*, const char*> refused[] = {
        {"u4", "sixty"}, {"u4", "60abc"},      {"u4", "1.5"},  {"i4", "1e3"},          {"u4", "0x10"},
        {"u4", "nan"},   {"u4", "\xEF\xBC\x91"}, {"u4", "-1"},   {"u1", "4294967295"},   {"u2", "70000"},
        {"u1", "256"},   {"i1", "128"},         {"i1", "-129"}, {"u4", "4294967296"},   {"i4", "2147483648"},
        {"i8", "9223372036854775808"},          {"u8", "18446744073709551616"},         {"u4", "+-1"},
        {"u4", "--1"},   {"u4", "-"},           {"u4", "1 2"},  {"u4", "99999999999999999999999"},
    };
    for (const auto& [type, value] : refused) {
        bool wasRefused = false;
        const std::string format(type, 1);
        EXPECT_TRUE(convertValue(format, type[1] - '0', value, c.context, &wasRefused).empty()) << type << " " << value;
        EXPECT_TRUE(wasRefused) << type << " " << value;
    }
    EXPECT_TRUE(c.messages.empty());  // the caller names the parameter
    EXPECT_EQ(describeFormat("u", 4), "u4 (a whole number from 0 to 4294967295)");
    EXPECT_EQ(describeFormat("i", 1), "i1 (a whole number from -128 to 127)");
    EXPECT_EQ(describeFormat("i", 8), "i8 (a whole number from -9223372036854775808 to 9223372036854775807)");
}

TEST(ConvertValue, FloatsAndDegrees) {
    Converter c;
    EXPECT_EQ(readLEOr0<float>(c("f", 4, "12.5"), 0), 12.5f);
    EXPECT_EQ(readLEOr0<float>(c("f", 4, " -0.25 "), 0), -0.25f);
    EXPECT_EQ(readLEOr0<float>(c("f", 4, "1e9"), 0), 1e9f);
    EXPECT_EQ(readLEOr0<float>(c("f", 4, "3.4028235e38"), 0), 3.4028235e38f);
    EXPECT_EQ(readLEOr0<double>(c("f", 8, "0.1"), 0), 0.1);
    EXPECT_EQ(readLEOr0<double>(c("f", 8, "1e308"), 0), 1e308);
    EXPECT_EQ(c("f", 4, ""), Bytes(4, 0));
    EXPECT_EQ(readLEOr0<float>(c("d2r", 4, "180"), 0), 3.14159265f);
    EXPECT_EQ(readLEOr0<double>(c("d2r", 8, "90"), 0), 90 * 0.017453292519943295);
    EXPECT_TRUE(c("f", 2, "1").empty());
    EXPECT_TRUE(c("d2r", 1, "1").empty());
    EXPECT_EQ(c.messages, (std::vector<std::string>(2, "only f32 & f64 implemented")));
    c.messages.clear();
    for (const char* value : {"1e309", "1e39", "-1e39", "inf", "nan", "-nan", "12.5x", "0x1p3", "abc", ".", "1e", "e5"}) {
        bool refused = false;
        EXPECT_TRUE(convertValue("f", 4, value, c.context, &refused).empty()) << value;
        EXPECT_TRUE(refused) << value;
    }
    for (const char* value : {"1e309", "infinity", "1e99999"}) {
        bool refused = false;
        EXPECT_TRUE(convertValue("f", 8, value, c.context, &refused).empty()) << value;
        EXPECT_TRUE(refused) << value;
    }
    EXPECT_EQ(readLEOr0<double>(c("f", 8, "1e39"), 0), 1e39);
    EXPECT_TRUE(c.messages.empty());
}

TEST(ConvertValue, AddressesReservedBytesTimesAndUnknownFormats) {
    Converter c;
    EXPECT_EQ(c("IPAddress", 4, "192.168.1.2"), (Bytes{0x02, 0x01, 0xA8, 0xC0}));
    EXPECT_EQ(c("IPAddress", 4, " 255.255.255.255 "), Bytes(4, 0xFF));
    EXPECT_EQ(c("IPAddress", 4, ""), Bytes(4, 0));
    // The same address as the integer the parameter's name also promises.
    EXPECT_EQ(c("IPAddress", 4, "3232235778"), (Bytes{0x02, 0x01, 0xA8, 0xC0}));
    EXPECT_EQ(c("IPAddress", 4, "4294967295"), Bytes(4, 0xFF));
    EXPECT_EQ(c("IPAddress", 4, "0"), Bytes(4, 0));
    for (const char* value : {"192.168.1", "1.2.3.256", "1.2.3", "256.1.1.1", "4294967296", "99999999999", "-1",
                              "+5", "0x10", "1.2.3.4.5", "a.b.c.d", "1..2.3"}) {
        bool refused = false;
        EXPECT_TRUE(convertValue("IPAddress", 4, value, c.context, &refused).empty()) << value;
        EXPECT_TRUE(refused) << value;
    }
    EXPECT_EQ(c("x", 3, "anything"), (Bytes{0xCB, 0xCB, 0xCB}));
    EXPECT_EQ(c("t10", 10, "0"), Bytes(10, 0));
    const Bytes now = c("t10", 10, "2");
    ASSERT_EQ(now.size(), 10u);
    EXPECT_EQ(readLEOr0<std::uint16_t>(now, 0), 2026);
    EXPECT_EQ(readLEOr0<float>(now, 4), 7.0f);  // whole seconds
    EXPECT_EQ(c("t10", 10, "1"), Bytes(10, 0xAB));  // low bytes of the random numbers
    bool refused = false;
    EXPECT_TRUE(convertValue("t10", 10, "now", c.context, &refused).empty());
    EXPECT_TRUE(refused);
    EXPECT_TRUE(c.messages.empty());
    EXPECT_TRUE(c("repeat", 0, "[1").empty());
    EXPECT_TRUE(c("", 4, "1").empty());
    EXPECT_EQ(c.messages,
              (std::vector<std::string>{"unknown data format (b), ==repeat==", "unknown data format (b), empty string"}));
}

} // namespace
} // namespace tarvik::remote
