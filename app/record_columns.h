#pragma once
// The record list's own columns after Type, Size and Number: each a field
// name or a value expression ("7027.number_of_detection_points",
// "7000.sound_velocity_m_s * 2"), its cell the record's values as the report shows
// them, empty for a record without them. The window remembers them in the
// settings; `tarvik-cli list --columns` takes them as a list.

#include "app/settings.h"
#include "core/bytes.h"
#include "core/record_source.h"
#include "core/result.h"
#include "decode/layout.h"
#include "expr/fields.h"
#include "expr/value.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// The titles of the list's first three columns.
inline constexpr const char* kRecordListTitles[] = {"Type", "Size", "Number"};

class RecordColumns {
public:
    // At most this many columns (a list the user keeps growing stays usable).
    static constexpr std::size_t kMaxColumns = 32;

    // Splits "a,b,c" at the commas outside parentheses, braces, brackets and
    // quotes (`vx.device in {1, 2}` is one column); blanks around each are dropped.
    static std::vector<std::string> split(std::string_view list);

    // Compiles the columns `texts` against `catalogue` (which must outlive the
    // columns, or until compile is called again); a failure names the column.
    static Result<RecordColumns> compile(const std::vector<std::string>& texts, const LayoutCatalogue& catalogue);

    RecordColumns() = default;

    std::size_t size() const { return columns_.size(); }
    bool empty() const { return columns_.empty(); }
    const std::string& title(std::size_t column) const { return columns_[column].text; }
    std::vector<std::string> titles() const;
    // The cell of `column` for a record (a frame; a text row has none).
    std::string cell(std::size_t column, ByteSpan record, const RecordContext& context = {}) const;
    // The cells of every column for `row` of `source` (its record read once).
    std::vector<std::string> rowCells(const RecordSource& source, std::size_t row) const;
    // The field names of the catalogue the columns are compiled against.
    const expr::FieldNames& names();

    // Adds a column at the end; a failure says why (it does not compile, it
    // is there already, there are too many).
    Result<void> add(std::string_view text);
    void remove(std::size_t column);
    // Compiles every column again against `catalogue` (the layouts were
    // reloaded). A column that no longer compiles is kept with empty cells,
    // so that it comes back when its layout does.
    void recompile(const LayoutCatalogue& catalogue);

    // The columns the settings remember, over `catalogue` (those that do not
    // compile now kept as recompile keeps them); and remembering them.
    static RecordColumns remembered(const SettingsStore& settings, const LayoutCatalogue& catalogue);
    void remember(SettingsStore& settings) const;

private:
    const std::shared_ptr<const expr::FieldNames>& nameList();
    struct Column {
        std::string text;
        std::shared_ptr<const expr::ValueExpression> value;  // nullptr: does not compile now
    };
    const LayoutCatalogue* catalogue_ = nullptr;
    // Made when the first column is (the names of a whole catalogue take a while).
    std::shared_ptr<const expr::FieldNames> names_;
    std::vector<Column> columns_;
};

} // namespace tarvik
