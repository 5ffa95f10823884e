#include "decode/layout.h"

#include "decode/layout_image.h"

namespace tarvik {

SizeRule::SizeRule(std::string source, std::int32_t low, std::int32_t high,
                   std::vector<std::pair<std::int32_t, std::int32_t>> table, std::string multiplier)
    : sourceField(std::move(source)), multiplierField(std::move(multiplier)), highBit(high), lowBit(low),
      sizeTable(std::move(table)) {
    const std::int32_t bits = high - low + 1;
    mask = bits >= 32 ? 0xFFFFFFFFu : bits <= 0 ? 0u : ((1u << bits) - 1u);
}

CRecordDataLayout::CRecordDataLayout(std::string name_, std::string format_, std::int32_t number_)
    : format(std::move(format_)), number(number_), name(std::move(name_)), formatEntry(formatInfo(format)) {}

CRecordDataLayout::CRecordDataLayout(std::string name_, std::string format_, std::int32_t number_,
                                     Enumeration enumeration_)
    : enumeration(std::move(enumeration_)), format(std::move(format_)), number(number_), name(std::move(name_)),
      formatEntry(formatInfo(format)) {}

CRecordDataLayout::CRecordDataLayout(std::string name_, std::string format_, std::int32_t number_, SizeRule rule)
    : sizeRule(std::move(rule)), format(std::move(format_)), number(number_), name(std::move(name_)),
      formatEntry(formatInfo(format)) {}

void CRecordDataLayout::resolveFormat() { formatEntry = formatInfo(format); }

const std::string* CRecordDataLayout::enumText(std::int32_t value) const {
    for (const auto& e : enumeration)
        if (e.value == value) return &e.text;
    return nullptr;
}

bool FieldValueList::find(std::string_view name, std::int32_t& value) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].name() == name) {
            note(i);
            value = entries_[i].value;
            return true;
        }
    }
    return false;
}

std::int32_t FieldValueList::countLookup(std::string_view name) const {
    if (name.empty()) return 0;
    std::int32_t v = 0;
    if (!find(name, v)) return 0;
    return v < 0 || v > kMaxLookupCount ? 0 : v;
}

std::int32_t FieldValueList::sizeRuleLookup(std::string_view name) const {
    std::int32_t v = -1;
    return find(name, v) ? v : -1;
}

std::int32_t evaluateSizeRule(const SizeRule& rule, const FieldValueList& values) {
    if (rule.sourceField.empty()) return 0;
    auto v = static_cast<std::uint32_t>(values.sizeRuleLookup(rule.sourceField));
    const std::int32_t low = rule.lowBit;
    if (low > 0) v = low >= 32 ? 0u : v >> low;
    v &= rule.mask;
    std::int32_t width = 1;
    for (const auto& [value, size] : rule.sizeTable) {
        if (static_cast<std::uint32_t>(value) == v) {
            width = size;
            if (width == 0) return 0;
            break;
        }
    }
    std::int32_t multiplier = 0;
    if (!rule.multiplierField.empty() && values.find(rule.multiplierField, multiplier)) {
        const std::int64_t product = std::int64_t{width} * multiplier;
        // A product outside 32 bits is no usable width; the callers' limits reject it.
        if (product > INT32_MAX || product < INT32_MIN) return INT32_MAX;
        return static_cast<std::int32_t>(product);
    }
    return width;
}

bool backReference(const FieldValueList& values, std::int32_t depth, std::int32_t& length) {
    const auto n = static_cast<std::int64_t>(values.size());
    const std::int64_t back = depth == 0 ? 1 : depth;
    if (back < 1 || back > n) return false;
    length = values.valueAt(static_cast<std::size_t>(n - back));
    return true;
}

namespace {
template <typename Map, typename Lazy>
const typename Map::mapped_type& findOrEmpty(const Map& map, const typename Map::key_type& key, const Lazy& lazy) {
    static const typename Map::mapped_type empty{};
    if (auto it = map.find(key); it != map.end()) return it->second;
    const typename Map::mapped_type* unpacked = lazy(key);
    return unpacked ? *unpacked : empty;
}
} // namespace

const LayoutCatalogue& LayoutCatalogue::whole() const { return builtIns ? builtIns->whole() : *this; }

const RecordDescription& LayoutCatalogue::record(const RecordKey& key) const {
    return findOrEmpty(records, key, [this](const RecordKey& k) { return builtIns ? builtIns->record(k) : nullptr; });
}
const RecordDescription& LayoutCatalogue::optional(const RecordKey& key) const {
    return findOrEmpty(optionalData, key, [this](const RecordKey& k) { return builtIns ? builtIns->optional(k) : nullptr; });
}
const RepeatDescription& LayoutCatalogue::repeat(const BlockKey& key) const {
    return findOrEmpty(repeats, key, [this](const BlockKey& k) { return builtIns ? builtIns->repeat(k) : nullptr; });
}
const VectorDescription& LayoutCatalogue::vector(const BlockKey& key) const {
    return findOrEmpty(vectors, key, [this](const BlockKey& k) { return builtIns ? builtIns->vector(k) : nullptr; });
}
const VarStringDescription& LayoutCatalogue::varString(const BlockKey& key) const {
    return findOrEmpty(varStrings, key, [this](const BlockKey& k) { return builtIns ? builtIns->varString(k) : nullptr; });
}

void resolveFormats(LayoutCatalogue& catalogue) {
    auto items = [](std::vector<CRecordDataLayout>& list) {
        for (CRecordDataLayout& item : list) item.resolveFormat();
    };
    items(catalogue.beamSampleLayout.items);
    for (auto& [key, d] : catalogue.records) items(d.items);
    for (auto& [key, d] : catalogue.optionalData) items(d.items);
    for (auto& [key, d] : catalogue.repeats) items(d.items);
    for (auto& [key, d] : catalogue.vectors) d.resolveFormat();
}

std::int64_t CountRule::apply(std::int64_t count, std::int64_t second) const {
    if (!present) return count;
    if (fixed) return fixedCount;
    std::int64_t v = count;
    if (masked) {
        const std::int64_t x = (maskSecond ? second : count) & std::int64_t{mask};
        v = (x * (scaleByCount ? count : 1)) >> shift;
    }
    return v * times + plus;
}

} // namespace tarvik
