#include "export/record_table.h"

#include "core/frame.h"
#include "core/text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>

namespace tarvik {

namespace {

// The scalar items of a layout, with names made unique in order.
std::vector<TableColumn> fieldColumns(const std::vector<CRecordDataLayout>& items) {
    std::vector<TableColumn> columns;
    std::vector<std::pair<std::string, int>> seen;
    for (const CRecordDataLayout& item : items) {
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
    }
    return columns;
}

TableColumn leading(std::string name, ValueKind kind, int width) {
    TableColumn c;
    c.name = std::move(name);
    c.kind = kind;
    c.width = width;
    return c;
}

void append(TableColumn& c, const ScalarValue& v) {
    const bool ok = v.kind == c.kind;
    c.valid.push_back(ok ? 1 : 0);
    switch (c.kind) {
    case ValueKind::Unsigned: c.u.push_back(ok ? v.u : 0); break;
    case ValueKind::Signed:
    case ValueKind::Time: c.i.push_back(ok ? v.i : 0); break;
    case ValueKind::Float: c.f.push_back(ok ? v.f : std::nan("")); break;
    case ValueKind::Text: c.text.emplace_back(ok ? v.text : std::string_view()); break;
    case ValueKind::None: break;
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

std::vector<TableColumn> tableColumns(const LayoutCatalogue& catalogue, std::uint32_t recordType) {
    const RecordKey key{kCatalogueProtocolVersion, kCatalogueRecordVersion, static_cast<std::int32_t>(recordType)};
    return fieldColumns(catalogue.record(key).items);
}

bool buildRecordTable(const IndexedRecordSource& source, const LayoutCatalogue& catalogue,
                      const RemoteCommandDefinitions& commands, std::uint32_t recordType,
                      const std::optional<std::vector<std::string>>& fields, RecordTable& table, std::string& error) {
    const RecordKey key{kCatalogueProtocolVersion, kCatalogueRecordVersion, static_cast<std::int32_t>(recordType)};
    if (recordType > 0x7fffffffu || catalogue.records.find(key) == catalogue.records.end()) {
        error = strprintf("no record layout for record type %u", recordType);
        return false;
    }
    std::vector<TableColumn> available = tableColumns(catalogue, recordType);
    std::vector<TableColumn> chosen;
    if (fields) {
        for (const std::string& name : *fields) {
            auto it = std::find_if(available.begin(), available.end(), [&](const TableColumn& c) { return c.name == name; });
            if (it == available.end()) {
                error = strprintf("record type %u has no scalar field \"%s\"", recordType, name.c_str());
                return false;
            }
            chosen.push_back(*it);
        }
    } else {
        chosen = std::move(available);
    }

    table = RecordTable{};
    table.recordType = recordType;
    table.columns.push_back(leading("record", ValueKind::Unsigned, 8));
    table.columns.push_back(leading("time", ValueKind::Time, 8));
    table.columns.push_back(leading("device", ValueKind::Unsigned, 4));
    table.columns.push_back(leading("enumerator", ValueKind::Unsigned, 2));
    constexpr std::size_t kLeading = 4;
    for (TableColumn& c : chosen) table.columns.push_back(std::move(c));

    RecordDecoder decoder(catalogue, commands);
    FrameScanner scanner(source);
    const RecordIndex& index = source.index();
    // Which column each walked item of the record's own level fills, by name and occurrence.
    std::vector<std::pair<std::string_view, int>> seen;
    std::vector<std::uint8_t> filled(table.columns.size());
    for (std::size_t position = 0; position < index.size(); ++position) {
        const RecordIndexEntry& entry = index[position];
        if (entry.recordType() != recordType) continue;
        const ByteSpan frame = scanner.frame(position);
        const FrameView header(frame);
        ++table.rows;
        append(table.columns[0], unsignedValue(position));
        ScalarValue time;
        if (auto ns = epochNanoseconds(header.time())) {
            time.kind = ValueKind::Time;
            time.i = *ns;
        }
        append(table.columns[1], time);
        append(table.columns[2], unsignedValue(header.deviceId()));
        append(table.columns[3], unsignedValue(header.systemEnumerator()));
        if (table.columns.size() == kLeading) continue;

        std::fill(filled.begin(), filled.end(), 0);
        std::size_t unfilled = table.columns.size() - kLeading;
        seen.clear();
        // Each item of the record's own level fills the first column of its
        // name and occurrence. Once every column is filled the rest of the
        // walk could change nothing: it ends there, before the repeat blocks.
        const std::function<bool(const WalkedField&)> take = [&](const WalkedField& f) {
            if (f.depth != 0) return true;
            int n = 1;
            for (auto& [name, count] : seen)
                if (name == f.name) n = ++count;
            if (n == 1) seen.emplace_back(f.name, 1);
            for (std::size_t c = kLeading; c < table.columns.size(); ++c) {
                TableColumn& column = table.columns[c];
                if (filled[c]) continue;
                const bool same = n == 1 ? column.name == f.name
                                         : column.name == strprintf("%s (%d)", std::string(f.name).c_str(), n);
                if (!same) continue;
                append(column, scalarValue(frame, f));
                filled[c] = 1;
                --unfilled;
                break;
            }
            return unfilled > 0;
        };
        decoder.decode(frame, take);
        // A field the walk did not reach (the record ended first) is missing.
        for (std::size_t c = kLeading; c < table.columns.size(); ++c)
            if (!filled[c]) append(table.columns[c], ScalarValue{});
    }
    return true;
}

std::string cellText(const TableColumn& c, std::size_t row) {
    if (!c.valid[row]) return {};
    switch (c.kind) {
    case ValueKind::Unsigned: return std::to_string(c.u[row]);
    case ValueKind::Signed: return std::to_string(c.i[row]);
    case ValueKind::Time: return isoTime(c.i[row]);
    case ValueKind::Float: {
        const double d = c.f[row];
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
            if (!c.valid[r]) continue;  // stays null
            switch (c.kind) {
            case ValueKind::Unsigned: cell = c.u[r]; break;
            case ValueKind::Signed: cell = c.i[r]; break;
            case ValueKind::Time: cell = isoTime(c.i[r]); break;
            case ValueKind::Float:
                // A stored float as the double its shortest text reads back to (0.1, not 0.10000000149011612).
                if (std::isfinite(c.f[r]))
                    cell = c.width == 4 ? std::strtod(shortest(static_cast<float>(c.f[r])).c_str(), nullptr) : c.f[r];
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
