#include "remote/convert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

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

// An IPv4 address as a dotted a.b.c.d or as the 32-bit integer a×2^24 +
// b×2^16 + c×2^8 + d written in decimal digits alone; false otherwise.
bool parseAddress(std::string_view text, std::uint32_t& address) {
    if (text.find('.') != std::string_view::npos) return parseDottedAddress(text, address);
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (v > 0xFFFFFFFFull) return false;
    address = static_cast<std::uint32_t>(v);
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

// The limits of an integer of `width` bytes: [low, high] as signed for "i",
// [0, high] as unsigned for "u".
struct IntegerRange {
    std::int64_t low = 0;
    std::uint64_t high = 0;
};

IntegerRange integerRange(bool isSigned, std::int32_t width) {
    const unsigned bits = 8u * static_cast<unsigned>(width);
    if (!isSigned) return {0, bits >= 64 ? UINT64_MAX : (std::uint64_t{1} << bits) - 1};
    const std::uint64_t high = (std::uint64_t{1} << (bits - 1)) - 1;
    return {-static_cast<std::int64_t>(high) - 1, high};
}

// Takes a leading sign off `text`; true when it was a minus.
bool takeSign(std::string_view& text) {
    if (text.empty() || (text.front() != '+' && text.front() != '-')) return false;
    const bool negative = text.front() == '-';
    text.remove_prefix(1);
    return negative;
}

// A whole decimal number of the range, with an optional sign and nothing else
// (blanks around it are trimmed first; an empty text is 0). The value is
// returned as its 64-bit two's complement pattern.
std::optional<std::uint64_t> wholeNumber(std::string_view text, const IntegerRange& range) {
    text = trimBlanks(text);
    if (text.empty()) return 0;
    const bool negative = takeSign(text);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
    std::uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (!negative) {
        if (magnitude > range.high) return std::nullopt;
        return magnitude;
    }
    if (magnitude == 0) return 0;
    if (range.low == 0 || magnitude - 1 > static_cast<std::uint64_t>(-(range.low + 1))) return std::nullopt;
    return ~(magnitude - 1);  // -magnitude
}

// A finite decimal floating-point number (decimal or exponent form, optional
// sign) and nothing else; an empty text is 0. No hexadecimal, inf or nan.
std::optional<double> finiteNumber(std::string_view text) {
    text = trimBlanks(text);
    if (text.empty()) return 0.0;
    const bool negative = takeSign(text);
    if (text.empty() || !((text.front() >= '0' && text.front() <= '9') || text.front() == '.')) return std::nullopt;
    double v = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
    if (ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
    return negative ? -v : v;
}

// A double that rounds to a finite single-precision float: below the point
// halfway between the largest float and the next power of two.
bool fitsFloat(double v) { return std::fabs(v) < std::ldexp(2.0 - std::ldexp(1.0, -24), 127); }

} // namespace

std::string describeFormat(std::string_view format, std::int32_t width) {
    const std::string name = std::string(format) + std::to_string(width);
    if ((format == "u" || format == "i") && integerWidth(width)) {
        const IntegerRange r = integerRange(format == "i", width);
        return name + " (a whole number from " + std::to_string(r.low) + " to " + std::to_string(r.high) + ")";
    }
    if (format == "f" && width == 4) return name + " (a finite number from -3.4028235e+38 to 3.4028235e+38)";
    if (format == "f" && width == 8)
        return name + " (a finite number from -1.7976931348623157e+308 to 1.7976931348623157e+308)";
    if (format == "d2r" && (width == 4 || width == 8)) return name + " (a finite number of degrees)";
    if (format == "t10") return name + " (a whole number: 0 zero time, 2 the current time, any other random bytes)";
    if (format == "IPAddress")
        return name + " (a dotted address from 0.0.0.0 to 255.255.255.255, or the same as a whole number from 0 "
                      "to 4294967295)";
    if (!format.empty() && format.front() == 's')
        return name + " (a text of at most " + std::to_string(std::max(width, 0)) + " bytes, or NULL)";
    return name;
}

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

bool appendValue(ByteWriter& out, std::string_view format, std::int32_t width, std::string_view value,
                 const ConvertContext& context) {
    auto message = [&](const std::string& text) {
        if (context.message) context.message(text);
    };
    if (format == "t10") {
        const auto v = wholeNumber(value, integerRange(true, 4));
        if (!v) return false;
        if (*v == 0) {
            out.fill(10, 0);
        } else if (*v == 2) {
            VxTIME t = context.localTime ? context.localTime() : VxTIME{};
            t.seconds = std::floor(t.seconds);
            t.write(out);
        } else {
            for (int i = 0; i < 10; ++i) out.u8(static_cast<std::uint8_t>(context.random ? context.random() : 0));
        }
        return true;
    }
    if (format == "u" || format == "i") {
        if (!integerWidth(width)) {
            message(format == "u" ? "unknown unsigned integer format" : "unknown integer format");
            return true;
        }
        const auto v = wholeNumber(value, integerRange(format == "i", width));
        if (!v) return false;
        for (std::int32_t i = 0; i < width; ++i) out.u8(static_cast<std::uint8_t>(*v >> (8 * i)));
        return true;
    }
    if (format == "f" || format == "d2r") {
        constexpr double kDegreesToRadians = 0.017453292519943295;
        if (width != 4 && width != 8) {
            message("only f32 & f64 implemented");
            return true;
        }
        const auto v = finiteNumber(value);
        if (!v || (width == 4 && !fitsFloat(*v))) return false;
        if (width == 4) {
            const float f = static_cast<float>(*v);
            out.f32(format == "f" ? f : static_cast<float>(static_cast<double>(f) * kDegreesToRadians));
        } else {
            out.f64(format == "f" ? *v : *v * kDegreesToRadians);
        }
        return true;
    }
    if (format.find("sd") != std::string_view::npos) {
        message("\"sd\" data type not allowed in remote commands");
        return true;
    }
    if (!format.empty() && format.front() == 's') {
        const std::size_t w = width > 0 ? static_cast<std::size_t>(width) : 0;
        if (equalsNoCase4(value, "NULL")) {
            out.fill(w, 0);
        } else if (value.size() > w) {
            return false;  // would be cut: the sonar would get another text
        } else {
            out.bytes(asBytes(value)).fill(w - value.size(), 0);
        }
        return true;
    }
    if (format == "IPAddress" && width == 4) {
        std::uint32_t address = 0;
        const std::string_view text = trimBlanks(value);
        if (!text.empty() && !parseAddress(text, address)) return false;
        out.u32(address);
        return true;
    }
    if (format == "x") {
        out.fill(width > 0 ? static_cast<std::size_t>(width) : 0, 0xCB);
        return true;
    }
    if (format.empty()) {
        message("unknown data format (b), empty string");
        return true;
    }
    message("unknown data format (b), ==" + std::string(format) + "==");
    return true;
}

Bytes convertValue(std::string_view format, std::int32_t width, std::string_view value, const ConvertContext& context,
                   bool* refused) {
    ByteWriter out;
    const bool done = appendValue(out, format, width, value, context);
    if (refused) *refused = !done;
    return done ? out.take() : Bytes{};
}

} // namespace tarvik::remote
