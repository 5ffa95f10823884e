#include "decode/record_json.h"

#include "core/frame.h"
#include "core/text.h"
#include "core/vxtime.h"
#include "decode/field_format.h"
#include "decode/format_table.h"

#include <nlohmann/json.hpp>

namespace tarvik {

namespace {

using nlohmann::ordered_json;

// The value of a number item, read from the record's bytes: as the report
// shows it (shownNumber), or with `raw` as stored.
std::optional<ordered_json> numberValue(ByteSpan frame, const WalkedField& f, bool raw = false) {
    if (f.offset < 0) return std::nullopt;
    const auto at = static_cast<std::uint64_t>(f.offset);
    switch (f.code) {
    case FormatCode::Unsigned:
        switch (f.width) {
        case 1: if (auto v = readLE<std::uint8_t>(frame, at)) return ordered_json(*v); break;
        case 2: if (auto v = readLE<std::uint16_t>(frame, at)) return ordered_json(*v); break;
        case 4: if (auto v = readLE<std::uint32_t>(frame, at)) return ordered_json(*v); break;
        case 8: if (auto v = readLE<std::uint64_t>(frame, at)) return ordered_json(*v); break;
        }
        break;
    case FormatCode::Signed:
        switch (f.width) {
        case 1: if (auto v = readLE<std::int8_t>(frame, at)) return ordered_json(*v); break;
        case 2: if (auto v = readLE<std::int16_t>(frame, at)) return ordered_json(*v); break;
        case 4: if (auto v = readLE<std::int32_t>(frame, at)) return ordered_json(*v); break;
        case 8: if (auto v = readLE<std::int64_t>(frame, at)) return ordered_json(*v); break;
        }
        break;
    case FormatCode::Float:
    case FormatCode::Radians: {
        double d = 0;
        if (f.width == 4) {
            auto v = readLE<float>(frame, at);
            if (!v) break;
            d = *v;
        } else if (f.width == 8) {
            auto v = readLE<double>(frame, at);
            if (!v) break;
            d = *v;
        } else {
            break;
        }
        if (!std::isfinite(d)) return ordered_json(nullptr);  // JSON has no NaN or infinity
        return ordered_json(raw ? d : shownNumber(f.code, f.width, d));
    }
    default: break;
    }
    return std::nullopt;
}

// A JSON item costs far more memory than its report line: a record's
// document holds at most this many, the lines hold the rest.
constexpr std::size_t kMaxJsonItems = 50'000;

ordered_json itemsJson(ByteSpan frame, const Report& report, const std::vector<ItemNode>& nodes, std::size_t& left) {
    ordered_json items = ordered_json::array();
    for (const ItemNode& n : nodes) {
        if (left == 0) break;
        --left;
        const WalkedField& f = *n.field;
        ordered_json item;
        item["name"] = std::string(f.name);
        item["format"] = std::string(f.format);
        item["offset"] = f.offset;
        item["width"] = f.width;
        const FormatCode code = f.code;
        const std::size_t end = std::min(f.lineEnd, report.lines.size());
        if (code == FormatCode::Vector || code == FormatCode::Repeat || code == FormatCode::PingData) {
            ordered_json lines = ordered_json::array();
            for (std::size_t i = f.lineBegin; i < end; ++i) lines.push_back(report.lines[i]);
            item["lines"] = std::move(lines);
        } else {
            item["text"] = f.lineBegin < end ? ordered_json(report.lines[end - 1]) : ordered_json(nullptr);
        }
        if (auto v = numberValue(frame, f)) item["value"] = std::move(*v);
        // A converted value keeps the stored one beside it (radians of a "(deg)" item).
        if (code == FormatCode::Radians)
            if (auto v = numberValue(frame, f, true)) item["storedValue"] = std::move(*v);
        if (!n.blocks.empty()) {
            ordered_json blocks = ordered_json::array();
            for (const auto& b : n.blocks) blocks.push_back(itemsJson(frame, report, b, left));
            item["blocks"] = std::move(blocks);
        }
        items.push_back(std::move(item));
    }
    return items;
}

ordered_json timeJson(const FrameView& f) {
    const VxTIME t = f.time();
    ordered_json j;
    j["year"] = t.year;
    j["day"] = t.day;
    j["hours"] = t.hours;
    j["minutes"] = t.minutes;
    j["seconds"] = std::isfinite(t.seconds) ? ordered_json(t.seconds) : ordered_json(nullptr);
    auto text = uninitialisedMarker(f.timeBytes()) ? std::nullopt : formatDateTime(t);
    j["text"] = text && t.year != 0 ? ordered_json(*text) : ordered_json(nullptr);
    return j;
}

template <auto Get>
std::uint32_t headerNumber(const FrameView& f) {
    return (f.*Get)();
}

} // namespace

const std::array<RecordHeaderField, 15> kRecordHeaderFields{{
    {"protocolVersion", &headerNumber<&FrameView::protocolVersion>},
    {"offset", &headerNumber<&FrameView::offset>},
    {"syncPattern", &headerNumber<&FrameView::syncPattern>},
    {"size", &headerNumber<&FrameView::size>},
    {"optionalDataOffset", &headerNumber<&FrameView::optionalDataOffset>},
    {"optionalDataIdentifier", &headerNumber<&FrameView::optionalDataId>},
    {"time", nullptr},
    {"recordVersion", &headerNumber<&FrameView::recordVersion>},
    {"recordType", &headerNumber<&FrameView::recordType>},
    {"deviceIdentifier", &headerNumber<&FrameView::deviceId>},
    {"systemEnumerator", &headerNumber<&FrameView::systemEnumerator>},
    {"recordCounter", &headerNumber<&FrameView::recordCounter>},
    {"flags", &headerNumber<&FrameView::flags>},
    {"totalFragments", &headerNumber<&FrameView::totalFragments>},
    {"fragmentNumber", &headerNumber<&FrameView::fragmentNumber>},
}};

std::vector<ItemNode> nestWalkedFields(const std::vector<WalkedField>& fields) {
    // Items inside a repeat block are walked, and listed, before the block's
    // own item: collect them per depth until their parent arrives.
    std::vector<std::vector<ItemNode>> pending(1);
    for (const WalkedField& f : fields) {
        const auto depth = static_cast<std::size_t>(std::max(f.depth, 0));
        if (pending.size() < depth + 2) pending.resize(depth + 2);
        ItemNode node{&f, {}};
        std::vector<ItemNode>& children = pending[depth + 1];
        if (!children.empty()) {
            // A block starts again where the first item's name comes round again.
            const std::string_view first = children.front().field->name;
            for (ItemNode& c : children) {
                if (node.blocks.empty() || (c.field->name == first && !node.blocks.back().empty()))
                    node.blocks.emplace_back();
                node.blocks.back().push_back(std::move(c));
            }
            children.clear();
        }
        pending[depth].push_back(std::move(node));
    }
    return std::move(pending[0]);
}

std::string recordJson(ByteSpan frame, std::uint32_t recordNumber, const Report& report,
                       const std::vector<WalkedField>& fields, bool hex, int indent, const RecordOrigin* origin) {
    const FrameView f(frame);
    ordered_json j;
    j["record"] = recordNumber;
    if (origin) {
        ordered_json c;
        c["seconds"] = origin->seconds;
        c["microseconds"] = origin->microseconds;
        c["line"] = origin->line();
        c["stream"] = origin->stream;
        j["captured"] = std::move(c);
    }
    ordered_json h;
    for (const RecordHeaderField& field : kRecordHeaderFields)
        h[field.name] = field.number ? ordered_json(field.number(f)) : timeJson(f);
    j["header"] = std::move(h);
    j["bytesHeld"] = frame.size();
    std::size_t left = kMaxJsonItems;
    j["items"] = itemsJson(frame, report, nestWalkedFields(fields), left);
    if (left == 0 && fields.size() > kMaxJsonItems)
        j["itemsCut"] = strprintf("a record's document holds at most %zu items; the lines show the rest", kMaxJsonItems);
    j["lines"] = report.lines;
    j["messages"] = report.messages;
    if (hex) j["hex"] = hexDumpLines(frame);
    // Texts from hostile records may hold bytes that are not UTF-8: replace them.
    return j.dump(indent, ' ', false, ordered_json::error_handler_t::replace);
}

std::string checkResultJson(const FileCheckResult& r, int indent) {
    ordered_json j;
    j["file"] = r.path;
    j["readable"] = !r.unreadable.has_value();
    if (r.unreadable) j["error"] = *r.unreadable;
    j["clean"] = r.clean();
    j["bytes"] = r.fileBytes;
    j["frames"] = r.frames;
    j["hasCatalog"] = r.hasCatalog;
    auto timeText = [](const std::optional<VxTIME>& t) {
        auto s = t ? formatDateTime(*t) : std::nullopt;
        return s ? ordered_json(*s) : ordered_json(nullptr);
    };
    j["firstTime"] = timeText(r.statistics.firstTime());
    j["lastTime"] = timeText(r.statistics.lastTime());
    ordered_json types = ordered_json::array();
    for (const auto& row : r.statistics.rows()) {
        ordered_json t;
        t["recordType"] = row.recordType;
        t["frames"] = row.count;
        t["bytes"] = row.bytes;
        t["share"] = row.share;
        t["lastTime"] = timeText(row.lastTime);
        types.push_back(std::move(t));
    }
    j["recordTypes"] = std::move(types);
    j["problemCount"] = r.problemCount();
    ordered_json problems = ordered_json::array();
    for (std::size_t kind = 0; kind < kCheckProblemKinds; ++kind) {
        const CheckProblemList& list = r.problems[kind];
        if (list.count == 0) continue;
        ordered_json p;
        p["kind"] = std::string(checkProblemName(static_cast<CheckProblemKind>(kind)));
        p["count"] = list.count;
        ordered_json first = ordered_json::array();
        for (const CheckProblem& one : list.first)
            first.push_back({{"index", one.index}, {"offset", one.offset}, {"text", one.text}});
        p["first"] = std::move(first);
        problems.push_back(std::move(p));
    }
    j["problems"] = std::move(problems);
    return j.dump(indent, ' ', false, ordered_json::error_handler_t::replace);
}

} // namespace tarvik
