#pragma once
// A second thread that reads the next stretch of a file while its reader
// works on the stretch before, so that the copy from the page cache and the
// work on the bytes overlap. It reads into one of two buffers; each has room
// in front of its stretch for bytes the reader carries over from the stretch
// before, so that a record that runs past the end of one stretch is whole in
// the next.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

namespace tarvik {

// Reads `into` from byte `at` of the open file `descriptor`, going on after
// short reads and interruptions: the bytes read, fewer where the file ends
// first. Where reading fails, `failure` is set to the error number.
std::size_t readFully(int descriptor, std::uint64_t at, std::span<std::uint8_t> into, int& failure);

class ReadAhead {
public:
    // Reads `into` from `at` on, as readFully does.
    using ReadAt = std::function<std::size_t(std::uint64_t at, std::span<std::uint8_t> into, int& failure)>;
    // Stretches of at most `stretch` bytes, with `carry` bytes of room in front of each.
    ReadAhead(ReadAt read, std::size_t carry, std::size_t stretch);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    std::size_t carry() const { return carry_; }
    std::size_t stretchSize() const { return stretch_; }
    // Where buffer 0 or 1 takes its stretch (carry() bytes of room lie before it).
    std::uint8_t* stretch(int buffer) { return buffers_[buffer == 0 ? 0 : 1].get() + carry_; }

    // Asks for `count` bytes (at most stretchSize()) from `at` on, read into
    // `buffer`. A read asked for before must have been waited for.
    void request(std::uint64_t at, std::size_t count, int buffer);
    // Waits for the read asked for last: the bytes it read, and the error
    // number where it failed (0 otherwise) in `failure`.
    std::size_t wait(int* failure = nullptr);

    // The read asked for last, and whether it has not been waited for yet.
    // (Only the reader's thread asks and waits.)
    bool pending() const { return pending_; }
    std::uint64_t offset() const { return offset_; }
    std::size_t length() const { return length_; }
    int target() const { return target_; }
    // The buffer the reader works on, -1 for none of the two (its own).
    int current = -1;

private:
    void run();

    ReadAt read_;
    std::size_t carry_, stretch_;
    // Left unfilled: every byte is read into before it is looked at, and
    // zeroing megabytes would cost a short file more than its reading.
    std::unique_ptr<std::uint8_t[]> buffers_[2];
    std::mutex mutex_;
    std::condition_variable wake_;
    // Set by the reader under the lock; read by the thread only under it.
    bool pending_ = false, done_ = false, quit_ = false;
    std::uint64_t offset_ = 0;
    std::size_t length_ = 0, got_ = 0;
    int failure_ = 0;
    int target_ = 0;
    std::thread worker_;  // last: it starts once the rest is in place
};

} // namespace tarvik
