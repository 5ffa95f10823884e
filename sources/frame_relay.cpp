#include "sources/frame_relay.h"

#include <cstring>

namespace tarvik {

void FrameRelay::addText(std::string_view text, std::uint64_t framesBefore) {
    add(ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), true, framesBefore);
}

void FrameRelay::add(ByteSpan bytes, bool text, std::uint64_t framesBefore) {
    Chunk* chunk = &chunks_[filled_ % kChunks];
    if (!chunk->items.empty() && chunk->bytes.size() + bytes.size() > kChunkBytes) {
        publish();
        chunk = &chunks_[filled_ % kChunks];
    }
    // A record larger than a chunk gets one of its own, alone: every other
    // chunk comes back first, so that no more than one such copy is held.
    const bool large = bytes.size() > kChunkBytes;
    if (large) waitForEveryChunk();
    if (abandoned_) return;  // a reader the checking side left only drops what it adds
    if (chunk->bytes.capacity() < kChunkBytes) chunk->bytes.reserve(kChunkBytes);
    const std::size_t at = chunk->bytes.size();
    chunk->bytes.insert(chunk->bytes.end(), bytes.begin(), bytes.end());
    chunk->items.push_back({at, bytes.size(), text, framesBefore});
    if (large) publish();
}

void FrameRelay::waitForEveryChunk() {
    std::unique_lock lock(mutex_);
    readerWaits_ = true;
    changed_.wait(lock, [this] { return abandoned_ || (taken_ == filled_ && !holding_); });
    readerWaits_ = false;
}

void FrameRelay::publish() {
    std::unique_lock lock(mutex_);
    ++filled_;
    if (checkerWaits_) changed_.notify_all();
    // The next chunk to fill must have come back: every chunk but the one
    // the checking side holds may be filled.
    readerWaits_ = true;
    changed_.wait(lock, [this] { return abandoned_ || filled_ - (taken_ - (holding_ ? 1 : 0)) < kChunks; });
    readerWaits_ = false;
    if (abandoned_) return;
    Chunk& next = chunks_[filled_ % kChunks];
    next.bytes.clear();
    next.items.clear();
}

void FrameRelay::close(std::exception_ptr failure) {
    {
        std::lock_guard lock(mutex_);
        if (!chunks_[filled_ % kChunks].items.empty() && !abandoned_) ++filled_;
        closed_ = true;
        failure_ = failure;
    }
    changed_.notify_all();
}

const FrameRelay::Chunk* FrameRelay::next() {
    std::unique_lock lock(mutex_);
    if (holding_) {
        // The chunk taken last goes back: the reading side may fill it
        // again. One that grew for a large record gives its memory back.
        holding_ = false;
        Chunk& back = chunks_[(taken_ - 1) % kChunks];
        if (back.bytes.capacity() > kChunkBytes) back.bytes = Bytes();
        if (readerWaits_) changed_.notify_all();
    }
    checkerWaits_ = true;
    changed_.wait(lock, [this] { return taken_ < filled_ || closed_; });
    checkerWaits_ = false;
    if (taken_ == filled_) {
        if (failure_) std::rethrow_exception(failure_);
        return nullptr;
    }
    holding_ = true;
    return &chunks_[taken_++ % kChunks];
}

void FrameRelay::abandon() {
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    changed_.notify_all();
}

} // namespace tarvik
