#pragma once
// printf-style formatting into std::string; the system's texts are printf formats.

#include <cstdarg>
#include <string>
#include <string_view>

namespace tarvik {

[[gnu::format(printf, 1, 2)]] std::string strprintf(const char* format, ...);
std::string vstrprintf(const char* format, std::va_list args);

// The part of a path after its last folder separator.
std::string_view fileNameOf(std::string_view path);

} // namespace tarvik
