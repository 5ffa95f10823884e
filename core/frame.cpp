#include "core/frame.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TARVIK_WIDE_SUM 1
#endif

namespace tarvik {

namespace {

#if defined(TARVIK_WIDE_SUM)
// Sixty-four bytes a round in two sums of absolute differences, on processors
// that have the 32-byte instructions (asked once): the file check sums every
// byte of every frame. Adds the bytes up to the last whole round to `sum`.
__attribute__((target("avx2"))) std::size_t wideSum(const std::uint8_t* p, std::size_t count, std::uint32_t& sum) {
    __m256i a = _mm256_setzero_si256(), b = _mm256_setzero_si256();
    const __m256i zero = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; count - i >= 64; i += 64) {
        a = _mm256_add_epi64(a, _mm256_sad_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)), zero));
        b = _mm256_add_epi64(b, _mm256_sad_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 32)), zero));
    }
    alignas(32) std::uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), _mm256_add_epi64(a, b));
    sum += static_cast<std::uint32_t>(lanes[0] + lanes[1] + lanes[2] + lanes[3]);
    return i;
}

bool haveWideSum() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}
#endif

} // namespace

std::optional<std::uint32_t> pingNumberOf(ByteSpan frame) {
    if (frame.size() < frame_offsets::offset + 2) return std::nullopt;
    return readLE<std::uint32_t>(frame, FrameView(frame).dataStart() + kPingNumberInData);
}

bool isPingRecordType(std::uint32_t recordType) {
    switch (recordType) {
    case 7006: case 7007: case 7008: case 7009: case 7011: case 7012: return true;
    default: return false;
    }
}

std::optional<std::string> cutFrameText(ByteSpan frame) {
    const FrameView f(frame);
    if (!f.hasHeader() || f.size() <= frame.size()) return std::nullopt;
    return "cut off: " + std::to_string(frame.size()) + " of its " + std::to_string(f.size()) + " bytes are held";
}

std::uint32_t computeChecksum(ByteSpan bytes, std::size_t count) {
    count = std::min(count, bytes.size());
    const std::uint8_t* p = bytes.data();
    std::uint32_t sum = 0;
    std::size_t i = 0;
#if defined(TARVIK_WIDE_SUM)
    if (count >= 64 && haveWideSum()) i = wideSum(p, count, sum);
#endif
#if defined(__SSE2__)
    // Sixteen bytes at a time: the sum of absolute differences against zero
    // adds eight bytes into each 64-bit half, which cannot overflow here.
    __m128i total = _mm_setzero_si128();
    const __m128i zero = _mm_setzero_si128();
    for (; count - i >= 16; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        total = _mm_add_epi64(total, _mm_sad_epu8(v, zero));
    }
    const auto low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(total));
    const auto high = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(total, total)));
    sum += static_cast<std::uint32_t>(low + high);  // the sum is taken modulo 2^32 either way
#else
    // Eight bytes at a time: pairs of bytes are added into four 16-bit lanes,
    // folded into the sum before a lane can overflow (128 rounds of at most 510).
    constexpr std::uint64_t kLow = 0x00FF00FF00FF00FFull;
    while (count - i >= 8) {
        std::uint64_t lanes = 0;
        for (int round = 0; round < 128 && count - i >= 8; ++round, i += 8) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            lanes += (w & kLow) + ((w >> 8) & kLow);
        }
        for (int lane = 0; lane < 4; ++lane) sum += static_cast<std::uint32_t>((lanes >> (16 * lane)) & 0xFFFF);
    }
#endif
    for (; i < count; ++i) sum += p[i];
    return sum;
}

std::uint32_t computeSignedChecksum(ByteSpan bytes, std::size_t count) {
    count = std::min(count, bytes.size());
    std::uint32_t sum = 0;  // unsigned arithmetic gives the two's complement wrap
    for (std::size_t i = 0; i < count; ++i)
        sum += static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(bytes[i])));
    return sum;
}

bool finishFrame(Bytes& frame) {
    if (frame.size() < kFrameHeaderSize + 4 || frame.size() > 0xFFFFFFFFu) return false;
    ByteWriter w(std::move(frame));
    auto size = static_cast<std::uint32_t>(w.size());
    w.patch<std::uint32_t>(frame_offsets::size, size);
    std::uint16_t flags = readLEOr0<std::uint16_t>(w.data(), frame_offsets::flags);
    w.patch<std::uint16_t>(frame_offsets::flags, static_cast<std::uint16_t>(flags | 1u));
    w.patch<std::uint32_t>(size - 4u, computeChecksum(w.data(), size - 4u));
    frame = w.take();
    return true;
}

FrameHeader FrameHeader::from(const FrameView& f) {
    FrameHeader h;
    h.protocolVersion = f.protocolVersion();
    h.offset = f.offset();
    h.syncPattern = f.syncPattern();
    h.size = f.size();
    h.optionalDataOffset = f.optionalDataOffset();
    h.optionalDataId = f.optionalDataId();
    h.time = f.time();
    h.recordVersion = f.recordVersion();
    h.recordType = f.recordType();
    h.deviceId = f.deviceId();
    h.reserved1 = f.reserved1();
    h.systemEnumerator = f.systemEnumerator();
    h.recordCounter = f.recordCounter();
    h.flags = f.flags();
    h.reserved2 = f.reserved2();
    h.reserved3 = f.reserved3();
    h.totalFragments = f.totalFragments();
    h.fragmentNumber = f.fragmentNumber();
    return h;
}

void FrameHeader::write(ByteWriter& out) const {
    out.u16(protocolVersion).u16(offset).u32(syncPattern).u32(size).u32(optionalDataOffset).u32(optionalDataId);
    time.write(out);
    out.u16(recordVersion).u32(recordType).u32(deviceId).u16(reserved1).u16(systemEnumerator).u32(recordCounter);
    out.u16(flags).u16(reserved2).u32(reserved3).u32(totalFragments).u32(fragmentNumber);
}

Bytes FrameBuilder::build() const {
    FrameHeader h = header_;
    ByteWriter w;
    h.write(w);
    // The data section begins at 4 + Offset; an Offset below 60 (a defect the
    // decoder tolerates) still keeps the data after the whole header.
    Bytes out = w.take();
    out.resize(std::max<std::size_t>(4u + h.offset, kFrameHeaderSize), 0);
    ByteWriter body(std::move(out));
    body.bytes(data_.data());
    if (hasOptional_) {
        h.optionalDataOffset = static_cast<std::uint32_t>(body.size());
        body.patch<std::uint32_t>(frame_offsets::optionalDataOffset, h.optionalDataOffset);
        body.bytes(optional_.data());
    }
    if (checksum_) body.fill(4);
    Bytes frame = body.take();
    if (checksum_) {
        finishFrame(frame);
    } else {
        ByteWriter p(std::move(frame));
        p.patch<std::uint32_t>(frame_offsets::size, static_cast<std::uint32_t>(p.size()));
        frame = p.take();
    }
    return frame;
}

} // namespace tarvik
