#include "core/file_window.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>

namespace tarvik {

namespace {
#ifdef MAP_POPULATE
constexpr int kPopulate = MAP_POPULATE;
#else
constexpr int kPopulate = 0;
#endif
} // namespace

ByteSpan FileWindow::view(std::uint64_t offset, std::size_t count, std::size_t reach) {
    if (offset < start_ || offset + count > start_ + filled_) {
        if (count <= readWindow_ || !map(offset, count)) read(offset, count, reach);
    }
    const std::uint64_t rel = offset - start_;
    if (offset < start_ || rel >= filled_) return {};
    return ByteSpan(data_ + rel, std::min<std::uint64_t>(count, filled_ - rel));
}

FileWindow::FileWindow(const RecordFile& file, std::uint64_t fileSize, bool readAhead)
    : file_(file), fileSize_(fileSize), readWindow_(fileSize <= kSmallFile ? kSmallWindow : kWindow),
      readAhead_(readAhead) {
    buffer_.swap(spareBuffer());
}

FileWindow::~FileWindow() {
    unmap();
    if (buffer_.capacity() <= kWindow) buffer_.swap(spareBuffer());  // a large frame's memory goes back
}

Bytes& FileWindow::spareBuffer() {
    thread_local Bytes spare;
    return spare;
}

void FileWindow::shrink() {
    if (buffer_.size() > kWindow) {
        if (data_ == buffer_.data()) filled_ = 0;
        Bytes().swap(buffer_);
    }
    if (mapped_ && mappedLength_ > kMapWindow) {
        unmap();
        filled_ = 0;
    }
}

// Maps a window from the page boundary at or before `offset`, over no more
// than the file holds now (a file cut short meanwhile must not be mapped
// past its end).
bool FileWindow::map(std::uint64_t offset, std::size_t count) {
    if (mapFailed_ || file_.descriptor() < 0) return false;
    unmap();
    const std::uint64_t size = std::min(fileSize_, file_.size());
    if (offset >= size) {
        start_ = offset;
        filled_ = 0;
        return true;
    }
    const std::uint64_t begin = offset - offset % kPage;
    const std::uint64_t want = std::max<std::uint64_t>(kMapWindow, offset - begin + count);
    const std::uint64_t length = std::min<std::uint64_t>(want, size - begin);
    // Populated at once: one call maps the window's pages instead of a
    // page fault for every few of them as the walk reaches them.
    void* p = ::mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_PRIVATE | kPopulate, file_.descriptor(),
                     static_cast<off_t>(begin));
    if (p == MAP_FAILED) {
        mapFailed_ = true;
        return false;
    }
    if (!guard_.guard(p, static_cast<std::size_t>(length))) {
        ::munmap(p, static_cast<std::size_t>(length));
        return false;
    }
    ::madvise(p, static_cast<std::size_t>(length), MADV_SEQUENTIAL);
    mapped_ = p;
    mappedLength_ = static_cast<std::size_t>(length);
    data_ = static_cast<const std::uint8_t*>(p);
    start_ = begin;
    filled_ = mappedLength_;
    return true;
}

void FileWindow::unmap() {
    cutShort_ = cutShort();
    guard_.release();
    if (mapped_) ::munmap(mapped_, mappedLength_);
    mapped_ = nullptr;
    mappedLength_ = 0;
}

void FileWindow::read(std::uint64_t offset, std::size_t count, std::size_t reach) {
    if (ahead_ && ahead_->pending() && !mapped_ && takeReadAhead(offset, count)) {
        startReadAhead();
        return;
    }
    if (mapped_) unmap();
    if (ahead_) ahead_->current = -1;
    // No more than the file holds from here: small files take small buffers.
    const std::uint64_t rest = offset < fileSize_ ? fileSize_ - offset : 0;
    const std::size_t want =
        std::max<std::size_t>(static_cast<std::size_t>(std::min<std::uint64_t>(std::min(reach, readWindow_), rest)), count);
    if (buffer_.size() < want)
        buffer_.resize(std::max(want, static_cast<std::size_t>(std::min<std::uint64_t>(readWindow_, rest))));
    start_ = offset;
    filled_ = file_.readAt(offset, std::span(buffer_.data(), want));
    data_ = buffer_.data();
    // Bytes the file held when reading began and no longer holds read as
    // zeros, as they do through a mapping.
    const auto held = static_cast<std::size_t>(std::min<std::uint64_t>(want, rest));
    if (filled_ < held) {
        cutShort_ = true;
        std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(filled_), buffer_.begin() + static_cast<std::ptrdiff_t>(held), 0);
        filled_ = held;
    }
    startReadAhead();
}

bool FileWindow::takeReadAhead(std::uint64_t offset, std::size_t count) {
    ReadAhead& a = *ahead_;
    const std::uint64_t at = a.offset();
    // The request starts in the stretch, or before it in the window, which
    // then carries its bytes up to the stretch over.
    if (offset >= at ? offset - at >= a.length()
                     : at - offset > a.carry() || !holds(offset, static_cast<std::size_t>(at - offset)))
        return false;
    std::size_t filled = a.wait();
    std::uint8_t* stretch = a.stretch(a.target());
    // Bytes the file held when reading began and no longer holds read as
    // zeros, as in a read in place.
    if (filled < a.length()) {
        cutShort_ = true;
        std::fill(stretch + filled, stretch + a.length(), 0);
        filled = a.length();
    }
    if (offset + count > at + filled) return false;
    const auto tail = static_cast<std::size_t>(offset < at ? at - offset : 0);
    if (tail > 0) std::memcpy(stretch - tail, data_ + (offset - start_), tail);
    data_ = stretch - tail;
    start_ = at - tail;
    filled_ = tail + filled;
    a.current = a.target();
    return true;
}

void FileWindow::startReadAhead() {
    if (!readAhead_ || mapped_ || cutShort_) return;
    const std::uint64_t end = start_ + filled_;
    if (end >= fileSize_) return;
    if (!ahead_) {
        if (fileSize_ <= 2 * kWindow) return;  // a second thread costs more than a small file's read
        // Each stretch has room in front for a window's bytes carried over.
        ahead_ = std::make_unique<ReadAhead>(
            [&file = file_](std::uint64_t at, std::span<std::uint8_t> into, int&) { return file.readAt(at, into); },
            kWindow, 4 * kWindow);
    }
    ReadAhead& a = *ahead_;
    if (a.pending()) a.wait();  // a read nobody took ends before its buffer is read into again
    a.request(end, static_cast<std::size_t>(std::min<std::uint64_t>(a.stretchSize(), fileSize_ - end)), a.current == 0 ? 1 : 0);
}

} // namespace tarvik
