#pragma once
// Typed values to command bytes, and the list splitting shared by the panel
// and the script player.

#include "core/bytes.h"
#include "core/vxtime.h"
#include "remote/definitions.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::remote {

// Cuts `text` at every comma; blanks (' ' only) after each comma are skipped;
// every piece counts, empty ones included; the first piece keeps its leading
// blanks and every piece its trailing ones. An empty text gives no pieces.
std::vector<std::string> splitList(std::string_view text);
// The number of pieces splitList would give, without making them.
std::size_t countListPieces(std::string_view text);

// The C decimal rule: leading white space, optional sign, digits up to the
// first other character; no digits gives 0; saturates at the 32-bit limits.
std::int32_t parseDecimal32(std::string_view text);
// The C floating-point rule (leading white space, sign, decimal or exponent
// form, inf/nan), independent of the process locale; 0 when nothing parses.
double parseFloat(std::string_view text);

// What convertValue needs from its surroundings.
struct ConvertContext {
    MessageFn message;                   // conversion messages
    std::function<unsigned()> random;    // 0..32767; "t10" random bytes
    std::function<VxTIME()> localTime;   // "t10" value 2 (whole seconds are kept)
};

// The bytes of one typed value for a parameter of `format` and `width`. A
// value that cannot be converted shows a message and gives no bytes.
Bytes convertValue(std::string_view format, std::int32_t width, std::string_view value, const ConvertContext& context);
// The same, appending to `out`.
void appendValue(ByteWriter& out, std::string_view format, std::int32_t width, std::string_view value,
                 const ConvertContext& context);

} // namespace tarvik::remote
