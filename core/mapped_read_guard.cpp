#include "core/mapped_read_guard.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace tarvik {

namespace {

// The guarded ranges. The bus-error handler only reads them; taking and giving
// back a slot happens under the mutex.
constexpr int kSlots = 64;
struct Slot {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> cut{false};
};
Slot slots[kSlots];
bool slotTaken[kSlots];
std::mutex slotsMutex;

struct sigaction previousAction;
std::uintptr_t pageSize = 4096;

void onBusError(int sig, siginfo_t* info, void* context) {
    const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (Slot& s : slots) {
        const std::uintptr_t begin = s.begin.load(std::memory_order_acquire);
        const std::uintptr_t end = s.end.load(std::memory_order_acquire);
        if (begin == 0 || at < begin || at >= end) continue;
        // Zero pages in place of the rest of the range; the read is then made
        // again and finds zeros. mmap is a plain system call, fit for a handler.
        const std::uintptr_t page = at & ~(pageSize - 1);
        if (::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED,
                   -1, 0) == MAP_FAILED)
            break;
        s.cut.store(true, std::memory_order_release);
        return;
    }
    // Not a guarded page: whatever handled bus errors before does.
    if ((previousAction.sa_flags & SA_SIGINFO) != 0 && previousAction.sa_sigaction != nullptr) {
        previousAction.sa_sigaction(sig, info, context);
        return;
    }
    if ((previousAction.sa_flags & SA_SIGINFO) == 0 && previousAction.sa_handler != SIG_DFL &&
        previousAction.sa_handler != SIG_IGN) {
        previousAction.sa_handler(sig);
        return;
    }
    // Otherwise the default: the read faults again and ends the process.
    ::signal(sig, SIG_DFL);
}

void installHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (const long p = ::sysconf(_SC_PAGESIZE); p > 0) pageSize = static_cast<std::uintptr_t>(p);
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &previousAction);
    });
}

} // namespace

bool MappedReadGuard::guard(const void* begin, std::size_t length) {
    release();
    installHandler();
    std::lock_guard lock(slotsMutex);
    for (int i = 0; i < kSlots; ++i) {
        if (slotTaken[i]) continue;
        slotTaken[i] = true;
        const auto b = reinterpret_cast<std::uintptr_t>(begin);
        slots[i].cut.store(false, std::memory_order_relaxed);
        slots[i].end.store(b + length, std::memory_order_release);
        slots[i].begin.store(b, std::memory_order_release);
        slot_ = i;
        return true;
    }
    return false;
}

void MappedReadGuard::release() {
    if (slot_ < 0) return;
    std::lock_guard lock(slotsMutex);
    slots[slot_].begin.store(0, std::memory_order_release);
    slots[slot_].end.store(0, std::memory_order_release);
    slotTaken[slot_] = false;
    slot_ = -1;
}

bool MappedReadGuard::cutShort() const {
    return slot_ >= 0 && slots[slot_].cut.load(std::memory_order_acquire);
}

} // namespace tarvik
