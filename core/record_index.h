#pragma once
// The 48-byte record index entry (also the entry format of the file catalog
// record) and the index of a record file, stored in fixed-size chunks so that
// a file of millions of frames costs about 48 bytes per frame and growing the
// index never copies it.

#include "core/bytes.h"
#include "core/frame.h"
#include "core/vxtime.h"

#include <array>
#include <cassert>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace tarvik {

class RecordIndexEntry {
public:
    static constexpr std::size_t kSize = 48;
    std::array<std::uint8_t, kSize> raw{};

    std::uint32_t size() const { return get<std::uint32_t>(0); }
    std::uint64_t offset() const { return get<std::uint64_t>(4); }
    std::uint16_t recordType() const { return get<std::uint16_t>(12); }
    std::uint16_t deviceId() const { return get<std::uint16_t>(14); }
    std::uint16_t systemEnumerator() const { return get<std::uint16_t>(16); }
    VxTIME time() const { return VxTIME::read(raw, 18).value_or(VxTIME{}); }
    std::uint32_t recordCounter() const { return get<std::uint32_t>(28); }

    // The entry the reader makes for a frame whose header starts at `offset` of
    // the file: the catalog's entry, its last 16 bytes zero.
    static RecordIndexEntry fromHeader(const FrameView& header, std::uint64_t offset);
    static RecordIndexEntry fromBytes(ByteSpan bytes48);

    // The record file reader keeps more of each frame's header in the last 16
    // bytes of the entries it holds in memory, so that a filter on header
    // fields is decided without reading the frames: the high halves of the
    // record type and the device id, the protocol version, the header's Offset,
    // the record version and the flags. Entries held in memory are never
    // written to a file, so a catalog still gets zeros there (a writer makes
    // its entries with fromHeader). A capture's entries use those bytes for
    // where it saw the record instead: a source says which (see
    // IndexedRecordSource::entriesKeepHeader).
    static RecordIndexEntry keepingHeader(const FrameView& header, std::uint64_t offset);
    // Keeps the header of the frame an entry read from a catalog points at,
    // when the entry agrees with it on every field both hold; else the entry
    // keeps nothing (a filter then reads the frame, as it would without).
    void keepHeader(const FrameView& header);
    // Whether the entry kept its frame's header (only of a source whose entries keep it).
    bool keptHeader() const { return raw[kKeptAt] == 1; }
    // The frame's 64-byte header as far as the entry holds it: the sync
    // pattern, Size, time stamp, record type, device id, enumerator and record
    // counter, and with `kept` (the entry kept its header) the fields kept
    // too; other fields 0.
    std::array<std::uint8_t, kFrameHeaderSize> header(bool kept) const;

private:
    static constexpr std::size_t kKeptAt = 44;
    template <typename T>
    T get(std::size_t at) const {
        return readLEOr0<T>(raw, at);
    }
};
static_assert(sizeof(RecordIndexEntry) == RecordIndexEntry::kSize);

class RecordIndex {
public:
    // 4,096 entries (192 KiB) a chunk: a small file costs no megabytes of zeroed index.
    static constexpr std::size_t kChunkBits = 12;
    static constexpr std::size_t kChunkEntries = std::size_t{1} << kChunkBits;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() {
        chunks_.clear();
        blocks_.clear();
        blockRoom_ = 0;
        size_ = 0;
    }
    const RecordIndexEntry& operator[](std::size_t i) const {
        assert(i < size_ && "index entry past the end");
        return chunks_[i >> kChunkBits][i & (kChunkEntries - 1)];
    }
    RecordIndexEntry& operator[](std::size_t i) {
        assert(i < size_ && "index entry past the end");
        return chunks_[i >> kChunkBits][i & (kChunkEntries - 1)];
    }
    void push_back(const RecordIndexEntry& e) {
        if ((size_ & (kChunkEntries - 1)) == 0 && (size_ >> kChunkBits) == chunks_.size()) addChunk();
        (*this)[size_++] = e;
    }
    // Grows the index by `count` zeroed entries; returns the first new position.
    std::size_t grow(std::size_t count);
    // The contiguous run of entries starting at `first` that lie in one chunk.
    std::span<RecordIndexEntry> chunkRun(std::size_t first, std::size_t count);

private:
    // Chunks are not zeroed when made: every entry is written before it is
    // read (push_back writes it, grow zeroes it), and zeroing 48 bytes per
    // frame first costs a large file's index a good part of its time. The
    // first chunks are allocated one by one; past them, chunks are cut from
    // 2 MiB blocks that the system may back with large pages, which saves a
    // large index most of its page faults.
    void addChunk();
    struct FreeBlock {
        void operator()(void* block) const;
    };
    std::vector<RecordIndexEntry*> chunks_;
    std::vector<std::unique_ptr<void, FreeBlock>> blocks_;  // the storage the chunks lie in
    std::size_t blockRoom_ = 0;                             // chunks still free in the last block
    std::size_t size_ = 0;
};

} // namespace tarvik
