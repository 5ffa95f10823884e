#include "decode/catalogue/catalogue.h"

#include "core/text.h"

namespace tarvik {

namespace {
RecordKey keyOf(std::uint32_t type) {
    return {kCatalogueProtocolVersion, kCatalogueRecordVersion, static_cast<std::int32_t>(type)};
}
BlockKey keyOf(std::uint32_t type, std::int32_t index) {
    return {kCatalogueProtocolVersion, kCatalogueRecordVersion, static_cast<std::int32_t>(type), index};
}
} // namespace

ItemListBuilder CatalogueBuilder::record(std::uint32_t type, std::string title) {
    auto [it, fresh] = c_.records.try_emplace(keyOf(type));
    if (!fresh) duplicates_.push_back(strprintf("record %u", type));
    RecordDescription& d = fresh ? it->second : (discardRecord_ = {});
    d.recordType = type;
    d.title = std::move(title);
    return ItemListBuilder(d.items);
}

ItemListBuilder CatalogueBuilder::optionalData(std::uint32_t type, std::string title) {
    auto [it, fresh] = c_.optionalData.try_emplace(keyOf(type));
    if (!fresh) duplicates_.push_back(strprintf("optional data %u", type));
    RecordDescription& d = fresh ? it->second : (discardRecord_ = {});
    d.recordType = type;
    d.title = std::move(title);
    return ItemListBuilder(d.items);
}

RepeatBuilder CatalogueBuilder::repeat(std::uint32_t type, std::int32_t index, std::string title,
                                       std::string countField) {
    auto [it, fresh] = c_.repeats.try_emplace(keyOf(type, index));
    if (!fresh) duplicates_.push_back(strprintf("repeat %u/%d", type, static_cast<int>(index)));
    RepeatDescription& d = fresh ? it->second : (discardRepeat_ = {});
    d.recordType = type;
    d.title = std::move(title);
    d.countField = std::move(countField);
    return RepeatBuilder(d);
}

VectorBuilder CatalogueBuilder::vector(std::uint32_t type, std::int32_t index, std::string elementName,
                                       std::string format, std::int32_t width, std::string countField) {
    auto [it, fresh] = c_.vectors.try_emplace(keyOf(type, index));
    if (!fresh) duplicates_.push_back(strprintf("vector %u/%d", type, static_cast<int>(index)));
    VectorDescription& d = fresh ? it->second : (discardVector_ = {});
    d.recordType = type;
    d.title = elementName;
    d.elementName = std::move(elementName);
    d.format = std::move(format);
    d.width = width;
    d.countField = std::move(countField);
    return VectorBuilder(d);
}

void CatalogueBuilder::varString(std::uint32_t type, std::int32_t index, std::string name, std::string lengthField) {
    const bool fresh =
        c_.varStrings.try_emplace(keyOf(type, index), VarStringDescription{type, std::move(lengthField), std::move(name)})
            .second;
    if (!fresh) duplicates_.push_back(strprintf("variable text %u/%d", type, static_cast<int>(index)));
}

LayoutCatalogue buildLayoutCatalogue(std::vector<std::string>* duplicates) {
    LayoutCatalogue catalogue;
    CatalogueBuilder c(catalogue);
    addBeamSampleLayout(c);
    addVectors(c);
    addRepeats(c);
    // Records of 7000 and above first, then 1000..6999 and 7500..9999.
    addRecords7000(c);
    addRecords7200(c);
    addRecords10000(c);
    addRecords1000(c);
    addRecords7500(c);
    addVarStrings(c);
    addOptionalData(c);
    // A type that owns repeat blocks but has no layout decodes as unknown.
    for (const auto& [key, block] : catalogue.repeats)
        catalogue.records.try_emplace(RecordKey{key.protocolVersion, key.recordVersion, key.recordType});
    if (duplicates) *duplicates = c.duplicates();
    return catalogue;
}

std::vector<std::string> checkLayoutCatalogue(const LayoutCatalogue& catalogue) {
    std::vector<std::string> problems;
    for (const auto& [key, block] : catalogue.repeats)
        if (block.title.empty())
            problems.push_back(strprintf("The description for REPEAT record type %d is empty",
                                         static_cast<int>(block.recordType)));
    return problems;
}

void addBeamSampleLayout(CatalogueBuilder& c) {
    BeamSampleLayout& b = c.catalogue().beamSampleLayout;
    b = {};
    b.recordType = 7008;
    b.title = "Vx Beam Data";
    const std::vector<std::pair<std::int32_t, std::int32_t>> ampPhase = {{0, 0}, {1, 1}, {2, 2}, {3, 4}};
    const std::vector<std::pair<std::int32_t, std::int32_t>> iq = {{0, 0}, {1, 2}, {2, 4}};
    ItemListBuilder(b.items)
        .item("Amplitude data", "u", 0, SizeRule("Data sample type", 0, 3, ampPhase))
        .item("Phase data", "u", 0, SizeRule("Data sample type", 4, 7, ampPhase))
        .item("I data", "i", 0, SizeRule("Data sample type", 8, 11, iq))
        .item("Q data", "i", 0, SizeRule("Data sample type", 8, 11, iq));
}

} // namespace tarvik
