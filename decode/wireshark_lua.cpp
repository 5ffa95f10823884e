#include "decode/wireshark_lua.h"

#include "core/text.h"

#include <map>
#include <set>
#include <string_view>

namespace tarvik {

// The dissector's code, embedded at build time from wireshark_lua_runtime.lua.
extern const std::string_view kWiresharkLuaRuntime;

namespace {

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7f) {
            out += strprintf("\\%03u", unsigned{c});
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

bool scalarWidth(std::string_view format) {
    return format != "constant" && format != "repeat" && format != "vector" && format != "vstring" &&
           format != "7008PingData" && format != "sd" && format != "xd";
}

// The field type an item of `format` and `number` is shown with.
std::string kindOf(std::string_view format, std::int32_t number) {
    auto sized = [&](const char* one, const char* two, const char* four, const char* eight) -> std::string {
        switch (number) {
        case 0: return four;  // sized by a rule (vectors): up to four bytes shown typed
        case 1: return one;
        case 2: return two;
        case 4: return four;
        case 8: return eight;
        default: return "bytes";
        }
    };
    if (format == "u") return sized("u8", "u16", "u32", "u64");
    if (format == "i") return sized("i8", "i16", "i32", "i64");
    if (format == "f") return number == 4 ? "float" : number == 8 ? "double" : "bytes";
    if (format == "r2d") return number == 4 || number == 8 ? "deg" : "bytes";
    if (format == "t10") return number == 10 ? "time" : "bytes";
    if (format == "s" || format == "sd" || format == "vstring") return "string";
    if (format == "constant") return "const";
    if (format == "repeat" || format == "vector") return "count";
    return "bytes";
}

bool takesEnumeration(const std::string& kind) {
    return kind == "u8" || kind == "u16" || kind == "u32" || kind == "i8" || kind == "i16" || kind == "i32" ||
           kind == "const";
}

WiresharkEnumeration enumerationValues(const Enumeration& e, const std::string& kind) {
    const bool isUnsigned = kind[0] == 'u';
    std::set<std::int64_t> seen;
    WiresharkEnumeration out;
    for (const EnumEntry& entry : e) {
        std::int64_t v = entry.value;
        if (isUnsigned && v < 0) v += std::int64_t{1} << 32;
        if (!seen.insert(v).second) continue;  // the first entry of a value is the one shown
        out.emplace_back(v, entry.text);
    }
    return out;
}

std::string enumerationText(const WiresharkEnumeration& e) {
    std::string out = "{";
    for (const auto& [value, text] : e) out += strprintf("[%lld]=", static_cast<long long>(value)) + quoted(text) + ",";
    return out + "}";
}

struct Builder {
    WiresharkModel model;
    std::vector<std::string> enumerations;
    std::map<std::string, int> enumIndex;
    std::set<std::string> taken;
    std::map<std::string, std::vector<int>> byPart;  // "vx.T.part" -> fields made from it

    // The 1-based index of the field for an item of record type `type`.
    int field(std::int32_t type, const std::string& name, const std::string& kind, const Enumeration* e) {
        int en = 0;
        if (e && !e->empty() && takesEnumeration(kind)) {
            WiresharkEnumeration values = enumerationValues(*e, kind);
            const std::string text = enumerationText(values);
            auto [it, added] = enumIndex.emplace(text, static_cast<int>(enumerations.size()) + 1);
            if (added) {
                enumerations.push_back(text);
                model.enumerations.push_back(std::move(values));
            }
            en = it->second;
        }
        const std::string base = strprintf("vx.%d.", type) + wiresharkNamePart(name);
        for (const int i : byPart[base])
            if (model.fields[static_cast<std::size_t>(i)].kind == kind && model.fieldEnums[static_cast<std::size_t>(i)] == en)
                return i + 1;
        std::string filter = base;
        for (int n = 2; taken.count(filter); ++n) filter = base + "_" + std::to_string(n);
        taken.insert(filter);
        model.fields.push_back({filter, name, kind});
        model.fieldEnums.push_back(en);
        byPart[base].push_back(static_cast<int>(model.fields.size()) - 1);
        return static_cast<int>(model.fields.size());
    }

    std::string items(std::int32_t type, const std::vector<CRecordDataLayout>& list) {
        std::string out = "{\n";
        for (const CRecordDataLayout& item : list) {
            const int f = field(type, item.name, kindOf(item.format, item.number), &item.enumeration);
            model.fieldOf[&item] = f;
            out += strprintf("  {%s,%s,%d,%d%s},\n", quoted(item.name).c_str(), quoted(item.format).c_str(),
                             item.number, f, scalarWidth(item.format) ? ",true" : "");
        }
        return out + "}";
    }
};

std::string keyText(std::int32_t protocol, std::int32_t version, std::int32_t type) {
    return strprintf("\"%d/%d/%d\"", protocol, version, type);
}
std::string keyText(const BlockKey& k) {
    return strprintf("\"%d/%d/%d/%d\"", k.protocolVersion, k.recordVersion, k.recordType, k.blockIndex);
}

std::string ruleText(const CountRule& r) {
    if (!r.present) return "nil";
    if (r.fixed) return strprintf("{fixed=%lld}", static_cast<long long>(r.fixedCount));
    std::string out = "{";
    if (r.masked)
        out += strprintf("mask=%u,second=%s,scale=%s,", r.mask, r.maskSecond ? "true" : "false",
                         r.scaleByCount ? "true" : "false");
    out += strprintf("shift=%d,times=%lld,plus=%lld}", r.shift, static_cast<long long>(r.times),
                     static_cast<long long>(r.plus));
    return out;
}

std::string sizeRuleText(const SizeRule& r) {
    if (r.empty()) return "nil";
    std::string out = "{src=" + quoted(r.sourceField) + strprintf(",low=%d,mask=%u,tab={", r.lowBit, r.mask);
    for (const auto& [value, width] : r.sizeTable) out += strprintf("{%u,%d},", static_cast<std::uint32_t>(value), width);
    out += "}";
    if (!r.multiplierField.empty()) out += ",mul=" + quoted(r.multiplierField);
    return out + "}";
}

struct Generated {
    Builder b;
    std::string layouts;  // the L, O, RB, VE and VS tables
};

Generated generate(const LayoutCatalogue& layouts) {
    const LayoutCatalogue& c = layouts.whole();
    Generated g;
    Builder& b = g.b;
    std::string& out = g.layouts;
    std::set<std::int32_t> types;
    for (const auto& [k, v] : c.records) types.insert(k.recordType);
    for (const auto& [k, v] : c.optionalData) types.insert(k.recordType);
    for (const auto& [k, v] : c.repeats) types.insert(k.recordType);
    for (const auto& [k, v] : c.vectors) types.insert(k.recordType);
    for (const auto& [k, v] : c.varStrings) types.insert(k.recordType);
    // Field names are handed out type by type, in the same order every time:
    // a layout added for one type never renames the fields of another.
    for (const std::int32_t type : types) {
        for (auto it = c.records.lower_bound({INT32_MIN, INT32_MIN, type}); it != c.records.end() && it->first.recordType == type; ++it)
            out += "L[" + keyText(it->first.protocolVersion, it->first.recordVersion, type) + "]={title=" +
                   quoted(it->second.title) + ",items=" + b.items(type, it->second.items) + "}\n";
        for (auto it = c.optionalData.lower_bound({INT32_MIN, INT32_MIN, type});
             it != c.optionalData.end() && it->first.recordType == type; ++it)
            out += "O[" + keyText(it->first.protocolVersion, it->first.recordVersion, type) + "]={title=" +
                   quoted(it->second.title) + ",items=" + b.items(type, it->second.items) + "}\n";
        for (auto it = c.repeats.lower_bound(BlockKey(INT32_MIN, INT32_MIN, type, INT32_MIN));
             it != c.repeats.end() && it->first.recordType == type; ++it) {
            const RepeatDescription& r = it->second;
            out += "RB[" + keyText(it->first) + "]={title=" + quoted(r.title) + ",count=" + quoted(r.countField) +
                   ",size=" + quoted(r.blockSizeField) + ",items=" + b.items(type, r.items) + "}\n";
        }
        for (auto it = c.vectors.lower_bound(BlockKey(INT32_MIN, INT32_MIN, type, INT32_MIN));
             it != c.vectors.end() && it->first.recordType == type; ++it) {
            const VectorDescription& v = it->second;
            const int f = b.field(type, v.elementName, kindOf(v.format, v.width), nullptr);
            b.model.fieldOf[&v] = f;
            out += "VE[" + keyText(it->first) + "]={count=" + quoted(v.countField) + ",second=" +
                   quoted(v.secondField) + strprintf(",width=%d,format=", v.width) + quoted(v.format) +
                   strprintf(",field=%d,size=", f) + sizeRuleText(v.sizeRule) + ",rule=" + ruleText(v.countRule) +
                   ",blockRule=" + ruleText(v.blockCountRule) + "}\n";
        }
        for (auto it = c.varStrings.lower_bound(BlockKey(INT32_MIN, INT32_MIN, type, INT32_MIN));
             it != c.varStrings.end() && it->first.recordType == type; ++it)
            out += "VS[" + keyText(it->first) + "]={len=" + quoted(it->second.lengthField) +
                   ",name=" + quoted(it->second.name) + "}\n";
    }
    return g;
}

} // namespace

std::string wiresharkNamePart(std::string_view itemName) {
    std::string out;
    bool gap = false;
    for (const char ch : itemName) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) {
            if (gap && !out.empty()) out += '_';
            gap = false;
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        } else {
            gap = true;
        }
    }
    return out.empty() ? "field" : out;
}

std::string wiresharkKind(std::string_view format, std::int32_t number) { return kindOf(format, number); }

std::vector<WiresharkField> wiresharkFields(const LayoutCatalogue& catalogue) {
    return generate(catalogue).b.model.fields;
}

WiresharkModel wiresharkModel(const LayoutCatalogue& catalogue) {
    return std::move(generate(catalogue).b.model);
}

std::string wiresharkDissector(const LayoutCatalogue& layouts, const WiresharkExportOptions& options) {
    const LayoutCatalogue& catalogue = layouts.whole();
    const Generated g = generate(catalogue);
    std::string out;
    out += "-- Vx sonar data protocol: a dissector for Wireshark 4.0 (Lua), made by\n"
           "-- \"tarvik-cli catalogue --export-wireshark\" from the tool's record layouts";
    if (!options.origin.empty()) out += "\n-- (" + options.origin + ")";
    out += ".\n-- Do not edit: export it again after changing the layouts.\n"
           "-- Install: copy it into ~/.local/lib/wireshark/plugins/ and restart Wireshark,\n"
           "-- or run tshark -X lua_script:THIS_FILE.\n\n"
           "local vx = Proto(\"vx\", \"Vx sonar data protocol\")\n"
           "local E, F, L, O, RB, VE, VS = {}, {}, {}, {}, {}, {}, {}\n";
    out += "local PORTS = {";
    for (const std::uint16_t p : options.ports) out += std::to_string(p) + ",";
    out += "}\n";
    out += "local TITLES = {\n";
    std::set<std::int32_t> titled;
    for (const auto& [key, record] : catalogue.records)
        if (titled.insert(key.recordType).second && !record.title.empty())
            out += strprintf("  [%u]=", static_cast<std::uint32_t>(key.recordType)) + quoted(record.title) + ",\n";
    out += "}\n";
    for (std::size_t i = 0; i < g.b.enumerations.size(); ++i)
        out += strprintf("E[%zu]=", i + 1) + g.b.enumerations[i] + "\n";
    for (std::size_t i = 0; i < g.b.model.fields.size(); ++i) {
        const WiresharkField& f = g.b.model.fields[i];
        out += strprintf("F[%zu]={", i + 1) + quoted(f.filter) + "," + quoted(f.label) + "," + quoted(f.kind);
        if (g.b.model.fieldEnums[i]) out += strprintf(",%d", g.b.model.fieldEnums[i]);
        out += "}\n";
    }
    out += g.layouts;
    out += "\n";
    out += kWiresharkLuaRuntime;
    return out;
}

} // namespace tarvik
