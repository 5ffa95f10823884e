#pragma once
// Bounds-checked little-endian access to wire and file bytes.
//
// Every read of frame, packet or file data goes through these helpers: a read
// that would pass the end of the bytes actually held fails instead of reading
// past them, whatever a header or count field claims.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tarvik {

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

inline ByteSpan asBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// True when [offset, offset + count) lies inside a buffer of `size` bytes,
// written so that huge offsets or counts cannot overflow.
constexpr bool fits(std::size_t size, std::uint64_t offset, std::uint64_t count) {
    return offset <= size && count <= size - offset;
}

// Reads a little-endian value of type T at `offset`; nullopt when it would not fit.
template <typename T>
std::optional<T> readLE(ByteSpan bytes, std::uint64_t offset) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (!fits(bytes.size(), offset, sizeof(T))) return std::nullopt;
    using Raw = std::conditional_t<sizeof(T) == 1, std::uint8_t,
                std::conditional_t<sizeof(T) == 2, std::uint16_t,
                std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>>;
    static_assert(sizeof(Raw) == sizeof(T));
    Raw raw = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // One load instead of a byte at a time: header fields are read per frame.
        std::memcpy(&raw, bytes.data() + offset, sizeof(T));
    } else {
        for (std::size_t i = 0; i < sizeof(T); ++i)
            raw = static_cast<Raw>(raw | (static_cast<Raw>(bytes[offset + i]) << (8 * i)));
    }
    return std::bit_cast<T>(raw);
}

// Same as readLE but yields 0 for a value that does not fit; for header
// accessors whose callers have already checked the header length.
template <typename T>
T readLEOr0(ByteSpan bytes, std::uint64_t offset) {
    return readLE<T>(bytes, offset).value_or(T{});
}

// Whether every byte is zero (true for none). Eight bytes at a time: padding
// is tested on every frame a file check walks.
inline bool allZero(ByteSpan bytes) {
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    std::uint64_t any = 0;
    for (; n >= 32; p += 32, n -= 32) {
        std::uint64_t w[4];
        std::memcpy(w, p, sizeof w);
        if ((w[0] | w[1] | w[2] | w[3]) != 0) return false;
    }
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, sizeof w);
        any |= w;
    }
    for (; n > 0; ++p, --n) any |= *p;
    return any == 0;
}

// A cursor over a byte span that remembers the first failed read.
class ByteReader {
public:
    explicit ByteReader(ByteSpan bytes, std::size_t position = 0) : bytes_(bytes), pos_(position) {}

    template <typename T>
    std::optional<T> read() {
        auto v = readLE<T>(bytes_, pos_);
        if (v) pos_ += sizeof(T);
        return v;
    }
    // A sub-span of `count` bytes at the cursor; empty optional when short.
    std::optional<ByteSpan> take(std::uint64_t count) {
        if (!fits(bytes_.size(), pos_, count)) return std::nullopt;
        ByteSpan s = bytes_.subspan(pos_, static_cast<std::size_t>(count));
        pos_ += static_cast<std::size_t>(count);
        return s;
    }
    bool skip(std::uint64_t count) { return take(count).has_value(); }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return pos_ <= bytes_.size() ? bytes_.size() - pos_ : 0; }
    ByteSpan bytes() const { return bytes_; }

private:
    ByteSpan bytes_;
    std::size_t pos_;
};

// Appends little-endian values to a growing byte string; also patches in place.
class ByteWriter {
public:
    ByteWriter() = default;
    explicit ByteWriter(Bytes initial) : out_(std::move(initial)) {}

    template <typename T>
    ByteWriter& put(T value) {
        static_assert(std::is_trivially_copyable_v<T>);
        std::uint8_t raw[sizeof(T)];
        std::memcpy(raw, &value, sizeof(T));
        if constexpr (std::endian::native == std::endian::big) std::reverse(raw, raw + sizeof(T));
        out_.insert(out_.end(), raw, raw + sizeof(T));
        return *this;
    }
    ByteWriter& u8(std::uint8_t v) { return put(v); }
    ByteWriter& u16(std::uint16_t v) { return put(v); }
    ByteWriter& u32(std::uint32_t v) { return put(v); }
    ByteWriter& u64(std::uint64_t v) { return put(v); }
    ByteWriter& i8(std::int8_t v) { return put(v); }
    ByteWriter& i16(std::int16_t v) { return put(v); }
    ByteWriter& i32(std::int32_t v) { return put(v); }
    ByteWriter& i64(std::int64_t v) { return put(v); }
    ByteWriter& f32(float v) { return put(v); }
    ByteWriter& f64(double v) { return put(v); }
    ByteWriter& bytes(ByteSpan b) {
        out_.insert(out_.end(), b.begin(), b.end());
        return *this;
    }
    ByteWriter& fill(std::size_t count, std::uint8_t value = 0) {
        out_.insert(out_.end(), count, value);
        return *this;
    }
    // A text in a fixed-width field: the text, a terminating zero, then `pad` up to `width`.
    // A text too long for the field is cut so that the zero still fits.
    ByteWriter& fixedText(std::string_view text, std::size_t width, std::uint8_t pad = 0) {
        if (width == 0) return *this;
        std::size_t n = std::min(text.size(), width - 1);
        bytes(asBytes(text.substr(0, n)));
        u8(0);
        return fill(width - n - 1, pad);
    }

    template <typename T>
    void patch(std::size_t offset, T value) {
        std::uint8_t raw[sizeof(T)];
        std::memcpy(raw, &value, sizeof(T));
        if constexpr (std::endian::native == std::endian::big) std::reverse(raw, raw + sizeof(T));
        if (fits(out_.size(), offset, sizeof(T))) std::memcpy(out_.data() + offset, raw, sizeof(T));
    }

    std::size_t size() const { return out_.size(); }
    const Bytes& data() const { return out_; }
    Bytes take() { return std::move(out_); }

private:
    Bytes out_;
};

} // namespace tarvik
