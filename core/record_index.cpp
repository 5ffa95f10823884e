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
