#pragma once
// The values of a record's fields, read from the bytes the layout walk says
// each item took: numbers as stored, texts up to their first zero, time
// stamps as instants. The walk is the report's own (RecordReporter), so a
// field has the offset and width the report and report --json give it.

#include "core/bytes.h"
#include "core/file_window.h"
#include "core/record_source.h"
#include "core/vxtime.h"
#include "decode/format_table.h"
#include "decode/layout.h"
#include "decode/record_json.h"
#include "decode/remote_definitions.h"
#include "decode/report.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// Nanoseconds since 1970-01-01 UTC of a time stamp; nullopt when it names no instant.
// (Inline: made for every record of an index or a table.)
inline std::optional<std::int64_t> epochNanoseconds(const VxTIME& t) {
    if (t.year == 0 || t.day < 1 || t.day > (isLeapYear(t.year) ? 366 : 365) || t.hours > 23 || t.minutes > 59 ||
        !std::isfinite(t.seconds) || t.seconds < 0 || t.seconds >= 61)
        return std::nullopt;
    // Days from 1970-01-01 to 1 January of the year.
    const std::int64_t y = t.year - 1;
    const std::int64_t days = 365 * (y - 1969) + (y / 4 - 1969 / 4) - (y / 100 - 1969 / 100) + (y / 400 - 1969 / 400);
    const std::int64_t seconds = (days + t.day - 1) * 86400 + t.hours * 3600 + t.minutes * 60;
    // Rounded to the nearest nanosecond, halves away from zero: below 61 s
    // the sum with 0.5 is exact, and the cut rounds it down.
    return seconds * 1'000'000'000 + static_cast<std::int64_t>(double(t.seconds) * 1e9 + 0.5);
}
// "2024-03-05T07:04:09.123456789Z": an instant in ISO 8601, UTC, to the nanosecond
// (trailing zeros of the fraction left out).
std::string isoTime(std::int64_t nanoseconds);

enum class ValueKind : std::uint8_t { None, Unsigned, Signed, Float, Time, Text };

// One scalar field's value. `width` is the stored width in bytes (4 or 8 for floats).
struct ScalarValue {
    ValueKind kind = ValueKind::None;
    int width = 0;
    std::uint64_t u = 0;
    std::int64_t i = 0;  // Signed; Time: nanoseconds since 1970
    double f = 0;
    std::string_view text;  // Text: a view into the frame
};

// What a format code holds as a scalar column (None for blocks, vectors, skipped bytes).
ValueKind scalarKind(FormatCode code);

// The value of a walked scalar item, read from the frame (None when it is not
// a scalar or its bytes are not held): the number the report shows (angles
// stored in radians as degrees, see shownNumber), or with `raw` as stored.
ScalarValue scalarValue(ByteSpan frame, const WalkedField& field, bool raw = false);

// Decodes records into their walked items, one record at a time (the items
// refer into the decoder and are valid until the next decode).
class RecordDecoder {
public:
    RecordDecoder(const LayoutCatalogue& catalogue, const RemoteCommandDefinitions& commands)
        : catalogue_(catalogue), reporter_(catalogue, commands) {}

    // Walks the record; the outcome's lines say why a walk stopped early, its
    // messages are the message-box texts.
    const Report& decode(ByteSpan frame);
    // The same walk, handing every item to `watch` as it is walked; the walk
    // ends where `watch` returns false (a table that needs only a record's
    // first fields does not walk its repeat blocks).
    const Report& decode(ByteSpan frame, const std::function<bool(const WalkedField&)>& watch);
    const std::vector<WalkedField>& fields() const { return fields_; }
    // The items nested as the record holds them (repeat blocks as lists of blocks).
    const std::vector<ItemNode>& nested();

    // The element description of a "vector" item of the last record (nullptr when unknown).
    const VectorDescription* vectorOf(const WalkedField& field) const;

private:
    const LayoutCatalogue& catalogue_;
    RecordReporter reporter_;
    RecordKey key_;
    Report outcome_;
    std::vector<WalkedField> fields_;
    std::vector<ItemNode> nested_;
    bool nestedValid_ = false;
};

// Reads the frames of a source in index order through a window of the file
// (FileWindow): a scan over many small frames costs a copy per frame instead
// of system calls. Given a record type, only the frames of that type are
// asked for, and a read stops after the last of them the window reaches: the
// frames of other types in between are read only when they are few enough
// bytes to be cheaper to read than to step over. The bytes are those
// readFrame gives (a frame cut by the end of the file is cut here too).
class FrameScanner {
public:
    explicit FrameScanner(const IndexedRecordSource& source, std::optional<std::uint32_t> recordType = std::nullopt);
    ~FrameScanner();
    FrameScanner(const FrameScanner&) = delete;
    FrameScanner& operator=(const FrameScanner&) = delete;
    // The bytes of frame `position` of the index, valid until the next call;
    // empty when they cannot be read.
    ByteSpan frame(std::size_t position);

private:
    // How far from frame `position` the window should read: to the end of the
    // last frame of the wanted type it can hold.
    std::size_t reach(std::size_t position) const;

    const IndexedRecordSource& source_;
    const RecordFile* file_;
    std::optional<std::uint32_t> recordType_;
    std::uint64_t fileSize_ = 0;
    std::unique_ptr<FileWindow> window_;
    Bytes single_;
};

// Whether the flags claim a checksum and it matches (nullopt: none claimed).
std::optional<bool> checksumMatches(ByteSpan frame);

// The record key a frame is decoded with (versions of 0 taken as the catalogue's).
RecordKey recordKeyOf(ByteSpan frame);

} // namespace tarvik
