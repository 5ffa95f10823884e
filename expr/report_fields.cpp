#include "expr/report_fields.h"

#include "core/frame.h"
#include "decode/wireshark_lua.h"
#include "expr/value.h"

#include <algorithm>
#include <cmath>

namespace tarvik::expr {

namespace {

constexpr std::string_view kEndOfHeader = " - - - - - - -End of Data Record Frame- - - - - - - ";

// The frame header's lines and the fields they open with.
struct HeaderLine {
    std::string_view start;
    const char* field;
};
constexpr HeaderLine kHeaderLines[] = {
    {"Device ", "vx.device"},
    {"Size ", "vx.size"},
    {"Record counter ", "vx.record_counter"},
    {"Time ", "vx.time"},
};

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

// The short name of a field: layout fields without the "vx." every one has.
std::string shortName(const FieldInfo& f) {
    if (f.source == FieldSource::Layout && f.name.rfind("vx.", 0) == 0) return f.name.substr(3);
    return f.name;
}

} // namespace

std::optional<ReportLineField> fieldOfReportLine(const FieldNames& names, ByteSpan frame,
                                                 const std::vector<std::string>& lines,
                                                 const std::vector<WalkedField>& walked, std::size_t line) {
    const FrameView view(frame);
    if (!view.isFrame() || line >= lines.size()) return std::nullopt;
    const auto end = std::find(lines.begin(), lines.end(), kEndOfHeader);
    if (end != lines.end() && line < static_cast<std::size_t>(end - lines.begin())) {
        const std::string_view text = trimmed(lines[line]);
        for (const HeaderLine& h : kHeaderLines)
            if (text.starts_with(h.start)) return ReportLineField{h.field, std::nullopt};
        return std::nullopt;
    }
    // The innermost item that wrote the line.
    const WalkedField* item = nullptr;
    for (const WalkedField& w : walked)
        if (w.lineBegin <= line && line < w.lineEnd &&
            (!item || w.lineEnd - w.lineBegin < item->lineEnd - item->lineBegin))
            item = &w;
    if (!item) return std::nullopt;
    const std::uint32_t type = view.recordType();
    const std::vector<const FieldInfo*> fields = names.ofType(type);
    if (item->code == FormatCode::Vector) {
        // An element line of a vector: the field of its elements, all of them.
        for (const FieldInfo* f : fields)
            if (std::find(f->vectorItems.begin(), f->vectorItems.end(), item->name) != f->vectorItems.end())
                return ReportLineField{shortName(*f), std::nullopt};
        return std::nullopt;
    }
    const std::string kind = wiresharkKind(item->format, static_cast<std::int32_t>(item->width));
    const FieldInfo* field = nullptr;
    for (const FieldInfo* f : fields)
        if (std::find(f->items.begin(), f->items.end(), item->name) != f->items.end() && (!field || f->kind == kind))
            field = f;
    if (!field) return std::nullopt;
    ReportLineField out{shortName(*field), std::nullopt};
    if (field->repeated) {
        // The occurrence: the items of the same name walked before it.
        std::size_t before = 0;
        for (const WalkedField* w = walked.data(); w != item; ++w)
            if (w->name == item->name && wiresharkKind(w->format, static_cast<std::int32_t>(w->width)) == field->kind) ++before;
        out.occurrence = before;
    }
    return out;
}

std::string quotedText(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + '"';
}

std::optional<std::string> filterOfReportLine(const FieldNames& names, ByteSpan frame,
                                              const std::vector<std::string>& lines,
                                              const std::vector<WalkedField>& walked, std::size_t line) {
    const std::optional<ReportLineField> field = fieldOfReportLine(names, frame, lines, walked, line);
    if (!field) return std::nullopt;
    // A vector's elements have no line of their own to tell one from another.
    const FieldInfo* info = names.find(field->name);
    if (!info || (info->repeated && !field->occurrence)) return std::nullopt;
    std::string read = field->name;
    if (field->occurrence) read += "[" + std::to_string(*field->occurrence) + "]";
    auto value = ValueExpression::compile(read, std::shared_ptr<const FieldNames>(&names, [](const FieldNames*) {}));
    if (!value) return std::nullopt;
    const std::vector<Value> values = (*value)->values(frame);
    if (values.empty()) return std::nullopt;
    const Value& v = values.front();
    switch (v.type) {
    case ValueType::Number:
        if (!std::isfinite(v.number)) return std::nullopt;  // no literal reads back as it
        return field->name + " == " + numberText(v.number);
    case ValueType::Text: return field->name + " == " + quotedText(v.text);
    case ValueType::Bool: return field->name + " == " + (v.truth ? "true" : "false");
    }
    return std::nullopt;
}

} // namespace tarvik::expr
