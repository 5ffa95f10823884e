#pragma once
// The text of one field's value, for the four places a field can appear: the
// main record walk, a repeat block, a vector element and a remote-command body.
// They differ in small, visible ways (markers for uninitialised memory,
// invalid floating-point values, the texts for zero and for unknown widths).

#include "core/bytes.h"
#include "decode/format_table.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik {

// The order is that of the columns of the formatter table.
enum class FieldContext { Main, Repeat, Vector, Command };

// Fields wider than this are not formatted.
inline constexpr std::int32_t kMaxFieldWidth = 10'000;

struct FieldResult {
    bool hidden = false;        // the line is not shown at all
    std::int32_t value = -1;    // the value remembered under the field's name
};

// Appends the text of one scalar field ("t10", "constant", "u", "i", "f",
// "r2d", "s", "x"; in vectors and commands also the texts for unknown codes)
// to `out`. `bytes` holds the field's bytes (missing ones read as zero);
// `number` is the item's number (the width, or the value of a constant).
FieldResult appendFieldText(FieldContext context, std::string_view format, std::int32_t number, ByteSpan bytes,
                            std::string& out);
// The same with the code already looked up (decode/format_table.h).
FieldResult appendFieldText(FieldContext context, FormatCode code, std::string_view format, std::int32_t number,
                            ByteSpan bytes, std::string& out);

// The value appendFieldText() would remember for the field, without its text:
// for walks that only need the counts and lengths a record holds.
std::int32_t fieldValue(FieldContext context, FormatCode code, std::int32_t number, ByteSpan bytes);

// The number a field shows for its stored value: radians ("r2d") in degrees,
// rounded to the stored width as the report shows them; any other format as
// stored. Every reader of field values (report --json, export, the Python
// module) converts here, so a column named "(deg)" holds degrees everywhere.
double shownNumber(FormatCode code, std::int32_t width, double stored);

// The text of a floating-point value whose class is invalid, or nullptr.
const char* invalidFloatText(ByteSpan bytes, std::int32_t width);

// printf-style append (no allocation for short texts).
[[gnu::format(printf, 2, 3)]] void appendf(std::string& out, const char* format, ...);

} // namespace tarvik
