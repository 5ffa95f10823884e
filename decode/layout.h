#pragma once
// The record layout model: a record's data section is described as an ordered
// list of layout items (name, format code, number); nested structures (repeat
// blocks, vectors, variable texts, optional data, the samples of record 7008)
// are further descriptions that an item refers to by its number (block index).
//
// The catalogue that holds all descriptions is built once and only read
// afterwards; decoding never changes it. The remote-command definitions reuse
// CRecordDataLayout and the same format codes.

#include "decode/format_table.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvik {

// Built-in tables are all registered under protocol version 5, record version 1.
inline constexpr std::int32_t kCatalogueProtocolVersion = 5;
inline constexpr std::int32_t kCatalogueRecordVersion = 1;

// Derives an item's width from an earlier field: bits low..high of the source
// field's value select an element width from the size table; the result is
// multiplied by the multiplier field's value when one is named.
struct SizeRule {
    std::string sourceField;                               // empty: no rule
    std::uint32_t mask = 0xFFFFFFFFu;                      // (2^(high-low+1))-1 once made
    std::string multiplierField;                           // may be empty
    std::int32_t highBit = -1;
    std::int32_t lowBit = -1;
    std::vector<std::pair<std::int32_t, std::int32_t>> sizeTable;  // (field value, element width)

    SizeRule() = default;
    // A rule on bits low..high of `source`.
    SizeRule(std::string source, std::int32_t low, std::int32_t high,
             std::vector<std::pair<std::int32_t, std::int32_t>> table, std::string multiplier = {});

    bool empty() const { return sourceField.empty(); }
    friend bool operator==(const SizeRule&, const SizeRule&) = default;
};

// Turns a count field's value c (and a second field's value f) into an element
// or block count: a fixed number, or ((x AND mask) * (c or 1)) >> shift with x
// being f or c, then times a factor plus an addend. No rule: the count is c.
struct CountRule {
    bool present = false;
    bool fixed = false;            // the count is `fixedCount`
    std::int64_t fixedCount = 0;
    bool masked = false;           // the mask step applies
    bool maskSecond = true;        // x is the second field's value (else the count)
    std::uint32_t mask = 0;
    bool scaleByCount = true;      // the masked value is multiplied by c (else by 1)
    std::int32_t shift = 0;
    std::int64_t times = 1;
    std::int64_t plus = 0;

    std::int64_t apply(std::int64_t count, std::int64_t second) const;
    friend bool operator==(const CountRule&, const CountRule&) = default;
};

struct EnumEntry {
    std::int32_t value = 0;
    std::string text;
    friend bool operator==(const EnumEntry&, const EnumEntry&) = default;
};
using Enumeration = std::vector<EnumEntry>;

// One layout item. Its number is the byte width for scalar formats, the shown
// value for "constant", the block index for "repeat", "vector", "vstring" and
// "7008PingData", and the back-reference depth for "sd" and "xd".
class CRecordDataLayout {
public:
    CRecordDataLayout() = default;
    CRecordDataLayout(std::string name, std::string format, std::int32_t number);
    CRecordDataLayout(std::string name, std::string format, std::int32_t number, Enumeration enumeration);
    CRecordDataLayout(std::string name, std::string format, std::int32_t number, SizeRule rule);

    SizeRule sizeRule;
    Enumeration enumeration;
    std::string format;
    std::int32_t number = -1;
    std::string name;
    // Unused by record layouts; remote-command definitions name the parameter
    // holding a list's element count here.
    std::string countFieldName;
    // `format` resolved once, when the item is made or loaded: walks read the
    // code from here instead of looking the text up for every item of every
    // record. nullptr when the text is no known code (or was set by
    // assignment and not resolved since: formatId() then looks it up).
    const FormatInfo* formatEntry = nullptr;

    // Resolves `format` again; call it after assigning a new format text.
    void resolveFormat();
    // The item's format code: the resolved one, or looked up from the text.
    FormatCode formatId() const { return formatEntry ? formatEntry->id : formatCode(format); }

    // The text of the first enumeration entry whose value equals `value`, or nullptr.
    const std::string* enumText(std::int32_t value) const;
    friend bool operator==(const CRecordDataLayout&, const CRecordDataLayout&) = default;
};

struct RecordDescription {
    std::vector<CRecordDataLayout> items;
    std::uint32_t recordType = 0;
    std::string title;
    friend bool operator==(const RecordDescription&, const RecordDescription&) = default;
};

struct RepeatDescription {
    std::vector<CRecordDataLayout> items;  // one block
    std::uint32_t recordType = 0;
    std::string title;                     // the block's heading
    std::string countField;
    std::string flagsField;                // kept by the tables, not read by the decoder
    std::string blockSizeField;            // may be empty
    friend bool operator==(const RepeatDescription&, const RepeatDescription&) = default;
};

struct VectorDescription {
    SizeRule sizeRule;                     // used when width is 0
    std::uint32_t recordType = 0;
    std::string title;
    std::int32_t width = 0;                // element width in bytes; 0 = size rule
    std::string elementName;               // heads the printed line
    std::string format;                    // element format code
    const FormatInfo* formatEntry = nullptr;  // `format` resolved when the layouts load

    // Resolves `format` again; call it after assigning a new format text.
    void resolveFormat() { formatEntry = formatInfo(format); }
    // The element format code: the resolved one, or looked up from the text.
    FormatCode formatId() const { return formatEntry ? formatEntry->id : formatCode(format); }
    std::string countField;
    std::string secondField;               // usually a flags field, read by count rules
    CountRule countRule;                   // where the vector is opened in the record walk
    CountRule blockCountRule;              // where it is opened inside a repeat block
    friend bool operator==(const VectorDescription&, const VectorDescription&) = default;
};

struct VarStringDescription {
    std::uint32_t recordType = 0;
    std::string lengthField;
    std::string name;                      // labels the decoded text
    friend bool operator==(const VarStringDescription&, const VarStringDescription&) = default;
};

// Ordering: record type, then record version, then protocol version.
struct RecordKey {
    std::int32_t protocolVersion = kCatalogueProtocolVersion;
    std::int32_t recordVersion = kCatalogueRecordVersion;
    std::int32_t recordType = 0;

    friend bool operator<(const RecordKey& a, const RecordKey& b) {
        if (a.recordType != b.recordType) return a.recordType < b.recordType;
        if (a.recordVersion != b.recordVersion) return a.recordVersion < b.recordVersion;
        return a.protocolVersion < b.protocolVersion;
    }
    friend bool operator==(const RecordKey&, const RecordKey&) = default;
};

// Ordering: record type, then block index, then record version, then protocol version.
struct BlockKey {
    std::int32_t protocolVersion = kCatalogueProtocolVersion;
    std::int32_t recordVersion = kCatalogueRecordVersion;
    std::int32_t recordType = 0;
    std::int32_t blockIndex = 0;

    BlockKey() = default;
    BlockKey(std::int32_t protocol, std::int32_t version, std::int32_t type, std::int32_t index)
        : protocolVersion(protocol), recordVersion(version), recordType(type), blockIndex(index) {}
    BlockKey(const RecordKey& record, std::int32_t index)
        : BlockKey(record.protocolVersion, record.recordVersion, record.recordType, index) {}

    friend bool operator<(const BlockKey& a, const BlockKey& b) {
        if (a.recordType != b.recordType) return a.recordType < b.recordType;
        if (a.blockIndex != b.blockIndex) return a.blockIndex < b.blockIndex;
        if (a.recordVersion != b.recordVersion) return a.recordVersion < b.recordVersion;
        return a.protocolVersion < b.protocolVersion;
    }
    friend bool operator==(const BlockKey&, const BlockKey&) = default;
};

using CVxRecordMap = std::map<RecordKey, RecordDescription>;
using OptionalDataMap = std::map<RecordKey, RecordDescription>;
using CVxRecordRepeatMapping = std::map<BlockKey, RepeatDescription>;
using VectorMap = std::map<BlockKey, VectorDescription>;
using VarStringMap = std::map<BlockKey, VarStringDescription>;
using BeamSampleLayout = RecordDescription;

// The (field name, value) pairs of the fields decoded so far in one record, in
// decoding order; -1 for fields that are not integers. Names are views of the
// layout items' names, which live as long as the catalogue.
class FieldValueList {
public:
    void add(std::string_view name, std::int32_t value) {
        entries_.push_back({name.data(), static_cast<std::uint32_t>(name.size()), value});
    }
    void clear() { entries_.clear(); }
    // Room for `n` entries, written only as they are added.
    void reserve(std::size_t n) { entries_.reserve(n); }
    std::size_t size() const { return entries_.size(); }
    std::pair<std::string_view, std::int32_t> operator[](std::size_t i) const {
        return {entries_[i].name(), entries_[i].value};
    }

    // Counts, block sizes and string lengths: empty name, no match, negative
    // values and values above 1,000,000 all give 0; the first match wins.
    std::int32_t countLookup(std::string_view name) const;
    // Size rules: the first exact match, unclamped; -1 when absent.
    std::int32_t sizeRuleLookup(std::string_view name) const;
    // The first exact match, when there is one.
    bool find(std::string_view name, std::int32_t& value) const;
    // Entry `i`'s value, for look-ups by position (noted like the others).
    std::int32_t valueAt(std::size_t i) const {
        note(i);
        return entries_[i].value;
    }

    // While set, the index of every entry a look-up returns is appended to
    // `log`: which of the decoded values steered a walk.
    void logLookups(std::vector<std::uint32_t>* log) { log_ = log; }

private:
    void note(std::size_t i) const {
        if (log_) log_->push_back(static_cast<std::uint32_t>(i));
    }
    // 16 bytes, not the 24 of a view and a value: a record of thousands of
    // fields (a file catalog) writes fewer fresh pages.
    struct Entry {
        const char* text;
        std::uint32_t length;
        std::int32_t value;
        std::string_view name() const { return {text, length}; }
    };
    std::vector<Entry> entries_;
    std::vector<std::uint32_t>* log_ = nullptr;
};

inline constexpr std::int32_t kMaxLookupCount = 1'000'000;

// The width a size rule gives with the fields decoded so far.
std::int32_t evaluateSizeRule(const SizeRule& rule, const FieldValueList& values);

// The length an "sd"/"xd" item refers back to, counted back from the item
// itself: depth 1 is the field decoded just before it, 2 the one before that
// (record 7051's "Event message", depth 2, takes "Message length"); depth 0 is
// read as 1. False when the reference points before the first decoded field.
bool backReference(const FieldValueList& values, std::int32_t depth, std::int32_t& length);

class BuiltInLayouts;  // decode/layout_image.h

// All layout descriptions of the tool. Built once (see decode/catalogue/) and
// only read afterwards. Absent keys give empty descriptions.
struct LayoutCatalogue {
    BeamSampleLayout beamSampleLayout;
    VectorMap vectors;
    CVxRecordRepeatMapping repeats;
    CVxRecordMap records;
    VarStringMap varStrings;
    OptionalDataMap optionalData;
    // Where the look-ups below turn for a key the maps do not hold: the
    // built-in layouts, unpacked from the program's image as they are asked
    // for (loadLayoutsForLookups). Null when the maps hold everything; code
    // that walks the maps themselves needs a catalogue without it.
    const BuiltInLayouts* builtIns = nullptr;

    const RecordDescription& record(const RecordKey& key) const;
    const RecordDescription& optional(const RecordKey& key) const;
    const RepeatDescription& repeat(const BlockKey& key) const;
    const VectorDescription& vector(const BlockKey& key) const;
    const VarStringDescription& varString(const BlockKey& key) const;
    // The catalogue with every description in its maps, for code that walks
    // them rather than looking keys up: this one, or when the built-in layouts
    // are looked up in the program's image, all of them unpacked at once.
    const LayoutCatalogue& whole() const;
    friend bool operator==(const LayoutCatalogue&, const LayoutCatalogue&) = default;
};

// Resolves the format code of every item and vector of the catalogue (done
// when the layouts load; again after a catalogue is changed by hand).
void resolveFormats(LayoutCatalogue& catalogue);

} // namespace tarvik
