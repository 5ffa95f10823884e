#include "decode/format_table.h"

#include "decode/field_format.h"

namespace tarvik {

namespace {

constexpr FormatInfo kFormats[] = {
    {"u", FormatCode::Unsigned, true, true, true},
    {"i", FormatCode::Signed, true, true, true},
    {"f", FormatCode::Float, true, true, true},
    {"r2d", FormatCode::Radians, true, false, true},
    {"d2r", FormatCode::Degrees, false, true, false},
    {"t10", FormatCode::Time, true, true, true},
    {"s", FormatCode::Text, true, true, true},
    {"x", FormatCode::Reserved, true, true, true},
    {"sd", FormatCode::BackText, true, false, false},
    {"xd", FormatCode::BackSkip, true, false, true},
    {"constant", FormatCode::Constant, true, false, false},
    {"repeat", FormatCode::Repeat, true, true, false},
    {"vector", FormatCode::Vector, true, false, false},
    {"vstring", FormatCode::VarString, true, false, false},
    {"7008PingData", FormatCode::PingData, true, false, false},
    {"IPAddress", FormatCode::IpAddress, false, true, false},
};

constexpr std::int32_t kMaxBackReference = 1000;
constexpr std::int32_t kMaxBlockIndex = 1000;
constexpr std::int32_t kMaxCommandWidth = 255;

} // namespace

const FormatInfo* formatInfo(std::string_view code) {
    for (const FormatInfo& f : kFormats)
        if (f.code == code) return &f;
    return nullptr;
}

FormatCode formatCode(std::string_view code) {
    // The common codes first: this runs for every field of every report.
    if (code.size() == 1) {
        switch (code[0]) {
        case 'u': return FormatCode::Unsigned;
        case 'f': return FormatCode::Float;
        case 'i': return FormatCode::Signed;
        case 's': return FormatCode::Text;
        case 'x': return FormatCode::Reserved;
        default: return FormatCode::Unknown;
        }
    }
    const FormatInfo* f = formatInfo(code);
    return f ? f->id : FormatCode::Unknown;
}

const char* checkNumber(const FormatInfo& info, std::int32_t n, bool sizeRule, bool command, bool vector) {
    if ((sizeRule || vector) && n == 0) {
        switch (info.id) {
        case FormatCode::Unsigned:
        case FormatCode::Signed:
        case FormatCode::Float:
        case FormatCode::Radians:
        case FormatCode::Time:
        case FormatCode::Text:
        case FormatCode::Reserved: return nullptr;
        default: break;
        }
    }
    if (command) {
        switch (info.id) {
        case FormatCode::Unsigned:
        case FormatCode::Signed:
        case FormatCode::Reserved:
            return n >= 1 && n <= kMaxCommandWidth ? nullptr : "a command parameter's width is 1 to 255";
        case FormatCode::Float:
        case FormatCode::Degrees: return n == 4 || n == 8 ? nullptr : "the width must be 4 or 8";
        case FormatCode::Time: return n == 10 ? nullptr : "the width must be 10";
        case FormatCode::Text: return n >= 1 && n <= kMaxFieldWidth ? nullptr : "the width must be 1 to 10000";
        case FormatCode::IpAddress: return n == 4 ? nullptr : "the width must be 4";
        case FormatCode::Repeat: return n >= 0 && n <= kMaxBlockIndex ? nullptr : "the block index must be 0 to 1000";
        default: return "not allowed in a command";
        }
    }
    switch (info.id) {
    case FormatCode::Unsigned:
        return n == 1 || n == 2 || n == 4 || n == 8 || n == 16 ? nullptr : "the width must be 1, 2, 4, 8 or 16";
    case FormatCode::Signed: return n == 1 || n == 2 || n == 4 || n == 8 ? nullptr : "the width must be 1, 2, 4 or 8";
    case FormatCode::Float:
    case FormatCode::Radians:
    case FormatCode::Degrees: return n == 4 || n == 8 ? nullptr : "the width must be 4 or 8";
    case FormatCode::Time: return n == 10 ? nullptr : "the width must be 10";
    case FormatCode::Text:
    case FormatCode::Reserved: return n >= 1 && n <= kMaxFieldWidth ? nullptr : "the width must be 1 to 10000";
    case FormatCode::BackText:
    case FormatCode::BackSkip:
        return n >= 0 && n <= kMaxBackReference ? nullptr : "the back-reference depth must be 0 to 1000";
    case FormatCode::Constant: return nullptr;
    case FormatCode::Repeat:
    case FormatCode::Vector:
    case FormatCode::VarString:
    case FormatCode::PingData: return n >= 0 && n <= kMaxBlockIndex ? nullptr : "the block index must be 0 to 1000";
    case FormatCode::IpAddress: return n == 4 ? nullptr : "the width must be 4";
    case FormatCode::Unknown: break;
    }
    return "unknown format";
}

} // namespace tarvik
