#pragma once
// A sliding window over a record file: sequential frames are served from one
// stretch of the file read into a buffer small enough to stay in the cache,
// where the checksum and the walk find the bytes the read just brought in; a
// frame that does not fit moves the window to it. A read costs less than
// touching mapped pages of the page cache one by one. Frames larger than the
// buffer are mapped instead (no copy of megabytes), in a mapped stretch of
// bounded size, so a file larger than memory is still walked in bounded
// memory; where mapping fails they are read. A file that another program cuts
// short meanwhile reads as zeros past its new end, and the window says so.
//
// The read buffer outlives the window: a thread that reads file after file
// (check --jobs, a worker of the archive audit) takes it over from the file
// before instead of fresh pages for every file. Where the allocator gives
// every block of more than 64 kB straight back to the system, as Dask has its
// worker processes do, a fresh buffer costs a page fault per page and the
// check of a 10 MB file took a third more time.

#include "core/bytes.h"
#include "core/mapped_read_guard.h"
#include "core/read_ahead.h"
#include "core/record_file.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tarvik {

class FileWindow {
public:
    // Bytes read at once: read and summed while still in the cache.
    static constexpr std::size_t kWindow = std::size_t{256} << 10;
    // A file no larger than kSmallFile is read kSmallWindow bytes at a time:
    // the buffer's pages are fresh in a short run, each first touch is a page
    // fault, and for a file read once those faults cost more than the few
    // extra reads a smaller buffer makes.
    static constexpr std::size_t kSmallWindow = std::size_t{64} << 10;
    static constexpr std::uint64_t kSmallFile = std::uint64_t{2} << 20;

    // `fileSize` is the size the reader took the file to have; nothing past it is read.
    // With `readAhead`, a reader that goes through the file from start to end
    // has the next stretch read on a second thread while it works on this one,
    // so the copy from the page cache and the work on the bytes overlap.
    FileWindow(const RecordFile& file, std::uint64_t fileSize, bool readAhead = false);
    ~FileWindow();
    FileWindow(const FileWindow&) = delete;
    FileWindow& operator=(const FileWindow&) = delete;

    // The bytes [offset, offset + count), or fewer when the file ends first;
    // valid until the next call. When the window has to move, it reads from
    // `offset` as far as `reach` bytes (at least `count`, at most kWindow
    // unless `count` is more): a reader that knows it needs no bytes past
    // the frame says so, and the rest of the window is not read.
    ByteSpan view(std::uint64_t offset, std::size_t count, std::size_t reach = kWindow);
    // Whether view(offset, count) is served without a read.
    bool holds(std::uint64_t offset, std::size_t count) const {
        return offset >= start_ && offset + count <= start_ + filled_;
    }
    // Whether the file lost bytes while they were read.
    bool cutShort() const { return cutShort_ || guard_.cutShort(); }
    // Gives back memory a large frame took.
    void shrink();

private:
    bool map(std::uint64_t offset, std::size_t count);
    void unmap();
    void read(std::uint64_t offset, std::size_t count, std::size_t reach);
    static Bytes& spareBuffer();
    // Serves [offset, offset + count) from the stretch read ahead, with the
    // bytes of the window before it that the request still needs; false when
    // the request is not where the stretch continues the window.
    bool takeReadAhead(std::uint64_t offset, std::size_t count);
    void startReadAhead();

    static constexpr std::uint64_t kPage = 1u << 16;  // a multiple of any page size in use
    static constexpr std::size_t kMapWindow = std::size_t{16} << 20;
    const RecordFile& file_;
    std::uint64_t fileSize_;
    std::size_t readWindow_;  // kWindow, or kSmallWindow for a small file
    Bytes buffer_;
    void* mapped_ = nullptr;
    std::size_t mappedLength_ = 0;
    bool mapFailed_ = false;
    MappedReadGuard guard_;
    bool cutShort_ = false;
    const std::uint8_t* data_ = nullptr;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
    bool readAhead_ = false;
    std::unique_ptr<ReadAhead> ahead_;  // last: its thread ends before the rest goes
};

} // namespace tarvik
