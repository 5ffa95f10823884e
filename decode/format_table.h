#pragma once
// The format codes of layout items, looked up once: what each code is, where it
// may appear and which numbers it accepts. Formatting and walking switch on the
// code's identity instead of comparing texts.

#include <cstdint>
#include <string_view>

namespace tarvik {

enum class FormatCode : std::uint8_t {
    Unsigned,     // "u"
    Signed,       // "i"
    Float,        // "f"
    Radians,      // "r2d": stored in radians, shown in degrees
    Degrees,      // "d2r": commands only, typed in degrees, sent in radians
    Time,         // "t10"
    Text,         // "s"
    Reserved,     // "x"
    BackText,     // "sd": text whose length an earlier field holds
    BackSkip,     // "xd": skipped bytes whose length an earlier field holds
    Constant,     // "constant"
    Repeat,       // "repeat"
    Vector,       // "vector"
    VarString,    // "vstring"
    PingData,     // "7008PingData"
    IpAddress,    // "IPAddress": commands only
    Unknown,      // anything else
};

struct FormatInfo {
    std::string_view code;
    FormatCode id;
    bool inRecords;   // record, optional-data, repeat-block and beam-sample items
    bool inCommands;  // command parameters
    bool inVectors;   // vector elements
};

// The entry for `code`, or nullptr when the code is unknown.
const FormatInfo* formatInfo(std::string_view code);
// The identity of `code` (Unknown when it is not one of ours).
FormatCode formatCode(std::string_view code);

// Nullptr when `number` suits the format, else what is wrong with it.
// `sizeRule`: the width comes from a size rule (number 0 is then allowed);
// `command`: the item is a command parameter; `vector`: a vector element width.
const char* checkNumber(const FormatInfo& info, std::int32_t number, bool sizeRule, bool command, bool vector = false);

} // namespace tarvik
