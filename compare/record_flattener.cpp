#include "compare/record_flattener.h"

#include "core/frame.h"
#include "decode/record_json.h"
#include "decode/wireshark_lua.h"

#include <algorithm>

namespace tarvik::compare {

namespace {

// The header fields of a frame that a comparison reads (what the list and
// the capture know of a record is not the record's).
std::optional<ScalarValue> headerValue(expr::HeaderField h, const FrameView& f) {
    using expr::HeaderField;
    ScalarValue v;
    v.kind = ValueKind::Unsigned;
    switch (h) {
    case HeaderField::ProtocolVersion: v.u = f.protocolVersion(); break;
    case HeaderField::Offset: v.u = f.offset(); break;
    case HeaderField::Size: v.u = f.size(); break;
    case HeaderField::OptionalOffset: v.u = f.optionalDataOffset(); break;
    case HeaderField::OptionalId: v.u = f.optionalDataId(); break;
    case HeaderField::RecordVersion: v.u = f.recordVersion(); break;
    case HeaderField::RecordType: v.u = f.recordType(); break;
    case HeaderField::Device: v.u = f.deviceId(); break;
    case HeaderField::Enumerator: v.u = f.systemEnumerator(); break;
    case HeaderField::RecordCounter: v.u = f.recordCounter(); break;
    case HeaderField::Flags: v.u = f.flags(); break;
    case HeaderField::FragmentsTotal: v.u = f.totalFragments(); break;
    case HeaderField::FragmentNumber: v.u = f.fragmentNumber(); break;
    case HeaderField::Time:
        if (auto ns = epochNanoseconds(f.time())) {
            v.kind = ValueKind::Time;
            v.i = *ns;
        } else {
            v.kind = ValueKind::None;
        }
        break;
    default: return std::nullopt;
    }
    return v;
}

// The bytes of the header a field is read from.
std::pair<std::uint8_t, std::uint8_t> headerBytes(expr::HeaderField h) {
    using expr::HeaderField;
    namespace o = frame_offsets;
    switch (h) {
    case HeaderField::ProtocolVersion: return {o::protocolVersion, 2};
    case HeaderField::Offset: return {o::offset, 2};
    case HeaderField::Size: return {o::size, 4};
    case HeaderField::OptionalOffset: return {o::optionalDataOffset, 4};
    case HeaderField::OptionalId: return {o::optionalDataId, 4};
    case HeaderField::Time: return {o::time, VxTIME::kSize};
    case HeaderField::RecordVersion: return {o::recordVersion, 2};
    case HeaderField::RecordType: return {o::recordType, 4};
    case HeaderField::Device: return {o::deviceId, 4};
    case HeaderField::Enumerator: return {o::systemEnumerator, 2};
    case HeaderField::RecordCounter: return {o::recordCounter, 4};
    case HeaderField::Flags: return {o::flags, 2};
    case HeaderField::FragmentsTotal: return {o::totalFragments, 4};
    case HeaderField::FragmentNumber: return {o::fragmentNumber, 4};
    default: return {0, 0};
    }
}

} // namespace

RecordFlattener::RecordFlattener(const LayoutCatalogue& catalogue)
    : fieldNames_(catalogue), decoder_(catalogue, commands_) {
    for (const expr::FieldInfo& f : fieldNames_.all())
        if (f.source == expr::FieldSource::Header && headerValue(f.header, FrameView(ByteSpan{}))) {
            headerFields_.emplace_back(intern(f.name), f.header);
            const auto [offset, width] = headerBytes(f.header);
            headerSpans_.push_back({headerFields_.back().first, offset, width});
        }
}

std::uint32_t RecordFlattener::intern(const std::string& name) {
    auto [it, added] = ids_.try_emplace(name, static_cast<std::uint32_t>(names_.size()));
    if (added) names_.push_back(name);
    return it->second;
}

const RecordFlattener::TypeNames& RecordFlattener::typeNames(std::uint32_t type) {
    auto [it, added] = types_.try_emplace(type);
    if (!added) return it->second;
    for (const expr::FieldInfo* f : fieldNames_.ofType(type)) {
        const std::uint32_t id = intern(f->name);
        for (const std::string& item : f->items) it->second.items[item].emplace_back(f->kind, id);
        for (const std::string& item : f->vectorItems) it->second.vectors.try_emplace(item, id);
    }
    return it->second;
}

std::uint32_t RecordFlattener::itemName(std::uint32_t type, const WalkedField& f, bool vector) {
    const TypeNames& t = typeNames(type);
    const std::string item(f.name);
    if (vector) {
        if (auto it = t.vectors.find(item); it != t.vectors.end()) return it->second;
    } else if (auto it = t.items.find(item); it != t.items.end()) {
        if (it->second.size() == 1) return it->second.front().second;
        const std::string kind = wiresharkKind(f.format, static_cast<std::int32_t>(f.width));
        for (const auto& [k, id] : it->second)
            if (k == kind) return id;
        return it->second.front().second;
    }
    // An item the dissector declares no field for: named after the item itself.
    return intern("vx." + std::to_string(type) + "." + item);
}

FlatValue element(ByteSpan frame, const FlatValue& block, std::int64_t index) {
    FlatValue out{block.name, block.element + "[" + std::to_string(index) + "]", {}, std::nullopt};
    if (!block.block) return out;
    WalkedField e = block.block->element;
    e.offset = block.block->element.offset + index * e.width;
    out.value = scalarValue(frame, e);
    return out;
}

void RecordFlattener::header(ByteSpan frame, std::vector<FlatValue>& out) {
    const FrameView f(frame);
    for (const auto& [id, h] : headerFields_)
        if (auto v = headerValue(h, f)) out.push_back({id, {}, *v, std::nullopt});
}

void RecordFlattener::items(ByteSpan frame, std::vector<FlatValue>& out) {
    decoder_.decode(frame);
    walk(FrameView(frame).recordType(), frame, decoder_.nested(), {}, out);
}

void RecordFlattener::walk(std::uint32_t type, ByteSpan frame, const std::vector<ItemNode>& nodes,
                           const std::string& path, std::vector<FlatValue>& out) {
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        const ItemNode& node = nodes[n];
        const WalkedField& f = *node.field;
        const FormatCode code = formatCode(f.format);
        if (code == FormatCode::Repeat) {
            for (std::size_t b = 0; b < node.blocks.size(); ++b)
                walk(type, frame, node.blocks[b], path + "[" + std::to_string(b) + "]", out);
            continue;
        }
        if (code == FormatCode::Vector || code == FormatCode::PingData) {
            // Elements of a known width one by one; other bytes (sample blocks,
            // elements sized by a rule) byte by byte.
            const VectorDescription* v = code == FormatCode::Vector ? decoder_.vectorOf(f) : nullptr;
            FlatValue::Block b;
            b.element = f;
            std::int64_t width = 1;
            if (v && v->width > 0 && scalarKind(v->formatId()) != ValueKind::None && scalarKind(v->formatId()) != ValueKind::Text) {
                width = v->width;
                b.element.format = v->format;
            } else {
                b.element.format = "u";
            }
            b.element.width = width;
            // The elements whose bytes are held.
            const std::int64_t start = std::clamp<std::int64_t>(f.offset, 0, static_cast<std::int64_t>(frame.size()));
            const std::int64_t held = std::clamp<std::int64_t>(f.width, 0, static_cast<std::int64_t>(frame.size()) - start);
            b.count = held / width;
            b.bytes = frame.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(b.count * width));
            FlatValue value{itemName(type, f, v != nullptr), path, {}, std::move(b)};
            out.push_back(std::move(value));
            continue;
        }
        WalkedField s = f;
        if (code == FormatCode::VarString) s.format = "s";
        else if (scalarKind(code) == ValueKind::None) continue;  // reserved and skipped bytes, constants
        FlatValue value{itemName(type, f, false), path, scalarValue(frame, s), std::nullopt};
        out.push_back(std::move(value));
    }
}

} // namespace tarvik::compare
