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

TEST(ConvertValue, IntegersKeepTheirLowBytesOrSignExtend) {
    Converter c;
    EXPECT_EQ(c("u", 2, "70000"), (Bytes{0x70, 0x11}));
    EXPECT_EQ(c("u", 4, "-1"), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(c("u", 1, "258"), (Bytes{0x02}));
    EXPECT_EQ(c("i", 8, "-2"), (Bytes{0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(c("u", 8, "5"), (Bytes{5, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(c.messages.empty());
    EXPECT_TRUE(c("u", 16, "1").empty());
    EXPECT_TRUE(c("i", 42, "1").empty());
    EXPECT_EQ(c.messages, (std::vector<std::string>{"unknown unsigned integer format", "unknown integer format"}));
}

TEST(ConvertValue, FloatsAndDegrees) {
    Converter c;
    EXPECT_EQ(readLEOr0<float>(c("f", 4, "12.5"), 0), 12.5f);
    EXPECT_EQ(readLEOr0<double>(c("f", 8, "0.1"), 0), 0.1);
    EXPECT_EQ(readLEOr0<float>(c("d2r", 4, "180"), 0), 3.14159265f);
    EXPECT_EQ(readLEOr0<double>(c("d2r", 8, "90"), 0), 90 * 0.017453292519943295);
    EXPECT_TRUE(c("f", 2, "1").empty());
    EXPECT_TRUE(c("d2r", 1, "1").empty());
    EXPECT_EQ(c.messages, (std::vector<std::string>(2, "only f32 & f64 implemented")));
}

TEST(ConvertValue, TextsAreCutOrPadded) {
    Converter c;
    EXPECT_EQ(c("s", 4, "abcdef"), (Bytes{'a', 'b', 'c', 'd'}));
    EXPECT_EQ(c("s", 4, "abcd"), (Bytes{'a', 'b', 'c', 'd'}));
    EXPECT_EQ(c("s", 4, "nUlL"), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(c("s", 4, "nullify"), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(c("s", 4, "ab"), (Bytes{'a', 'b', 0, 0}));
    EXPECT_EQ(c("s", 4, ""), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(c("s", 256, "x").size(), 256u);
    EXPECT_TRUE(c("sd", 2, "x").empty());
    EXPECT_EQ(c.messages, (std::vector<std::string>{"\"sd\" data type not allowed in remote commands"}));
}

TEST(ConvertValue, AddressesReservedBytesTimesAndUnknownFormats) {
    Converter c;
    EXPECT_EQ(c("IPAddress", 4, "192.168.1.2"), (Bytes{0x02, 0x01, 0xA8, 0xC0}));
    EXPECT_EQ(c("IPAddress", 4, "192.168.1"), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(c("IPAddress", 4, "1.2.3.256"), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(c("x", 3, "anything"), (Bytes{0xCB, 0xCB, 0xCB}));
    EXPECT_EQ(c("t10", 10, "0"), Bytes(10, 0));
    const Bytes now = c("t10", 10, "2");
    ASSERT_EQ(now.size(), 10u);
    EXPECT_EQ(readLEOr0<std::uint16_t>(now, 0), 2026);
    EXPECT_EQ(readLEOr0<float>(now, 4), 7.0f);  // whole seconds
    EXPECT_EQ(c("t10", 10, "1"), Bytes(10, 0xAB));  // low bytes of the random numbers
    EXPECT_TRUE(c.messages.empty());
    EXPECT_TRUE(c("repeat", 0, "[1").empty());
    EXPECT_TRUE(c("", 4, "1").empty());
    EXPECT_EQ(c.messages,
              (std::vector<std::string>{"unknown data format (b), ==repeat==", "unknown data format (b), empty string"}));
}

} // namespace
} // namespace tarvik::remote
