#include "decode/wireshark_c.h"

#include "core/text.h"

#include <map>
#include <set>
#include <string_view>

namespace tarvik {

// The plugin's code, embedded at build time from wireshark_c_runtime.c.
extern const std::string_view kWiresharkCRuntime;

namespace {

// A C string literal; bytes outside printable ASCII as octal escapes (which
// also keeps "??" trigraph-free and hex digits from running on).
std::string cQuoted(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7f || c == '?') {
            out += strprintf("\\%03o", unsigned{c});
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

const char* kindName(const std::string& kind) {
    static const std::map<std::string, const char*> names = {
        {"u8", "VX_U8"},       {"u16", "VX_U16"},     {"u32", "VX_U32"},   {"u64", "VX_U64"},
        {"i8", "VX_I8"},       {"i16", "VX_I16"},     {"i32", "VX_I32"},   {"i64", "VX_I64"},
        {"float", "VX_FLOAT"}, {"double", "VX_DOUBLE"}, {"deg", "VX_DEG"}, {"time", "VX_TIME"},
        {"string", "VX_STRING"}, {"bytes", "VX_BYTES"}, {"count", "VX_COUNT"}, {"const", "VX_CONST"}};
    const auto it = names.find(kind);
    return it == names.end() ? "VX_BYTES" : it->second;
}

const char* formatName(std::string_view format) {
    if (format == "constant") return "VX_FMT_CONSTANT";
    if (format == "repeat") return "VX_FMT_REPEAT";
    if (format == "vector") return "VX_FMT_VECTOR";
    if (format == "vstring") return "VX_FMT_VSTRING";
    if (format == "7008PingData") return "VX_FMT_PING";
    if (format == "sd") return "VX_FMT_SD";
    if (format == "xd") return "VX_FMT_XD";
    return "VX_FMT_SCALAR";
}

// Whether an item's number is its width (as the Lua dissector decides it).
bool scalarWidth(std::string_view format) {
    return format != "constant" && format != "repeat" && format != "vector" && format != "vstring" &&
           format != "7008PingData" && format != "sd" && format != "xd";
}

// Item names as small ids: values are remembered by name during a walk.
struct Names {
    std::map<std::string, int> ids;
    int id(const std::string& name) {
        if (name.empty()) return -2;
        const auto [it, added] = ids.emplace(name, static_cast<int>(ids.size()));
        return it->second;
    }
    // A field a rule reads: -1 when no item carries its name (never remembered).
    int reference(const std::string& name) const {
        if (name.empty()) return -2;
        const auto it = ids.find(name);
        return it == ids.end() ? -1 : it->second;
    }
};

std::string ruleText(const CountRule& r) {
    return strprintf("{%d,%d,%lldLL,%d,%d,%d,%uu,%d,%lldLL,%lldLL}", r.present ? 1 : 0, r.fixed ? 1 : 0,
                     static_cast<long long>(r.fixedCount), r.masked ? 1 : 0, r.maskSecond ? 1 : 0,
                     r.scaleByCount ? 1 : 0, r.mask, r.shift, static_cast<long long>(r.times),
                     static_cast<long long>(r.plus));
}

} // namespace

std::string wiresharkPluginSource(const LayoutCatalogue& given, const WiresharkExportOptions& options) {
    const LayoutCatalogue& c = given.whole();
    const WiresharkModel model = wiresharkModel(c);
    Names names;
    // Every item name first, so that rules naming a later item still find it.
    auto nameItems = [&](const std::vector<CRecordDataLayout>& items) {
        for (const CRecordDataLayout& i : items) names.id(i.name);
    };
    for (const auto& [k, v] : c.records) nameItems(v.items);
    for (const auto& [k, v] : c.optionalData) nameItems(v.items);
    for (const auto& [k, v] : c.repeats) nameItems(v.items);

    std::string tables;
    tables += "/* The tables: made from the layout catalogue";
    if (!options.origin.empty()) tables += " (" + options.origin + ")";
    tables += ". */\n\n";
    tables += "static const guint16 vx_ports[] = {";
    for (const std::uint16_t p : options.ports) tables += std::to_string(p) + ",";
    tables += "};\n\nstatic const value_string vx_titles[] = {\n";
    std::set<std::int32_t> titled;
    for (const auto& [key, record] : c.records)
        if (titled.insert(key.recordType).second && !record.title.empty())
            tables += strprintf("  {%uu, ", static_cast<std::uint32_t>(key.recordType)) + cQuoted(record.title) + "},\n";
    tables += "  {0, NULL}};\n\n";
    for (std::size_t i = 0; i < model.enumerations.size(); ++i) {
        tables += strprintf("static const value_string vx_enum_%zu[] = {\n", i + 1);
        for (const auto& [value, text] : model.enumerations[i])
            tables += strprintf("  {%uu, ", static_cast<std::uint32_t>(value)) + cQuoted(text) + "},\n";
        tables += "  {0, NULL}};\n";
    }
    tables += strprintf("\n#define VX_NFIELDS %zu\nstatic const vx_field_def vx_field_defs[] = {\n", model.fields.size());
    for (std::size_t i = 0; i < model.fields.size(); ++i) {
        const WiresharkField& f = model.fields[i];
        const int e = model.fieldEnums[i];
        tables += "  {" + cQuoted(f.filter) + ", " + cQuoted(f.label) + ", " + kindName(f.kind) + ", " +
                  (e ? strprintf("vx_enum_%d", e) : std::string("NULL")) + "},\n";
    }
    tables += "  {NULL, NULL, 0, NULL}};\n\n";

    int lists = 0;
    auto itemList = [&](const std::vector<CRecordDataLayout>& items) {
        const int n = ++lists;
        std::string out = strprintf("static const vx_item vx_items_%d[] = {\n", n);
        for (const CRecordDataLayout& item : items)
            out += strprintf("  {%d, %s, %d, %d, %d}, /* %s */\n", names.id(item.name), formatName(item.format),
                             scalarWidth(item.format) ? 1 : 0, item.number, model.fieldOf.at(&item) - 1,
                             cQuoted(item.name).c_str());
        out += "  {0, 0, 0, 0, 0}};\n";
        tables += out;
        return strprintf("vx_items_%d, %zu", n, items.size());
    };
    auto layouts = [&](const char* array, const char* countName, const std::map<RecordKey, RecordDescription>& m) {
        std::string out = strprintf("#define %s %zu\nstatic const vx_layout %s[] = {\n", countName, m.size(), array);
        for (const auto& [k, v] : m)
            out += strprintf("  {%d, %d, %d, ", k.recordType, k.recordVersion, k.protocolVersion) + cQuoted(v.title) +
                   ", " + itemList(v.items) + "},\n";
        return out + "  {0, 0, 0, NULL, NULL, 0}};\n\n";
    };
    // Sorted as the catalogue's maps are (type, version, protocol; blocks by
    // type, index, version, protocol): the plugin finds them by binary search.
    std::string arrays = layouts("vx_records", "VX_NRECORDS", c.records);
    arrays += layouts("vx_optional", "VX_NOPTIONAL", c.optionalData);
    arrays += strprintf("#define VX_NREPEATS %zu\nstatic const vx_repeat vx_repeats[] = {\n", c.repeats.size());
    for (const auto& [k, r] : c.repeats)
        arrays += strprintf("  {%d, %d, %d, %d, ", k.recordType, k.blockIndex, k.recordVersion, k.protocolVersion) +
                  cQuoted(r.title) + strprintf(", %d, %d, ", names.reference(r.countField),
                                               names.reference(r.blockSizeField)) +
                  itemList(r.items) + "},\n";
    arrays += "  {0, 0, 0, 0, NULL, 0, 0, NULL, 0}};\n\n";
    int rules = 0;
    std::string sizeRules;
    arrays += strprintf("#define VX_NVECTORS %zu\nstatic const vx_vector vx_vectors[] = {\n", c.vectors.size());
    for (const auto& [k, v] : c.vectors) {
        std::string size = "NULL";
        if (!v.sizeRule.empty()) {
            const SizeRule& r = v.sizeRule;
            const int n = ++rules;
            sizeRules += strprintf("static const gint32 vx_size_table_%d[][2] = {", n);
            for (const auto& [value, width] : r.sizeTable) sizeRules += strprintf("{%d, %d}, ", value, width);
            sizeRules += "{0, 0}};\n";
            sizeRules += strprintf("static const vx_size_rule vx_size_rule_%d = {%d, %d, %uu, vx_size_table_%d, %zu, %d};\n",
                                   n, names.reference(r.sourceField), r.lowBit, r.mask, n, r.sizeTable.size(),
                                   r.multiplierField.empty() ? -2 : names.reference(r.multiplierField));
            size = strprintf("&vx_size_rule_%d", n);
        }
        arrays += strprintf("  {%d, %d, %d, %d, %d, %d, %d, %d, %d, %s, ", k.recordType, k.blockIndex, k.recordVersion,
                            k.protocolVersion, names.reference(v.countField), names.reference(v.secondField), v.width,
                            v.format == "constant" ? 1 : 0, model.fieldOf.at(&v) - 1, size.c_str()) +
                  ruleText(v.countRule) + ", " + ruleText(v.blockCountRule) + "},\n";
    }
    arrays += "  {0}};\n\n";
    arrays += strprintf("#define VX_NVSTRINGS %zu\nstatic const vx_vstring vx_vstrings[] = {\n", c.varStrings.size());
    for (const auto& [k, v] : c.varStrings)
        arrays += strprintf("  {%d, %d, %d, %d, %d},\n", k.recordType, k.blockIndex, k.recordVersion, k.protocolVersion,
                            names.reference(v.lengthField));
    arrays += "  {0, 0, 0, 0, 0}};\n\n";
    tables += "\n" + sizeRules + "\n" + arrays;
    tables += strprintf("#define VX_NNAMES %zu\n", names.ids.size());

    std::string out =
        "/* Vx sonar data protocol: a dissector plugin for Wireshark 4.0, made by\n"
        " * \"tarvik-cli catalogue --export-wireshark-c\" from the tool's record layouts";
    if (!options.origin.empty()) out += "\n * (" + options.origin + ")";
    out += ".\n * Do not edit: export it again after changing the layouts. Build it with the\n"
           " * CMakeLists.txt beside it (see the comment there). */\n\n";
    const std::string_view runtime = kWiresharkCRuntime;
    const std::string_view marker = "/* @TABLES@ */\n";
    const std::size_t at = runtime.find(marker);
    if (at == std::string_view::npos) return out + std::string(runtime);  // never: the marker is in the source
    out += std::string(runtime.substr(0, at));
    out += tables;
    out += std::string(runtime.substr(at + marker.size()));
    return out;
}

std::string wiresharkPluginCMake() {
    return R"(# Builds the Vx dissector plugin against an installed Wireshark (its
# development files: Debian's and Ubuntu's wireshark-dev, Fedora's
# wireshark-devel) and installs it into that Wireshark's plugin folder:
#
#   cmake -S . -B build && cmake --build build
#   sudo cmake --install build                       # for every user, or
#   cmake --build build --target install-personal    # for you: ~/.local/lib/wireshark/plugins/
#
# A plugin runs only in the Wireshark whose version (major.minor) it was built for.
cmake_minimum_required(VERSION 3.10)
project(vx_wireshark_plugin C)
find_package(Wireshark CONFIG REQUIRED)
add_library(vx MODULE vx_dissector.c)
set_target_properties(vx PROPERTIES PREFIX "" C_VISIBILITY_PRESET hidden)
target_link_libraries(vx PRIVATE epan)
install(TARGETS vx LIBRARY DESTINATION "${Wireshark_PLUGIN_INSTALL_DIR}/epan")
set(personal "$ENV{HOME}/.local/lib/wireshark/plugins/${Wireshark_MAJOR_VERSION}.${Wireshark_MINOR_VERSION}/epan")
add_custom_target(install-personal
  COMMAND ${CMAKE_COMMAND} -E make_directory "${personal}"
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:vx> "${personal}/"
  DEPENDS vx
  COMMENT "Copying vx.so into ${personal}")
)";
}

} // namespace tarvik
