#include "core/text.h"

#include <cstdio>
#include <vector>

namespace tarvik {

std::string vstrprintf(const char* format, std::va_list args) {
    char small[256];
    std::va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, static_cast<std::size_t>(n));
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string strprintf(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string out = vstrprintf(format, args);
    va_end(args);
    return out;
}

std::string_view fileNameOf(std::string_view path) {
    auto cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

} // namespace tarvik

namespace tarvik {

std::string hexDumpLine(std::span<const std::uint8_t> bytes, std::size_t offset) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string line = strprintf("%08zX ", offset);
    std::string chars;
    for (std::size_t i = 0; i < 16; ++i) {
        if (i == 8) line += ' ';
        if (offset + i < bytes.size()) {
            const std::uint8_t b = bytes[offset + i];
            line += ' ';
            line += kDigits[b >> 4];
            line += kDigits[b & 15];
            chars += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
        } else {
            line += "   ";
        }
    }
    line += "  ";
    line += chars;
    return line;
}

std::vector<std::string> hexDumpLines(std::span<const std::uint8_t> bytes) {
    std::vector<std::string> lines;
    lines.reserve(bytes.size() / 16 + 1);
    for (std::size_t at = 0; at < bytes.size(); at += 16) lines.push_back(hexDumpLine(bytes, at));
    return lines;
}

std::string shownName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7f) {
            out += c;
            continue;
        }
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            out += hex;
        }
        }
    }
    return out;
}

std::string validUtf8(std::string_view text) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char b = byte(i);
        if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        // The length of the sequence and the range its second byte must lie in
        // (which excludes overlong forms, surrogates and values past U+10FFFF).
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) length = 2;
        else if (b == 0xE0) length = 3, low = 0xA0;
        else if (b == 0xED) length = 3, high = 0x9F;
        else if (b >= 0xE1 && b <= 0xEF) length = 3;
        else if (b == 0xF0) length = 4, low = 0x90;
        else if (b == 0xF4) length = 4, high = 0x8F;
        else if (b >= 0xF1 && b <= 0xF3) length = 4;
        std::size_t n = 1;  // bytes of a valid prefix of the sequence
        while (length > 0 && n < length && i + n < text.size()) {
            const unsigned char c = byte(i + n);
            if (c < (n == 1 ? low : 0x80) || c > (n == 1 ? high : 0xBF)) break;
            ++n;
        }
        if (length > 0 && n == length) out.append(text.substr(i, n));
        else out += kReplacement;  // the bad byte, or the valid start of a cut sequence, as one U+FFFD
        i += n;
    }
    return out;
}

} // namespace tarvik
