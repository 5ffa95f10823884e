#include "remote/definition_files.h"

#include <yaml-cpp/yaml.h>

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

CRemoteControlDataLayout parameter(const YAML::Node& node) {
    if (!node.IsMap()) throw BadFile("a parameter must be a mapping" + where(node));
    CRemoteControlDataLayout p(text(node, "name"), text(node, "format"), 0);
    const YAML::Node width = node["width"];
    if (!width) throw BadFile("missing width" + where(node));
    p.number = integer(width, "width");
    if (p.number < 0 || p.number > 65535) throw BadFile("width out of range" + where(width));
    if (const YAML::Node values = node["values"]) {
        if (!values.IsSequence()) throw BadFile("values must be a list" + where(values));
        for (const auto& v : values) {
            if (!v.IsSequence() || v.size() != 2) throw BadFile("a value is [value, text]" + where(v));
            p.enumeration.push_back({integer(v[0], "value"), v[1].as<std::string>()});
        }
    }
    if (const YAML::Node bits = node["bits"]) {
        if (!bits.IsSequence()) throw BadFile("bits must be a list" + where(bits));
        for (const auto& b : bits) {
            if (!b.IsSequence() || b.size() != 3) throw BadFile("a bit field is [first, last, text]" + where(b));
            p.bitFields.emplace_back(integer(b[0], "first bit"), integer(b[1], "last bit"), b[2].as<std::string>());
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
    return p;
}

void addCommand(const YAML::Node& node, RemoteCommandCatalogue& catalogue, const MessageFn& message) {
    if (!node.IsMap()) throw BadFile("a command must be a mapping" + where(node));
    CRemoteControlDefinition def;
    def.identifier = text(node, "id");
    def.title = text(node, "title");
    if (def.identifier.empty()) throw BadFile("empty command identifier" + where(node));
    const YAML::Node count = node["count"];
    const YAML::Node params = node["parameters"];
    if (!params) throw BadFile("missing parameters" + where(node));
    if (params.IsScalar() && params.Scalar() == "unknown") {
        if (!count) throw BadFile("a command with unknown parameters needs its count" + where(node));
        const std::int32_t n = integer(count, "count");
        if (n < 0 || n > 200) throw BadFile("count out of range" + where(count));
        def.listedCount = static_cast<std::size_t>(n);
        def.parametersKnown = false;
    } else {
        if (!params.IsSequence()) throw BadFile("parameters must be a list or \"unknown\"" + where(params));
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
        if (count && static_cast<std::size_t>(integer(count, "count")) != def.size())
            throw BadFile("command " + def.identifier + " lists " + count.Scalar() + " parameters but gives " +
                          std::to_string(def.size()) + where(node));
    }
    catalogue.insert(def);
}

void addRepeat(const YAML::Node& node, RemoteCommandCatalogue& catalogue) {
    if (!node.IsMap()) throw BadFile("a repeat block must be a mapping" + where(node));
    RemoteRepeatDescription d;
    d.identifier = text(node, "id");
    d.title = text(node, "title");
    d.countFieldName = text(node, "count");
    const YAML::Node items = node["items"];
    if (!items || !items.IsSequence() || items.size() == 0)
        throw BadFile("a repeat block needs a list of items" + where(node));
    for (const auto& i : items) d.items.push_back(parameter(i));
    catalogue.repeats.emplace(RemoteRepeatKey{d.identifier}, std::move(d));
}

} // namespace

bool loadDefinitionText(std::string_view yamlText, std::string_view fileName, RemoteCommandCatalogue& catalogue,
                        const MessageFn& message, std::string& error) {
    try {
        const YAML::Node root = YAML::Load(std::string(yamlText));
        if (!root.IsMap()) throw BadFile("the file must be a mapping with commands and/or repeats");
        if (const YAML::Node commands = root["commands"]) {
            if (!commands.IsSequence()) throw BadFile("commands must be a list" + where(commands));
            for (const auto& c : commands) addCommand(c, catalogue, message);
        }
        if (const YAML::Node repeats = root["repeats"]) {
            if (!repeats.IsSequence()) throw BadFile("repeats must be a list" + where(repeats));
            for (const auto& r : repeats) addRepeat(r, catalogue);
        }
        return true;
    } catch (const BadFile& e) {
        error = std::string(fileName) + ": " + e.what();
    } catch (const YAML::Exception& e) {
        error = std::string(fileName) + ": " + e.what();
    }
    return false;
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
    return loadDefinitionText(s.str(), path, catalogue, message, error);
}

RemoteCommandCatalogue buildRemoteCommandCatalogue(const MessageFn& message) {
    RemoteCommandCatalogue catalogue;
    for (const auto& f : builtInDefinitionFiles()) {
        std::string error;
        if (!loadDefinitionText(f.text, f.name, catalogue, message, error) && message) message(error);
    }
    return catalogue;
}

} // namespace tarvik::remote
