#include "remote/definition_files.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tarvik::remote {

namespace {

struct BadFile : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string where(const YAML::Node& node) {
    const auto m = node.Mark();
    return m.is_null() ? std::string{} : " (line " + std::to_string(m.line + 1) + ")";
}

std::string text(const YAML::Node& node, const char* key) {
    const YAML::Node v = node[key];
    if (!v || !v.IsScalar()) throw BadFile(std::string("missing text \"") + key + "\"" + where(node));
    return v.Scalar();
}

std::int32_t integer(const YAML::Node& node, const char* what) {
    try {
        const long long v = node.as<long long>();
        if (v < INT32_MIN || v > INT32_MAX) throw BadFile(std::string(what) + " out of range" + where(node));
        return static_cast<std::int32_t>(v);
    } catch (const YAML::Exception&) {
        throw BadFile(std::string(what) + " is not a number" + where(node));
    }
}

void onlyKeys(const YAML::Node& node, std::initializer_list<std::string_view> keys) {
    for (const auto& kv : node) {
        const std::string key = kv.first.as<std::string>();
        if (std::find(keys.begin(), keys.end(), key) == keys.end())
            throw BadFile("unknown key \"" + key + "\"" + where(kv.first));
    }
}

Enumeration enumeration(const YAML::Node& node) {
    if (!node.IsMap()) throw BadFile("a value list is a map {VALUE: \"text\"}" + where(node));
    Enumeration values;
    for (const auto& kv : node) values.push_back({integer(kv.first, "value"), kv.second.as<std::string>()});
    return values;
}

// [name, format, number] or [name, format, number, {value: text}], or the long form.
CRemoteControlDataLayout parameter(const YAML::Node& node) {
    CRemoteControlDataLayout p;
    if (node.IsSequence()) {
        if (node.size() != 3 && node.size() != 4) throw BadFile("a short item is [name, format, number]" + where(node));
        p.name = node[0].as<std::string>();
        p.format = node[1].as<std::string>();
        p.number = integer(node[2], "width");
        if (node.size() == 4) p.enumeration = enumeration(node[3]);
    } else if (node.IsMap()) {
        onlyKeys(node, {"name", "format", "width", "block", "back", "value", "number", "enum", "values", "count", "preset",
                        "bits"});
        p.name = text(node, "name");
        p.format = text(node, "format");
        const char* numberKey = nullptr;
        for (const char* key : {"width", "block", "back", "value", "number"})
            if (node[key]) numberKey = key;
        if (!numberKey) throw BadFile("missing width" + where(node));
        p.number = integer(node[numberKey], "width");
        if (node["enum"] && node["values"]) throw BadFile("an item has one enumeration (enum or values)" + where(node));
        if (const YAML::Node values = node["enum"] ? node["enum"] : node["values"]) p.enumeration = enumeration(values);
        if (const YAML::Node bits = node["bits"]) {
            if (!bits.IsSequence()) throw BadFile("bits must be a list" + where(bits));
            for (const auto& b : bits) {
                if (!b.IsSequence() || b.size() != 3) throw BadFile("a bit field is [first, last, text]" + where(b));
                p.bitFields.emplace_back(integer(b[0], "first bit"), integer(b[1], "last bit"),
                                         b[2].as<std::string>());
            }
        }
        if (const YAML::Node preset = node["preset"]) {
            try {
                p.presetValue = preset.as<double>();
            } catch (const YAML::Exception&) {
                throw BadFile("preset is not a number" + where(preset));
            }
            p.preset = true;
        }
        if (const YAML::Node count = node["count"]) p.countFieldName = count.as<std::string>();
    } else {
        throw BadFile("an item is a list or a mapping" + where(node));
    }
    if (p.number < 0 || p.number > 65535) throw BadFile("width out of range" + where(node));
    return p;
}

CRemoteControlDefinition command(const YAML::Node& node, const MessageFn& message) {
    if (!node.IsMap()) throw BadFile("a command must be a mapping" + where(node));
    onlyKeys(node, {"id", "title", "params", "parameters", "count", "version", "protocol"});
    CRemoteControlDefinition def;
    def.identifier = text(node, "id");
    def.title = text(node, "title");
    if (def.identifier.empty() || def.identifier.find(' ') != std::string::npos)
        throw BadFile("a command's id is a word without blanks" + where(node));
    if (node["params"] && node["parameters"]) throw BadFile("a command has params or parameters, not both" + where(node));
    const YAML::Node params = node["params"] ? node["params"] : node["parameters"];
    const YAML::Node count = node["count"];
    if (params && params.IsScalar() && params.Scalar() == "unknown") {
        if (!count) throw BadFile("a command with unknown parameters needs \"count\"" + where(node));
        const std::int32_t n = integer(count, "count");
        if (n < 0 || n > 200) throw BadFile("count out of range" + where(count));
        def.listedCount = static_cast<std::size_t>(n);
        def.parametersKnown = false;
    } else if (params && !params.IsNull()) {
        if (!params.IsSequence()) throw BadFile("params must be a list" + where(params));
        if (params.size() > 200) throw BadFile("more than 200 parameters" + where(params));
        for (const auto& p : params) {
            CRemoteControlDataLayout item = parameter(p);
            if (item.countFieldName.empty()) {
                def.push_back(std::move(item));
                continue;
            }
            // The list form checks its count name against the parameters so far.
            def.InsertLayoutItem(item.name, item.format, item.number, item.countFieldName, message);
            def.back().enumeration = std::move(item.enumeration);
            def.back().bitFields = std::move(item.bitFields);
            def.back().presetValue = item.presetValue;
            def.back().preset = item.preset;
        }
        def.listedCount = def.size();
    }
    if (def.parametersKnown && count && integer(count, "count") != static_cast<std::int32_t>(def.size()))
        throw BadFile("\"count\" says " + count.Scalar() + " parameters, the list has " + std::to_string(def.size()) +
                      where(count));
    return def;
}

RemoteRepeatDescription repeatBlock(const YAML::Node& node) {
    if (!node.IsMap()) throw BadFile("a repeat block must be a mapping" + where(node));
    onlyKeys(node, {"id", "title", "count", "items", "block", "version", "protocol"});
    RemoteRepeatDescription d;
    d.identifier = text(node, "id");
    d.title = text(node, "title");
    d.countFieldName = text(node, "count");
    const YAML::Node items = node["items"];
    if (!items || !items.IsSequence() || items.size() == 0)
        throw BadFile("a repeat block needs a list of items" + where(node));
    for (const auto& i : items) d.items.push_back(parameter(i));
    return d;
}

} // namespace

bool loadDefinitionText(std::string_view yamlText, std::string_view fileName, RemoteCommandCatalogue& catalogue,
                        const MessageFn& message, std::string& error, bool replace) {
    // Nothing of a faulty file goes in.
    std::vector<CRemoteControlDefinition> commands;
    std::vector<RemoteRepeatDescription> blocks;
    try {
        const YAML::Node root = YAML::Load(std::string(yamlText));
        if (!root.IsMap()) throw BadFile("the file must be a mapping with commands and/or command-repeats");
        if (const YAML::Node list = root["commands"]) {
            if (!list.IsSequence()) throw BadFile("commands must be a list" + where(list));
            for (const auto& c : list) commands.push_back(command(c, message));
        }
        if (const YAML::Node repeats = root["command-repeats"]) {
            if (!repeats.IsSequence()) throw BadFile("repeats must be a list" + where(repeats));
            for (const auto& r : repeats) blocks.push_back(repeatBlock(r));
        }
    } catch (const BadFile& e) {
        error = std::string(fileName) + ": " + e.what();
        return false;
    } catch (const YAML::Exception& e) {
        error = std::string(fileName) + ": " + e.what();
        return false;
    }
    for (auto& c : commands) {
        if (replace) catalogue.replace(c);
        else catalogue.insert(c);
    }
    for (auto& b : blocks) {
        RemoteRepeatKey key{b.identifier};
        if (replace) catalogue.repeats[key] = std::move(b);
        else catalogue.repeats.emplace(std::move(key), std::move(b));
    }
    return true;
}

bool loadDefinitionFile(const std::string& path, RemoteCommandCatalogue& catalogue, const MessageFn& message,
                        std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "could not open " + path;
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    return loadDefinitionText(s.str(), path, catalogue, message, error, true);
}

RemoteCommandCatalogue buildRemoteCommandCatalogue(const MessageFn& message) {
    RemoteCommandCatalogue catalogue;
    for (const auto& f : builtInDefinitionFiles()) {
        std::string error;
        if (!loadDefinitionText(f.text, f.name, catalogue, message, error, false) && message) message(error);
    }
    return catalogue;
}

} // namespace tarvik::remote
