#pragma once
// The built-in layout catalogue: the tool's protocol knowledge, written down as
// data through a small builder API. Every entry is registered under protocol
// version 5 and record version 1.
//
// HOW TO ADD A RECORD LAYOUT
//   Find the group file for the record type (below) and add, in wire order:
//
//     c.record(7000, "Vx volatile sonar settings")
//         .item("Sonar serial number", "u", 8)
//         .item("Multi-Ping Sequence", "u", 2, {{0, "Not in multiping mode"}})
//         .item("Beam descriptor", "repeat", 0)       // number = block index
//         .item("Reserved", "x", 2);
//
//   An item takes (name, format, number) and optionally an Enumeration
//   ({{value, "text"}, ...}, or one from decode/catalogue/enumerations.h) or a
//   SizeRule. A record type registered twice keeps its first description.
//
// HOW TO ADD A REPEAT BLOCK (in repeats.cpp)
//     c.repeat(7027, 0, "Beam Detection Data", "Number of detection Points")
//         .blockSize("Data field size")              // optional: fixed block size field
//         .flags("Flags")                            // optional: kept, not read
//         .item("Beam Descriptor", "u", 2)
//         ...;
//   The record's item ("name", "repeat", 0) opens the block with index 0.
//
// HOW TO ADD A VECTOR (in vectors.cpp)
//     c.vector(7004, 0, "Beam vert. direction angle (deg)", "r2d", 4, "Number of receiver beams")
//         .second("Flags")                           // optional second field
//         .sizeRule(SizeRule(...));                  // when the width is 0
//
// HOW TO ADD A VARIABLE TEXT (in var_strings.cpp)
//     c.varString(7052, 0, "Directory name", "Directory name length (characters, including NULL)");
//
// OPTIONAL DATA (in optional_data.cpp): c.optionalData(type, title).item(...)...
//
// Group files (one function each, called by buildLayoutCatalogue in this order:
// beam samples, vectors, repeat blocks, records, variable texts, optional data):
//   records_7000.cpp    7000..7199           records_7200.cpp   7200..7499
//   records_10000.cpp   10000 and above      records_1000.cpp   1000..6999
//   records_7500.cpp    7500..9999
// A new record type goes into the file of its range; no other code changes.

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

// The group builders (one per file).
void addBeamSampleLayout(CatalogueBuilder& c);
void addVectors(CatalogueBuilder& c);
void addRepeats(CatalogueBuilder& c);
void addRecords7000(CatalogueBuilder& c);
void addRecords7200(CatalogueBuilder& c);
void addRecords10000(CatalogueBuilder& c);
void addRecords1000(CatalogueBuilder& c);
void addRecords7500(CatalogueBuilder& c);
void addVarStrings(CatalogueBuilder& c);
void addOptionalData(CatalogueBuilder& c);

// Builds the whole catalogue, then adds an empty record entry for every record
// type that owns repeat blocks but has no layout. When `duplicates` is given it
// receives the keys the tables register more than once.
LayoutCatalogue buildLayoutCatalogue(std::vector<std::string>* duplicates = nullptr);

// The start-up check: one message per repeat-block description without a title.
std::vector<std::string> checkLayoutCatalogue(const LayoutCatalogue& catalogue);

} // namespace tarvik
