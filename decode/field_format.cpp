#include "decode/field_format.h"

#include "core/vxtime.h"
#include "decode/format_table.h"

#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tarvik {

void appendf(std::string& out, const char* format, ...) {
    char buffer[512];
    std::va_list args;
    va_start(args, format);
    std::va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n >= 0 && static_cast<std::size_t>(n) < sizeof buffer) {
        out.append(buffer, static_cast<std::size_t>(n));
    } else if (n > 0) {
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data() + at, static_cast<std::size_t>(n) + 1, format, copy);
        out.resize(at + static_cast<std::size_t>(n));
    }
    va_end(copy);
}

namespace {

constexpr double kRadiansToDegrees = 57.29577951308232;

} // namespace

double shownNumber(FormatCode code, std::int32_t width, double stored) {
    if (code != FormatCode::Radians) return stored;
    const double degrees = stored * kRadiansToDegrees;
    return width == 4 ? static_cast<double>(static_cast<float>(degrees)) : degrees;
}

namespace {

// " %u"-style and " %.3f"/" %e"-style texts without the cost of a format
// parse: std::to_chars gives the same digits as printf for these conversions.
template <typename T>
void appendNumber(std::string& out, T value) {
    char buffer[24];
    buffer[0] = ' ';
    auto [end, ec] = std::to_chars(buffer + 1, buffer + sizeof buffer, value);
    out.append(buffer, ec == std::errc{} ? static_cast<std::size_t>(end - buffer) : 1);
}

void appendFixed(std::string& out, double value, int decimals) {
    if (!std::isfinite(value) || std::fabs(value) >= 1e15) {
        appendf(out, " %.*f", decimals, value);
        return;
    }
    char buffer[40];
    buffer[0] = ' ';
    auto [end, ec] = std::to_chars(buffer + 1, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (ec == std::errc{}) out.append(buffer, static_cast<std::size_t>(end - buffer));
    else appendf(out, " %.*f", decimals, value);
}

void appendExponent(std::string& out, double value) {
    char buffer[40];
    buffer[0] = ' ';
    auto [end, ec] = std::to_chars(buffer + 1, buffer + sizeof buffer, value, std::chars_format::scientific, 6);
    if (ec == std::errc{} && std::isfinite(value)) out.append(buffer, static_cast<std::size_t>(end - buffer));
    else appendf(out, " %e", value);
}

// The first 16 bytes of a field, zero beyond its end: what a scalar read sees.
struct Scratch {
    std::uint8_t b[16] = {};
    explicit Scratch(ByteSpan bytes) {
        // An empty field may come with no storage at all (a null data pointer).
        if (!bytes.empty()) std::memcpy(b, bytes.data(), std::min<std::size_t>(bytes.size(), 16));
    }
    template <typename T>
    T get(std::size_t at = 0) const {
        return readLEOr0<T>(ByteSpan(b, sizeof b), at);
    }
};

bool allBytes(ByteSpan bytes, std::int32_t width, std::uint8_t value) {
    if (width <= 0 || bytes.size() < static_cast<std::size_t>(width)) return false;
    for (std::int32_t i = 0; i < width; ++i)
        if (bytes[static_cast<std::size_t>(i)] != value) return false;
    return true;
}

// The text of a NUL-padded field: up to the first zero within at most `width` bytes.
std::string_view fieldText(ByteSpan bytes, std::int32_t width) {
    std::size_t n = std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(std::max(width, 0)));
    n = std::min<std::size_t>(n, kMaxFieldWidth);
    const auto* p = reinterpret_cast<const char*>(bytes.data());
    const void* zero = n ? std::memchr(p, 0, n) : nullptr;
    return {p, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - p) : n};
}

bool firstByteZero(ByteSpan bytes) { return bytes.empty() || bytes[0] == 0; }

void appendTime(ByteSpan bytes, std::string& out) {
    Scratch s(bytes);
    bool zero = true;
    for (int i = 0; i < 10; ++i) zero = zero && s.b[i] == 0;
    if (zero) {
        out += " Null time/date";
        return;
    }
    VxTIME t = *VxTIME::read(ByteSpan(s.b, sizeof s.b), 0);
    int month = 0, dayOfMonth = 0;
    if (!dayOfYearToDate(t.year, t.day, month, dayOfMonth)) {
        appendf(out, "Invalid date, year %d, day %d", int(t.year), int(t.day));
        return;
    }
    appendf(out, " %02d/%02d/%02d %02d:%02d:%06.3f", month, dayOfMonth, int(t.year), int(t.hours), int(t.minutes),
            double(t.seconds));
}

void appendWideUnsigned(const Scratch& s, bool deviceForm, std::string& out) {
    const std::uint32_t w0 = s.get<std::uint32_t>(0), w1 = s.get<std::uint32_t>(4), w2 = s.get<std::uint32_t>(8),
                        w3 = s.get<std::uint32_t>(12);
    if (deviceForm && w3 < 9000 && w2 < 20 && w1 == 7500 && w0 >= 1000 && w0 <= 11999)
        appendf(out, " ==>(Device %lu, Enum %lu, Rec %lu, Cmd %lu)", (unsigned long)w3, (unsigned long)w2,
                (unsigned long)w1, (unsigned long)w0);
    else
        appendf(out, " 0x%08lx%08lx%08lx%08lx", (unsigned long)w3, (unsigned long)w2, (unsigned long)w1,
                (unsigned long)w0);
}

// 1, 2, 4 and 8-byte unsigned values; false for other widths.
bool appendUnsigned(const Scratch& s, std::int32_t width, FieldResult& r, std::string& out) {
    switch (width) {
    case 1: r.value = s.get<std::uint8_t>(); appendNumber(out, unsigned(s.get<std::uint8_t>())); return true;
    case 2: r.value = s.get<std::uint16_t>(); appendNumber(out, unsigned(s.get<std::uint16_t>())); return true;
    case 4:
        r.value = static_cast<std::int32_t>(s.get<std::uint32_t>());
        appendNumber(out, s.get<std::uint32_t>());
        return true;
    case 8: appendNumber(out, s.get<std::uint64_t>()); return true;
    default: return false;
    }
}

bool appendSigned(const Scratch& s, std::int32_t width, FieldResult& r, std::string& out) {
    switch (width) {
    case 1: r.value = s.get<std::int8_t>(); appendNumber(out, int(s.get<std::int8_t>())); return true;
    case 2: r.value = s.get<std::int16_t>(); appendNumber(out, int(s.get<std::int16_t>())); return true;
    case 4: r.value = s.get<std::int32_t>(); appendNumber(out, s.get<std::int32_t>()); return true;
    case 8: appendNumber(out, s.get<std::uint64_t>()); return true;  // printed unsigned
    default: return false;
    }
}

// A floating-point value as main records, repeat blocks and commands show it
// once the invalid classes are dealt with: "  0", or exponent form for very
// small and very large magnitudes.
void appendFloat(const Scratch& s, std::int32_t width, bool radians, std::string& out) {
    if (width == 4) {
        const float v = static_cast<float>(shownNumber(radians ? FormatCode::Radians : FormatCode::Float, 4, s.get<float>()));
        if (v == 0.0f) out += "  0";
        else if (std::fabs(v) < 0.01f || std::fabs(v) > 1e15f) appendExponent(out, double(v));
        else appendFixed(out, double(v), 3);
    } else {
        const double v = shownNumber(radians ? FormatCode::Radians : FormatCode::Float, 8, s.get<double>());
        if (v == 0.0) out += "  0";
        else if (std::fabs(v) < 0.01 || std::fabs(v) > 1e15) appendExponent(out, v);
        else appendFixed(out, v, 5);
    }
}

void appendVectorFloat(const Scratch& s, std::int32_t width, bool radians, std::string& out) {
    if (width == 4) {
        const float v = static_cast<float>(shownNumber(radians ? FormatCode::Radians : FormatCode::Float, 4, s.get<float>()));
        if (v == 0.0f) out += " 0.0";
        else if (std::fabs(v) < 0.01f || std::fabs(v) > 1e15f) appendExponent(out, double(v));
        else appendFixed(out, double(v), 3);
    } else {
        const double v = shownNumber(radians ? FormatCode::Radians : FormatCode::Float, 8, s.get<double>());
        if (v == 0.0) out += "  0.0";
        else if (std::fabs(v) < 0.01 || std::fabs(v) > 1e15) appendExponent(out, v);
        else appendFixed(out, v, 5);
    }
}

// The formatters, one per (format code, context). Each gets the item's number
// (the width, or a constant's value), the field's bytes and the code's text.
struct FieldArgs {
    FormatCode code;
    std::string_view format;
    std::int32_t number;
    ByteSpan bytes;
};
using Formatter = void (*)(const FieldArgs&, FieldResult&, std::string&);

void timeText(const FieldArgs& a, FieldResult&, std::string& out) { appendTime(a.bytes, out); }

void constantText(const FieldArgs& a, FieldResult& r, std::string& out) {
    r.value = a.number;
    appendf(out, " [constant] %ld", long(a.number));
}

void unknownUnsigned(const FieldArgs& a, std::string& out) {
    appendf(out, "  Unknown long unsigned integer field, %s, %lu", std::string(a.format).c_str(),
            (unsigned long)a.number);
}

void mainUnsigned(const FieldArgs& a, FieldResult& r, std::string& out) {
    const std::int32_t w = a.number;
    Scratch s(a.bytes);
    if (w == 1 || w == 2 || w == 4 || w == 8) {
        const std::size_t at = out.size();
        appendUnsigned(s, w, r, out);
        if (allBytes(a.bytes, w, 0xFB)) out.replace(at, std::string::npos, "  Uninitialized value, 0xFB");
    } else if (w == 16) {
        appendWideUnsigned(s, true, out);
    } else {
        unknownUnsigned(a, out);
    }
}

void commandUnsigned(const FieldArgs& a, FieldResult& r, std::string& out) {
    const std::int32_t w = a.number;
    Scratch s(a.bytes);
    if (w == 1) {
        appendUnsigned(s, w, r, out);
    } else if (w == 2 || w == 4 || w == 8) {
        std::string plain;
        appendUnsigned(s, w, r, plain);
        if (allBytes(a.bytes, w, 0xCD)) out += "  Uninitialized data, 0xCDCDCDCD";
        else if (allBytes(a.bytes, w, 0xCC)) out += "  Uninitialized debug data, 0xCCCCCCCC";
        else if (allBytes(a.bytes, w, 0xFB)) out += "  Uninitialized value, 0xFBFBFBFB";
        else out += plain;
    } else {
        unknownUnsigned(a, out);
    }
}

// Inside blocks and vectors: no marker checks, hexadecimal for 16 bytes.
void blockUnsigned(const FieldArgs& a, FieldResult& r, std::string& out, const char* unknown) {
    Scratch s(a.bytes);
    if (appendUnsigned(s, a.number, r, out)) return;
    if (a.number == 16) appendWideUnsigned(s, false, out);
    else out += unknown;
}
void repeatUnsigned(const FieldArgs& a, FieldResult& r, std::string& out) {
    blockUnsigned(a, r, out, " unknown long unsigned integer field");
}
void vectorUnsigned(const FieldArgs& a, FieldResult& r, std::string& out) {
    blockUnsigned(a, r, out, " unknown long unsigned integer field ");
}

void mainSigned(const FieldArgs& a, FieldResult& r, std::string& out) {
    const std::int32_t w = a.number;
    if (w == 1 || w == 2 || w == 4 || w == 8) {
        const std::size_t at = out.size();
        appendSigned(Scratch(a.bytes), w, r, out);
        if (allBytes(a.bytes, w, 0xFB)) out.replace(at, std::string::npos, "  Uninitialized value, 0xFB");
    } else {
        out += " unknown integer field";
    }
}

void plainSigned(const FieldArgs& a, FieldResult& r, std::string& out) { appendSigned(Scratch(a.bytes), a.number, r, out); }

void mainFloat(const FieldArgs& a, FieldResult&, std::string& out) {
    const std::int32_t w = a.number;
    if (w != 4 && w != 8) return;  // an empty text
    if (allBytes(a.bytes, w, 0xFB)) {
        out += "  Uninitialized value, 0xFB";
    } else if (const char* invalid = invalidFloatText(a.bytes, w)) {
        out += "  ";
        out += invalid;
    } else {
        appendFloat(Scratch(a.bytes), w, a.code == FormatCode::Radians, out);
    }
}

void commandFloat(const FieldArgs& a, FieldResult& r, std::string& out) {
    if (a.number != 4 && a.number != 8) out += " unknown float field";
    else mainFloat(a, r, out);
}

void repeatFloat(const FieldArgs& a, FieldResult&, std::string& out) {
    appendFloat(Scratch(a.bytes), a.number == 4 ? 4 : 8, a.code == FormatCode::Radians, out);
}

void vectorFloat(const FieldArgs& a, FieldResult&, std::string& out) {
    appendVectorFloat(Scratch(a.bytes), a.number == 4 ? 4 : 8, a.code == FormatCode::Radians, out);
}

void textWith(const FieldArgs& a, std::string& out, const char* empty) {
    if (firstByteZero(a.bytes)) out += empty;
    else out.append(" ").append(fieldText(a.bytes, a.number));
}
void mainText(const FieldArgs& a, FieldResult&, std::string& out) { textWith(a, out, "  null"); }
void commandText(const FieldArgs& a, FieldResult&, std::string& out) { textWith(a, out, "  empty string"); }
void vectorText(const FieldArgs& a, FieldResult&, std::string& out) { textWith(a, out, "  null string"); }

void mainReserved(const FieldArgs& a, FieldResult& r, std::string& out) {
    if (firstByteZero(a.bytes)) out += "  null";
    else r.hidden = true;
}
void vectorReserved(const FieldArgs&, FieldResult&, std::string& out) { out += "  null"; }

void unknownMain(const FieldArgs&, FieldResult&, std::string& out) { out += "  unknown data format (a)"; }
void unknownRepeat(const FieldArgs&, FieldResult&, std::string& out) { out += "  unknown data format for repeat"; }
void unknownVector(const FieldArgs&, FieldResult&, std::string& out) { out += "  unknown data format for vector"; }

// Columns: main record, repeat block, vector element, command body.
struct FormatterRow {
    FormatCode code;
    Formatter byContext[4];
};
constexpr FormatterRow kFormatters[] = {
    {FormatCode::Unsigned, {mainUnsigned, repeatUnsigned, vectorUnsigned, commandUnsigned}},
    {FormatCode::Signed, {mainSigned, plainSigned, plainSigned, mainSigned}},
    {FormatCode::Float, {mainFloat, repeatFloat, vectorFloat, commandFloat}},
    {FormatCode::Radians, {mainFloat, repeatFloat, vectorFloat, commandFloat}},
    {FormatCode::Time, {timeText, timeText, timeText, timeText}},
    {FormatCode::Text, {mainText, mainText, vectorText, commandText}},
    {FormatCode::Reserved, {mainReserved, mainReserved, vectorReserved, mainReserved}},
    {FormatCode::Constant, {constantText, constantText, unknownVector, constantText}},
};

Formatter formatterFor(FormatCode code, FieldContext context) {
    const auto column = static_cast<std::size_t>(context);
    for (const FormatterRow& row : kFormatters)
        if (row.code == code) return row.byContext[column];
    static constexpr Formatter kUnknown[4] = {unknownMain, unknownRepeat, unknownVector, unknownMain};
    return kUnknown[column];
}

template <typename Bits, int MantissaBits, int ExponentBits>
const char* classify(Bits bits) {
    constexpr Bits mantissaMask = (Bits{1} << MantissaBits) - 1;
    constexpr Bits exponentMask = (Bits{1} << ExponentBits) - 1;
    const bool negative = (bits >> (MantissaBits + ExponentBits)) != 0;
    const Bits exponent = (bits >> MantissaBits) & exponentMask;
    const Bits mantissa = bits & mantissaMask;
    if (exponent == exponentMask) {
        if (mantissa == 0) return negative ? "INVALID-FP, Negative infinity ( -INF)" : "INVALID-FP, Positive infinity (+INF)";
        return (mantissa >> (MantissaBits - 1)) ? "INVALID-FP, Quiet NaN" : "INVALID-FP, Signaling NaN";
    }
    if (exponent == 0) {
        if (mantissa == 0) return negative ? "INVALID-FP, Negative zero ( - 0)" : nullptr;
        return negative ? "INVALID-FP, Negative denormalized" : "INVALID-FP, Positive denormalized";
    }
    return nullptr;
}

} // namespace

const char* invalidFloatText(ByteSpan bytes, std::int32_t width) {
    Scratch s(bytes);
    if (width == 4) return classify<std::uint32_t, 23, 8>(s.get<std::uint32_t>());
    if (width == 8) return classify<std::uint64_t, 52, 11>(s.get<std::uint64_t>());
    return nullptr;
}

FieldResult appendFieldText(FieldContext context, FormatCode code, std::string_view format, std::int32_t number,
                            ByteSpan bytes, std::string& out) {
    FieldResult r;
    formatterFor(code, context)(FieldArgs{code, format, number, bytes}, r, out);
    return r;
}

std::int32_t fieldValue(FieldContext context, FormatCode code, std::int32_t number, ByteSpan bytes) {
    // Only 1, 2 and 4-byte integers and constants (outside vectors) are remembered.
    switch (code) {
    case FormatCode::Constant: return context == FieldContext::Vector ? -1 : number;
    case FormatCode::Unsigned:
    case FormatCode::Signed: break;
    default: return -1;
    }
    const bool isSigned = code == FormatCode::Signed;
    const Scratch s(bytes);
    switch (number) {
    case 1: return isSigned ? std::int32_t{s.get<std::int8_t>()} : std::int32_t{s.get<std::uint8_t>()};
    case 2: return isSigned ? std::int32_t{s.get<std::int16_t>()} : std::int32_t{s.get<std::uint16_t>()};
    case 4: return isSigned ? s.get<std::int32_t>() : static_cast<std::int32_t>(s.get<std::uint32_t>());
    default: return -1;
    }
}

FieldResult appendFieldText(FieldContext context, std::string_view format, std::int32_t number, ByteSpan bytes,
                            std::string& out) {
    return appendFieldText(context, formatCode(format), format, number, bytes, out);
}

} // namespace tarvik
