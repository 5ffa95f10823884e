// Reading layout definition texts (YAML) into a loader's state: the part of
// the loader that links the YAML library.

#include "decode/catalogue/enumerations.h"
#include "decode/field_format.h"
#include "decode/format_table.h"
#include "decode/layout_loader_state.h"
#include "decode/yaml_budget.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <limits>
#include <span>
#include <sstream>

namespace tarvik {

namespace {

// A problem in one definition: it is left out.
struct DefinitionError {
    int line;
    std::string text;
};
// A definition whose problems have been reported one by one (every faulty
// item of it): it is left out without a further problem.
struct DefinitionLeftOut {};

int lineOf(const YAML::Node& n) { return n.Mark().is_null() ? 0 : n.Mark().line + 1; }

[[noreturn]] void fail(const YAML::Node& n, std::string text) { throw DefinitionError{lineOf(n), std::move(text)}; }

std::string scalarText(const YAML::Node& n, const char* what) {
    if (!n.IsScalar()) fail(n, std::string(what) + " must be a text");
    return n.Scalar();
}

std::int64_t wholeNumber(const YAML::Node& n, const char* what, std::int64_t low, std::int64_t high) {
    if (!n.IsScalar()) fail(n, std::string(what) + " must be a whole number");
    long long v = 0;
    try {
        v = n.as<long long>();
    } catch (const YAML::Exception&) {
        fail(n, std::string(what) + " must be a whole number, not \"" + n.Scalar() + "\"");
    }
    if (v < low || v > high)
        fail(n, strprintf("%s %lld is out of range (%lld to %lld)", what, v, (long long)low, (long long)high));
    return v;
}

double realNumber(const YAML::Node& n, const char* what) {
    if (!n.IsScalar()) fail(n, std::string(what) + " must be a number");
    try {
        return n.as<double>();
    } catch (const YAML::Exception&) {
        fail(n, std::string(what) + " must be a number, not \"" + n.Scalar() + "\"");
    }
}

// Checks that a map holds only known keys.
void onlyKeys(const YAML::Node& n, std::initializer_list<std::string_view> keys, const char* what) {
    if (!n.IsMap()) fail(n, std::string(what) + " must be a map");
    for (const auto& kv : n) {
        const std::string key = kv.first.IsScalar() ? kv.first.Scalar() : std::string();
        if (std::find(keys.begin(), keys.end(), key) == keys.end())
            fail(kv.first, "unknown key \"" + key + "\" in " + what);
    }
}

YAML::Node required(const YAML::Node& map, const char* key, const char* what) {
    YAML::Node n = map[key];
    if (!n) fail(map, std::string(what) + " needs \"" + key + "\"");
    return n;
}

} // namespace

void LayoutLoader::State::spendEnumeration(const YAML::Node& n, std::size_t bytes) {
    if (bytes > enumerationBytesLeft)
        fail(n, strprintf("the enumerations of the file's items come to more than %zu MiB in all",
                          kMaxEnumerationBytesPerFile >> 20));
    if (bytes > enumerationBytesLeftInAll)
        fail(n, strprintf("the enumerations of all layout files come to more than %zu MiB",
                          kMaxEnumerationBytesInAll >> 20));
    enumerationBytesLeft -= bytes;
    enumerationBytesLeftInAll -= bytes;
}

void LayoutLoader::State::blockKey(const YAML::Node& d, const char* kind, const char* what, BlockKey& key,
                                   std::set<BlockKey>& seen) {
    key.recordType = static_cast<std::int32_t>(wholeNumber(required(d, "type", what), "type", 0, 0x7fffffff));
    key.blockIndex = static_cast<std::int32_t>(wholeNumber(required(d, "block", what), "block", 0, kMaxBlockIndex));
    keyVersions(d, key.protocolVersion, key.recordVersion);
    if (!seen.insert(key).second) fail(d, blockKeyText(kind, key) + " is defined twice in this file");
}


void LayoutLoader::State::measureBuiltIns() {
    // What the built-in texts take from the budget in all, as if they had
    // been measured when they loaded (they are far within their own).
    hasSource = false;
    for (const auto& [builtInName, builtInText] : builtInsNotMeasured) {
        file = builtInName;
        measureExpanded(builtInText);
    }
    builtInsNotMeasured.clear();
}

bool LayoutLoader::State::measureExpanded(std::string_view text) {
    try {
        std::istringstream in{std::string(text)};
        YAML::Parser parser(in);
        ExpandedSize size({kMaxParsedNodesPerFile, kMaxExpandedNodesPerFile,
                           std::min(kMaxExpandedBytesPerFile, expandedBytesLeftInAll)});
        parser.HandleNextDocument(size);
        expandedBytesLeftInAll -= std::min(size.expandedBytes(), expandedBytesLeftInAll);
    } catch (const ExpandedSize::TooLarge& e) {
        problem(e.line, e.text);
        return false;
    } catch (const YAML::Exception&) {
        // Said with its line when the text is loaded.
    }
    return true;
}

void LayoutLoader::State::loadText(std::string_view name, std::string_view text, bool builtIn) {
    if (!builtIn) measureBuiltIns();
    onlyCompiledBuiltIns = false;
    file = std::string(name);
    newSource(file);
    fileEnumerations.clear();
    itemsLeft = kMaxItemsPerFile;
    enumerationBytesLeft = kMaxEnumerationBytesPerFile;
    fileProblems = 0;
    if (text.size() > kMaxFileBytes) {
        problem(0, "the file is larger than 16 MiB");
        return;
    }
    int deepLine = 0;
    if (yamlTooDeep(text, kMaxNesting, deepLine)) {
        problem(deepLine, strprintf("nested deeper than %d levels", kMaxNesting));
        return;
    }
    // The size as aliases expand it, before the tree is built.
    if (builtIn) builtInsNotMeasured.emplace_back(file, text);
    else if (!measureExpanded(text)) return;
    YAML::Node root;
    ++textsParsed;
    try {
        root = YAML::Load(std::string(text));
    } catch (const YAML::Exception& e) {
        problem(e.mark.is_null() ? 0 : e.mark.line + 1, "not valid YAML: " + e.msg);
        return;
    }
    if (!root || root.IsNull()) return;  // an empty file defines nothing
    if (!root.IsMap()) {
        problem(lineOf(root), "a definition file is a map of sections (records:, repeats:, ...)");
        return;
    }
    // Enumerations first: the other sections name them.
    static const char* const kOrder[] = {"enumerations", "beam-sample", "vectors",  "repeats",
                                         "records",      "var-strings", "optional-data", "commands",
                                         "command-repeats"};
    for (const auto& kv : root) {
        const std::string key = kv.first.IsScalar() ? kv.first.Scalar() : std::string();
        if (std::find(std::begin(kOrder), std::end(kOrder), key) == std::end(kOrder))
            problem(lineOf(kv.first), "unknown section \"" + key + "\"");
    }
    for (const char* section : kOrder) {
        const YAML::Node n = root[section];
        if (!n || n.IsNull()) continue;
        try {
            loadSection(section, n);
        } catch (const DefinitionError& e) {
            problem(e.line, e.text);
        } catch (const DefinitionLeftOut&) {
        } catch (const YAML::Exception& e) {
            problem(e.mark.is_null() ? lineOf(n) : e.mark.line + 1, e.msg);
        }
    }
    hasSource = false;
}

template <typename Key, typename Fn>
void LayoutLoader::State::eachDefinition(const YAML::Node& list, const char* what, Fn&& parse) {
    if (!list.IsSequence()) fail(list, std::string(what) + " must be a list of definitions");
    std::set<Key> seen;
    for (const YAML::Node& n : list) {
        try {
            Key key{};
            if (!parse(n, key, seen)) continue;
        } catch (const DefinitionError& e) {
            problem(e.line, e.text);
        } catch (const DefinitionLeftOut&) {
        } catch (const YAML::Exception& e) {
            problem(e.mark.is_null() ? lineOf(n) : e.mark.line + 1, e.msg);
        }
    }
}

void LayoutLoader::State::keyVersions(const YAML::Node& n, std::int32_t& protocol, std::int32_t& version) {
    if (n["protocol"]) protocol = static_cast<std::int32_t>(wholeNumber(n["protocol"], "protocol", 0, 0x7fffffff));
    if (n["version"]) version = static_cast<std::int32_t>(wholeNumber(n["version"], "version", 0, 0x7fffffff));
}

const Enumeration& LayoutLoader::State::enumerationNamed(const YAML::Node& n) {
    const std::string name = n.Scalar();
    if (auto it = fileEnumerations.find(name); it != fileEnumerations.end()) return it->second;
    if (auto it = enumerations.find(name); it != enumerations.end()) return it->second;
    if (name == "error-codes") {
        auto [it, fresh] = enumerations.emplace(name, errorCodes7502());
        return it->second;
    }
    fail(n, "no enumeration named \"" + name + "\"");
}

Enumeration LayoutLoader::State::parseEnumeration(const YAML::Node& n) {
    if (n.IsScalar()) return enumerationNamed(n);
    if (n.IsSequence()) {  // [[value, text], ...]
        Enumeration e;
        for (const auto& pair : n) {
            if (!pair.IsSequence() || pair.size() != 2) fail(pair, "an enumeration entry is [value, text]");
            const std::int64_t v = wholeNumber(pair[0], "an enumeration value", std::numeric_limits<std::int32_t>::min(),
                                               std::numeric_limits<std::uint32_t>::max());
            e.push_back({static_cast<std::int32_t>(static_cast<std::uint32_t>(v)), scalarText(pair[1], "an enumeration text")});
        }
        return e;
    }
    if (!n.IsMap()) fail(n, "an enumeration is a map {value: text} or the name of one");
    if (n["bits"] || n["sequence"]) {
        if (n["sequence"]) {
            onlyKeys(n, {"sequence"}, "a sequence enumeration");
            const YAML::Node list = n["sequence"];
            if (!list.IsSequence()) fail(list, "\"sequence\" must be a list of texts");
            std::vector<std::string> texts;
            for (const auto& t : list) texts.push_back(scalarText(t, "an enumeration text"));
            return sequential(texts);
        }
        onlyKeys(n, {"bits", "separator", "none", "suffix"}, "a bit enumeration");
        const YAML::Node list = n["bits"];
        if (!list.IsSequence() || list.size() > 16) fail(list, "\"bits\" must be a list of at most 16 texts");
        std::vector<std::string> bits;
        for (const auto& t : list) bits.push_back(scalarText(t, "a bit name"));
        const std::string separator = n["separator"] ? scalarText(n["separator"], "separator") : ", ";
        const std::string none = n["none"] ? scalarText(n["none"], "none") : std::string();
        const std::string suffix = n["suffix"] ? scalarText(n["suffix"], "suffix") : std::string();
        // No combination is longer than all names, separators and the suffix together.
        std::size_t longest = suffix.size();
        for (const std::string& b : bits) longest += b.size() + separator.size();
        if ((std::size_t{1} << bits.size()) * (sizeof(EnumEntry) + std::max(longest, none.size())) >
            std::min(kMaxEnumerationBytesPerFile, enumerationBytesLeft))
            fail(n, strprintf("the texts of these bit combinations could come to more than %zu MiB",
                                 kMaxEnumerationBytesPerFile >> 20));
        Enumeration e = bitCombinations(bits, separator, none);
        if (!suffix.empty())
            for (std::size_t v = 1; v < e.size(); ++v) e[v].text += suffix;
        return e;
    }
    Enumeration e;
    std::set<std::int64_t> seen;
    for (const auto& kv : n) {
        const std::int64_t v = wholeNumber(kv.first, "an enumeration value", std::numeric_limits<std::int32_t>::min(),
                                           std::numeric_limits<std::uint32_t>::max());
        if (!seen.insert(v).second) fail(kv.first, strprintf("enumeration value %lld is given twice", (long long)v));
        e.push_back({static_cast<std::int32_t>(static_cast<std::uint32_t>(v)), scalarText(kv.second, "an enumeration text")});
    }
    return e;
}

// An enumeration checked against the values the item can take.
Enumeration LayoutLoader::State::enumerationOf(const YAML::Node& n, const CRecordDataLayout& item, ItemContext ctx) {
    Enumeration e = parseEnumeration(n);
    spendEnumeration(n, enumerationBytes(e));
    const std::int32_t w = item.number;
    std::int64_t low = 0, high = 0;
    if (item.format == "constant") return e;
    if ((item.format == "u" || item.format == "i") && (w == 1 || w == 2 || w == 4)) {
        const int bits = 8 * w;
        if (item.format == "u") {
            low = 0;
            high = (std::int64_t{1} << bits) - 1;
        } else {
            low = -(std::int64_t{1} << (bits - 1));
            high = (std::int64_t{1} << (bits - 1)) - 1;
        }
    } else if (ctx == ItemContext::Command) {
        return e;  // a value list shown to the user; it does not change what is sent
    } else {
        fail(n, "only \"u\" and \"i\" fields of 1, 2 or 4 bytes and \"constant\" items can have an enumeration");
    }
    for (const EnumEntry& entry : e) {
        std::int64_t v = entry.value;
        // Four-byte unsigned fields are remembered as signed 32-bit values.
        if (item.format == "u" && w == 4 && v < 0) v += std::int64_t{1} << 32;
        if (v < low || v > high)
            fail(n, strprintf("enumeration value %lld is out of the range of a %d-byte \"%s\" field", (long long)v, w,
                              item.format.c_str()));
    }
    return e;
}

SizeRule LayoutLoader::State::parseSizeRule(const YAML::Node& n) {
    onlyKeys(n, {"field", "bits", "table", "multiplier"}, "a size rule");
    const std::string field = scalarText(required(n, "field", "a size rule"), "the size rule's field");
    if (field.empty()) fail(n, "the size rule's field is empty");
    const YAML::Node bits = required(n, "bits", "a size rule");
    if (!bits.IsSequence() || bits.size() != 2) fail(bits, "\"bits\" must be [low, high]");
    const auto low = static_cast<std::int32_t>(wholeNumber(bits[0], "the low bit", 0, 31));
    const auto high = static_cast<std::int32_t>(wholeNumber(bits[1], "the high bit", low, 31));
    std::vector<std::pair<std::int32_t, std::int32_t>> table;
    if (const YAML::Node t = n["table"]) {
        if (!t.IsMap()) fail(t, "\"table\" must be a map {value: bytes}");
        for (const auto& kv : t)
            table.emplace_back(static_cast<std::int32_t>(wholeNumber(kv.first, "a size table value", 0, 0x7fffffff)),
                               static_cast<std::int32_t>(wholeNumber(kv.second, "a size table width", 0, kMaxFieldWidth)));
    }
    std::string multiplier = n["multiplier"] ? scalarText(n["multiplier"], "the multiplier field") : std::string();
    return SizeRule(field, low, high, std::move(table), std::move(multiplier));
}

CountRule LayoutLoader::State::parseCountRule(const YAML::Node& n) {
    onlyKeys(n, {"fixed", "select", "mask", "scale", "shift", "times", "plus"}, "a count rule");
    CountRule r;
    r.present = true;
    if (n["fixed"]) {
        if (n.size() != 1) fail(n, "\"fixed\" stands alone in a count rule");
        r.fixed = true;
        r.fixedCount = wholeNumber(n["fixed"], "fixed", 0, kMaxLookupCount);
        return r;
    }
    if (n["mask"]) {
        r.masked = true;
        r.mask = static_cast<std::uint32_t>(wholeNumber(n["mask"], "mask", 0, 0xffffffffLL));
    } else if (n["select"] || n["scale"] || n["shift"]) {
        fail(n, "\"select\", \"scale\" and \"shift\" need a \"mask\"");
    }
    if (const YAML::Node s = n["select"]) {
        const std::string v = scalarText(s, "select");
        if (v != "count" && v != "second") fail(s, "\"select\" is \"count\" or \"second\"");
        r.maskSecond = v == "second";
    }
    if (const YAML::Node s = n["scale"]) {
        const std::string v = scalarText(s, "scale");
        if (v != "count" && v != "one") fail(s, "\"scale\" is \"count\" or \"one\"");
        r.scaleByCount = v == "count";
    }
    if (n["shift"]) r.shift = static_cast<std::int32_t>(wholeNumber(n["shift"], "shift", 0, 31));
    if (n["times"]) r.times = wholeNumber(n["times"], "times", 0, 1000);
    if (n["plus"]) r.plus = wholeNumber(n["plus"], "plus", -kMaxLookupCount, kMaxLookupCount);
    return r;
}

CRecordDataLayout LayoutLoader::State::parseItem(const YAML::Node& n, ItemContext ctx,
                                                 CommandParameterDefinition* command) {
    if (itemsLeft == 0) fail(n, strprintf("the file defines more than %zu items", kMaxItemsPerFile));
    --itemsLeft;
    CRecordDataLayout item;
    YAML::Node enumNode, sizeNode, numberNode;
    bool hasEnum = false, hasSize = false, hasNumber = false;
    if (n.IsSequence()) {
        if (n.size() < 3 || n.size() > 4) fail(n, "an item is [name, format, number] or [name, format, number, enumeration]");
        item.name = scalarText(n[0], "an item's name");
        item.format = scalarText(n[1], "an item's format");
        numberNode = n[2];
        hasNumber = true;
        if (n.size() == 4) {
            enumNode = n[3];
            hasEnum = true;
        }
    } else if (n.IsMap()) {
        if (ctx == ItemContext::Command)
            onlyKeys(n, {"name", "format", "width", "block", "back", "value", "number", "enum", "values", "count", "preset",
                         "bits"},
                     "a parameter");
        else
            onlyKeys(n, {"name", "format", "width", "block", "back", "value", "number", "enum", "size"}, "an item");
        item.name = scalarText(required(n, "name", "an item"), "an item's name");
        item.format = scalarText(required(n, "format", "an item"), "an item's format");
        for (const char* key : {"width", "block", "back", "value", "number"}) {
            if (!n[key]) continue;
            if (hasNumber) fail(n[key], "an item has one number (width, block, back or value)");
            numberNode = n[key];
            hasNumber = true;
        }
        if (!hasNumber) fail(n, "the item \"" + item.name + "\" needs its width (or block, back, value)");
        for (const char* key : {"enum", "values"}) {
            if (!n[key]) continue;
            if (hasEnum) fail(n[key], "an item has one enumeration (enum or values)");
            enumNode = n[key];
            hasEnum = true;
        }
        if (n["size"]) {
            sizeNode = n["size"];
            hasSize = true;
        }
        if (command) {
            if (const YAML::Node c = n["count"]) item.countFieldName = scalarText(c, "the count field");
            if (const YAML::Node p = n["preset"]) {
                command->preset = realNumber(p, "the preset");
                command->hasPreset = true;
            }
        }
    } else {
        fail(n, "an item is a list [name, format, number] or a map");
    }

    const FormatInfo* info = formatInfo(item.format);
    const bool commandCtx = ctx == ItemContext::Command;
    if (!info || (commandCtx ? !info->inCommands : !info->inRecords))
        fail(n, "unknown format \"" + item.format + "\"" + (info ? (commandCtx ? " in a command" : " in a record layout") : ""));
    item.formatEntry = info;  // resolved here, once: walks read it for every record
    const std::int64_t number = wholeNumber(numberNode, "the number", std::numeric_limits<std::int32_t>::min(),
                                            std::numeric_limits<std::int32_t>::max());
    item.number = static_cast<std::int32_t>(number);
    if (hasSize) item.sizeRule = parseSizeRule(sizeNode);
    if (const char* wrong = checkNumber(*info, item.number, !item.sizeRule.empty(), commandCtx))
        fail(numberNode, strprintf("%s for format \"%s\": %d", wrong, item.format.c_str(), int(item.number)));
    if (hasEnum) item.enumeration = enumerationOf(enumNode, item, ctx);

    if (command && n.IsMap() && n["bits"]) {
        {
            const YAML::Node bits = n["bits"];
            if (!bits.IsSequence()) fail(bits, "\"bits\" must be a list of [first, last, description]");
            const std::int64_t lastAllowed = std::min<std::int64_t>(8 * std::max(item.number, 1) - 1, 63);
            for (const auto& b : bits) {
                BitFieldDefinition f;
                YAML::Node first, last;
                if (b.IsSequence() && b.size() == 3) {
                    first = b[0];
                    last = b[1];
                    f.description = scalarText(b[2], "a bit field's description");
                } else if (b.IsMap()) {
                    onlyKeys(b, {"first", "last", "description", "enum"}, "a bit field");
                    first = required(b, "first", "a bit field");
                    last = required(b, "last", "a bit field");
                    f.description = scalarText(required(b, "description", "a bit field"), "a bit field's description");
                    if (b["enum"]) {
                        f.values = parseEnumeration(b["enum"]);
                        spendEnumeration(b["enum"], enumerationBytes(f.values));
                    }
                } else {
                    fail(b, "a bit field is [first, last, description]");
                }
                f.firstBit = static_cast<std::int32_t>(wholeNumber(first, "the first bit", 0, lastAllowed));
                f.lastBit = static_cast<std::int32_t>(wholeNumber(last, "the last bit", f.firstBit, lastAllowed));
                command->bitFields.push_back(std::move(f));
            }
        }
    }
    return item;
}

std::vector<CRecordDataLayout> LayoutLoader::State::parseItems(const YAML::Node& n, std::vector<int>& lines) {
    std::vector<CRecordDataLayout> items;
    if (!n || n.IsNull()) return items;
    if (!n.IsSequence()) fail(n, "\"items\" must be a list");
    items.reserve(n.size());
    bool faulty = false;
    for (const auto& i : n) {
        // Every faulty item is reported, not only the first.
        try {
            items.push_back(parseItem(i, ItemContext::Record, nullptr));
        } catch (const DefinitionError& e) {
            if (itemsLeft == 0) throw;  // the file's budget is spent: once per definition is enough
            problem(e.line, e.text);
            faulty = true;
        }
        lines.push_back(lineOf(i));
    }
    if (faulty) throw DefinitionLeftOut{};
    return items;
}

std::vector<CommandParameterDefinition> LayoutLoader::State::parseParameters(const YAML::Node& n,
                                                                           std::vector<int>& lines) {
    std::vector<CommandParameterDefinition> params;
    if (!n) return params;
    if (!n.IsSequence()) fail(n, "\"params\" must be a list");
    bool faulty = false;
    for (const auto& i : n) {
        // Every faulty parameter is reported, not only the first.
        try {
            CommandParameterDefinition p;
            p.item = parseItem(i, ItemContext::Command, &p);
            const std::string& count = p.item.countFieldName;
            if (!count.empty() && !faulty) {
                bool found = count == p.item.name;
                for (const auto& earlier : params) found = found || earlier.item.name == count;
                if (!found) fail(i, "the count field \"" + count + "\" is not an earlier parameter");
            }
            params.push_back(std::move(p));
        } catch (const DefinitionError& e) {
            if (itemsLeft == 0) throw;  // the file's budget is spent: once per definition is enough
            problem(e.line, e.text);
            faulty = true;
        }
        lines.push_back(lineOf(i));
    }
    if (faulty) throw DefinitionLeftOut{};
    return params;
}

void LayoutLoader::State::loadSection(const std::string& section, const YAML::Node& n) {
    LayoutCatalogue& cat = out.catalogue;
    if (section == "enumerations") {
        if (!n.IsMap()) fail(n, "\"enumerations\" must be a map of name: enumeration");
        for (const auto& kv : n) {
            try {
                const std::string name = scalarText(kv.first, "an enumeration's name");
                if (fileEnumerations.count(name)) fail(kv.first, "enumeration \"" + name + "\" is defined twice");
                Enumeration e = parseEnumeration(kv.second);
                spendEnumeration(kv.second, enumerationBytes(e));
                fileEnumerations[name] = e;
                const bool replaced = !enumerations.emplace(name, std::move(e)).second;
                if (replaced) enumerations[name] = fileEnumerations[name];
                noteKey(replaced, "enumeration " + name);
            } catch (const DefinitionError& e) {
                problem(e.line, e.text);
            }
        }
        return;
    }
    if (section == "beam-sample") {
        onlyKeys(n, {"title", "items", "type"}, "the beam sample");
        BeamSampleLayout b;
        b.recordType = n["type"] ? static_cast<std::uint32_t>(wholeNumber(n["type"], "type", 0, 0x7fffffff)) : 7008u;
        b.title = scalarText(required(n, "title", "the beam sample"), "title");
        Where where{file, lineOf(n), {}};
        b.items = parseItems(n["items"], where.itemLines);
        const bool replaced = !cat.beamSampleLayout.items.empty() || !cat.beamSampleLayout.title.empty();
        cat.beamSampleLayout = std::move(b);
        beamSampleWhere = std::move(where);
        noteKey(replaced, "beam sample");
        return;
    }
    if (section == "records" || section == "optional-data") {
        const bool optional = section == "optional-data";
        eachDefinition<RecordKey>(n, section.c_str(), [&](const YAML::Node& d, RecordKey& key, std::set<RecordKey>& seen) {
            onlyKeys(d, {"type", "title", "items", "protocol", "version"}, optional ? "optional data" : "a record");
            key.recordType = static_cast<std::int32_t>(wholeNumber(required(d, "type", "a record"), "type", 0, 0x7fffffff));
            keyVersions(d, key.protocolVersion, key.recordVersion);
            const char* kind = optional ? "optional data" : "record";
            if (!seen.insert(key).second) fail(d, recordKeyText(kind, key) + " is defined twice in this file");
            RecordDescription r;
            r.recordType = static_cast<std::uint32_t>(key.recordType);
            r.title = scalarText(required(d, "title", "a record"), "title");
            if (r.title.empty() && !optional) fail(d, "a record needs a title");
            Where where{file, lineOf(d), {}};
            r.items = parseItems(d["items"], where.itemLines);
            auto& map = optional ? cat.optionalData : cat.records;
            const bool replaced = map.count(key) != 0;
            map[key] = std::move(r);
            (optional ? optionalWhere : recordWhere)[key] = std::move(where);
            noteKey(replaced, recordKeyText(kind, key));
            return true;
        });
        return;
    }
    if (section == "repeats") {
        // Entries with an "id" are the blocks of commands (as under command-repeats).
        if (n.IsSequence()) {
            YAML::Node commandBlocks, recordBlocks;
            for (const auto& d : n) (d.IsMap() && d["id"] ? commandBlocks : recordBlocks).push_back(d);
            if (commandBlocks.size()) loadSection("command-repeats", commandBlocks);
            if (!recordBlocks.size()) return;
            loadSection("record-repeats", recordBlocks);
            return;
        }
        loadSection("record-repeats", n);
        return;
    }
    if (section == "record-repeats") {
        eachDefinition<BlockKey>(n, "repeats", [&](const YAML::Node& d, BlockKey& key, std::set<BlockKey>& seen) {
            onlyKeys(d, {"type", "block", "title", "count", "block-size", "flags", "items", "protocol", "version"},
                     "a repeat block");
            blockKey(d, "repeat", "a repeat block", key, seen);
            RepeatDescription r;
            r.recordType = static_cast<std::uint32_t>(key.recordType);
            r.title = scalarText(required(d, "title", "a repeat block"), "title");
            if (r.title.empty()) fail(d, strprintf("The description for REPEAT record type %d is empty", key.recordType));
            r.countField = scalarText(required(d, "count", "a repeat block"), "count");
            if (d["block-size"]) r.blockSizeField = scalarText(d["block-size"], "block-size");
            if (d["flags"]) r.flagsField = scalarText(d["flags"], "flags");
            Where where{file, lineOf(d), {}};
            r.items = parseItems(d["items"], where.itemLines);
            keepBlock(cat.repeats, repeatWhere, key, std::move(r), std::move(where), "repeat");
            return true;
        });
        return;
    }
    if (section == "vectors") {
        eachDefinition<BlockKey>(n, "vectors", [&](const YAML::Node& d, BlockKey& key, std::set<BlockKey>& seen) {
            onlyKeys(d, {"type", "block", "element", "title", "format", "width", "count", "second", "size", "count-rule",
                         "block-count-rule", "protocol", "version"},
                     "a vector");
            blockKey(d, "vector", "a vector", key, seen);
            VectorDescription v;
            v.recordType = static_cast<std::uint32_t>(key.recordType);
            v.elementName = scalarText(required(d, "element", "a vector"), "element");
            v.title = d["title"] ? scalarText(d["title"], "title") : v.elementName;
            v.format = scalarText(required(d, "format", "a vector"), "format");
            const FormatInfo* info = formatInfo(v.format);
            if (!info || !info->inVectors) fail(d["format"], "unknown format \"" + v.format + "\" for a vector element");
            v.formatEntry = info;
            const YAML::Node width = required(d, "width", "a vector");
            v.width = static_cast<std::int32_t>(wholeNumber(width, "width", 0, kMaxFieldWidth));
            if (d["size"]) v.sizeRule = parseSizeRule(d["size"]);
            if (const char* wrong = checkNumber(*info, v.width, !v.sizeRule.empty(), false, true))
                fail(width, strprintf("%s for format \"%s\": %d", wrong, v.format.c_str(), int(v.width)));
            v.countField = d["count"] ? scalarText(d["count"], "count") : std::string();
            if (d["second"]) v.secondField = scalarText(d["second"], "second");
            if (d["count-rule"]) v.countRule = parseCountRule(d["count-rule"]);
            if (d["block-count-rule"]) v.blockCountRule = parseCountRule(d["block-count-rule"]);
            keepBlock(cat.vectors, vectorWhere, key, std::move(v), {file, lineOf(d), {}}, "vector");
            return true;
        });
        return;
    }
    if (section == "var-strings") {
        eachDefinition<BlockKey>(n, "var-strings", [&](const YAML::Node& d, BlockKey& key, std::set<BlockKey>& seen) {
            onlyKeys(d, {"type", "block", "name", "length", "protocol", "version"}, "a variable text");
            blockKey(d, "variable text", "a variable text", key, seen);
            VarStringDescription v;
            v.recordType = static_cast<std::uint32_t>(key.recordType);
            v.name = scalarText(required(d, "name", "a variable text"), "name");
            v.lengthField = scalarText(required(d, "length", "a variable text"), "length");
            keepBlock(cat.varStrings, varStringWhere, key, std::move(v), {file, lineOf(d), {}}, "variable text");
            return true;
        });
        return;
    }
    if (section == "commands") {
        eachDefinition<CommandKey>(n, "commands", [&](const YAML::Node& d, CommandKey& key, std::set<CommandKey>& seen) {
            onlyKeys(d, {"id", "title", "params", "parameters", "count", "protocol", "version"}, "a command");
            CommandDefinition c;
            c.identifier = scalarText(required(d, "id", "a command"), "id");
            if (c.identifier.empty() || c.identifier.find(' ') != std::string::npos)
                fail(d["id"], "a command's id is a word without blanks");
            c.title = scalarText(required(d, "title", "a command"), "title");
            keyVersions(d, c.protocolVersion, c.recordVersion);
            key = {c.identifier, c.recordVersion, c.protocolVersion};
            if (!seen.insert(key).second) fail(d, "command " + c.identifier + " is defined twice in this file");
            if (d["params"] && d["parameters"]) fail(d, "a command has \"params\" or \"parameters\", not both");
            const YAML::Node params = d["params"] ? d["params"] : d["parameters"];
            Where where{file, lineOf(d), {}};
            const bool hasParams = d["params"] || d["parameters"];
            if (hasParams && params.IsScalar() && params.Scalar() == "unknown") {
                if (!d["count"]) fail(d, "a command with unknown parameters needs \"count\"");
                c.parametersKnown = false;
                c.parameterCount = static_cast<std::int32_t>(wholeNumber(d["count"], "count", 0, 1000));
            } else {
                if (hasParams && !params.IsNull()) c.parameters = parseParameters(params, where.itemLines);
                c.parameterCount = static_cast<std::int32_t>(c.parameters.size());
                if (d["count"] && wholeNumber(d["count"], "count", 0, 1000) != c.parameterCount)
                    fail(d["count"], strprintf("\"count\" says %lld parameters, the list has %d",
                                               (long long)d["count"].as<long long>(), int(c.parameterCount)));
            }
            const bool replaced = commands.count(key) != 0;
            commands[key] = std::move(c);
            commandWhere[key] = std::move(where);
            noteKey(replaced, "command " + std::get<0>(key));
            return true;
        });
        return;
    }
    if (section == "command-repeats") {
        eachDefinition<CommandRepeatKey>(n, "command-repeats", [&](const YAML::Node& d, CommandRepeatKey& key,
                                                                   std::set<CommandRepeatKey>& seen) {
            onlyKeys(d, {"id", "block", "title", "count", "items", "protocol", "version"}, "a command repeat block");
            CommandRepeatDefinition r;
            r.identifier = scalarText(required(d, "id", "a command repeat block"), "id");
            if (d["block"]) r.blockIndex = static_cast<std::int32_t>(wholeNumber(d["block"], "block", 0, kMaxBlockIndex));
            keyVersions(d, r.protocolVersion, r.recordVersion);
            r.title = scalarText(required(d, "title", "a command repeat block"), "title");
            r.countField = scalarText(required(d, "count", "a command repeat block"), "count");
            key = {r.blockIndex, r.recordVersion, r.identifier, r.protocolVersion};
            if (!seen.insert(key).second) fail(d, "command repeat block " + r.identifier + " is defined twice in this file");
            Where where{file, lineOf(d), {}};
            r.items = parseParameters(d["items"], where.itemLines);
            const bool replaced = commandRepeats.count(key) != 0;
            commandRepeats[key] = std::move(r);
            commandRepeatWhere[key] = std::move(where);
            // `r` has been moved into the map: the key holds the identifier.
            noteKey(replaced, strprintf("command repeat %s/%d", std::get<2>(key).c_str(), int(std::get<0>(key))));
            return true;
        });
        return;
    }
}

} // namespace tarvik

// The loader calls the reading through this table, wherever the reading lives.
extern "C" const tarvik::LayoutTextReader* tarvik_layout_text_reader() {
    using State = tarvik::LayoutLoader::State;
    static const tarvik::LayoutTextReader reader{
        [](State& state, std::string_view name, std::string_view text, bool builtIn) {
            state.loadText(name, text, builtIn);
        },
        [](State& state) { state.measureBuiltIns(); }};
    return &reader;
}

extern "C" const char* tarvik_yaml_module_build() {
    static const std::string build = tarvik::layoutStateBuild();
    return build.c_str();
}
