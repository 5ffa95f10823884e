#include "core/frame.h"
#include "core/text.h"
#include "core/vxtime.h"

#include <gtest/gtest.h>

using namespace tarvik;

TEST(Checksum, UnsignedAndSignedSums) {
    const Bytes low = {1, 2, 3, 0x7F};
    EXPECT_EQ(computeChecksum(low, low.size()), 133u);
    EXPECT_EQ(computeSignedChecksum(low, low.size()), 133u);  // all below 0x80: the sums agree

    const Bytes high = {0xFF, 0x80, 0x01};
    EXPECT_EQ(computeChecksum(high, 3), 0xFFu + 0x80u + 1u);
    EXPECT_EQ(computeSignedChecksum(high, 3), static_cast<std::uint32_t>(-1 - 128 + 1));

    // The count is clamped to the bytes held; the sum wraps modulo 2^32.
    EXPECT_EQ(computeChecksum(low, 1000), 133u);
    Bytes many(20'000'000, 0xFF);
    EXPECT_EQ(computeChecksum(many, many.size()), static_cast<std::uint32_t>(20'000'000ull * 255));
}

// The wide sum agrees with a byte-by-byte sum at every start alignment and
// length around its block sizes, including counts past the bytes held.
TEST(Checksum, WideSumMatchesBytewiseAtEveryAlignmentAndLength) {
    Bytes data(600);
    std::uint32_t x = 99;
    for (auto& b : data) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    for (std::size_t start = 0; start < 17; ++start)
        for (std::size_t length = 0; length < 200; length += length < 70 || length > 120 ? 1 : 13) {
            const ByteSpan span(data.data() + start, length);
            std::uint32_t expected = 0;
            for (std::uint8_t b : span) expected += b;
            ASSERT_EQ(computeChecksum(span, length), expected) << start << ' ' << length;
            ASSERT_EQ(computeChecksum(span, length + 5), expected) << start << ' ' << length;
            if (length) {
                ASSERT_EQ(computeChecksum(span, length - 1), expected - span[length - 1]);
            }
        }
    std::uint32_t all = 0;
    for (std::size_t i = 3; i < data.size(); ++i) all += data[i];
    EXPECT_EQ(computeChecksum(ByteSpan(data).subspan(3), data.size() - 3), all);
}

TEST(Frame, BuiltFrameWith316ByteDataSectionHasSize384AndItsSum) {
    FrameBuilder b(7200);
    b.data().fill(316, 0xAB);
    Bytes frame = b.build();
    FrameView v(frame);
    ASSERT_EQ(frame.size(), 384u);
    EXPECT_EQ(v.size(), 384u);
    EXPECT_EQ(v.flags(), 1u);
    EXPECT_TRUE(v.hasChecksum());
    EXPECT_EQ(v.checksumField(), computeChecksum(frame, 380));
    EXPECT_EQ(v.protocolVersion(), 5u);
    EXPECT_EQ(v.offset(), 60u);
    EXPECT_EQ(v.dataStart(), 64u);
    EXPECT_EQ(v.syncPattern(), kSyncPattern);
    EXPECT_TRUE(v.isFrame());
}

TEST(Frame, HeaderFieldsRoundTripThroughTheBuilder) {
    FrameBuilder b(7027);
    FrameHeader& h = b.header();
    h.deviceId = 7125;
    h.systemEnumerator = 3;
    h.recordCounter = 0xDEADBEEF;
    h.recordVersion = 2;
    h.reserved1 = 0x1111;
    h.reserved2 = 0x2222;
    h.reserved3 = 0x33333333;
    h.totalFragments = 4;
    h.fragmentNumber = 2;
    h.flags = 0x8000;  // other bits are carried through
    h.time = VxTIME{2024, 65, 9.125f, 7, 4};
    b.data().u32(42);
    b.optionalData(7027).u32(1).u32(2);
    Bytes frame = b.build();
    FrameView v(frame);
    EXPECT_EQ(v.recordType(), 7027u);
    EXPECT_EQ(v.deviceId(), 7125u);
    EXPECT_EQ(v.systemEnumerator(), 3u);
    EXPECT_EQ(v.recordCounter(), 0xDEADBEEFu);
    EXPECT_EQ(v.recordVersion(), 2u);
    EXPECT_EQ(v.reserved1(), 0x1111u);
    EXPECT_EQ(v.reserved2(), 0x2222u);
    EXPECT_EQ(v.reserved3(), 0x33333333u);
    EXPECT_EQ(v.totalFragments(), 4u);
    EXPECT_EQ(v.fragmentNumber(), 2u);
    EXPECT_EQ(v.flags(), 0x8001u);
    EXPECT_EQ(v.optionalDataId(), 7027u);
    EXPECT_EQ(v.optionalDataOffset(), 68u);
    EXPECT_EQ(v.size(), 64u + 4 + 8 + 4);
    EXPECT_EQ(v.time().day, 65u);
    EXPECT_FLOAT_EQ(v.time().seconds, 9.125f);
    EXPECT_EQ(v.checksumField(), computeChecksum(frame, frame.size() - 4));

    // Copying a header keeps every field.
    Bytes copy;
    ByteWriter w;
    FrameHeader::from(v).write(w);
    ASSERT_EQ(w.size(), 64u);
    EXPECT_TRUE(std::equal(w.data().begin(), w.data().end(), frame.begin()));
}

TEST(Frame, ShortBytesNeverReadPastTheEnd) {
    Bytes tiny = {0xFF, 0xFF};
    FrameView v(tiny);
    EXPECT_FALSE(v.hasHeader());
    EXPECT_FALSE(v.isFrame());
    EXPECT_EQ(v.size(), 0u);
    EXPECT_EQ(v.recordType(), 0u);
    EXPECT_FALSE(v.checksumField().has_value());

    // A Size beyond the bytes held: no checksum field to read.
    FrameBuilder b(7000);
    Bytes frame = b.build();
    ByteWriter w(frame);
    w.patch<std::uint32_t>(8, 100000);
    frame = w.take();
    EXPECT_FALSE(FrameView(frame).checksumField().has_value());
    EXPECT_FALSE(finishFrame(tiny));
}

// The ping number follows the 8-byte serial number wherever Offset puts the
// data section, and is never read from beyond the bytes held.
TEST(Frame, PingNumberBehindTheSerialNumber) {
    FrameBuilder b(7006);
    b.data().u32(0xCCCC'DDDD).u32(0xAAAA'BBBB).u32(4711).u32(9);  // serial number, ping number, more
    Bytes frame = b.build();
    EXPECT_EQ(pingNumberOf(frame), 4711u);
    EXPECT_EQ(pingNumberOf(ByteSpan(frame).first(kFrameHeaderSize + 11)), std::nullopt);
    EXPECT_EQ(pingNumberOf(ByteSpan(frame).first(kFrameHeaderSize + 12)), 4711u);
    EXPECT_EQ(pingNumberOf(ByteSpan(frame).first(3)), std::nullopt);

    frame[frame_offsets::offset] = 64;  // data section from byte 68: the number is the u32 after it
    EXPECT_EQ(pingNumberOf(frame), 9u);
    frame[frame_offsets::offset + 1] = 0xFF;  // far beyond the frame
    EXPECT_EQ(pingNumberOf(frame), std::nullopt);
}

TEST(Frame, BuilderWithoutChecksumLeavesFlagsClear) {
    FrameBuilder b(7001);
    b.checksum(false).data().u32(7);
    Bytes frame = b.build();
    FrameView v(frame);
    EXPECT_EQ(v.size(), 68u);
    EXPECT_FALSE(v.hasChecksum());
}

TEST(VxTime, LeapYearRule) {
    EXPECT_TRUE(isLeapYear(2024));
    EXPECT_TRUE(isLeapYear(2000));
    EXPECT_FALSE(isLeapYear(1900));
    EXPECT_FALSE(isLeapYear(2023));
}

TEST(VxTime, DayOfYearToDate) {
    int m = 0, d = 0;
    ASSERT_TRUE(dayOfYearToDate(2024, 60, m, d));
    EXPECT_EQ(m, 2);
    EXPECT_EQ(d, 29);
    ASSERT_TRUE(dayOfYearToDate(2023, 60, m, d));
    EXPECT_EQ(m, 3);
    EXPECT_EQ(d, 1);
    ASSERT_TRUE(dayOfYearToDate(2024, 366, m, d));
    EXPECT_EQ(m, 12);
    EXPECT_EQ(d, 31);
    ASSERT_TRUE(dayOfYearToDate(2023, 1, m, d));
    EXPECT_EQ(m, 1);
    EXPECT_EQ(d, 1);
    EXPECT_FALSE(dayOfYearToDate(2024, 0, m, d));
    EXPECT_FALSE(dayOfYearToDate(2024, 367, m, d));
    EXPECT_FALSE(dayOfYearToDate(2023, 366, m, d));  // day 366 of a common year has no date
}

TEST(VxTime, DateTextAndMarkers) {
    EXPECT_EQ(formatDateTime(VxTIME{2024, 65, 9.125f, 7, 4}), "03/05/2024 07:04:09.125");
    EXPECT_EQ(formatDateTime(VxTIME{2024, 1, 0.0f, 0, 0}), "01/01/2024 00:00:00.000");
    EXPECT_FALSE(formatDateTime(VxTIME{2023, 366, 0.0f, 0, 0}).has_value());

    const Bytes cd = {0xCD, 0xCD, 0xCD, 0xCD, 0, 0, 0, 0, 0, 0};
    const Bytes fb = {0xFB, 0xFB, 0xFB, 0xFB, 0, 0, 0, 0, 0, 0};
    const Bytes mixed = {0xCD, 0xCD, 0xFB, 0xCD, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(uninitialisedMarker(cd), 0xCD);
    EXPECT_EQ(uninitialisedMarker(fb), 0xFB);
    EXPECT_FALSE(uninitialisedMarker(mixed).has_value());
    EXPECT_FALSE(VxTIME::read(cd, 1).has_value());
}

TEST(Bytes, ReaderStopsAtTheEnd) {
    const Bytes b = {1, 0, 0, 0, 2};
    ByteReader r(b);
    EXPECT_EQ(r.read<std::uint32_t>(), 1u);
    EXPECT_FALSE(r.read<std::uint32_t>().has_value());
    EXPECT_EQ(r.position(), 4u);
    EXPECT_EQ(r.read<std::uint8_t>(), 2u);
    EXPECT_FALSE(r.take(1).has_value());
    EXPECT_FALSE(readLE<std::uint64_t>(b, ~std::uint64_t{0} - 2).has_value());
    EXPECT_TRUE(fits(10, 10, 0));
    EXPECT_FALSE(fits(10, 11, 0));
    EXPECT_FALSE(fits(10, 2, ~std::uint64_t{0}));
}

TEST(Bytes, AllZeroSeesEveryByteAtEveryAlignmentAndLength) {
    // One set byte anywhere, including the tail behind the last whole word
    // and a start between word boundaries, makes the span not all zero.
    Bytes buffer(3 * 32 + 16, 0);
    for (std::size_t start = 0; start < 9; ++start) {
        for (std::size_t length = 0; start + length <= buffer.size() && length <= 3 * 32 + 7; ++length) {
            const ByteSpan span = ByteSpan(buffer).subspan(start, length);
            ASSERT_TRUE(allZero(span)) << start << " " << length;
            for (std::size_t at = 0; at < length; ++at) {
                buffer[start + at] = 0x80;
                ASSERT_FALSE(allZero(span)) << start << " " << length << " " << at;
                buffer[start + at] = 0;
            }
            // Bytes just outside the span are not looked at.
            if (start > 0) buffer[start - 1] = 1;
            if (start + length < buffer.size()) buffer[start + length] = 1;
            EXPECT_TRUE(allZero(span)) << start << " " << length;
            if (start > 0) buffer[start - 1] = 0;
            if (start + length < buffer.size()) buffer[start + length] = 0;
        }
    }
}

TEST(Frame, ATimeStampCutShortReadsAsZero) {
    FrameBuilder b(7000);
    b.time({2024, 65, 9.125f, 7, 4});
    const Bytes frame = b.build();
    EXPECT_EQ(FrameView(ByteSpan(frame).first(30)).time().year, 2024u);
    EXPECT_EQ(FrameView(ByteSpan(frame).first(30)).time().minutes, 4u);
    for (std::size_t held : {0u, 20u, 22u, 29u}) {
        const VxTIME t = FrameView(ByteSpan(frame).first(held)).time();
        EXPECT_EQ(t.year, 0u) << held;
        EXPECT_EQ(t.day, 0u) << held;
        EXPECT_EQ(t.seconds, 0.0f) << held;
        EXPECT_EQ(t.hours, 0u) << held;
    }
}

TEST(ShownName, ControlCharactersAreEscapedAndOtherBytesKept) {
    EXPECT_EQ(tarvik::shownName("plain/Ünïcode name.vxr"), "plain/Ünïcode name.vxr");
    EXPECT_EQ(tarvik::shownName(std::string_view("a\nb\tc\rd\x1b[2J\x7f\0e", 14)), "a\\nb\\tc\\rd\\x1b[2J\\x7f\\x00e");
}
