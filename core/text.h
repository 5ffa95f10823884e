#pragma once
// printf-style formatting into std::string; the system's texts are printf formats.

#include <cstdarg>
#include <string>
#include <string_view>
#include <cstdint>
#include <span>
#include <vector>

namespace tarvik {

[[gnu::format(printf, 1, 2)]] std::string strprintf(const char* format, ...);
std::string vstrprintf(const char* format, std::va_list args);

// The part of a path after its last folder separator.
std::string_view fileNameOf(std::string_view path);

// A file name as a message shows it: control characters (and DEL) as "\n",
// "\t", "\x1b" ..., so that a name can neither split a message nor reach a
// terminal as an escape sequence. Other bytes, UTF-8 included, stay as they are.
std::string shownName(std::string_view name);

// The text as valid UTF-8: a byte that starts no valid sequence, and each part
// of a sequence cut short, becomes U+FFFD (as a decoder that replaces does).
// Text fields of records hold whatever the sender put there; every table and
// document we write is UTF-8.
std::string validUtf8(std::string_view text);

} // namespace tarvik

namespace tarvik {

// A hex dump, 16 bytes a line: "%08X", the bytes in hex, then the printable
// characters ('.' for the others).
std::string hexDumpLine(std::span<const std::uint8_t> bytes, std::size_t offset);
std::vector<std::string> hexDumpLines(std::span<const std::uint8_t> bytes);

} // namespace tarvik
