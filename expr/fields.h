#pragma once
// The names of fields that filters, `fields` and the Python module use: one
// name per layout field, "vx.TYPE.part" exactly as the generated dissector
// declares it, with "TYPE.part" and (when one record type alone has it)
// "part" as short forms; the frame header's fields ("vx.device", ...); the
// list's own "row"; and where a capture saw a record ("capture.stream").

#include "decode/layout.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::expr {

enum class ValueType { Number, Text, Bool };
const char* valueTypeName(ValueType t);

// Where a field's values come from.
enum class FieldSource {
    Layout,   // items of a record layout, as a walk of the record hands them
    Header,   // the frame header
    Context,  // what the list knows of a record (row, capture origin)
};

// The header and context fields a record has without its layout being walked.
enum class HeaderField {
    ProtocolVersion, Offset, Size, OptionalOffset, OptionalId, Time, RecordVersion, RecordType, Device,
    Enumerator, RecordCounter, Flags, FragmentsTotal, FragmentNumber, ChecksumOk, ChecksumBad,
    Row, CaptureStream, CaptureTime,
};

struct FieldInfo {
    std::string name;         // "vx.7027.quality"
    FieldSource source = FieldSource::Layout;
    ValueType type = ValueType::Number;
    std::string kind;         // what the dissector declares (u32, float, string, ...)
    std::string unit;         // "deg", "Hz", "s", ... (empty: none)
    std::string label;        // the layout item's name, or what a header field is
    // Layout fields
    std::uint32_t recordType = 0;
    bool repeated = false;    // inside a repeat block or a vector: a record may hold many
    // The names of the items whose values the field holds: the items
    // themselves, and for vector elements the vector items that open them.
    std::vector<std::string> items;
    std::vector<std::string> vectorItems;
    // Header and context fields
    HeaderField header = HeaderField::Size;
};

class FieldNames {
public:
    // Every field of `catalogue` (its built-in and user layouts alike).
    explicit FieldNames(const LayoutCatalogue& catalogue);

    const std::vector<FieldInfo>& all() const { return fields_; }
    // The field a name (full or short form) stands for; nullptr when none.
    // `ambiguous` gets the full names a short form could mean when it is not
    // unique (the result is then nullptr).
    const FieldInfo* find(std::string_view name, std::vector<std::string>* ambiguous = nullptr) const;
    // The name nearest to `name` (by edit distance), for "did you mean".
    std::string nearest(std::string_view name) const;
    // The fields of one record type, in the order the dissector declares them.
    std::vector<const FieldInfo*> ofType(std::uint32_t recordType) const;
    const LayoutCatalogue& catalogue() const { return catalogue_; }

private:
    const LayoutCatalogue& catalogue_;
    std::vector<FieldInfo> fields_;
    std::map<std::string, std::size_t, std::less<>> byName_;       // full names and aliases
    std::map<std::string, std::vector<std::size_t>, std::less<>> byPart_;  // "part" -> fields
};

} // namespace tarvik::expr
