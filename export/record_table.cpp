#include "export/record_table.h"

#include "core/frame.h"
#include "core/text.h"
#include "decode/walk_memo.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <limits>
#include <functional>
#include <nlohmann/json.hpp>
#include <unordered_map>

namespace tarvik {

namespace {

// The scalar items of a layout, with names made unique in order; `items`
// gets each column's item name and which occurrence of that name it is.
std::vector<TableColumn> fieldColumns(const std::vector<CRecordDataLayout>& layout,
                                      std::vector<std::pair<std::string, int>>* items = nullptr) {
    std::vector<TableColumn> columns;
    std::vector<std::pair<std::string, int>> seen;
    for (const CRecordDataLayout& item : layout) {
        const ValueKind kind = scalarKind(formatCode(item.format));
        if (kind == ValueKind::None) continue;
        int n = 1;
        for (auto& [name, count] : seen)
            if (name == item.name) n = ++count;
        if (n == 1) seen.emplace_back(item.name, 1);
        TableColumn c;
        c.name = n == 1 ? item.name : strprintf("%s (%d)", item.name.c_str(), n);
        c.kind = kind;
        c.width = item.number > 0 && item.number <= 8 ? item.number : 8;
        columns.push_back(std::move(c));
        if (items) items->emplace_back(item.name, n);
    }
    return columns;
}

// Which column each walked item of a record's own level fills: the column of
// its name and occurrence (the second "Reserved" fills "Reserved (2)").
// The walk hands an item's name as a view of the layout's own text, which
// stays in place as long as the catalogue: a name met again at the same place
// is known by that place, and most items cost a comparison of pointers.
class ColumnMatcher {
public:
    // `items`: each wanted column's item name and occurrence.
    explicit ColumnMatcher(const std::vector<std::pair<std::string, int>>& items) {
        for (std::size_t c = 0; c < items.size(); ++c) {
            const int id = nameId(items[c].first);
            auto& byOccurrence = columns_[static_cast<std::size_t>(id)];
            const auto n = static_cast<std::size_t>(items[c].second);
            if (byOccurrence.size() < n) byOccurrence.resize(n, -1);
            byOccurrence[n - 1] = static_cast<int>(c);
        }
    }
    // A new record: occurrences are counted from the start again.
    void restart() {
        std::fill(count_.begin(), count_.end(), 0);
        next_ = 0;
    }
    // The column item `name` fills (counting it), or -1.
    int column(std::string_view name) {
        int id = -1;
        // Records mostly hand the same items in the same order: the place after
        // the last one is tried first.
        if (next_ < places_.size() && places_[next_].data == name.data() && places_[next_].size == name.size()) {
            id = places_[next_++].id;
        } else {
            for (std::size_t k = 0; k < places_.size(); ++k)
                if (places_[k].data == name.data() && places_[k].size == name.size()) {
                    id = places_[k].id;
                    next_ = k + 1;
                    break;
                }
        }
        if (id < 0) {
            id = nameId(name);
            if (places_.size() < kMaxPlaces) {
                places_.push_back({name.data(), name.size(), id});
                next_ = places_.size();
            }
        }
        const int n = ++count_[static_cast<std::size_t>(id)];
        const auto& byOccurrence = columns_[static_cast<std::size_t>(id)];
        return static_cast<std::size_t>(n) <= byOccurrence.size() ? byOccurrence[static_cast<std::size_t>(n - 1)] : -1;
    }

private:
    int nameId(std::string_view name) {
        for (std::size_t i = 0; i < names_.size(); ++i)
            if (names_[i] == name) return static_cast<int>(i);
        names_.emplace_back(name);
        columns_.emplace_back();
        count_.push_back(0);
        return static_cast<int>(names_.size() - 1);
    }
    struct Place {
        const char* data;
        std::size_t size;
        int id;
    };
    static constexpr std::size_t kMaxPlaces = 256;
    std::vector<Place> places_;
    std::vector<std::string> names_;
    std::vector<std::vector<int>> columns_;  // by name: the column of each occurrence (-1: none)
    std::vector<int> count_;                 // by name: occurrences in this record so far
    std::size_t next_ = 0;                   // the place expected next
};

TableColumn leading(std::string name, ValueKind kind, int width) {
    TableColumn c;
    c.name = std::move(name);
    c.kind = kind;
    c.width = width;
    return c;
}

template <typename T>
void put(TableColumn& c, std::size_t row, T value) {
    std::memcpy(c.cells + row * sizeof(T), &value, sizeof(T));
}

// Sets the cell of `row`, the next row of the column (which holds its rows' cells already).
void append(TableColumn& c, std::size_t row, const ScalarValue& v) {
    const bool ok = v.kind == c.kind;
    // Rows come in order: the mask starts at the first missing cell.
    if (!ok || !c.valid.empty()) {
        if (c.valid.empty()) c.valid.assign(row, 1);
        c.valid.push_back(ok ? 1 : 0);
    }
    switch (c.kind) {
    case ValueKind::Unsigned:
    case ValueKind::Signed: {
        const std::uint64_t u = !ok ? 0 : c.kind == ValueKind::Unsigned ? v.u : static_cast<std::uint64_t>(v.i);
        switch (c.cellSize()) {
        case 1: put(c, row, static_cast<std::uint8_t>(u)); break;
        case 2: put(c, row, static_cast<std::uint16_t>(u)); break;
        case 4: put(c, row, static_cast<std::uint32_t>(u)); break;
        default: put(c, row, u); break;
        }
        break;
    }
    case ValueKind::Time: put(c, row, ok ? v.i : TableColumn::kMissingTime); break;
    case ValueKind::Float:
        if (c.cellSize() == 4) put(c, row, ok ? static_cast<float>(v.f) : std::numeric_limits<float>::quiet_NaN());
        else put(c, row, ok ? v.f : std::numeric_limits<double>::quiet_NaN());
        break;
    case ValueKind::Text: c.text.push_back(ok ? validUtf8(v.text) : std::string()); break;
    case ValueKind::None: break;
    }
}

// Room for `rows` rows in every column: the number columns' cells in one TableCells.
void reserve(RecordTable& table, std::size_t rows) {
    auto bytes = [&](const TableColumn& c) { return (rows * static_cast<std::size_t>(c.cellSize()) + 7) / 8 * 8; };
    std::size_t total = 0;
    for (const TableColumn& c : table.columns) total += bytes(c);
    table.cells = std::make_shared<TableCells>(total);
    std::uint8_t* at = table.cells->data();
    for (TableColumn& c : table.columns) {
        if (c.kind == ValueKind::Text) c.text.reserve(rows);
        c.cells = at;
        at += bytes(c);
    }
}

ScalarValue unsignedValue(std::uint64_t u) {
    ScalarValue v;
    v.kind = ValueKind::Unsigned;
    v.u = u;
    return v;
}

template <typename T>
std::string shortest(T value) {
    char text[64];
    auto r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
}

} // namespace

TableCells::TableCells(std::size_t bytes) : size_(bytes) {
    data_ = static_cast<std::uint8_t*>(std::malloc(std::max<std::size_t>(bytes, 1)));
    if (!data_) throw std::bad_alloc();
}

TableCells::~TableCells() { std::free(data_); }

int TableColumn::cellSize() const {
    switch (kind) {
    case ValueKind::Unsigned:
    case ValueKind::Signed: return width == 1 || width == 2 || width == 4 ? width : 8;
    case ValueKind::Float: return width == 4 ? 4 : 8;
    case ValueKind::Time: return 8;
    default: return 0;
    }
}

std::uint64_t TableColumn::unsignedAt(std::size_t row) const {
    const std::uint8_t* at = cells + row * static_cast<std::size_t>(cellSize());
    switch (cellSize()) {
    case 1: return *at;
    case 2: { std::uint16_t v; std::memcpy(&v, at, 2); return v; }
    case 4: { std::uint32_t v; std::memcpy(&v, at, 4); return v; }
    default: { std::uint64_t v; std::memcpy(&v, at, 8); return v; }
    }
}

std::int64_t TableColumn::signedAt(std::size_t row) const {
    const std::uint8_t* at = cells + row * static_cast<std::size_t>(cellSize());
    switch (cellSize()) {
    case 1: return static_cast<std::int8_t>(*at);
    case 2: { std::int16_t v; std::memcpy(&v, at, 2); return v; }
    case 4: { std::int32_t v; std::memcpy(&v, at, 4); return v; }
    default: { std::int64_t v; std::memcpy(&v, at, 8); return v; }
    }
}

double TableColumn::floatAt(std::size_t row) const {
    const std::uint8_t* at = cells + row * static_cast<std::size_t>(cellSize());
    if (cellSize() == 4) {
        float v;
        std::memcpy(&v, at, 4);
        return v;
    }
    double v;
    std::memcpy(&v, at, 8);
    return v;
}

std::vector<TableColumn> tableColumns(const LayoutCatalogue& catalogue, std::uint32_t recordType) {
    const RecordKey key{kCatalogueProtocolVersion, kCatalogueRecordVersion, static_cast<std::int32_t>(recordType)};
    return fieldColumns(catalogue.record(key).items);
}

Result<RecordTable> buildRecordTable(const IndexedRecordSource& source, const LayoutCatalogue& catalogue,
                                     const RemoteCommandDefinitions& commands, std::uint32_t recordType,
                                     const std::optional<std::vector<std::string>>& fields, bool raw,
                                     const RecordFilter* filter) {
    const RecordKey key{kCatalogueProtocolVersion, kCatalogueRecordVersion, static_cast<std::int32_t>(recordType)};
    if (recordType > 0x7fffffffu || !catalogue.whole().records.contains(key)) {
        return failure(strprintf("no record layout for record type %u", recordType));
    }
    std::vector<std::pair<std::string, int>> availableItems;
    std::vector<TableColumn> available = fieldColumns(catalogue.record(key).items, &availableItems);
    std::vector<TableColumn> chosen;
    std::vector<std::pair<std::string, int>> items;
    if (fields) {
        for (const std::string& name : *fields) {
            auto it = std::find_if(available.begin(), available.end(), [&](const TableColumn& c) { return c.name == name; });
            if (it == available.end()) {
                return failure(strprintf("record type %u has no scalar field \"%s\"", recordType, name.c_str()));
            }
            chosen.push_back(*it);
            items.push_back(availableItems[static_cast<std::size_t>(it - available.begin())]);
        }
    } else {
        chosen = std::move(available);
        items = std::move(availableItems);
    }

    RecordTable table;
    table.recordType = recordType;
    table.columns.push_back(leading("record", ValueKind::Unsigned, 8));
    table.columns.push_back(leading("time", ValueKind::Time, 8));
    table.columns.push_back(leading("device", ValueKind::Unsigned, 4));
    table.columns.push_back(leading("enumerator", ValueKind::Unsigned, 2));
    constexpr std::size_t kLeading = 4;
    for (TableColumn& c : chosen) table.columns.push_back(std::move(c));

    const RecordIndex& index = source.index();
    std::size_t rows = 0;
    for (std::size_t position = 0; position < index.size(); ++position) rows += index[position].recordType() == recordType;
    reserve(table, rows);

    // Records of a type mostly walk alike: a walk is remembered and replayed
    // for the records whose bytes steer it the same way.
    RecordReporter reporter(catalogue, commands);
    WalkMemo walks(reporter);
    FrameScanner scanner(source, recordType);
    ColumnMatcher matcher(items);
    std::vector<std::uint8_t> filled(table.columns.size());
    std::size_t unfilled = 0;
    ByteSpan frame;
    std::size_t row = 0;
    // Each item of the record's own level fills the first column of its
    // name and occurrence. Once every column is filled the rest of the
    // walk could change nothing: it ends there, before the repeat blocks.
    const std::function<bool(const WalkedField&)> take = [&](const WalkedField& f) {
        if (f.depth != 0) return true;
        const int c = matcher.column(f.name);
        if (c < 0) return true;
        const std::size_t column = kLeading + static_cast<std::size_t>(c);
        if (filled[column]) return true;
        append(table.columns[column], row, scalarValue(frame, f, raw));
        filled[column] = 1;
        return --unfilled > 0;
    };
    // What a remembered walk fills: (item, column) in walk order, and the
    // columns it leaves missing; by the remembered items' address.
    struct Plan {
        struct Step {
            std::size_t item, column;
        };
        std::vector<Step> steps;
        std::vector<std::size_t> missing;
    };
    std::unordered_map<const WalkedField*, Plan> plans;
    for (std::size_t position = 0; position < index.size(); ++position) {
        const RecordIndexEntry& entry = index[position];
        if (entry.recordType() != recordType) continue;
        frame = scanner.frame(position);
        if (!FrameView(frame).isFrame()) {
            // Gone since the file was indexed (cut short, or written over: no
            // frame header where the index has one): no row made of zeros or
            // of other bytes. (A frame cut after its header keeps its row; the
            // fields past the cut are missing.)
            table.unread.push_back(position);
            continue;
        }
        if (filter && !filter->passes(frame, {static_cast<std::uint32_t>(position), nullptr})) continue;
        const FrameView header(frame);
        row = table.rows++;
        append(table.columns[0], row, unsignedValue(position));
        ScalarValue time;
        if (auto ns = epochNanoseconds(header.time())) {
            time.kind = ValueKind::Time;
            time.i = *ns;
        }
        append(table.columns[1], row, time);
        append(table.columns[2], row, unsignedValue(header.deviceId()));
        append(table.columns[3], row, unsignedValue(header.systemEnumerator()));
        if (table.columns.size() == kLeading) continue;

        std::fill(filled.begin(), filled.end(), 0);
        unfilled = table.columns.size() - kLeading;
        matcher.restart();
        bool replayed = false;
        const std::vector<WalkedField>& items = walks.walkFields(frame, take, replayed);
        if (replayed) {
            // The watch decides by the items alone: a walk replayed for this
            // record fills what it filled when it was walked. What that is, is
            // worked out once per remembered walk.
            auto [plan, fresh] = plans.try_emplace(items.data());
            if (fresh) {
                for (std::size_t k = 0; k < items.size() && unfilled > 0; ++k) {
                    const WalkedField& f = items[k];
                    if (f.depth != 0) continue;
                    const int c = matcher.column(f.name);
                    if (c < 0 || filled[kLeading + static_cast<std::size_t>(c)]) continue;
                    filled[kLeading + static_cast<std::size_t>(c)] = 1;
                    --unfilled;
                    plan->second.steps.push_back({k, kLeading + static_cast<std::size_t>(c)});
                }
                for (std::size_t c = kLeading; c < table.columns.size(); ++c)
                    if (!filled[c]) plan->second.missing.push_back(c);
            }
            for (const Plan::Step& step : plan->second.steps)
                append(table.columns[step.column], row, scalarValue(frame, items[step.item], raw));
            for (std::size_t c : plan->second.missing) append(table.columns[c], row, ScalarValue{});
            continue;
        }
        // A field the walk did not reach (the record ended first) is missing.
        for (std::size_t c = kLeading; c < table.columns.size(); ++c)
            if (!filled[c]) append(table.columns[c], row, ScalarValue{});
    }
    return table;
}

std::string cellText(const TableColumn& c, std::size_t row) {
    if (!c.holds(row)) return {};
    switch (c.kind) {
    case ValueKind::Unsigned: return std::to_string(c.unsignedAt(row));
    case ValueKind::Signed: return std::to_string(c.signedAt(row));
    case ValueKind::Time: return isoTime(c.signedAt(row));
    case ValueKind::Float: {
        const double d = c.floatAt(row);
        if (std::isnan(d)) return "nan";
        if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
        // A stored float is written as the shortest text that reads back to it.
        return c.width == 4 ? shortest(static_cast<float>(d)) : shortest(d);
    }
    case ValueKind::Text: return c.text[row];
    case ValueKind::None: break;
    }
    return {};
}

void writeCsv(const RecordTable& table, std::string& out) {
    auto field = [&](const std::string& text) {
        if (text.find_first_of(",\"\r\n") == std::string::npos) {
            out += text;
            return;
        }
        out += '"';
        for (char ch : text) {
            if (ch == '"') out += '"';
            out += ch;
        }
        out += '"';
    };
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        if (c) out += ',';
        field(table.columns[c].name);
    }
    out += "\r\n";
    for (std::size_t r = 0; r < table.rows; ++r) {
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            if (c) out += ',';
            field(cellText(table.columns[c], r));
        }
        out += "\r\n";
    }
}

void writeJsonLines(const RecordTable& table, std::string& out) {
    using nlohmann::ordered_json;
    for (std::size_t r = 0; r < table.rows; ++r) {
        ordered_json row = ordered_json::object();
        for (const TableColumn& c : table.columns) {
            ordered_json& cell = row[c.name];
            if (!c.holds(r)) continue;  // stays null
            switch (c.kind) {
            case ValueKind::Unsigned: cell = c.unsignedAt(r); break;
            case ValueKind::Signed: cell = c.signedAt(r); break;
            case ValueKind::Time: cell = isoTime(c.signedAt(r)); break;
            case ValueKind::Float:
                // A stored float as the double its shortest text reads back to (0.1, not 0.10000000149011612).
                if (const double d = c.floatAt(r); std::isfinite(d))
                    cell = c.width == 4 ? std::strtod(shortest(static_cast<float>(d)).c_str(), nullptr) : d;
                break;
            case ValueKind::Text: cell = c.text[r]; break;
            case ValueKind::None: break;
            }
        }
        out += row.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
        out += '\n';
    }
}

} // namespace tarvik
