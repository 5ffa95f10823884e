#include "core/read_ahead.h"

#include <cerrno>
#include <cstdint>
#include <unistd.h>

namespace tarvik {

std::size_t readFully(int descriptor, std::uint64_t at, std::span<std::uint8_t> into, int& failure) {
    if (descriptor < 0) return 0;
    std::size_t done = 0;
    while (done < into.size()) {
        if (at + done > static_cast<std::uint64_t>(INT64_MAX)) break;
        const ssize_t n = ::pread(descriptor, into.data() + done, into.size() - done, static_cast<off_t>(at + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failure = errno;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

ReadAhead::ReadAhead(ReadAt read, std::size_t carry, std::size_t stretch)
    : read_(std::move(read)), carry_(carry), stretch_(stretch),
      buffers_{std::make_unique_for_overwrite<std::uint8_t[]>(carry + stretch),
               std::make_unique_for_overwrite<std::uint8_t[]>(carry + stretch)},
      worker_([this] { run(); }) {}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void ReadAhead::request(std::uint64_t at, std::size_t count, int buffer) {
    {
        std::lock_guard lock(mutex_);
        offset_ = at;
        length_ = count < stretch_ ? count : stretch_;
        target_ = buffer == 0 ? 0 : 1;
        done_ = false;
        pending_ = true;
    }
    wake_.notify_all();
}

std::size_t ReadAhead::wait(int* failure) {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return done_; });
    pending_ = false;
    if (failure) *failure = failure_;
    return got_;
}

void ReadAhead::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || (pending_ && !done_); });
        if (quit_) return;
        const std::uint64_t at = offset_;
        const std::span<std::uint8_t> into(stretch(target_), length_);
        lock.unlock();
        int failure = 0;
        const std::size_t n = read_(at, into, failure);
        lock.lock();
        got_ = n;
        failure_ = failure;
        done_ = true;
        wake_.notify_all();
    }
}

} // namespace tarvik
