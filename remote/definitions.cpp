#include "remote/definitions.h"

#include "decode/layout_loader.h"

#include <algorithm>
#include <cstdio>

namespace tarvik::remote {

void CRemoteControlDefinition::Clear() {
    clear();
    title.clear();
    identifier.clear();
    listedCount = 0;
    parametersKnown = true;
}

void CRemoteControlDefinition::InsertLayoutItem(std::string name, std::string format, std::int32_t width) {
    emplace_back(std::move(name), std::move(format), width);
}

void CRemoteControlDefinition::InsertLayoutItem(std::string name, std::string format, std::int32_t width,
                                                Enumeration values) {
    InsertLayoutItem(std::move(name), std::move(format), width);
    back().enumeration = std::move(values);
}

void CRemoteControlDefinition::InsertLayoutItem(std::string name, std::string format, std::int32_t width,
                                                BitFieldList bits) {
    InsertLayoutItem(std::move(name), std::move(format), width);
    back().bitFields = std::move(bits);
}

void CRemoteControlDefinition::InsertLayoutItem(std::string name, std::string format, std::int32_t width,
                                                double presetValue) {
    InsertLayoutItem(std::move(name), std::move(format), width);
    back().presetValue = presetValue;
    back().preset = true;
}

void CRemoteControlDefinition::InsertLayoutItem(std::string name, std::string format, std::int32_t width,
                                                std::string countField, const MessageFn& message) {
    InsertLayoutItem(std::move(name), std::move(format), width);
    back().countFieldName = std::move(countField);
    for (const auto& p : *this)
        if (p.name == back().countFieldName) return;
    if (message) {
        std::string text = "In CRemoteControlDefinition::InsertLayoutItem, failed to find count variable name \"" +
                           back().countFieldName + "\"";
        message(text);
    }
}

int compareIdentifiers(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool operator<(const CRemoteControlKey& a, const CRemoteControlKey& b) {
    if (int c = compareIdentifiers(a.identifier, b.identifier)) return c < 0;
    if (a.recordVersion != b.recordVersion) return a.recordVersion < b.recordVersion;
    return a.protocolVersion < b.protocolVersion;
}

bool operator<(const RemoteRepeatKey& a, const RemoteRepeatKey& b) {
    if (a.blockIndex != b.blockIndex) return a.blockIndex < b.blockIndex;
    if (a.recordVersion != b.recordVersion) return a.recordVersion < b.recordVersion;
    if (int c = compareIdentifiers(a.identifier, b.identifier)) return c < 0;
    return a.protocolVersion < b.protocolVersion;
}

namespace {

// A plain decimal identifier: the command number of a remote command; 0 otherwise.
std::uint32_t commandNumber(std::string_view id) {
    if (id.empty() || id.size() > 9) return 0;
    std::uint32_t n = 0;
    for (char c : id) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return n;
}

} // namespace

bool RemoteCommandCatalogue::insert(const CRemoteControlDefinition& definition) {
    auto [it, added] = map_.emplace(CRemoteControlKey(definition.identifier), definition);
    if (added) noteBody(definition);
    return added;
}

void RemoteCommandCatalogue::replace(const CRemoteControlDefinition& definition) {
    map_[CRemoteControlKey(definition.identifier)] = definition;
    noteBody(definition);
}

void RemoteCommandCatalogue::noteBody(const CRemoteControlDefinition& definition) {
    const std::uint32_t n = commandNumber(definition.identifier);
    if (!n) return;
    auto& body = bodies_[n];
    body.clear();
    if (definition.parametersKnown)
        for (const auto& p : definition) body.push_back(p);
}

const CRemoteControlDefinition& RemoteCommandCatalogue::lookup(std::string_view identifier) const {
    auto it = map_.find(CRemoteControlKey(std::string(identifier)));
    return it == map_.end() ? empty_ : it->second;
}

bool RemoteCommandCatalogue::contains(std::string_view identifier) const {
    return map_.count(CRemoteControlKey(std::string(identifier))) != 0;
}

std::vector<std::string> RemoteCommandCatalogue::commandLines() const {
    std::vector<std::string> lines;
    lines.reserve(map_.size());
    for (const auto& [key, def] : map_) lines.push_back(def.identifier + "  " + def.title);
    return lines;
}

const RemoteRepeatDescription* RemoteCommandCatalogue::repeat(std::string_view identifier) const {
    auto it = repeats.find(RemoteRepeatKey{std::string(identifier)});
    return it == repeats.end() ? nullptr : &it->second;
}

const std::vector<CRecordDataLayout>& RemoteCommandCatalogue::commandItems(std::uint32_t number) const {
    static const std::vector<CRecordDataLayout> none;
    auto it = bodies_.find(number);
    return it == bodies_.end() ? none : it->second;
}

namespace {

CRemoteControlDataLayout parameterOf(const CommandParameterDefinition& p) {
    CRemoteControlDataLayout out;
    static_cast<CRecordDataLayout&>(out) = p.item;
    out.presetValue = p.preset;
    out.preset = p.hasPreset;
    out.bitFields.reserve(p.bitFields.size());
    for (const BitFieldDefinition& b : p.bitFields) {
        out.bitFields.emplace_back(b.firstBit, b.lastBit, b.description);
        out.bitFields.back().values = b.values;
    }
    return out;
}

bool builtVersion(std::int32_t recordVersion, std::int32_t protocolVersion) {
    return recordVersion == kCommandRecordVersion && protocolVersion == kCommandProtocolVersion;
}

} // namespace

RemoteCommandCatalogue remoteCommandCatalogue(const LoadedDefinitions& definitions) {
    RemoteCommandCatalogue catalogue;
    for (const CommandDefinition& c : definitions.commands) {
        if (!builtVersion(c.recordVersion, c.protocolVersion)) continue;
        CRemoteControlDefinition d;
        d.identifier = c.identifier;
        d.title = c.title;
        d.parametersKnown = c.parametersKnown;
        d.reserve(c.parameters.size());
        for (const CommandParameterDefinition& p : c.parameters) d.push_back(parameterOf(p));
        d.listedCount = c.parametersKnown ? d.size() : static_cast<std::size_t>(std::max(c.parameterCount, 0));
        catalogue.insert(d);
    }
    for (const CommandRepeatDefinition& r : definitions.commandRepeats) {
        RemoteRepeatDescription block;
        block.identifier = r.identifier;
        block.title = r.title;
        block.countFieldName = r.countField;
        block.items.reserve(r.items.size());
        for (const CommandParameterDefinition& p : r.items) block.items.push_back(parameterOf(p));
        catalogue.repeats[RemoteRepeatKey{r.identifier, r.blockIndex, r.protocolVersion, r.recordVersion}] =
            std::move(block);
    }
    return catalogue;
}

RemoteCommandCatalogue builtInRemoteCommandCatalogue(const MessageFn& message) {
    LayoutLoader loader;
    loader.addBuiltIn();
    const LoadedDefinitions definitions = loader.finish();
    if (message)
        for (const LayoutProblem& p : definitions.problems) message(p.message());
    return remoteCommandCatalogue(definitions);
}

} // namespace tarvik::remote
