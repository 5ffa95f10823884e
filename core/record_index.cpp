#include "core/record_index.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

namespace tarvik {

RecordIndexEntry RecordIndexEntry::fromHeader(const FrameView& h, std::uint64_t offset) {
    // Stored little-endian field by field (this runs once per frame of a file).
    RecordIndexEntry e;
    auto put = [&e](std::size_t at, auto value) {
        for (std::size_t i = 0; i < sizeof value; ++i)
            e.raw[at + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i));
    };
    put(0, std::uint32_t{h.size()});
    put(4, std::uint64_t{offset});
    put(12, static_cast<std::uint16_t>(h.recordType()));
    put(14, static_cast<std::uint16_t>(h.deviceId()));
    put(16, std::uint16_t{h.systemEnumerator()});
    const ByteSpan t = h.timeBytes();
    if (t.size() == VxTIME::kSize) std::memcpy(e.raw.data() + 18, t.data(), VxTIME::kSize);
    put(28, std::uint32_t{h.recordCounter()});
    return e;
}

RecordIndexEntry RecordIndexEntry::keepingHeader(const FrameView& h, std::uint64_t offset) {
    RecordIndexEntry e = fromHeader(h, offset);
    auto put = [&e](std::size_t at, std::uint16_t value) {
        e.raw[at] = static_cast<std::uint8_t>(value);
        e.raw[at + 1] = static_cast<std::uint8_t>(value >> 8);
    };
    put(32, static_cast<std::uint16_t>(h.recordType() >> 16));
    put(34, static_cast<std::uint16_t>(h.deviceId() >> 16));
    put(36, h.protocolVersion());
    put(38, h.offset());
    put(40, h.recordVersion());
    put(42, h.flags());
    // A Size shorter than a header leaves the frame read back without one: a
    // filter must then judge those bytes, not a header rebuilt from the entry.
    e.raw[kKeptAt] = h.size() >= kFrameHeaderSize ? 1 : 0;
    return e;
}

void RecordIndexEntry::keepHeader(const FrameView& h) {
    const RecordIndexEntry kept = keepingHeader(h, offset());
    // A catalog entry that says other than its frame would make a filter
    // decided from it answer otherwise than one that reads the frame.
    if (std::equal(raw.begin(), raw.begin() + 32, kept.raw.begin())) raw = kept.raw;
    else std::fill(raw.begin() + 32, raw.end(), std::uint8_t{0});
}

std::array<std::uint8_t, kFrameHeaderSize> RecordIndexEntry::header(bool kept) const {
    std::array<std::uint8_t, kFrameHeaderSize> h{};
    auto copy = [&](std::size_t to, std::size_t from, std::size_t width) {
        std::memcpy(h.data() + to, raw.data() + from, width);
    };
    namespace at = frame_offsets;
    h[at::syncPattern] = 0xFF;
    h[at::syncPattern + 1] = 0xFF;
    copy(at::size, 0, 4);
    copy(at::time, 18, VxTIME::kSize);
    copy(at::recordType, 12, 2);
    copy(at::deviceId, 14, 2);
    copy(at::systemEnumerator, 16, 2);
    copy(at::recordCounter, 28, 4);
    if (kept) {
        copy(at::recordType + 2, 32, 2);
        copy(at::deviceId + 2, 34, 2);
        copy(at::protocolVersion, 36, 2);
        copy(at::offset, 38, 2);
        copy(at::recordVersion, 40, 2);
        copy(at::flags, 42, 2);
    }
    return h;
}

RecordIndexEntry RecordIndexEntry::fromBytes(ByteSpan bytes) {
    RecordIndexEntry e;
    std::memcpy(e.raw.data(), bytes.data(), std::min(bytes.size(), kSize));
    return e;
}

std::size_t RecordIndex::grow(std::size_t count) {
    std::size_t first = size_;
    std::size_t newSize = size_ + count;
    while (chunks_.size() * kChunkEntries < newSize) addChunk();
    size_ = newSize;
    for (std::size_t at = first; at < newSize;) {
        const std::span<RecordIndexEntry> run = chunkRun(at, newSize - at);
        std::fill(run.begin(), run.end(), RecordIndexEntry{});
        at += run.size();
    }
    return first;
}

std::span<RecordIndexEntry> RecordIndex::chunkRun(std::size_t first, std::size_t count) {
    std::size_t inChunk = first & (kChunkEntries - 1);
    std::size_t n = std::min(count, kChunkEntries - inChunk);
    return {chunks_[first >> kChunkBits] + inChunk, n};
}

void RecordIndex::FreeBlock::operator()(void* block) const { std::free(block); }

void RecordIndex::addChunk() {
    constexpr std::size_t kChunkBytes = kChunkEntries * sizeof(RecordIndexEntry);
    constexpr std::size_t kBlockBytes = std::size_t{2} << 20;
    constexpr std::size_t kChunksPerBlock = kBlockBytes / kChunkBytes;
    constexpr std::size_t kSingleChunks = 8;
    static_assert(kChunksPerBlock > 1);
    // The entries are an aggregate of bytes: raw storage holds them.
    if (chunks_.size() < kSingleChunks) {
        void* chunk = std::malloc(kChunkBytes);
        if (!chunk) throw std::bad_alloc();
        blocks_.emplace_back(chunk);
        chunks_.push_back(static_cast<RecordIndexEntry*>(chunk));
        return;
    }
    if (blockRoom_ == 0) {
        void* block = std::aligned_alloc(kBlockBytes, kBlockBytes);
        if (!block) throw std::bad_alloc();
        blocks_.emplace_back(block);
#ifdef MADV_HUGEPAGE
        ::madvise(block, kBlockBytes, MADV_HUGEPAGE);  // a hint: without it the block is ordinary pages
#endif
        blockRoom_ = kChunksPerBlock;
    }
    auto* at = static_cast<std::uint8_t*>(blocks_.back().get()) + (kChunksPerBlock - blockRoom_) * kChunkBytes;
    --blockRoom_;
    chunks_.push_back(reinterpret_cast<RecordIndexEntry*>(at));
}

} // namespace tarvik
