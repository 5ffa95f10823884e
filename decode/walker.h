#pragma once
// Walking the nested structures a field can open: repeat blocks, vectors,
// variable texts and the samples of record 7008. Every read is bounded by the
// bytes handed in, whatever the counts and lengths in the record say.

#include "core/bytes.h"
#include "decode/layout.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// One beam descriptor of record 7008, as collected from its "Beam description" block.
struct BeamDescriptor {
    std::uint32_t beam = 0;
    std::uint32_t first = 0;
    std::uint32_t end = 0;
};

// One walked item and the bytes it took, for writers that need the byte
// layout of a record. Offsets count from the first byte of the record.
struct WalkedField {
    std::string_view name;
    std::string_view format;
    std::int64_t offset = 0;
    std::int64_t width = 0;   // bytes consumed (0 for items that hold no data)
    int depth = 0;            // 0 in the record, 1 inside a repeat block, ...
    // The report lines written while the item was walked, [lineBegin, lineEnd):
    // a scalar's own line, a vector's element lines, a repeat block's lines.
    std::size_t lineBegin = 0;
    std::size_t lineEnd = 0;
    FormatCode code = FormatCode::Unknown;  // `format`, resolved
};

// What a walk of a command body hands to a caller that writes the values in
// its own words (the server stand-in's command log) instead of report lines.
struct CommandWalkEvent {
    enum class Kind {
        Value,         // one value of `item`: its `bytes`
        ListBegin,     // a list parameter `item` of `index` elements
        ElementBegin,  // element `index` of the list `item`
        ElementEnd,    // element `index` of the list `item` is done
        ListEnd,       // the list `item` is done
        RecordEnds,    // the record ends before the next value of `item`; the walk stops
    };
    Kind kind = Kind::Value;
    const CRecordDataLayout* item = nullptr;
    ByteSpan bytes;
    std::int64_t index = 0;
};

// What of a record steered its walk, for callers that replay a walk's outcome
// on records that would walk the same way. A walk reads the record's bytes
// into values; only the values its look-ups return (counts, sizes, lengths,
// back-references) change where it goes. Two records of the same key, Size,
// Offset and optional-data presence, with the same bytes under the looked-up
// values, walk alike.
struct WalkTrace {
    // Where the value of each decoded field came from, in the order of the
    // field values: `width` bytes at `offset` of the record (0: a value no
    // byte of the record gave).
    struct Source {
        std::int64_t offset = 0;
        std::int64_t width = 0;
    };
    std::vector<Source> sources;
    std::vector<std::uint32_t> lookups;  // indexes of the values look-ups returned
    std::vector<Source> reads;           // bytes of the record read directly, besides the values
    bool opaque = false;                 // the walk read the record otherwise: it cannot be replayed

    void clear() {
        sources.clear();
        lookups.clear();
        reads.clear();
        opaque = false;
    }
};

// The state of one record's decoding.
struct DecodeContext {
    DecodeContext(const LayoutCatalogue& c, RecordKey k, std::vector<std::string>& out)
        : catalogue(c), key(k), lines(out) {}

    const LayoutCatalogue& catalogue;
    RecordKey key;
    std::vector<std::string>& lines;
    FieldValueList values;
    std::vector<std::string> recordMessages;       // message-box texts raised by the record walk, in order
    std::vector<std::string> messages;             // those raised inside blocks (each text once)
    std::vector<BeamDescriptor>* beamDescriptors = nullptr;  // collected for record 7008
    std::vector<WalkedField>* fields = nullptr;    // every walked item, when set
    WalkTrace* trace = nullptr;                    // what steered the walk, when set
    // Checks and formats the beams and samples of record 7008 ("7008PingData"),
    // adding its lines; returns the bytes consumed.
    std::function<std::int64_t(std::vector<std::string>&, const FieldValueList&)> pingData;
    int depth = 0;                                 // nesting of repeat blocks
    std::vector<std::string_view> refusedCounts;   // count fields already reported as out of range
    // A quiet walk takes the same items, counts and sizes but writes no field
    // text: only the lines that tell why a walk stopped ("Data exhausted",
    // the repeat-block shortfalls) and the messages. For callers that want
    // the walk's outcome, not its report.
    bool quiet = false;
    // What one record's walk may produce, whatever its layout: the items walked
    // (quiet walks alike, so both end at the same place; every item gives at
    // most a few lines and one JSON node). Past it the walk ends and `cut` is
    // set; the report then says that the rest was cut.
    std::int64_t itemsWalked = 0;
    bool cut = false;
    // When set, every walked item is handed here as it is walked (as `fields`
    // gets it); returning false ends the walk after that item and sets
    // `stopped`. For readers that want a record's first items only: the rest
    // (repeat blocks, say) is not walked at all.
    const std::function<bool(const WalkedField&)>* watch = nullptr;
    bool stopped = false;
    // Command walks only. When set, every value and list boundary is handed
    // here as it is walked; returning false ends the walk there (Stopped).
    std::function<bool(const CommandWalkEvent&)> commandEvents;
    // Command walks only: the items of one block of a list parameter whose
    // format is "repeat". Without it (or when it gives nullptr) the list's
    // elements are values of the parameter's own width.
    std::function<const std::vector<CRecordDataLayout>*(const CRecordDataLayout&)> commandBlock;
};

inline constexpr std::int64_t kMaxItemsPerRecord = 200'000;
// The line that ends a report cut at the limits above.
std::string cutReportLine();

inline constexpr std::int64_t kMaxShownBlocks = 999;
// The start of the report line that says a count field's value was refused.
inline constexpr std::string_view kRefusedCountLead = "COUNT REFUSED:";
inline constexpr int kMaxNesting = 8;

// Where a list of items is walked. The levels differ in small, visible ways:
// how a field that does not fit ends the walk, the texts of nested repeats,
// which count rule a vector uses, and the formatting context of scalars.
enum class WalkLevel { Record, Block, Command };

struct WalkResult {
    enum class End {
        Done,             // every item was walked
        Stopped,          // the data ran out or a field ended the walk
        FixedSize,        // a block item passed the block's fixed size
        BrokenReference,  // an "sd"/"xd" referred to before the first decoded field
    };
    std::int64_t pos = 0;  // where the walk stopped, within `data`
    End end = End::Done;
};

// Walks `items` over `data` from `pos`; no field is read at or past `limit`.
// `base` is the offset of `data` within the record (for WalkedField), and
// `fixedSize` a block's fixed size (0: none).
WalkResult walkItems(DecodeContext& ctx, const std::vector<CRecordDataLayout>& items, ByteSpan data, std::int64_t pos,
                     std::int64_t limit, WalkLevel level, std::int64_t base = 0, std::int32_t fixedSize = 0);

// Formats block `blockIndex` of a repeat description from `data` (the bytes
// that remain, starting at offset `base` of the record). Returns the bytes
// consumed, the fixed block size when one is given, or -1 when a
// back-reference points before the first decoded field.
std::int64_t formatRepeatBlock(DecodeContext& ctx, ByteSpan data, const RepeatDescription& block,
                               std::int32_t fixedSize, std::int32_t blockIndex, std::int64_t base = 0);

// Formats a vector of `count` elements from `data`; returns the bytes consumed.
std::int64_t formatVector(DecodeContext& ctx, std::int64_t count, ByteSpan data, const VectorDescription& vector);

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
