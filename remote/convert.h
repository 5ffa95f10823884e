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

// The format of a parameter and the values it takes, as messages name them:
// "u4 (a whole number from 0 to 4294967295)".
std::string describeFormat(std::string_view format, std::int32_t width);

// What convertValue needs from its surroundings.
struct ConvertContext {
    MessageFn message;                   // conversion messages
    std::function<unsigned()> random;    // 0..32767; "t10" random bytes
    std::function<VxTIME()> localTime;   // "t10" value 2 (whole seconds are kept)
};

// The bytes of one typed value for a parameter of `format` and `width`.
// A value goes out exactly as typed or not at all: text that is not wholly a
// value of the format (not a number, a fraction or exponent for an integer, a
// number outside the width's range, an infinite or NaN float, a malformed
// address, a text longer than its field) is refused: no bytes, and false.
// Blanks around a number are allowed, and an empty (or blank) value is 0.
// A format or width the tool cannot convert at all shows its conversion
// message and gives no bytes (not a refusal: the value is not at fault).
Bytes convertValue(std::string_view format, std::int32_t width, std::string_view value, const ConvertContext& context,
                   bool* refused = nullptr);
// The same, appending to `out`; false when the value was refused.
bool appendValue(ByteWriter& out, std::string_view format, std::int32_t width, std::string_view value,
                 const ConvertContext& context);

} // namespace tarvik::remote
