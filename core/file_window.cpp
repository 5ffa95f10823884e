#include "core/file_window.h"

#include <algorithm>
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
        if (count <= kWindow || !map(offset, count)) read(offset, count, reach);
    }
    const std::uint64_t rel = offset - start_;
    if (offset < start_ || rel >= filled_) return {};
    return ByteSpan(data_ + rel, std::min<std::uint64_t>(count, filled_ - rel));
}

FileWindow::FileWindow(const RecordFile& file, std::uint64_t fileSize) : file_(file), fileSize_(fileSize) {
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
    if (mapped_) unmap();
    // No more than the file holds from here: small files take small buffers.
    const std::uint64_t rest = offset < fileSize_ ? fileSize_ - offset : 0;
    const std::size_t want =
        std::max<std::size_t>(static_cast<std::size_t>(std::min<std::uint64_t>(std::min(reach, kWindow), rest)), count);
    if (buffer_.size() < want) buffer_.resize(std::max(want, std::min<std::size_t>(kWindow, static_cast<std::size_t>(rest))));
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
}

} // namespace tarvik
