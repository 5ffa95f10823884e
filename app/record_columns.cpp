#include "app/record_columns.h"

#include "core/text.h"

#include <algorithm>
#include <cstdio>

namespace tarvik {

namespace {
// "Record List Columns\Column 1", ...: one value a column, the first empty one ends the list.
constexpr const char* kColumnKey = "Record List Columns\\Column %zu";

std::string columnKey(std::size_t n) {
    char buf[64];
    std::snprintf(buf, sizeof buf, kColumnKey, n);
    return buf;
}

std::string_view stripped(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}
} // namespace

std::vector<std::string> RecordColumns::split(std::string_view list) {
    std::vector<std::string> out;
    auto take = [&](std::string_view part) {
        part = stripped(part);
        if (!part.empty()) out.emplace_back(part);
    };
    int depth = 0;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const char c = list[i];
        if (quoted) {
            if (c == '\\') ++i;
            else if (c == '"') quoted = false;
            continue;
        }
        if (c == '"') quoted = true;
        else if (c == '(' || c == '{' || c == '[') ++depth;
        else if ((c == ')' || c == '}' || c == ']') && depth > 0) --depth;
        else if (c == ',' && depth == 0) {
            take(list.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < list.size()) take(list.substr(start));
    return out;
}

Result<RecordColumns> RecordColumns::compile(const std::vector<std::string>& texts, const LayoutCatalogue& catalogue) {
    RecordColumns columns;
    columns.catalogue_ = &catalogue;
    for (const std::string& text : texts)
        if (Result<void> added = columns.add(text); !added) return failure(added.error());
    return columns;
}

std::vector<std::string> RecordColumns::titles() const {
    std::vector<std::string> out;
    for (const Column& c : columns_) out.push_back(c.text);
    return out;
}

std::string RecordColumns::cell(std::size_t column, ByteSpan record, const RecordContext& context) const {
    if (column >= columns_.size() || !columns_[column].value) return {};
    return columns_[column].value->shown(record, context);
}

std::vector<std::string> RecordColumns::rowCells(const RecordSource& source, std::size_t row) const {
    std::vector<std::string> cells(columns_.size());
    if (columns_.empty() || row >= source.rowCount()) return cells;
    const std::optional<Bytes> record = source.rowRecord(row);
    if (!record) return cells;
    const std::optional<RecordOrigin> origin = source.rowOrigin(row);
    const RecordContext context{source.rowRecordNumber(row), origin ? &*origin : nullptr};
    for (std::size_t c = 0; c < columns_.size(); ++c) cells[c] = cell(c, *record, context);
    return cells;
}

Result<void> RecordColumns::add(std::string_view text) {
    text = stripped(text);
    if (text.empty()) return failure("a column needs a field name or an expression");
    if (std::any_of(columns_.begin(), columns_.end(), [&](const Column& c) { return c.text == text; }))
        return failure("the column \"" + shownName(text) + "\" is there already");
    if (columns_.size() >= kMaxColumns)
        return failure("the list has its " + std::to_string(kMaxColumns) + " columns already; remove one first");
    if (!catalogue_) return failure("no layouts to name fields from");
    auto value = expr::ValueExpression::compile(text, nameList());
    if (!value) return failure("column \"" + shownName(text) + "\": " + value.error());
    columns_.push_back({std::string(text), *value});
    return {};
}

void RecordColumns::remove(std::size_t column) {
    if (column < columns_.size()) columns_.erase(columns_.begin() + static_cast<std::ptrdiff_t>(column));
}

const std::shared_ptr<const expr::FieldNames>& RecordColumns::nameList() {
    if (!names_ && catalogue_) names_ = std::make_shared<const expr::FieldNames>(*catalogue_);
    return names_;
}

const expr::FieldNames& RecordColumns::names() { return *nameList(); }

void RecordColumns::recompile(const LayoutCatalogue& catalogue) {
    catalogue_ = &catalogue;
    names_.reset();
    for (Column& c : columns_) {
        auto value = expr::ValueExpression::compile(c.text, nameList());
        c.value = value ? *value : nullptr;
    }
}

RecordColumns RecordColumns::remembered(const SettingsStore& settings, const LayoutCatalogue& catalogue) {
    RecordColumns columns;
    for (std::size_t n = 1; n <= kMaxColumns; ++n) {
        const std::optional<std::string> text = readString(settings, columnKey(n));
        if (!text || text->empty()) break;
        columns.columns_.push_back({*text, nullptr});
    }
    columns.recompile(catalogue);
    return columns;
}

void RecordColumns::remember(SettingsStore& settings) const {
    // The value after the last column is emptied: it ends the list.
    for (std::size_t n = 1; n <= std::min(columns_.size() + 1, kMaxColumns); ++n)
        writeString(settings, columnKey(n), n <= columns_.size() ? columns_[n - 1].text : std::string());
}

} // namespace tarvik
