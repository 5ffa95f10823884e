#pragma once
// The command catalogue: remote commands (carried in a type-7500 record) and
// record commands (whole data records of the command's own type), each a list
// of parameters in wire order, plus the block layouts of repeated parameters.
//
// Both tables are built once from the commands of the loaded layout definition
// files (data/layouts/remote-*.yaml, compiled in, then the user's files) and
// only read afterwards.

#include "decode/layout.h"
#include "decode/remote_definitions.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {
struct LoadedDefinitions;
}

namespace tarvik::remote {

// Shows a message-box text; the view's port in the window, stderr on the console.
using MessageFn = std::function<void(std::string_view)>;

inline constexpr std::int32_t kCommandRecordVersion = 1;
inline constexpr std::int32_t kCommandProtocolVersion = 5;

// One bit range of a bit-mask parameter. A single bit has first == last.
struct BitFieldEntry {
    Enumeration values;  // empty in every built-in entry
    std::int32_t lastBit = 0;
    std::int32_t firstBit = 0;
    std::string description;

    BitFieldEntry() = default;
    BitFieldEntry(std::int32_t first, std::int32_t last, std::string text)
        : lastBit(last), firstBit(first), description(std::move(text)) {}
};
using BitFieldList = std::vector<BitFieldEntry>;

// One command parameter: a layout item whose number is the width in bytes
// (0 for "repeat"), with a preset value and bit fields.
class CRemoteControlDataLayout : public CRecordDataLayout {
public:
    CRemoteControlDataLayout() = default;
    CRemoteControlDataLayout(std::string name, std::string format, std::int32_t width)
        : CRecordDataLayout(std::move(name), std::move(format), width) {}
    virtual ~CRemoteControlDataLayout() = default;
    CRemoteControlDataLayout(const CRemoteControlDataLayout&) = default;
    CRemoteControlDataLayout& operator=(const CRemoteControlDataLayout&) = default;

    std::int32_t width() const { return number; }
    bool isList() const { return !countFieldName.empty(); }

    double presetValue = 0.0;
    bool preset = false;
    BitFieldList bitFields;
};

// One command: its parameters in the order their bytes are sent.
class CRemoteControlDefinition : public std::vector<CRemoteControlDataLayout> {
public:
    CRemoteControlDefinition() = default;
    virtual ~CRemoteControlDefinition() = default;
    CRemoteControlDefinition(const CRemoteControlDefinition&) = default;
    CRemoteControlDefinition& operator=(const CRemoteControlDefinition&) = default;

    void Clear();
    // The five insert forms; each appends one parameter.
    void InsertLayoutItem(std::string name, std::string format, std::int32_t width);
    void InsertLayoutItem(std::string name, std::string format, std::int32_t width, Enumeration values);
    void InsertLayoutItem(std::string name, std::string format, std::int32_t width, BitFieldList bits);
    void InsertLayoutItem(std::string name, std::string format, std::int32_t width, double presetValue);
    // A list or repeat parameter counted by the parameter named `countField`;
    // a name that matches no parameter is reported through `message`.
    void InsertLayoutItem(std::string name, std::string format, std::int32_t width, std::string countField,
                          const MessageFn& message);

    std::string title;
    std::string identifier;
    // The parameter count the catalogue lists for this command. Where the
    // parameters themselves are not known, the list stays empty, this count
    // is kept and `parametersKnown` is false: such a command is never sent.
    std::size_t listedCount = 0;
    bool parametersKnown = true;

    std::size_t parameterCount() const { return parametersKnown ? size() : listedCount; }
};

// Catalogue key; identifiers compare byte-wise as unsigned characters.
class CRemoteControlKey {
public:
    CRemoteControlKey() = default;
    CRemoteControlKey(std::string id, std::int32_t version = kCommandRecordVersion,
                      std::int32_t protocol = kCommandProtocolVersion)
        : identifier(std::move(id)), recordVersion(version), protocolVersion(protocol) {}
    virtual ~CRemoteControlKey() = default;
    CRemoteControlKey(const CRemoteControlKey&) = default;
    CRemoteControlKey& operator=(const CRemoteControlKey&) = default;

    std::string identifier;
    std::int32_t recordVersion = 0x7FFFFFFF;
    std::int32_t protocolVersion = 0x7FFFFFFF;

    friend bool operator<(const CRemoteControlKey& a, const CRemoteControlKey& b);
};

// Byte-wise, unsigned, the shorter text first when one is a prefix of the other.
int compareIdentifiers(std::string_view a, std::string_view b);

struct RemoteRepeatKey {
    std::string identifier;
    std::int32_t blockIndex = 0;
    std::int32_t protocolVersion = kCommandProtocolVersion;
    std::int32_t recordVersion = kCommandRecordVersion;

    friend bool operator<(const RemoteRepeatKey& a, const RemoteRepeatKey& b);
};

struct RemoteRepeatDescription {
    std::vector<CRemoteControlDataLayout> items;  // one repetition, wire order
    std::string countFieldName;
    std::string title;
    std::string identifier;
};

using RemoteRepeatMapping = std::map<RemoteRepeatKey, RemoteRepeatDescription>;

// The command catalogue and the repeat blocks. Also serves the report the
// body items of remote commands (by command number).
class RemoteCommandCatalogue final : public RemoteCommandDefinitions {
public:
    using Map = std::map<CRemoteControlKey, CRemoteControlDefinition>;

    // Inserts a copy under (identifier, 1, 5); an existing key keeps its first definition.
    bool insert(const CRemoteControlDefinition& definition);
    // Inserts or replaces the definition of the same key.
    void replace(const CRemoteControlDefinition& definition);
    // The definition of `identifier`; an empty one (no parameters, empty title) when absent.
    const CRemoteControlDefinition& lookup(std::string_view identifier) const;
    bool contains(std::string_view identifier) const;
    const Map& definitions() const { return map_; }
    std::size_t size() const { return map_.size(); }

    // The command list lines "%s  %s" (identifier, title) in key order.
    std::vector<std::string> commandLines() const;

    RemoteRepeatMapping repeats;
    const RemoteRepeatDescription* repeat(std::string_view identifier) const;

    const std::vector<CRecordDataLayout>& commandItems(std::uint32_t number) const override;

private:
    void noteBody(const CRemoteControlDefinition& definition);
    Map map_;
    CRemoteControlDefinition empty_;
    std::map<std::uint32_t, std::vector<CRecordDataLayout>> bodies_;  // filled as definitions go in
};

// The catalogue of the commands and command repeat blocks that the layout
// loader read. Commands are built as version 1, protocol 5 records, so only
// definitions of that version and protocol are taken.
RemoteCommandCatalogue remoteCommandCatalogue(const LoadedDefinitions& definitions);
// The catalogue of the built-in definition files alone (the server stand-in,
// tests, benchmarks); problems in them are a fault of the build and go to `message`.
RemoteCommandCatalogue builtInRemoteCommandCatalogue(const MessageFn& message = {});

} // namespace tarvik::remote
