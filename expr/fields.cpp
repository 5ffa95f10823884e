#include "expr/fields.h"

#include "decode/wireshark_lua.h"

#include <algorithm>
#include <charconv>

namespace tarvik::expr {

const char* valueTypeName(ValueType t) {
    switch (t) {
    case ValueType::Number: return "number";
    case ValueType::Text: return "text";
    case ValueType::Bool: return "boolean";
    }
    return "?";
}

namespace {

struct HeaderName {
    const char* name;
    HeaderField field;
    ValueType type;
    const char* kind;
    const char* unit;
    const char* label;
    FieldSource source;
};

constexpr HeaderName kHeaderNames[] = {
    {"vx.protocol_version", HeaderField::ProtocolVersion, ValueType::Number, "u16", "", "Protocol version", FieldSource::Header},
    {"vx.offset", HeaderField::Offset, ValueType::Number, "u16", "bytes", "Offset", FieldSource::Header},
    {"vx.size", HeaderField::Size, ValueType::Number, "u32", "bytes", "Size", FieldSource::Header},
    {"vx.optional_offset", HeaderField::OptionalOffset, ValueType::Number, "u32", "bytes", "Optional data offset", FieldSource::Header},
    {"vx.optional_id", HeaderField::OptionalId, ValueType::Number, "u32", "", "Optional data identifier", FieldSource::Header},
    {"vx.time", HeaderField::Time, ValueType::Number, "time", "s", "Time stamp, seconds since 1970 UTC", FieldSource::Header},
    {"vx.record_version", HeaderField::RecordVersion, ValueType::Number, "u16", "", "Record version", FieldSource::Header},
    {"vx.record_type", HeaderField::RecordType, ValueType::Number, "u32", "", "Record type", FieldSource::Header},
    {"vx.device", HeaderField::Device, ValueType::Number, "u32", "", "Device identifier", FieldSource::Header},
    {"vx.enumerator", HeaderField::Enumerator, ValueType::Number, "u16", "", "System enumerator", FieldSource::Header},
    {"vx.record_counter", HeaderField::RecordCounter, ValueType::Number, "u32", "", "Record counter", FieldSource::Header},
    {"vx.flags", HeaderField::Flags, ValueType::Number, "u16", "", "Flags", FieldSource::Header},
    {"vx.fragments_total", HeaderField::FragmentsTotal, ValueType::Number, "u32", "", "Total records in fragmented set", FieldSource::Header},
    {"vx.fragment_number", HeaderField::FragmentNumber, ValueType::Number, "u32", "", "Fragment number", FieldSource::Header},
    {"vx.checksum.ok", HeaderField::ChecksumOk, ValueType::Bool, "bool", "", "The checksum the flags claim is right (absent: none claimed)", FieldSource::Header},
    {"vx.checksum.bad", HeaderField::ChecksumBad, ValueType::Bool, "bool", "", "The checksum the flags claim is wrong (absent: none claimed)", FieldSource::Header},
    {"row", HeaderField::Row, ValueType::Number, "u32", "", "The record number the list shows", FieldSource::Context},
    {"capture.stream", HeaderField::CaptureStream, ValueType::Text, "string", "", "The stream a capture saw the record on", FieldSource::Context},
    {"capture.time", HeaderField::CaptureTime, ValueType::Number, "time", "s", "When a capture saw the record, seconds since 1970 UTC", FieldSource::Context},
};

// The dissector's name for the record counter, kept as a second name.
constexpr std::string_view kCounterAlias = "vx.counter";

ValueType typeOfKind(std::string_view kind) {
    if (kind == "string" || kind == "bytes") return ValueType::Text;
    return ValueType::Number;
}

// "Sample rate (Hz)" gives "Hz"; the deg kind and times give theirs.
std::string unitOf(std::string_view label, std::string_view kind) {
    if (kind == "deg") return "deg";
    if (kind == "time") return "s";
    const auto open = label.rfind('(');
    const auto close = label.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open + 2) return {};
    std::string unit(label.substr(open + 1, close - open - 1));
    while (!unit.empty() && unit.back() == '.') unit.pop_back();
    return unit;
}

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

template <typename Map>
void forEachOfType(const Map& map, std::int32_t type, auto&& f) {
    for (const auto& [key, value] : map)
        if (key.recordType == type) f(key, value);
}

} // namespace

FieldNames::FieldNames(const LayoutCatalogue& layouts) : catalogue_(layouts.whole()) {
    const LayoutCatalogue& catalogue = catalogue_;
    for (const HeaderName& h : kHeaderNames) {
        FieldInfo f;
        f.name = h.name;
        f.source = h.source;
        f.type = h.type;
        f.kind = h.kind;
        f.unit = h.unit;
        f.label = h.label;
        f.header = h.field;
        byName_.emplace(f.name, fields_.size());
        fields_.push_back(std::move(f));
    }
    byName_.emplace(std::string(kCounterAlias), byName_.at("vx.record_counter"));

    for (const WiresharkField& w : wiresharkFields(catalogue)) {
        // "vx.TYPE.part"
        const std::size_t dot = w.filter.find('.', 3);
        if (w.filter.rfind("vx.", 0) != 0 || dot == std::string::npos) continue;
        std::uint32_t type = 0;
        if (std::from_chars(w.filter.data() + 3, w.filter.data() + dot, type).ec != std::errc{}) continue;
        FieldInfo f;
        f.name = w.filter;
        f.source = FieldSource::Layout;
        f.kind = w.kind;
        f.type = typeOfKind(w.kind);
        f.unit = unitOf(w.label, w.kind);
        f.label = w.label;
        f.recordType = type;
        const auto t = static_cast<std::int32_t>(type);
        // The items of this type the field stands for: those of its name whose
        // kind is the field's (a name given to items of two kinds makes two fields).
        auto take = [&](const std::vector<CRecordDataLayout>& items, bool inBlock) {
            for (const CRecordDataLayout& item : items)
                if (item.name == w.label && wiresharkKind(item.format, item.number) == w.kind) {
                    if (std::find(f.items.begin(), f.items.end(), item.name) == f.items.end()) f.items.push_back(item.name);
                    if (inBlock) f.repeated = true;
                }
        };
        forEachOfType(catalogue.records, t, [&](const auto&, const RecordDescription& d) { take(d.items, false); });
        forEachOfType(catalogue.optionalData, t, [&](const auto&, const RecordDescription& d) { take(d.items, false); });
        forEachOfType(catalogue.repeats, t, [&](const auto&, const RepeatDescription& d) { take(d.items, true); });
        // Vector elements: the vector items whose vector names its elements so.
        forEachOfType(catalogue.vectors, t, [&](const BlockKey& key, const VectorDescription& v) {
            if (v.elementName != w.label || wiresharkKind(v.format, v.width) != w.kind) return;
            auto opening = [&](const std::vector<CRecordDataLayout>& items) {
                for (const CRecordDataLayout& item : items)
                    if (item.formatId() == FormatCode::Vector && item.number == key.blockIndex &&
                        std::find(f.vectorItems.begin(), f.vectorItems.end(), item.name) == f.vectorItems.end())
                        f.vectorItems.push_back(item.name);
            };
            forEachOfType(catalogue.records, t, [&](const auto&, const RecordDescription& d) { opening(d.items); });
            forEachOfType(catalogue.optionalData, t, [&](const auto&, const RecordDescription& d) { opening(d.items); });
            forEachOfType(catalogue.repeats, t, [&](const auto&, const RepeatDescription& d) { opening(d.items); });
            f.repeated = true;
        });
        const std::size_t at = fields_.size();
        byName_.emplace(f.name, at);
        byPart_[f.name.substr(dot + 1)].push_back(at);
        fields_.push_back(std::move(f));
    }
}

const FieldInfo* FieldNames::find(std::string_view name, std::vector<std::string>* ambiguous) const {
    if (auto it = byName_.find(name); it != byName_.end()) return &fields_[it->second];
    if (!name.empty() && name[0] >= '0' && name[0] <= '9') {
        if (auto it = byName_.find("vx." + std::string(name)); it != byName_.end()) return &fields_[it->second];
        return nullptr;
    }
    if (auto it = byPart_.find(name); it != byPart_.end()) {
        if (it->second.size() == 1) return &fields_[it->second.front()];
        if (ambiguous)
            for (const std::size_t i : it->second) ambiguous->push_back(fields_[i].name);
    }
    return nullptr;
}

std::string FieldNames::nearest(std::string_view name) const {
    // Compare like with like: a name typed with its record type against full
    // names, a bare part against parts.
    std::string typed(name);
    if (!typed.empty() && typed[0] >= '0' && typed[0] <= '9') typed = "vx." + typed;
    std::string best;
    std::size_t bestDistance = std::string::npos;
    auto consider = [&](std::string_view candidate, std::string_view shown) {
        const std::size_t d = editDistance(typed, candidate);
        if (d < bestDistance) {
            bestDistance = d;
            best = std::string(shown);
        }
    };
    if (typed.size() > 200) return {};
    for (const auto& [n, i] : byName_) consider(n, fields_[i].name);
    if (typed.find('.') == std::string::npos)
        for (const auto& [part, list] : byPart_) consider(part, list.size() == 1 ? std::string_view(part) : fields_[list.front()].name);
    // A guess that changes most of the name helps nobody.
    if (bestDistance > std::max<std::size_t>(3, typed.size() / 3)) return {};
    return best;
}

std::vector<const FieldInfo*> FieldNames::ofType(std::uint32_t recordType) const {
    std::vector<const FieldInfo*> out;
    for (const FieldInfo& f : fields_)
        if (f.source == FieldSource::Layout && f.recordType == recordType) out.push_back(&f);
    return out;
}

} // namespace tarvik::expr
