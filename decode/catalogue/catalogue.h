#pragma once
// Filling a layout catalogue from C++: the builder API that tests use to make
// small catalogues of their own. The built-in catalogue itself is data
// (data/layouts/*.yaml, see docs/layouts.md), loaded by decode/layout_loader.h.
//
//     CatalogueBuilder c(catalogue);
//     c.record(7000, "Vx volatile sonar settings")
//         .item("Sonar serial number", "u", 8)
//         .item("Multi-Ping Sequence", "u", 2, {{0, "Not in multiping mode"}})
//         .item("Beam descriptor", "repeat", 0);     // number = block index
//     c.repeat(7027, 0, "Beam Detection Data", "Number of detection Points").item(...);
//     c.vector(7004, 0, "Beam vert. direction angle (deg)", "r2d", 4, "Number of receiver beams");
//     c.varString(7052, 0, "Directory name", "Directory name length (characters, including NULL)");
//
// A key registered twice keeps its first description.

#include "decode/layout.h"

#include <string>
#include <vector>

namespace tarvik {

// Adds items to one description (record, optional data or repeat block).
class ItemListBuilder {
public:
    explicit ItemListBuilder(std::vector<CRecordDataLayout>& items) : items_(&items) {}

    ItemListBuilder& item(std::string name, std::string format, std::int32_t number) {
        items_->emplace_back(std::move(name), std::move(format), number);
        return *this;
    }
    ItemListBuilder& item(std::string name, std::string format, std::int32_t number, Enumeration enumeration) {
        items_->emplace_back(std::move(name), std::move(format), number, std::move(enumeration));
        return *this;
    }
    ItemListBuilder& item(std::string name, std::string format, std::int32_t number, SizeRule rule) {
        items_->emplace_back(std::move(name), std::move(format), number, std::move(rule));
        return *this;
    }

private:
    std::vector<CRecordDataLayout>* items_;
};

class RepeatBuilder : public ItemListBuilder {
public:
    explicit RepeatBuilder(RepeatDescription& d) : ItemListBuilder(d.items), d_(&d) {}
    RepeatBuilder& blockSize(std::string field) { d_->blockSizeField = std::move(field); return *this; }
    RepeatBuilder& flags(std::string field) { d_->flagsField = std::move(field); return *this; }
    RepeatBuilder& item(std::string name, std::string format, std::int32_t number) {
        ItemListBuilder::item(std::move(name), std::move(format), number);
        return *this;
    }
    RepeatBuilder& item(std::string name, std::string format, std::int32_t number, Enumeration enumeration) {
        ItemListBuilder::item(std::move(name), std::move(format), number, std::move(enumeration));
        return *this;
    }
    RepeatBuilder& item(std::string name, std::string format, std::int32_t number, SizeRule rule) {
        ItemListBuilder::item(std::move(name), std::move(format), number, std::move(rule));
        return *this;
    }

private:
    RepeatDescription* d_;
};

class VectorBuilder {
public:
    explicit VectorBuilder(VectorDescription& d) : d_(&d) {}
    VectorBuilder& second(std::string field) { d_->secondField = std::move(field); return *this; }
    VectorBuilder& sizeRule(SizeRule rule) { d_->sizeRule = std::move(rule); return *this; }
    VectorBuilder& title(std::string text) { d_->title = std::move(text); return *this; }

private:
    VectorDescription* d_;
};

// Registers descriptions into a catalogue. A key registered twice keeps its
// first description; the later registration is built and then dropped.
class CatalogueBuilder {
public:
    explicit CatalogueBuilder(LayoutCatalogue& catalogue) : c_(catalogue) {}

    ItemListBuilder record(std::uint32_t type, std::string title);
    ItemListBuilder optionalData(std::uint32_t type, std::string title);
    RepeatBuilder repeat(std::uint32_t type, std::int32_t index, std::string title, std::string countField);
    // The title defaults to the element name.
    VectorBuilder vector(std::uint32_t type, std::int32_t index, std::string elementName, std::string format,
                         std::int32_t width, std::string countField);
    void varString(std::uint32_t type, std::int32_t index, std::string name, std::string lengthField);

    LayoutCatalogue& catalogue() { return c_; }

    // Keys registered more than once ("record 7601", "repeat 7027/0", ...):
    // the later registration was dropped, which hides a fuller layout when a
    // title-only entry comes first.
    const std::vector<std::string>& duplicates() const { return duplicates_; }

private:
    LayoutCatalogue& c_;
    std::vector<std::string> duplicates_;
    // Where duplicate registrations go.
    RecordDescription discardRecord_;
    RepeatDescription discardRepeat_;
    VectorDescription discardVector_;
};

// Copy the built-in vectors / variable texts into a catalogue being built (keys
// already there are kept): for small catalogues that reuse the built-in arrays.
void addVectors(CatalogueBuilder& c);
void addVarStrings(CatalogueBuilder& c);

// The built-in catalogue, loaded from the embedded definition files, with an
// empty record entry for every record type that owns repeat blocks but has no
// layout. `duplicates`, when given, is emptied: the loader reports a key given
// twice in one file as a problem of that file.
LayoutCatalogue buildLayoutCatalogue(std::vector<std::string>* duplicates = nullptr);

// The built-in beam-sample layout (record 7008's samples), as in
// buildLayoutCatalogue() but without building the rest of the catalogue.
BeamSampleLayout builtInBeamSampleLayout();

// The start-up check: one message per repeat-block description without a title.
std::vector<std::string> checkLayoutCatalogue(const LayoutCatalogue& catalogue);

} // namespace tarvik
