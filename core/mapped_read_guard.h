#pragma once
// Reading a file through a memory mapping has one hazard a read() does not:
// when another program cuts the file short, touching a mapped page past the
// new end raises SIGBUS, which would end the process. A guarded mapping
// instead gets zero pages in place of the vanished ones and is marked, so its
// owner can say that the file was cut short while it was read.

#include <cstddef>

namespace tarvik {

class MappedReadGuard {
public:
    // Guards [begin, begin + length). Returns false when too many mappings are
    // guarded at once (the caller then reads without mapping).
    bool guard(const void* begin, std::size_t length);
    // Ends the guard; call it before the mapping is unmapped.
    void release();
    // Whether a page of the guarded range vanished from the file since guard().
    bool cutShort() const;

    MappedReadGuard() = default;
    ~MappedReadGuard() { release(); }
    MappedReadGuard(const MappedReadGuard&) = delete;
    MappedReadGuard& operator=(const MappedReadGuard&) = delete;

private:
    int slot_ = -1;
};

} // namespace tarvik
