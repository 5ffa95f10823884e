#pragma once
// Which bytes of a record no layout item decoded: the undecoded tail of a
// title-only record, a gap a layout skips, the bytes after the last item.
// Worked out from the items a report walked (RecordReporter::collectFields).

#include "core/bytes.h"
#include "decode/walker.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvik {

struct UndecodedRange {
    std::size_t offset = 0;  // from the frame's first byte
    std::size_t count = 0;
    bool operator==(const UndecodedRange&) const = default;
};

struct RecordCoverage {
    // The bytes a layout could describe: from the end of the frame header to
    // the checksum field (optional data included), by the Size the header
    // claims. A frame cut off by the end of its file holds fewer: the bytes
    // from `held` on are missing, and counted as not decoded.
    std::size_t dataBegin = 0;
    std::size_t dataEnd = 0;
    std::size_t held = 0;
    std::vector<UndecodedRange> undecoded;  // ascending, not touching
    bool anyItem = false;                   // some item of the layout took bytes

    std::size_t dataBytes() const { return dataEnd - dataBegin; }
    std::size_t undecodedBytes() const;
};

// The coverage of one frame, given every item its report walked.
RecordCoverage recordCoverage(ByteSpan frame, const std::vector<WalkedField>& fields);

// What kind of bytes a range is: "cut off" (missing from a frame the file
// ends inside), "no layout items", "after the last item" or "between items".
std::string undecodedKind(const RecordCoverage& coverage, const UndecodedRange& range);

// The report's closing line: "   All N data bytes decoded" or
// "   NOT DECODED: N of M data bytes at A-B, C-D" (offsets from the frame's
// first byte, both ends included; at most eight ranges named), followed by
// "(N of them cut off)" when bytes are missing from the frame.
std::string coverageLine(const RecordCoverage& coverage);

} // namespace tarvik
