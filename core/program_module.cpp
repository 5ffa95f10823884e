#include "core/program_module.h"

#include <unistd.h>

#include <cstdlib>

namespace tarvik {

std::string moduleBesideProgram(const char* variable, const char* name) {
    if (const char* own = std::getenv(variable); own && *own) return own;
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return name;  // the loader's own search, as a last resort
    std::string dir(exe, static_cast<std::size_t>(n));
    dir.erase(dir.rfind('/') + 1);
    return dir + "../lib/tarvik/" + name;
}

} // namespace tarvik
