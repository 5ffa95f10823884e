#include "remote/command_text.h"

#include "core/frame.h"
#include "decode/walker.h"

#include <cstdio>

namespace tarvik::remote {

namespace {

inline constexpr std::int64_t kMaxListed = 64;  // list elements written out; the rest are counted

template <typename... A>
std::string format(const char* fmt, A... args) {
    char b[96];
    std::snprintf(b, sizeof b, fmt, args...);
    return b;
}

// The log text of one value, from the bytes the walk took for it.
std::string valueText(const CRecordDataLayout& p, ByteSpan bytes) {
    const std::size_t w = bytes.size();
    switch (p.formatId()) {
    case FormatCode::Unsigned:
    case FormatCode::Signed: {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < w && i < 8; ++i) v |= std::uint64_t{bytes[i]} << (8 * i);
        if (p.formatId() == FormatCode::Signed) {
            if (w > 0 && w < 8 && (v >> (8 * w - 1)) & 1u) v |= ~std::uint64_t{0} << (8 * w);
            return std::to_string(static_cast<std::int64_t>(v));
        }
        return std::to_string(v);
    }
    case FormatCode::Float:
    case FormatCode::Degrees:
        if (w == 4) return format("%g", static_cast<double>(readLEOr0<float>(bytes, 0)));
        if (w == 8) return format("%g", readLEOr0<double>(bytes, 0));
        return "?";
    case FormatCode::Text:
    case FormatCode::BackText: {
        std::size_t n = 0;
        while (n < w && bytes[n] != 0) ++n;
        return "\"" + std::string(reinterpret_cast<const char*>(bytes.data()), n) + "\"";
    }
    case FormatCode::IpAddress: {
        const auto a = readLEOr0<std::uint32_t>(bytes, 0);
        return format("%u.%u.%u.%u", a >> 24, (a >> 16) & 255u, (a >> 8) & 255u, a & 255u);
    }
    case FormatCode::Time: {
        auto time = VxTIME::read(bytes, 0);
        return time ? format("%u/%u %02u:%02u:%06.3f", time->year, time->day, time->hours, time->minutes,
                             static_cast<double>(time->seconds))
                    : "";
    }
    case FormatCode::Reserved: return format("(%zu reserved bytes)", w);
    default: return "?";
    }
}

template <typename Layouts>
std::vector<CRecordDataLayout> itemsOf(const Layouts& layouts) {
    return std::vector<CRecordDataLayout>(layouts.begin(), layouts.end());
}

// Writes the parameters of one command as the walk hands them over:
// "name=value; name=[v, v]; name=[(a, b), (c, d)]".
class LineWriter {
public:
    LineWriter(std::string& text, const RemoteRepeatDescription* block) : text_(text), block_(block) {}

    bool operator()(const CommandWalkEvent& e) {
        using Kind = CommandWalkEvent::Kind;
        if (!list_) {
            text_ += separator_;
            separator_ = "; ";
            text_ += e.item->name + "=";
        }
        switch (e.kind) {
        case Kind::Value:
            if (list_ && blockList_) text_ += (inBlock_++ ? ", " : "");
            text_ += valueText(*e.item, e.bytes);
            return true;
        case Kind::ListBegin:
            if (e.item->formatId() == FormatCode::Repeat && !block_) {
                text_ += "(no block)";
                return false;
            }
            list_ = e.item;
            blockList_ = e.item->formatId() == FormatCode::Repeat;
            count_ = e.index;
            text_ += "[";
            return true;
        case Kind::ElementBegin:
            if (e.index > 0) text_ += ", ";
            if (e.index == kMaxListed) {
                // The rest is not read: a log line stays short.
                text_ += format("... %lld in all]", static_cast<long long>(count_));
                return false;
            }
            if (blockList_) text_ += "(";
            inBlock_ = 0;
            return true;
        case Kind::ElementEnd:
            if (blockList_) text_ += ")";
            return true;
        case Kind::ListEnd:
            text_ += "]";
            list_ = nullptr;
            return true;
        case Kind::RecordEnds: text_ += "(record ends)"; return false;
        }
        return true;
    }

private:
    std::string& text_;
    const RemoteRepeatDescription* block_;
    const char* separator_ = " ";
    const CRecordDataLayout* list_ = nullptr;
    bool blockList_ = false;
    std::int64_t count_ = 0;
    int inBlock_ = 0;
};

} // namespace

std::string describeCommandRecord(const RemoteCommandCatalogue& catalogue, ByteSpan record) {
    FrameView f(record);
    if (!f.isFrame()) return "not a record";
    std::uint32_t size = std::min<std::uint64_t>(f.size(), record.size());
    if (f.hasChecksum() && size >= 4) size -= 4;
    const std::uint64_t start = f.dataStart();
    if (start > size) return "record too short";
    std::uint64_t pos = start;
    std::string id, head;
    if (f.recordType() == 7500) {
        // Command number, ticket and 16 reserved bytes, then the parameters.
        const auto number = readLE<std::uint32_t>(record, pos);
        if (!number || !fits(size, pos, 24)) return "remote control record too short";
        pos += 24;
        id = std::to_string(*number);
        head = "command " + id;
    } else {
        id = "P" + std::to_string(f.recordType());
        head = "record " + std::to_string(f.recordType());
    }
    const CRemoteControlDefinition& def = catalogue.lookup(id);
    if (def.title.empty()) return head + " (not in the catalogue)";
    std::string text = head + " " + def.title + ":";
    if (!def.parametersKnown) return text + " parameters not known";

    // The parameters are walked by the one layout walker, which hands every
    // value over for the log's own wording.
    const RemoteRepeatDescription* block = catalogue.repeat(id);
    const std::vector<CRecordDataLayout> items = itemsOf(def);
    const std::vector<CRecordDataLayout> blockItems = block ? itemsOf(block->items) : std::vector<CRecordDataLayout>{};
    static const LayoutCatalogue noLayouts;
    std::vector<std::string> lines;
    DecodeContext ctx(noLayouts, RecordKey{}, lines);
    ctx.quiet = true;
    ctx.commandEvents = LineWriter(text, block);
    ctx.commandBlock = [&](const CRecordDataLayout&) { return block ? &blockItems : nullptr; };
    const ByteSpan body = record.first(size);
    const WalkResult walk = walkItems(ctx, items, body, static_cast<std::int64_t>(pos), size, WalkLevel::Command);
    if (walk.end == WalkResult::End::Done && walk.pos < static_cast<std::int64_t>(size)) {
        const auto left = static_cast<std::size_t>(size - walk.pos);
        // Record requests end in a checksum field their flags do not claim.
        if (left == 4 && !f.hasChecksum()) text += " (+4 bytes: a checksum field the flags do not claim)";
        else text += format(" (+%zu bytes after the last parameter)", left);
    }
    return text;
}

} // namespace tarvik::remote
