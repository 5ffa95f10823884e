#include "decode/catalogue/catalogue.h"

#include "core/text.h"
#include "decode/layout_image.h"
#include "decode/layout_loader.h"

namespace tarvik {

namespace {
RecordKey keyOf(std::uint32_t type) {
    return {kCatalogueProtocolVersion, kCatalogueRecordVersion, static_cast<std::int32_t>(type)};
}
BlockKey keyOf(std::uint32_t type, std::int32_t index) {
    return {kCatalogueProtocolVersion, kCatalogueRecordVersion, static_cast<std::int32_t>(type), index};
}
} // namespace

namespace {
// A new entry of `map` (records or optional data); a key registered before is
// noted as a duplicate and the entry goes to `discard`.
ItemListBuilder describe(std::map<RecordKey, RecordDescription>& map, const char* kind, std::uint32_t type,
                         std::string title, std::vector<std::string>& duplicates, RecordDescription& discard) {
    auto [it, fresh] = map.try_emplace(keyOf(type));
    if (!fresh) duplicates.push_back(strprintf("%s %u", kind, type));
    RecordDescription& d = fresh ? it->second : (discard = {});
    d.recordType = type;
    d.title = std::move(title);
    return ItemListBuilder(d.items);
}
} // namespace

ItemListBuilder CatalogueBuilder::record(std::uint32_t type, std::string title) {
    return describe(c_.records, "record", type, std::move(title), duplicates_, discardRecord_);
}

ItemListBuilder CatalogueBuilder::optionalData(std::uint32_t type, std::string title) {
    return describe(c_.optionalData, "optional data", type, std::move(title), duplicates_, discardRecord_);
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
    d.resolveFormat();
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
    // The built-in definition files are checked when they load: a key given twice
    // in one file is a problem there, so there are no duplicates to hand back.
    if (duplicates) duplicates->clear();
    LayoutLoader loader;
    loader.addBuiltIn();
    return loader.finish().catalogue;
}

BeamSampleLayout builtInBeamSampleLayout() {
    BeamSampleLayout layout;
    if (readBeamSampleLayout(builtInLayoutImage(), layout)) return layout;
    return buildLayoutCatalogue().beamSampleLayout;
}

// Only the maps are checked: built-in layouts looked up in the program's
// image were checked when the program was built.
std::vector<std::string> checkLayoutCatalogue(const LayoutCatalogue& catalogue) {
    std::vector<std::string> problems;
    for (const auto& [key, block] : catalogue.repeats)
        if (block.title.empty())
            problems.push_back(strprintf("The description for REPEAT record type %d is empty",
                                         static_cast<int>(block.recordType)));
    return problems;
}

namespace {
const LayoutCatalogue& builtInCatalogue() {
    static const LayoutCatalogue c = buildLayoutCatalogue();
    return c;
}
} // namespace

void addVectors(CatalogueBuilder& c) {
    for (const auto& [key, v] : builtInCatalogue().vectors) c.catalogue().vectors.try_emplace(key, v);
}

void addVarStrings(CatalogueBuilder& c) {
    for (const auto& [key, v] : builtInCatalogue().varStrings) c.catalogue().varStrings.try_emplace(key, v);
}

} // namespace tarvik
