#pragma once
// The field a line of a record's report shows: what "Apply as Column" and
// "Apply as Filter" of the report list name.

#include "core/bytes.h"
#include "decode/walker.h"
#include "expr/fields.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tarvik::expr {

struct ReportLineField {
    std::string name;                       // "7027.quality", "vx.device"
    std::optional<std::size_t> occurrence;  // which occurrence of a repeated field the line shows
};

// The field `line` of the report of `frame` shows: the header's device, size,
// record counter and time lines, and the lines of the record's items
// (`walked`: the items the report's walk took, with their lines). nullopt
// for lines that show no field (titles, blanks, texts).
std::optional<ReportLineField> fieldOfReportLine(const FieldNames& names, ByteSpan frame,
                                                 const std::vector<std::string>& lines,
                                                 const std::vector<WalkedField>& walked, std::size_t line);

// "NAME == VALUE" for the field of `line` and its value in `frame`, an
// expression that passes this record (and those with the same value there);
// nullopt when the line shows no field whose value can be told.
std::optional<std::string> filterOfReportLine(const FieldNames& names, ByteSpan frame,
                                              const std::vector<std::string>& lines,
                                              const std::vector<WalkedField>& walked, std::size_t line);

// A text as a quoted literal of the expression language.
std::string quotedText(std::string_view text);

} // namespace tarvik::expr
