#pragma once
// Where the record list's rows come from. A record source holds records in
// order (frames, and text rows such as "TEXT Lost Packet" between them), keeps
// the rows a record-type filter shows, and answers for one row at a time. The
// view holds one current source: a record file, a live connection or a packet
// capture; the record list, the report, the dump and the statistics ask it
// alike and never branch on which kind it is.

#include "core/bytes.h"
#include "core/record_filter.h"
#include "core/record_index.h"
#include "core/record_statistics.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

class RecordFile;

// Where and when a record was seen on the wire, for sources that know it (a
// packet capture). The report shows `line()` above the frame header.
struct RecordOrigin {
    std::int64_t seconds = 0;        // capture time: seconds since 1970, UTC
    std::uint32_t microseconds = 0;  // and the microseconds within that second
    std::string stream;              // the stream it came on: protocol, addresses, ports, direction

    // "Captured 2024-03-05 07:04:09.123456 UTC, <stream>"
    std::string line() const;
};

class RecordSource {
public:
    virtual ~RecordSource() = default;

    // What titles and the statistics call the source: a file's path, "Live records".
    virtual std::string name() const = 0;
    // The file the records were read from (a record file or a capture); empty
    // for a live connection. Text outputs name their files after it.
    virtual std::string path() const { return {}; }
    // True for a live connection: rows come and go while it runs.
    virtual bool live() const { return false; }

    // The rows the last filter shows, asked for one at a time.
    virtual std::size_t rowCount() const = 0;
    // Column 0 the record type, 1 its Size ("%lu bytes") or a text row's
    // text, 2 the record number the list shows (a file's index position).
    virtual std::string rowText(std::size_t row, int column) const = 0;
    // The stored bytes of a row: the frame, or the text of a text row.
    virtual std::optional<Bytes> rowRecord(std::size_t row) const = 0;
    // The record number a row keeps whatever the filter (0 for text rows).
    virtual std::uint32_t rowRecordNumber(std::size_t row) const = 0;
    // Where the row's record was seen, when the source knows it.
    virtual std::optional<RecordOrigin> rowOrigin(std::size_t row) const {
        (void)row;
        return std::nullopt;
    }

    // The record-type filter (see passesRecordFilter). Rebuilds the shown rows
    // only: no record is read again.
    virtual void setFilter(std::string_view filter) = 0;
    // The filter as a value: the record-type text, or an expression over
    // fields. Sources that filter by type alone take its text.
    virtual void setFilter(const RecordFilter& filter) { setFilter(std::string_view(filter.text())); }
    // Counts per record type of everything the source holds, shown or not.
    virtual RecordStatistics statistics() const = 0;

    // The rows [first, first + count) as they are now, as a source of their
    // own: records arriving, a filter change or another source being chosen
    // later leave it alone (a dump works from one while the list moves on).
    virtual std::shared_ptr<const RecordSource> snapshot(std::size_t first, std::size_t count) const = 0;
};

// A source indexed in one pass before it is listed (a record file, a packet
// capture): frames by their 48-byte index entries, text rows between them.
// Rows are positions into that sequence; a filter change rebuilds them from
// the index alone. Implementations fill the index while they build and say
// how a frame's bytes are read back.
// Its snapshots share the source, so it must be owned by a std::shared_ptr.
class IndexedRecordSource : public RecordSource, public std::enable_shared_from_this<IndexedRecordSource> {
public:
    std::size_t rowCount() const override;
    std::string rowText(std::size_t row, int column) const override;
    std::optional<Bytes> rowRecord(std::size_t row) const override;
    std::uint32_t rowRecordNumber(std::size_t row) const override;
    std::optional<RecordOrigin> rowOrigin(std::size_t row) const override;
    void setFilter(std::string_view filter) override;
    // An expression reads the frames of the types it does not decide by type
    // alone (once per filter change), unless the header fields of the index
    // entries decide it; a record-type filter reads none.
    void setFilter(const RecordFilter& filter) override;
    RecordStatistics statistics() const override;
    std::shared_ptr<const RecordSource> snapshot(std::size_t first, std::size_t count) const override;

    // The frames, in order (text rows are not in the index).
    const RecordIndex& index() const { return index_; }
    // The bytes of frame `position` of the index (empty when they cannot be read).
    virtual Bytes readFrame(std::size_t position) const = 0;
    // The record file the index's offsets point into (the condensed copy
    // reads it straight), when the frames are read from one.
    virtual const RecordFile* frameFile() const { return nullptr; }
    // True when the index entries may keep their frames' headers
    // (RecordIndexEntry::keepHeader; each entry says whether it did): the
    // entries of a record file. A capture's entries hold other things there.
    virtual bool entriesKeepHeader() const { return false; }
    // Where frame `position` was seen, for sources that know it.
    virtual std::optional<RecordOrigin> frameOrigin(std::size_t position) const {
        (void)position;
        return std::nullopt;
    }
    // The index position of a row's frame; nullopt for a text row or no such row.
    std::optional<std::size_t> rowFrame(std::size_t row) const;
    // Text rows in the source, in order, and how many frames come before each.
    struct TextRow {
        std::size_t framesBefore = 0;
        std::string text;
    };
    const std::vector<TextRow>& textRows() const { return texts_; }
    // The frame whose Size runs past the end of what the source holds (a file
    // cut off mid-frame): its index position and the bytes held of it. Its
    // row says so in column 1 ("400 bytes, cut off: 152 held").
    struct CutFrame {
        std::size_t position = 0;
        std::uint64_t held = 0;
    };
    const std::optional<CutFrame>& cutFrame() const { return cut_; }

protected:
    // While building: a frame's index entry, or a text row after the frames so far.
    void addFrame(const RecordIndexEntry& entry) { index_.push_back(entry); }
    void addText(std::string text);
    void setCutFrame(std::optional<CutFrame> cut) { cut_ = cut; }
    RecordIndex& mutableIndex() { return index_; }
    // Forgets everything (before a rebuild).
    void clearEntries();
    // Lists the rows again under the current filter, after building.
    void rebuildRows();

private:
    class Snapshot;
    // A shown row: a frame's index position, or a text row's number with kTextBit set.
    static constexpr std::uint32_t kTextBit = 0x8000'0000u;
    std::uint32_t rowCode(std::size_t row) const { return identity_ ? static_cast<std::uint32_t>(row) : rows_[row]; }
    // What a row shows and holds, by its code.
    std::string codeText(std::uint32_t code, int column) const;
    Bytes codeRecord(std::uint32_t code) const;

    RecordIndex index_;
    std::vector<TextRow> texts_;
    std::optional<CutFrame> cut_;
    RecordFilter filter_;
    // With the filter passing everything and no text rows the rows are the
    // index itself, which saves four bytes per frame on large files.
    bool identity_ = true;
    std::vector<std::uint32_t> rows_;
};

} // namespace tarvik
