#include "compare/frame_stream.h"

#include "core/frame.h"
#include "core/text.h"

namespace tarvik::compare {

namespace {
constexpr std::size_t kNotesKept = 20;
}

Result<std::unique_ptr<FrameStream>> FrameStream::open(const std::string& path) {
    std::unique_ptr<FrameStream> s(new FrameStream());
    if (!s->file_.open(path)) return failure(path + ": " + s->file_.lastError());
    s->fileSize_ = s->file_.size();
    s->window_ = std::make_unique<FileWindow>(s->file_, s->fileSize_);
    return s;
}

void FrameStream::note(std::string text) {
    ++skipped_;
    if (notes_.size() < kNotesKept) notes_.push_back(std::move(text));
}

std::optional<StreamedFrame> FrameStream::next() {
    while (offset_ < fileSize_ && !window_->cutShort()) {
        const std::uint64_t at = offset_;
        const std::uint64_t remaining = fileSize_ - at;
        if (remaining < kFrameHeaderSize) {
            note(strprintf("%llu bytes after the last frame, too few for a frame header", (unsigned long long)remaining));
            offset_ = fileSize_;
            break;
        }
        const FrameView h(window_->view(at, kFrameHeaderSize));
        const std::uint32_t size = h.size();
        if (h.syncPattern() != kSyncPattern || size < kFrameHeaderSize) {
            const std::optional<std::uint64_t> resume = FindNextFrame(file_, at + 1);
            note(strprintf("no frame at byte %llu: %s", (unsigned long long)at,
                           resume ? strprintf("resumed at byte %llu", (unsigned long long)*resume).c_str()
                                  : "no further frame in the file"));
            offset_ = resume ? *resume : fileSize_;
            continue;
        }
        if (size > remaining) {
            note(strprintf("the frame at byte %llu is cut off: %llu of its %lu bytes are held", (unsigned long long)at,
                           (unsigned long long)remaining, (unsigned long)size));
            offset_ = fileSize_;
            break;
        }
        offset_ = at + size;
        const std::uint64_t position = position_++;
        if (size > kMaxFrame) {
            note(strprintf("frame %llu (%lu bytes) is too large to compare: skipped", (unsigned long long)position,
                           (unsigned long)size));
            continue;
        }
        const ByteSpan bytes = window_->view(at, size);
        if (bytes.size() < size) {
            note(strprintf("frame %llu could not be read", (unsigned long long)position));
            continue;
        }
        return StreamedFrame{bytes, position, at};
    }
    return std::nullopt;
}

Bytes FrameStream::reread(std::uint64_t offset, std::uint32_t size) const {
    Bytes out(size);
    if (file_.readAt(offset, out) != size) return {};
    return out;
}

} // namespace tarvik::compare
