#include "core/record_memory.h"

#include <cstdlib>  // defines the C library's identification macros
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tarvik {

void keepFreedRecordMemory() {
#if defined(__GLIBC__)
    // One arena: every thread allocates from the one heap, which grows and
    // shrinks in place, instead of per-thread heaps that are unmapped when empty.
    mallopt(M_ARENA_MAX, 1);
    // Records up to 32 MiB come from that heap rather than mappings of their own,
    // and a free top of the heap is only given back beyond 1 GiB.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
#endif
}

} // namespace tarvik
