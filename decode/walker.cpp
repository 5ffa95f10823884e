#include "decode/walker.h"

#include "decode/field_format.h"

#include <algorithm>
#include <cstring>

namespace tarvik {

namespace {

constexpr std::int64_t kLineLimit = 320;
constexpr int kMaxVectorLines = 5;  // full lines emitted before the rest is summed up

// The bytes of `data` from `pos` on; empty when `pos` lies outside.
ByteSpan from(ByteSpan data, std::int64_t pos) {
    if (pos < 0 || static_cast<std::uint64_t>(pos) > data.size()) return {};
    return data.subspan(static_cast<std::size_t>(pos));
}

ByteSpan slice(ByteSpan data, std::int64_t pos, std::int64_t width) {
    ByteSpan s = from(data, pos);
    return s.first(static_cast<std::size_t>(std::clamp<std::int64_t>(width, 0, static_cast<std::int64_t>(s.size()))));
}

void addMessage(DecodeContext& ctx, const char* text) {
    // One message per report: a corrupt length repeated in every block must not
    // raise hundreds of message boxes.
    if (std::find(ctx.messages.begin(), ctx.messages.end(), text) == ctx.messages.end()) ctx.messages.emplace_back(text);
}

void collectBeamDescriptor(DecodeContext& ctx, const std::string& name, std::int32_t value) {
    if (!ctx.beamDescriptors) return;
    auto& list = *ctx.beamDescriptors;
    const auto v = static_cast<std::uint32_t>(value);
    if (name == "Beam number") list.push_back({v, 0, 0});
    else if (name == "First sample number" && !list.empty()) list.back().first = v;
    else if (name == "End sample number" && !list.empty()) list.back().end = v;
}

} // namespace

std::string_view boundedText(ByteSpan data, std::int64_t length) {
    const auto n = static_cast<std::size_t>(std::clamp<std::int64_t>(length, 0, static_cast<std::int64_t>(data.size())));
    const auto* p = reinterpret_cast<const char*>(data.data());
    const void* zero = n ? std::memchr(p, 0, n) : nullptr;
    return {p, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - p) : n};
}

std::int64_t repeatVectorCount(std::int32_t recordType, std::int32_t k, std::int64_t c) {
    switch (recordType) {
    case 7012:
    case 7016:
        if (k == 0) return 2 * (c & 1);
        if (k == 1) return 2 * (((c & 2) * c) >> 1);
        if (k == 2) return 2 * (((c & 4) * c) >> 2);
        return 2 * c;
    case 7013:
    case 7018:
    case 7038: return 2 * c;
    case 7021: return 4;
    case 7027: return c - 22;
    case 7053: return 128;
    default: return c;
    }
}

std::int64_t formatRepeatBlock(DecodeContext& ctx, ByteSpan data, const RepeatDescription& block,
                               std::int32_t fixedSize, std::int32_t blockIndex) {
    ctx.lines.emplace_back(" ");
    std::string heading = block.title;
    heading += ' ';
    heading += std::to_string(blockIndex + 1);
    ctx.lines.push_back(std::move(heading));

    const auto available = static_cast<std::int64_t>(data.size());
    std::int64_t consumed = 0;
    for (const CRecordDataLayout& item : block.items) {
        const std::int64_t width = item.number;
        const std::int64_t end = consumed + width;
        if (fixedSize > 0 && end > fixedSize) return fixedSize;
        if (width > kMaxFieldWidth) return consumed;
        if (end > available) {
            ctx.lines.emplace_back("Data exhausted");
            return consumed;
        }

        std::string line = item.name;
        FieldResult r;
        const std::string_view f = item.format;
        if (f == "repeat") {
            const RepeatDescription& nested = ctx.catalogue.repeat(BlockKey(ctx.key, item.number));
            const std::int64_t count = ctx.values.countLookup(nested.countField);
            const std::int32_t nestedFixed = ctx.values.countLookup(nested.blockSizeField);
            if (ctx.depth >= kMaxNesting) {
                ctx.lines.emplace_back("Data exhausted");
                return consumed;
            }
            ++ctx.depth;
            std::int64_t last = 0;
            bool failed = false;
            const std::int64_t shown = std::min(count, kMaxShownBlocks);
            for (std::int64_t b = 0; b < shown; ++b) {
                last = formatRepeatBlock(ctx, from(data, consumed), nested, nestedFixed, static_cast<std::int32_t>(b));
                consumed += last;
                if (last < 0) {  // a broken back-reference: the rest would only repeat it
                    failed = true;
                    break;
                }
            }
            --ctx.depth;
            if (!failed && count > kMaxShownBlocks) {
                appendf(line, " Plus %ld more repeats", long(count - kMaxShownBlocks));
                consumed += (count - kMaxShownBlocks) * last;
            }
        } else if (f == "vstring") {
            const VarStringDescription& vs = ctx.catalogue.varString(BlockKey(ctx.key, item.number));
            const std::int64_t length = ctx.values.countLookup(vs.lengthField);
            if (length == 0) {
                addMessage(ctx, "Bad String Length");
                continue;
            }
            std::string text = vs.name;
            text += ' ';
            text += boundedText(from(data, consumed), length);
            ctx.lines.push_back(std::move(text));
            consumed += length;
        } else if (f == "vector") {
            const VectorDescription& v = ctx.catalogue.vector(BlockKey(ctx.key, item.number));
            const std::int64_t count =
                repeatVectorCount(ctx.key.recordType, item.number, ctx.values.countLookup(v.countField));
            consumed += formatVector(ctx, count, from(data, consumed), v);
        } else if (f == "sd" || f == "xd") {
            std::int32_t length = 0;
            if (!backReference(ctx.values, item.number, length)) return -1;
            if (length < 0 || consumed + length > available) {
                ctx.lines.emplace_back("Data exhausted");
                return consumed;
            }
            if (f == "sd") {
                line += ' ';
                line += boundedText(from(data, consumed), length);
            } else {
                r.hidden = true;
            }
            consumed += length;
        } else {
            const std::int64_t w = std::max<std::int64_t>(width, 0);
            r = appendFieldText(FieldContext::Repeat, f, item.number, slice(data, consumed, w), line);
            consumed += w;
        }
        if (!r.hidden) {
            if (const std::string* e = item.enumText(r.value)) line.append(" - ").append(*e);
            ctx.lines.push_back(std::move(line));
        }
        ctx.values.add(item.name, r.value);
        collectBeamDescriptor(ctx, item.name, r.value);
    }
    return fixedSize > 0 ? fixedSize : consumed;
}

std::int64_t formatVector(DecodeContext& ctx, std::int64_t count, ByteSpan data, const VectorDescription& vector) {
    const std::int64_t width = vector.width != 0 ? vector.width : evaluateSizeRule(vector.sizeRule, ctx.values);
    if (width > kMaxFieldWidth || width < 0) return 0;
    const auto available = static_cast<std::int64_t>(data.size());

    std::string lead = vector.elementName;
    std::string text;
    std::string element;
    if (count <= 0) text += " - no vector data to list";
    int fullLines = 0;
    std::int64_t pos = 0;
    for (std::int64_t i = 0; i < count; ++i) {
        if (pos + width > available) {
            text += " Data exhausted";
            break;
        }
        if (width == 0) {
            text += "  no data";
            break;
        }
        if (fullLines > kMaxVectorLines) {
            // Nothing more is shown: step over the remaining elements at once.
            const std::int64_t remaining = count - i;
            const std::int64_t fit = (available - pos) / width;
            if (fit >= remaining) {
                pos += remaining * width;
            } else {
                pos += fit * width;
                text += " Data exhausted";
            }
            break;
        }
        element.clear();
        appendFieldText(FieldContext::Vector, vector.format, static_cast<std::int32_t>(width),
                        data.subspan(static_cast<std::size_t>(pos), static_cast<std::size_t>(width)), element);
        if (static_cast<std::int64_t>(text.size()) < kLineLimit) {
            text += element;
        } else if (++fullLines <= kMaxVectorLines) {
            ctx.lines.push_back(lead + text);
            lead = "  ";
            text = element;
        } else {
            appendf(text, " Plus %lu more.", (unsigned long)(count - i - 1));
        }
        pos += width;
    }
    ctx.lines.push_back(lead + text);
    return pos;
}

std::int32_t BeamSampleWidths::total() const {
    std::int32_t sum = 0;
    for (int i = 0; i < 4; ++i)
        if (used[i]) sum += width[i];
    return sum;
}

BeamSampleWidths beamSampleWidths(const BeamSampleLayout& layout, const FieldValueList& values) {
    BeamSampleWidths w;
    for (std::size_t i = 0; i < layout.items.size() && i < 4; ++i) {
        const CRecordDataLayout& item = layout.items[i];
        if (item.format != "u" && item.format != "i") continue;
        const std::int32_t width = item.number != 0 ? item.number : evaluateSizeRule(item.sizeRule, values);
        if (width <= 0) continue;
        w.width[i] = std::min(width, kMaxFieldWidth);
        w.isSigned[i] = item.format == "i";
        w.used[i] = true;
    }
    return w;
}

bool appendBeamSample(const BeamSampleWidths& w, ByteSpan data, std::string& out) {
    if (data.size() < static_cast<std::size_t>(w.total())) return false;
    out += '(';
    bool first = true;
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (!w.used[i]) continue;
        const auto width = static_cast<std::size_t>(w.width[i]);
        if (width == 1 || width == 2 || width == 4) {
            if (!first) out += ',';
            first = false;
            if (w.isSigned[i]) {
                long v = width == 1   ? readLEOr0<std::int8_t>(data, pos)
                         : width == 2 ? readLEOr0<std::int16_t>(data, pos)
                                      : readLEOr0<std::int32_t>(data, pos);
                appendf(out, "%d", int(v));
            } else {
                long v = width == 1   ? long(readLEOr0<std::uint8_t>(data, pos))
                         : width == 2 ? long(readLEOr0<std::uint16_t>(data, pos))
                                      : long(readLEOr0<std::uint32_t>(data, pos));
                appendf(out, "%ld", v);
            }
        }
        pos += width;
    }
    out += ')';
    return true;
}

} // namespace tarvik
