#include "core/record_index.h"

#include <algorithm>
#include <cstring>

namespace tarvik {

RecordIndexEntry RecordIndexEntry::fromHeader(const FrameView& h, std::uint64_t offset) {
    ByteWriter w;
    w.u32(h.size()).u64(offset).u16(static_cast<std::uint16_t>(h.recordType()))
        .u16(static_cast<std::uint16_t>(h.deviceId())).u16(h.systemEnumerator());
    ByteSpan t = h.timeBytes();
    if (t.size() == VxTIME::kSize) w.bytes(t); else w.fill(VxTIME::kSize);
    w.u32(h.recordCounter()).fill(16);
    RecordIndexEntry e;
    std::memcpy(e.raw.data(), w.data().data(), kSize);
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
    return first;
}

std::span<RecordIndexEntry> RecordIndex::chunkRun(std::size_t first, std::size_t count) {
    std::size_t inChunk = first & (kChunkEntries - 1);
    std::size_t n = std::min(count, kChunkEntries - inChunk);
    return {&chunks_[first >> kChunkBits][inChunk], n};
}

} // namespace tarvik
