#pragma once
// Walking the nested structures a field can open: repeat blocks, vectors,
// variable texts and the samples of record 7008. Every read is bounded by the
// bytes handed in, whatever the counts and lengths in the record say.

#include "core/bytes.h"
#include "decode/layout.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvik {

// One beam descriptor of record 7008, as collected from its "Beam description" block.
struct BeamDescriptor {
    std::uint32_t beam = 0;
    std::uint32_t first = 0;
    std::uint32_t end = 0;
};

// The state of one record's decoding.
struct DecodeContext {
    DecodeContext(const LayoutCatalogue& c, RecordKey k, std::vector<std::string>& out)
        : catalogue(c), key(k), lines(out) {}

    const LayoutCatalogue& catalogue;
    RecordKey key;
    std::vector<std::string>& lines;
    FieldValueList values;
    std::vector<std::string> messages;             // texts for a message box
    std::vector<BeamDescriptor>* beamDescriptors = nullptr;  // collected for record 7008
    int depth = 0;                                 // nesting of repeat blocks
};

inline constexpr std::int64_t kMaxShownBlocks = 999;
inline constexpr int kMaxNesting = 8;

// Formats block `blockIndex` of a repeat description from `data` (the bytes
// that remain). Returns the bytes consumed, the fixed block size when one is
// given, or -1 when a back-reference points before the first decoded field.
std::int64_t formatRepeatBlock(DecodeContext& ctx, ByteSpan data, const RepeatDescription& block,
                               std::int32_t fixedSize, std::int32_t blockIndex);

// Formats a vector of `count` elements from `data`; returns the bytes consumed.
std::int64_t formatVector(DecodeContext& ctx, std::int64_t count, ByteSpan data, const VectorDescription& vector);

// The element count a vector inside a repeat block uses.
std::int64_t repeatVectorCount(std::int32_t recordType, std::int32_t itemNumber, std::int64_t count);

// The widths of the four parts of one beam sample of record 7008.
struct BeamSampleWidths {
    std::int32_t width[4] = {};
    bool isSigned[4] = {};
    bool used[4] = {};
    std::int32_t total() const;
};
BeamSampleWidths beamSampleWidths(const BeamSampleLayout& layout, const FieldValueList& values);
// Appends "(v1,v2,...)" of one sample at the start of `data`; false when the
// sample's bytes are not all there (nothing is appended then).
bool appendBeamSample(const BeamSampleWidths& widths, ByteSpan data, std::string& out);

// The text of a variable-length string: up to its first zero, within `length`
// bytes and the bytes held.
std::string_view boundedText(ByteSpan data, std::int64_t length);

} // namespace tarvik
