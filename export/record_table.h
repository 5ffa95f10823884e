#pragma once
// The table of one record type: a row per record, a column per scalar field of
// the record's own items (numbers, texts, time stamps), after the record's
// position, time, device and enumerator. tarvik-cli export writes it as CSV or
// JSON Lines; the Python module hands it to pandas.

#include "core/result.h"
#include "core/record_source.h"
#include "decode/layout.h"
#include "decode/remote_definitions.h"
#include "export/record_values.h"

#include "core/record_filter.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

struct TableColumn {
    std::string name;
    ValueKind kind = ValueKind::None;
    int width = 8;  // stored bytes of the field (numbers), for the column's type
    // The numbers, row after row, cellSize() bytes each in this machine's byte
    // order: integers of `width` bytes (1, 2, 4 or 8; else 8), floats of 4 or 8,
    // times as signed nanoseconds since 1970. A missing number is 0, NaN or
    // kMissingTime. Part of the table's TableCells.
    std::uint8_t* cells = nullptr;
    std::vector<std::string> text;  // Text
    // 0 where the record did not hold the field; empty while every row holds it.
    std::vector<std::uint8_t> valid;

    static constexpr std::int64_t kMissingTime = std::numeric_limits<std::int64_t>::min();
    int cellSize() const;
    bool holds(std::size_t row) const { return valid.empty() || valid[row] != 0; }
    std::uint64_t unsignedAt(std::size_t row) const;
    std::int64_t signedAt(std::size_t row) const;  // Signed and Time
    double floatAt(std::size_t row) const;
};

// The memory a table's number columns share, one column after another (one
// allocation, which a caller such as the Python module hands on as it is).
class TableCells {
public:
    explicit TableCells(std::size_t bytes);
    ~TableCells();
    TableCells(const TableCells&) = delete;
    TableCells& operator=(const TableCells&) = delete;
    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

struct RecordTable {
    std::uint32_t recordType = 0;
    std::size_t rows = 0;
    // "record" (index position), "time", "device", "enumerator", then the fields.
    std::vector<TableColumn> columns;
    std::shared_ptr<TableCells> cells;  // what the number columns' cells point into
    // Index positions of records of the type whose bytes could no longer be
    // read (the file changed since it was indexed): they have no row.
    std::vector<std::size_t> unread;
};

// The fields a table of the record type can have, in layout order (names
// that occur twice get " (2)", " (3)" ...). Empty when the type has no layout.
std::vector<TableColumn> tableColumns(const LayoutCatalogue& catalogue, std::uint32_t recordType);

// Builds the table of every record of `recordType` in the source. Text cells
// are valid UTF-8 (validUtf8), whichever way the table is written. `fields`
// chooses and orders the field columns (the four leading columns always come
// first). False with `error` set when the type has no layout or a field is not
// one of its scalar fields. Numbers are those the report shows (angles in
// degrees); with `raw` as stored. With `filter`, only the records it passes.
Result<RecordTable> buildRecordTable(const IndexedRecordSource& source, const LayoutCatalogue& catalogue,
                                     const RemoteCommandDefinitions& commands, std::uint32_t recordType,
                                     const std::optional<std::vector<std::string>>& fields, bool raw = false,
                                     const RecordFilter* filter = nullptr);

// A cell as text: numbers in full precision (the shortest text that reads
// back to the same stored value), times in ISO 8601 UTC; empty when missing.
std::string cellText(const TableColumn& column, std::size_t row);

// The table as CSV (RFC 4180: a header row, CRLF line ends, fields quoted
// when they hold a comma, a quote or a line end).
void writeCsv(const RecordTable& table, std::string& out);
// The table as JSON Lines: one object per row, missing values and NaN as null.
void writeJsonLines(const RecordTable& table, std::string& out);

} // namespace tarvik
