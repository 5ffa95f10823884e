// The text of one field in each of the places a field can appear.

#include "core/bytes.h"
#include "decode/field_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tarvik;

namespace {

std::string text(FieldContext context, const std::string& format, std::int32_t number, const Bytes& bytes,
                 FieldResult* result = nullptr) {
    std::string out;
    FieldResult r = appendFieldText(context, format, number, bytes, out);
    if (result) *result = r;
    return r.hidden ? "<hidden>" : out;
}

Bytes f32(float v) { return ByteWriter().f32(v).take(); }
Bytes f64(double v) { return ByteWriter().f64(v).take(); }
Bytes words(std::uint32_t w0, std::uint32_t w1, std::uint32_t w2, std::uint32_t w3) {
    return ByteWriter().u32(w0).u32(w1).u32(w2).u32(w3).take();
}

} // namespace

TEST(FieldFormat, SixteenByteUnsignedShowsADeviceCommandOrHex) {
    EXPECT_EQ(text(FieldContext::Main, "u", 16, words(1010, 7500, 0, 21)), " ==>(Device 21, Enum 0, Rec 7500, Cmd 1010)");
    EXPECT_EQ(text(FieldContext::Main, "u", 16, words(1010, 7500, 20, 21)),
              " 0x000000150000001400001d4c000003f2");
    // Inside a block the hexadecimal form is always used.
    EXPECT_EQ(text(FieldContext::Repeat, "u", 16, words(1010, 7500, 0, 21)),
              " 0x000000150000000000001d4c000003f2");
}

TEST(FieldFormat, FloatsAndTheirInvalidClasses) {
    const float negativeZero = -0.0f;
    EXPECT_EQ(text(FieldContext::Main, "f", 4, f32(negativeZero)), "  INVALID-FP, Negative zero ( - 0)");
    EXPECT_EQ(text(FieldContext::Repeat, "f", 4, f32(negativeZero)), "  0");
    EXPECT_EQ(text(FieldContext::Main, "f", 4, f32(std::numeric_limits<float>::infinity())),
              "  INVALID-FP, Positive infinity (+INF)");
    EXPECT_EQ(text(FieldContext::Main, "f", 8, f64(-std::numeric_limits<double>::infinity())),
              "  INVALID-FP, Negative infinity ( -INF)");
    EXPECT_EQ(text(FieldContext::Main, "f", 4, ByteWriter().u32(0x7FC00000).take()), "  INVALID-FP, Quiet NaN");
    EXPECT_EQ(text(FieldContext::Main, "f", 4, ByteWriter().u32(0x7F800001).take()), "  INVALID-FP, Signaling NaN");
    EXPECT_EQ(text(FieldContext::Main, "f", 8, ByteWriter().u64(1).take()), "  INVALID-FP, Positive denormalized");
    EXPECT_EQ(text(FieldContext::Main, "f", 4, ByteWriter().u32(0x80000001).take()),
              "  INVALID-FP, Negative denormalized");

    EXPECT_EQ(text(FieldContext::Main, "r2d", 8, f64(1.0)), " 57.29578");
    EXPECT_EQ(text(FieldContext::Main, "f", 4, f32(0.005f)), " 5.000000e-03");
    EXPECT_EQ(text(FieldContext::Main, "f", 4, f32(0.02f)), " 0.020");
    EXPECT_EQ(text(FieldContext::Main, "f", 4, f32(0.0f)), "  0");
    EXPECT_EQ(text(FieldContext::Main, "f", 8, f64(2e15)), " 2.000000e+15");
    EXPECT_EQ(text(FieldContext::Main, "f", 2, Bytes{1, 2}), "");
    EXPECT_EQ(text(FieldContext::Command, "f", 2, Bytes{1, 2}), " unknown float field");

    EXPECT_EQ(text(FieldContext::Vector, "f", 4, f32(0.0f)), " 0.0");
    EXPECT_EQ(text(FieldContext::Vector, "f", 8, f64(0.0)), "  0.0");
    EXPECT_EQ(text(FieldContext::Vector, "r2d", 4, f32(1.0f)), " 57.296");
}

TEST(FieldFormat, IntegersMarkersAndTheValueRemembered) {
    FieldResult r;
    EXPECT_EQ(text(FieldContext::Main, "u", 4, ByteWriter().u32(4000000000u).take(), &r), " 4000000000");
    EXPECT_EQ(r.value, static_cast<std::int32_t>(4000000000u));
    EXPECT_EQ(text(FieldContext::Main, "u", 2, Bytes{0xFB, 0xFB}, &r), "  Uninitialized value, 0xFB");
    EXPECT_EQ(r.value, 0xFBFB);
    EXPECT_EQ(text(FieldContext::Repeat, "u", 2, Bytes{0xFB, 0xFB}), " 64507");
    EXPECT_EQ(text(FieldContext::Main, "u", 8, ByteWriter().u64(1ull << 40).take(), &r), " 1099511627776");
    EXPECT_EQ(r.value, -1);  // only 1, 2 and 4-byte integers are remembered
    EXPECT_EQ(text(FieldContext::Main, "u", 3, Bytes{1, 2, 3}), "  Unknown long unsigned integer field, u, 3");
    EXPECT_EQ(text(FieldContext::Repeat, "u", 3, Bytes{1, 2, 3}), " unknown long unsigned integer field");
    EXPECT_EQ(text(FieldContext::Main, "i", 2, ByteWriter().i16(-33).take(), &r), " -33");
    EXPECT_EQ(r.value, -33);
    EXPECT_EQ(text(FieldContext::Main, "i", 8, ByteWriter().i64(-1).take()), " 18446744073709551615");
    EXPECT_EQ(text(FieldContext::Main, "i", 3, Bytes{1, 2, 3}), " unknown integer field");

    EXPECT_EQ(text(FieldContext::Command, "u", 4, Bytes{0xCD, 0xCD, 0xCD, 0xCD}), "  Uninitialized data, 0xCDCDCDCD");
    EXPECT_EQ(text(FieldContext::Command, "u", 2, Bytes{0xCC, 0xCC}), "  Uninitialized debug data, 0xCCCCCCCC");
    EXPECT_EQ(text(FieldContext::Command, "u", 8, Bytes(8, 0xFB)), "  Uninitialized value, 0xFBFBFBFB");
    EXPECT_EQ(text(FieldContext::Command, "u", 1, Bytes{0xFB}), " 251");

    EXPECT_EQ(text(FieldContext::Main, "constant", 42, {}, &r), " [constant] 42");
    EXPECT_EQ(r.value, 42);
}

TEST(FieldFormat, TextsReservedBytesTimesAndUnknownCodes) {
    EXPECT_EQ(text(FieldContext::Main, "x", 2, Bytes{0, 5}), "  null");
    EXPECT_EQ(text(FieldContext::Main, "x", 2, Bytes{5, 0}), "<hidden>");
    EXPECT_EQ(text(FieldContext::Main, "s", 8, ByteWriter().fixedText("abc", 8).take()), " abc");
    EXPECT_EQ(text(FieldContext::Main, "s", 3, Bytes{'a', 'b', 'c'}), " abc");  // no terminator inside
    EXPECT_EQ(text(FieldContext::Main, "s", 3, Bytes{0, 'b', 'c'}), "  null");
    EXPECT_EQ(text(FieldContext::Command, "s", 3, Bytes{0, 'b', 'c'}), "  empty string");
    EXPECT_EQ(text(FieldContext::Vector, "s", 1, Bytes{0}), "  null string");

    EXPECT_EQ(text(FieldContext::Main, "t10", 10, Bytes(10, 0)), " Null time/date");
    ByteWriter t;
    t.u16(2024).u16(60).f32(9.125f).u8(7).u8(4);
    EXPECT_EQ(text(FieldContext::Main, "t10", 10, t.data()), " 02/29/2024 07:04:09.125");
    ByteWriter bad;
    bad.u16(2023).u16(366).f32(0).u8(0).u8(0);
    EXPECT_EQ(text(FieldContext::Main, "t10", 10, bad.data()), "Invalid date, year 2023, day 366");

    EXPECT_EQ(text(FieldContext::Main, "zz", 2, Bytes{1, 2}), "  unknown data format (a)");
    EXPECT_EQ(text(FieldContext::Repeat, "zz", 2, Bytes{1, 2}), "  unknown data format for repeat");
    EXPECT_EQ(text(FieldContext::Vector, "zz", 2, Bytes{1, 2}), "  unknown data format for vector");
}

// The value-only read used by quiet walks remembers what the formatters do,
// for every code, context and width, over short and odd byte spans.
TEST(FieldValue, MatchesTheFormattersRememberedValue) {
    const FormatCode codes[] = {FormatCode::Unsigned, FormatCode::Signed,   FormatCode::Float,
                                FormatCode::Radians,  FormatCode::Time,     FormatCode::Text,
                                FormatCode::Reserved, FormatCode::Constant, FormatCode::Unknown};
    const FieldContext contexts[] = {FieldContext::Main, FieldContext::Repeat, FieldContext::Vector,
                                     FieldContext::Command};
    const std::uint8_t patterns[][8] = {{0, 0, 0, 0, 0, 0, 0, 0},
                                        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                                        {0xFB, 0xFB, 0xFB, 0xFB, 0xFB, 0xFB, 0xFB, 0xFB},
                                        {0x85, 0x01, 0x80, 0x7F, 0x10, 0x20, 0x30, 0x40}};
    for (FormatCode code : codes)
        for (FieldContext context : contexts)
            for (std::int32_t width : {-1, 0, 1, 2, 3, 4, 8, 16, 9999})
                for (const auto& pattern : patterns)
                    for (std::size_t held : {0, 1, 3, 8}) {
                        const ByteSpan bytes(pattern, held);
                        std::string text;
                        const FieldResult r = appendFieldText(context, code, "u", width, bytes, text);
                        EXPECT_EQ(fieldValue(context, code, width, bytes), r.value)
                            << int(code) << ' ' << int(context) << ' ' << width << ' ' << held;
                    }
}
