#pragma once
// Hands records from one thread to another in order: the thread that reads a
// capture fills chunks of bytes while the thread that checks the records
// works through the chunks filled before. A few chunks are reused round
// robin, so the memory is bounded and is not fresh pages after the first
// round; a reader that is ahead waits for a chunk to come back. A record
// larger than a chunk travels alone in a chunk grown for it, once the others
// came back, and that memory goes when the chunk comes back: at most one
// such copy is held at a time.

#include "core/bytes.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string_view>
#include <vector>

namespace tarvik {

class FrameRelay {
public:
    struct Item {
        std::size_t at = 0;
        std::size_t length = 0;
        bool text = false;            // a text row, not a frame
        std::uint64_t framesBefore = 0;  // of a text row: the frames handed before it
    };
    // Each on cache lines of its own: one is filled while the one before is read.
    struct alignas(128) Chunk {
        Bytes bytes;
        std::vector<Item> items;
        ByteSpan of(const Item& item) const { return ByteSpan(bytes).subspan(item.at, item.length); }
        std::string_view textOf(const Item& item) const {
            return {reinterpret_cast<const char*>(bytes.data()) + item.at, item.length};
        }
    };

    static constexpr std::size_t kChunks = 4;
    static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

    // The reading side. Each call may wait for the other side to give a chunk back.
    void addFrame(ByteSpan frame) { add(frame, false, 0); }
    void addText(std::string_view text, std::uint64_t framesBefore);
    // No more records; `failure` (when set) is thrown to the other side once
    // it has taken every chunk filled before.
    void close(std::exception_ptr failure = nullptr);

    // The checking side: the next filled chunk, waiting for it; nullptr when
    // the reading side closed and every chunk was taken. Each chunk taken is
    // given back by the next call.
    const Chunk* next();
    // Ends the relay from the checking side: a reader that waits, or comes
    // later, is not kept waiting (what it adds is dropped).
    void abandon();

private:
    void add(ByteSpan bytes, bool text, std::uint64_t framesBefore);
    void publish();  // the chunk being filled goes to the checking side
    void waitForEveryChunk();  // until the checking side gave back every chunk

    std::mutex mutex_;
    std::condition_variable changed_;
    Chunk chunks_[kChunks];
    std::size_t filled_ = 0;  // chunks handed to the checking side, in all
    std::size_t taken_ = 0;   // chunks the checking side took, in all
    bool holding_ = false;    // the checking side holds chunk taken_ - 1
    bool closed_ = false;
    // Each side wakes the other only when it waits: a wake is a system call.
    bool readerWaits_ = false;
    bool checkerWaits_ = false;
    std::atomic<bool> abandoned_{false};
    std::exception_ptr failure_;
};

} // namespace tarvik
