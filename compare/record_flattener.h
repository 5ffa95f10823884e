#pragma once
// A record as a flat list of named values: the frame header's fields and every
// scalar item of its layout walk (the walk the report and report --json make),
// repeat blocks and vectors element by element, named as field expressions
// name them. Values are read as the report shows them (angles in degrees).

#include "core/bytes.h"
#include "decode/layout.h"
#include "decode/remote_definitions.h"
#include "expr/fields.h"
#include "export/record_values.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tarvik::compare {

struct FlatValue {
    std::uint32_t name = 0;  // into RecordFlattener::names()
    std::string element;     // "" or "[3]", "[1][4]"
    ScalarValue value;       // texts view into the frame
    // A vector or a sample block, held whole: its elements are read only when
    // its bytes differ from the other side's (see elements()).
    struct Block {
        WalkedField element;  // the first element (format, width, offset)
        std::int64_t count = 0;
        ByteSpan bytes;
    };
    std::optional<Block> block;
};

// Element `index` of a block, as a value of its own ("[index]" after the block's own element
// path); its kind is None when its bytes are not held.
FlatValue element(ByteSpan frame, const FlatValue& block, std::int64_t index);

class RecordFlattener {
public:
    explicit RecordFlattener(const LayoutCatalogue& catalogue);

    // The header's fields (without the walk).
    void header(ByteSpan frame, std::vector<FlatValue>& out);
    // The items of the layout walk; the frame must stay held while `out` is used.
    void items(ByteSpan frame, std::vector<FlatValue>& out);

    // Where each header field lies in the frame: two headers whose bytes agree
    // there hold the same values, read or not.
    struct HeaderSpan {
        std::uint32_t name = 0;
        std::uint8_t offset = 0;
        std::uint8_t width = 0;
    };
    const std::vector<HeaderSpan>& headerSpans() const { return headerSpans_; }

    const std::string& name(std::uint32_t id) const { return names_[id]; }
    std::size_t nameCount() const { return names_.size(); }
    const expr::FieldNames& fieldNames() const { return fieldNames_; }

private:
    struct TypeNames {
        // Walked item name -> (kind, name id) of the fields it makes.
        std::unordered_map<std::string, std::vector<std::pair<std::string, std::uint32_t>>> items;
        // Vector item name -> the name id of its elements.
        std::unordered_map<std::string, std::uint32_t> vectors;
    };
    std::uint32_t intern(const std::string& name);
    const TypeNames& typeNames(std::uint32_t type);
    std::uint32_t itemName(std::uint32_t type, const WalkedField& f, bool vector);
    void walk(std::uint32_t type, ByteSpan frame, const std::vector<ItemNode>& nodes, const std::string& path,
              std::vector<FlatValue>& out);

    expr::FieldNames fieldNames_;
    NoRemoteCommandDefinitions commands_;
    RecordDecoder decoder_;
    std::vector<std::string> names_;
    std::unordered_map<std::string, std::uint32_t> ids_;
    std::unordered_map<std::uint32_t, TypeNames> types_;
    std::vector<std::pair<std::uint32_t, expr::HeaderField>> headerFields_;
    std::vector<HeaderSpan> headerSpans_;
};

} // namespace tarvik::compare
