#pragma once
// Which bytes of a record each report line was decoded from, and back: the
// link between the report list and the bytes pane.

#include "decode/walker.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

struct ByteRange {
    std::size_t offset = 0;
    std::size_t count = 0;
    bool operator==(const ByteRange&) const = default;
};

class ReportByteMap {
public:
    // `lines` are the report's lines, `fields` the items walked while it was
    // made, `frameSize` the bytes held for the record.
    void build(const std::vector<std::string>& lines, const std::vector<WalkedField>& fields, std::size_t frameSize);
    void clear() { *this = ReportByteMap{}; }

    // The bytes a report line came from: the item that wrote it (the smallest
    // when several did), the header for the frame header lines, the checksum
    // field for the checksum lines.
    std::optional<ByteRange> bytesOfLine(std::size_t line) const;
    // The report line of the item a byte belongs to (the innermost item).
    std::optional<std::size_t> lineOfByte(std::size_t offset) const;

private:
    struct Span {
        ByteRange bytes;
        std::size_t line = 0;
    };
    std::vector<std::optional<ByteRange>> lineBytes_;
    std::vector<Span> spans_;  // items with bytes and a line, innermost first when they overlap
    std::size_t headerLines_ = 0;
};

} // namespace tarvik
