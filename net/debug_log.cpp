#include "net/debug_log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace tarvik::net {

namespace {

bool enabledFromEnvironment() {
    const char* v = std::getenv("TARVIK_NET_DEBUG");
    return v && *v && std::string_view(v) != "0";
}

std::atomic<bool>& enabled() {
    static std::atomic<bool> on{enabledFromEnvironment()};
    return on;
}

} // namespace

bool debugLogEnabled() { return enabled().load(std::memory_order_relaxed); }
void setDebugLog(bool on) { enabled().store(on); }

void debugLog(std::string_view text) {
    if (!debugLogEnabled()) return;
    static std::mutex lock;
    std::lock_guard guard(lock);
    std::fwrite(text.data(), 1, text.size(), stderr);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
}

} // namespace tarvik::net
