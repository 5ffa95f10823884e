#include "remote/convert.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tarvik::remote {

std::vector<std::string> splitList(std::string_view text) {
    std::vector<std::string> pieces;
    if (text.empty()) return pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        pieces.emplace_back(text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
        while (start < text.size() && text[start] == ' ') ++start;
    }
    return pieces;
}

std::size_t countListPieces(std::string_view text) {
    if (text.empty()) return 0;
    std::size_t n = 1;
    for (char c : text) n += c == ',';
    return n;
}

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Little-endian `width` bytes of a 32-bit value: truncated for 1 and 2,
// sign-extended for 8.
void putInteger(ByteWriter& out, std::int32_t v, std::int32_t width) {
    switch (width) {
    case 1: out.u8(static_cast<std::uint8_t>(v)); break;
    case 2: out.u16(static_cast<std::uint16_t>(v)); break;
    case 4: out.i32(v); break;
    case 8: out.i64(v); break;
    default: break;
    }
}

bool integerWidth(std::int32_t w) { return w == 1 || w == 2 || w == 4 || w == 8; }

// a.b.c.d with each part 0..255 and nothing else; false otherwise.
bool parseDottedAddress(std::string_view text, std::uint32_t& address) {
    std::uint32_t parts[4];
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != '.') return false;
            ++pos;
        }
        std::size_t digits = 0;
        std::uint32_t v = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
            v = v * 10 + static_cast<std::uint32_t>(text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || v > 255) return false;
        parts[i] = v;
    }
    if (pos != text.size()) return false;
    address = (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
    return true;
}

std::string_view trimBlanks(std::string_view t) {
    while (!t.empty() && isSpace(t.front())) t.remove_prefix(1);
    while (!t.empty() && isSpace(t.back())) t.remove_suffix(1);
    return t;
}

bool equalsNoCase4(std::string_view value, std::string_view word) {
    if (value.size() < 4) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        char c = value[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != word[i]) return false;
    }
    return true;
}

} // namespace

std::int32_t parseDecimal32(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > 2147483648LL) v = 2147483648LL;  // enough to saturate either way
    }
    if (negative) v = -v;
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(v);
}

double parseFloat(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i < text.size() && text[i] == '-') return 0.0;  // "+-1" / "--1": nothing parses
    double v = 0.0;
    auto r = std::from_chars(text.data() + i, text.data() + text.size(), v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // The C rule gives +-HUGE_VAL for overflow and a (near) zero for underflow.
        std::string_view digits = text.substr(i, static_cast<std::size_t>(r.ptr - (text.data() + i)));
        const auto e = digits.find_first_of("eE");
        const bool smallExponent = e != std::string_view::npos && e + 1 < digits.size() && digits[e + 1] == '-';
        v = smallExponent ? 0.0 : HUGE_VAL;
    } else if (r.ec != std::errc{}) {
        v = 0.0;
    }
    return negative ? -v : v;
}

void appendValue(ByteWriter& out, std::string_view format, std::int32_t width, std::string_view value,
                 const ConvertContext& context) {
    auto message = [&](const std::string& text) {
        if (context.message) context.message(text);
    };
    if (format == "t10") {
        const std::int32_t v = parseDecimal32(value);
        if (v == 0) {
            out.fill(10, 0);
        } else if (v == 2) {
            VxTIME t = context.localTime ? context.localTime() : VxTIME{};
            t.seconds = std::floor(t.seconds);
            t.write(out);
        } else {
            for (int i = 0; i < 10; ++i) out.u8(static_cast<std::uint8_t>(context.random ? context.random() : 0));
        }
        return;
    }
    if (format == "u") {
        if (integerWidth(width)) putInteger(out, parseDecimal32(value), width);
        else message("unknown unsigned integer format");
        return;
    }
    if (format == "f" || format == "d2r") {
        constexpr double kDegreesToRadians = 0.017453292519943295;
        const double v = parseFloat(value);
        if (width == 4) {
            const float f = static_cast<float>(v);
            out.f32(format == "f" ? f : static_cast<float>(static_cast<double>(f) * kDegreesToRadians));
        } else if (width == 8) {
            out.f64(format == "f" ? v : v * kDegreesToRadians);
        } else {
            message("only f32 & f64 implemented");
        }
        return;
    }
    if (format.find("sd") != std::string_view::npos) {
        message("\"sd\" data type not allowed in remote commands");
        return;
    }
    if (!format.empty() && format.front() == 's') {
        const std::size_t w = width > 0 ? static_cast<std::size_t>(width) : 0;
        if (equalsNoCase4(value, "NULL")) {
            out.fill(w, 0);
        } else if (value.size() >= w) {
            out.bytes(asBytes(value.substr(0, w)));
        } else {
            out.bytes(asBytes(value)).fill(w - value.size(), 0);
        }
        return;
    }
    if (format == "IPAddress" && width == 4) {
        std::uint32_t address = 0;
        if (!parseDottedAddress(trimBlanks(value), address)) address = 0;
        out.u32(address);
        return;
    }
    if (format == "i") {
        if (integerWidth(width)) putInteger(out, parseDecimal32(value), width);
        else message("unknown integer format");
        return;
    }
    if (format == "x") {
        out.fill(width > 0 ? static_cast<std::size_t>(width) : 0, 0xCB);
        return;
    }
    if (format.empty()) {
        message("unknown data format (b), empty string");
        return;
    }
    message("unknown data format (b), ==" + std::string(format) + "==");
}

Bytes convertValue(std::string_view format, std::int32_t width, std::string_view value, const ConvertContext& context) {
    ByteWriter out;
    appendValue(out, format, width, value, context);
    return out.take();
}

} // namespace tarvik::remote
