#pragma once
// The Data Record Frame: 64-byte header, record data, optional data and an
// optional trailing checksum. FrameView reads a frame held as one byte string;
// FrameBuilder lays out frames the tool sends or writes.

#include "core/bytes.h"
#include "core/vxtime.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tarvik {

inline constexpr std::size_t kFrameHeaderSize = 64;
inline constexpr std::uint32_t kSyncPattern = 0x0000FFFF;
inline constexpr std::uint16_t kBuiltProtocolVersion = 5;
inline constexpr std::uint16_t kBuiltOffset = 60;

// Byte positions of the header fields.
namespace frame_offsets {
inline constexpr std::size_t protocolVersion = 0, offset = 2, syncPattern = 4, size = 8,
                             optionalDataOffset = 12, optionalDataId = 16, time = 20, recordVersion = 30,
                             recordType = 32, deviceId = 36, reserved1 = 40, systemEnumerator = 42,
                             recordCounter = 44, flags = 48, reserved2 = 50, reserved3 = 52,
                             totalFragments = 56, fragmentNumber = 60;
}

// Read-only view of a frame. Header accessors yield 0 for fields that lie
// beyond the bytes held; `hasHeader()` says whether all 64 are there.
class FrameView {
public:
    explicit FrameView(ByteSpan bytes) : b_(bytes) {}

    ByteSpan bytes() const { return b_; }
    bool hasHeader() const { return b_.size() >= kFrameHeaderSize; }
    // A whole header with the sync pattern: what the tool treats as a frame.
    bool isFrame() const { return hasHeader() && syncPattern() == kSyncPattern; }

    std::uint16_t protocolVersion() const { return u16(frame_offsets::protocolVersion); }
    std::uint16_t offset() const { return u16(frame_offsets::offset); }
    std::uint32_t syncPattern() const { return u32(frame_offsets::syncPattern); }
    std::uint32_t size() const { return u32(frame_offsets::size); }
    std::uint32_t optionalDataOffset() const { return u32(frame_offsets::optionalDataOffset); }
    std::uint32_t optionalDataId() const { return u32(frame_offsets::optionalDataId); }
    // All zero when the header is cut short before the time stamp ends.
    VxTIME time() const {
        if (!fits(b_.size(), frame_offsets::time, VxTIME::kSize)) return {};
        VxTIME t;
        t.year = u16(frame_offsets::time);
        t.day = u16(frame_offsets::time + 2);
        t.seconds = readLEOr0<float>(b_, frame_offsets::time + 4);
        t.hours = b_[frame_offsets::time + 8];
        t.minutes = b_[frame_offsets::time + 9];
        return t;
    }
    ByteSpan timeBytes() const {
        return fits(b_.size(), frame_offsets::time, VxTIME::kSize) ? b_.subspan(frame_offsets::time, VxTIME::kSize)
                                                                   : ByteSpan{};
    }
    std::uint16_t recordVersion() const { return u16(frame_offsets::recordVersion); }
    std::uint32_t recordType() const { return u32(frame_offsets::recordType); }
    std::uint32_t deviceId() const { return u32(frame_offsets::deviceId); }
    std::uint16_t reserved1() const { return u16(frame_offsets::reserved1); }
    std::uint16_t systemEnumerator() const { return u16(frame_offsets::systemEnumerator); }
    std::uint32_t recordCounter() const { return u32(frame_offsets::recordCounter); }
    std::uint16_t flags() const { return u16(frame_offsets::flags); }
    std::uint16_t reserved2() const { return u16(frame_offsets::reserved2); }
    std::uint32_t reserved3() const { return u32(frame_offsets::reserved3); }
    std::uint32_t totalFragments() const { return u32(frame_offsets::totalFragments); }
    std::uint32_t fragmentNumber() const { return u32(frame_offsets::fragmentNumber); }

    // 4 + Offset: where the record data section begins.
    std::uint64_t dataStart() const { return 4u + std::uint64_t{offset()}; }
    bool hasChecksum() const { return (flags() & 1u) != 0; }
    // The u32 at Size - 4, when those bytes are held.
    std::optional<std::uint32_t> checksumField() const {
        std::uint32_t s = size();
        if (s < 4) return std::nullopt;
        return readLE<std::uint32_t>(b_, s - 4u);
    }

private:
    std::uint16_t u16(std::size_t at) const { return readLEOr0<std::uint16_t>(b_, at); }
    std::uint32_t u32(std::size_t at) const { return readLEOr0<std::uint32_t>(b_, at); }
    ByteSpan b_;
};

// A ping record's ping number is the u32 behind the 8-byte sonar serial number
// that opens its data section.
inline constexpr std::uint64_t kPingNumberInData = 8;
// The ping number of a frame (from its Offset field), or nullopt when the bytes
// held do not reach it. The list, the condensed file and the file check all read
// it here.
std::optional<std::uint32_t> pingNumberOf(ByteSpan frame);
// The ping records whose numbers the list and the file check watch for gaps
// (7006, 7007, 7008, 7009, 7011, 7012).
bool isPingRecordType(std::uint32_t recordType);

// When a frame holds fewer bytes than its Size claims (the file or capture
// ends inside it): "cut off: 152 of its 400 bytes are held"; nullopt otherwise.
std::optional<std::string> cutFrameText(ByteSpan frame);

// Unsigned byte sum, wrapping modulo 2^32. `count` is clamped to the bytes held.
std::uint32_t computeChecksum(ByteSpan bytes, std::size_t count);
// The same sum over bytes taken as signed values -128..127.
std::uint32_t computeSignedChecksum(ByteSpan bytes, std::size_t count);
// For a frame laid out in full: sets Size to its length, sets Flags bit 0 and
// stores the unsigned sum of all bytes before the last four into them.
// Frames shorter than a header plus checksum are left alone (returns false).
bool finishFrame(Bytes& frame);

// The fields of a frame header, for building frames.
struct FrameHeader {
    std::uint16_t protocolVersion = kBuiltProtocolVersion;
    std::uint16_t offset = kBuiltOffset;
    std::uint32_t syncPattern = kSyncPattern;
    std::uint32_t size = 0;                // filled by the builder
    std::uint32_t optionalDataOffset = 0;  // filled by the builder when optional data is given
    std::uint32_t optionalDataId = 0;
    VxTIME time{};
    std::uint16_t recordVersion = 1;
    std::uint32_t recordType = 0;
    std::uint32_t deviceId = 0;
    std::uint16_t reserved1 = 0;
    std::uint16_t systemEnumerator = 0;
    std::uint32_t recordCounter = 0;
    std::uint16_t flags = 0;
    std::uint16_t reserved2 = 0;
    std::uint32_t reserved3 = 0;
    std::uint32_t totalFragments = 0;
    std::uint32_t fragmentNumber = 0;

    static FrameHeader from(const FrameView& frame);
    void write(ByteWriter& out) const;  // exactly 64 bytes
};

// Builds one frame: header, data section, optional data, checksum.
// The data section starts at 4 + Offset; with the default Offset 60 that is byte 64.
class FrameBuilder {
public:
    FrameBuilder() = default;
    explicit FrameBuilder(std::uint32_t recordType) { header_.recordType = recordType; }

    FrameHeader& header() { return header_; }
    FrameBuilder& recordType(std::uint32_t type) { header_.recordType = type; return *this; }
    FrameBuilder& device(std::uint32_t deviceId, std::uint16_t enumerator) {
        header_.deviceId = deviceId;
        header_.systemEnumerator = enumerator;
        return *this;
    }
    FrameBuilder& counter(std::uint32_t n) { header_.recordCounter = n; return *this; }
    FrameBuilder& time(const VxTIME& t) { header_.time = t; return *this; }
    FrameBuilder& recordVersion(std::uint16_t v) { header_.recordVersion = v; return *this; }

    ByteWriter& data() { return data_; }
    ByteWriter& optionalData(std::uint32_t identifier) {
        header_.optionalDataId = identifier;
        hasOptional_ = true;
        return optional_;
    }
    FrameBuilder& checksum(bool on) { checksum_ = on; return *this; }

    // Lays the frame out. With the checksum on (the default) Flags bit 0 is set
    // and the sum is stored; Size always counts every byte.
    Bytes build() const;

private:
    FrameHeader header_;
    ByteWriter data_;
    ByteWriter optional_;
    bool hasOptional_ = false;
    bool checksum_ = true;
};

} // namespace tarvik
