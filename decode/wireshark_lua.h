#pragma once
// A Wireshark dissector (Lua, for the Lua API of Wireshark 4.0) made from the
// layout catalogue: the network frame, the data record frame header and every
// layout of the catalogue, so that what Wireshark shows never drifts from what
// the tool decodes.

#include "decode/layout.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvik {

struct WiresharkExportOptions {
    std::vector<std::uint16_t> ports{7000};  // the port table (TCP and UDP)
    std::string origin;                      // says in the file's heading where the layouts came from
};

// The filter-name part an item name gives: lower case letters and digits,
// every other run of characters one "_", none at either end ("field" when
// nothing is left). "Beam vert. angle (deg)" gives "beam_vert_angle_deg".
std::string wiresharkNamePart(std::string_view itemName);

// The field type the dissector declares for an item of `format` and `number`
// (u8 ... u64, i8 ... i64, float, double, deg, time, string, bytes, const, count).
std::string wiresharkKind(std::string_view format, std::int32_t number);

// One layout field of the dissector.
struct WiresharkField {
    std::string filter;  // "vx.7027.depth"
    std::string label;   // the item name
    std::string kind;    // the field type the dissector declares (u8 ... string, bytes, count, const)
};

// The layout fields the dissector declares, in the order it declares them.
// Names are "vx.TYPE.PART" (see wiresharkNamePart); within a record type an
// item name that gives a part already taken by a field of another kind gets
// "_2", "_3", ... appended; items of the same name and kind share a field.
std::vector<WiresharkField> wiresharkFields(const LayoutCatalogue& catalogue);

// One enumeration as the dissectors show it: (value, text), the first text
// of a value only, negative values of unsigned fields taken modulo 2^32.
using WiresharkEnumeration = std::vector<std::pair<std::int64_t, std::string>>;

// The fields of wiresharkFields with what both dissectors (Lua and C) need to
// declare and fill them: one naming for both.
struct WiresharkModel {
    std::vector<WiresharkField> fields;
    std::vector<int> fieldEnums;  // per field: 1-based index into `enumerations`, 0 for none
    std::vector<WiresharkEnumeration> enumerations;
    // The 1-based field of each layout item (CRecordDataLayout) and each
    // vector's elements (VectorDescription) of the catalogue it was made from.
    std::map<const void*, int> fieldOf;
};
WiresharkModel wiresharkModel(const LayoutCatalogue& catalogue);

// The whole Lua file.
std::string wiresharkDissector(const LayoutCatalogue& catalogue, const WiresharkExportOptions& options);

} // namespace tarvik
