#include "decode/walker.h"

#include "core/text.h"
#include "decode/field_format.h"
#include "decode/format_table.h"

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

void collectBeamDescriptor(DecodeContext& ctx, const std::string& name, std::int32_t value) {
    if (!ctx.beamDescriptors) return;
    auto& list = *ctx.beamDescriptors;
    const auto v = static_cast<std::uint32_t>(value);
    if (name == "Beam number") list.push_back({v, 0, 0});
    else if (name == "First sample number" && !list.empty()) list.back().first = v;
    else if (name == "End sample number" && !list.empty()) list.back().end = v;
}

} // namespace

std::string cutReportLine() {
    return strprintf("The rest of this record is cut: a record shows at most %lld items",
                     static_cast<long long>(kMaxItemsPerRecord));
}

std::string_view boundedText(ByteSpan data, std::int64_t length) {
    const auto n = static_cast<std::size_t>(std::clamp<std::int64_t>(length, 0, static_cast<std::int64_t>(data.size())));
    const auto* p = reinterpret_cast<const char*>(data.data());
    const void* zero = n ? std::memchr(p, 0, n) : nullptr;
    return {p, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - p) : n};
}

namespace {

// The bytes an item's number stands for before it is walked: its width for
// the data formats; nothing for a constant and for the structures, whose
// number is a block index or a back-reference depth and whose fit is decided
// by what they actually consume.
std::int64_t declaredWidth(FormatCode code, std::int32_t number, WalkLevel level) {
    switch (code) {
    case FormatCode::Constant: return 0;
    case FormatCode::Repeat:
    case FormatCode::Vector:
    case FormatCode::VarString:
    case FormatCode::PingData:
    case FormatCode::BackText:
    case FormatCode::BackSkip: return level == WalkLevel::Command ? std::max<std::int64_t>(number, 0) : 0;
    default: return level == WalkLevel::Command ? std::max<std::int64_t>(number, 0) : number;
    }
}

// A count look-up that says so in the report when the count field holds a
// value the look-up refuses (below 0 or above 1,000,000) and takes as 0: a
// walk that silently lists nothing would hide a broken record. Said once per
// field and record, in quiet walks too, so that the file check sees it.
std::int64_t lookUpCount(DecodeContext& ctx, std::string_view name) {
    const std::int32_t count = ctx.values.countLookup(name);
    std::int32_t raw = 0;
    if (count == 0 && !name.empty() && ctx.values.find(name, raw) && raw != 0 &&
        std::find(ctx.refusedCounts.begin(), ctx.refusedCounts.end(), name) == ctx.refusedCounts.end()) {
        ctx.refusedCounts.push_back(name);
        ctx.lines.push_back(strprintf("%s %s %lu, above 1,000,000: taken as 0", std::string(kRefusedCountLead).c_str(),
                                      std::string(name).c_str(), (unsigned long)static_cast<std::uint32_t>(raw)));
    }
    return count;
}

// The blocks of a "repeat" item. Returns the bytes consumed; `last` is the
// size of the last block formatted, `failed` tells a broken back-reference.
struct RepeatRun {
    std::int64_t consumed = 0;
    std::int64_t last = 0;
    std::int64_t formatted = 0;  // blocks formatted
    bool failed = false;
    bool ranOut = false;     // the record walk only: the blocks passed the record's end
    bool heldNothing = false;  // the last block took none of the bytes held: the rest are not formatted
};

// Hands a command walk's event to the caller that asked for them; false
// when the caller ends the walk.
bool emit(DecodeContext& ctx, CommandWalkEvent::Kind kind, const CRecordDataLayout& item, ByteSpan bytes = {},
          std::int64_t index = -1) {
    return !ctx.commandEvents || ctx.commandEvents(CommandWalkEvent{kind, &item, bytes, index});
}

// Far beyond any record: positions that counts and sizes push further are
// held here, so that products of counts and block sizes never overflow.
constexpr std::int64_t kFarBeyond = std::int64_t{1} << 48;

std::int64_t advanced(std::int64_t pos, std::int64_t count, std::int64_t size) {
    if (count <= 0 || size <= 0) return pos;
    size = std::min(size, kFarBeyond);
    if (count > (kFarBeyond - std::min(pos, kFarBeyond)) / size) return std::max(pos, kFarBeyond);
    return pos + count * size;
}

RepeatRun runBlocks(DecodeContext& ctx, ByteSpan data, std::int64_t pos, std::int64_t base,
                    const RepeatDescription& block, std::int64_t count, bool checkEnd) {
    RepeatRun run;
    const auto fixedSize = static_cast<std::int32_t>(lookUpCount(ctx, block.blockSizeField));
    const std::int64_t shown = std::min(count, kMaxShownBlocks);
    const auto held = static_cast<std::int64_t>(data.size());
    for (std::int64_t b = 0; b < shown && !ctx.cut && !ctx.stopped; ++b) {
        const std::int64_t at = std::min(pos + run.consumed, kFarBeyond);
        run.last = formatRepeatBlock(ctx, from(data, at), block, fixedSize, static_cast<std::int32_t>(b), base + at);
        ++run.formatted;
        if (run.last < 0) {  // a broken back-reference: the rest would only repeat it
            run.failed = true;
            break;
        }
        run.consumed = advanced(run.consumed, 1, run.last);
        if (checkEnd && pos + run.consumed > held) {
            run.ranOut = true;
            break;
        }
        // A block that takes none of the bytes held would only show the same
        // block again: the walk is bounded by the record, not by the count.
        if (std::min(pos + run.consumed, held) <= std::min(at, held) && b + 1 < count) {
            run.heldNothing = true;
            break;
        }
    }
    return run;
}

} // namespace

WalkResult walkItems(DecodeContext& ctx, const std::vector<CRecordDataLayout>& items, ByteSpan data, std::int64_t pos,
                     std::int64_t limit, WalkLevel level, std::int64_t base, std::int32_t fixedSize) {
    using End = WalkResult::End;
    const bool inRecord = level == WalkLevel::Record;
    const bool inBlock = level == WalkLevel::Block;
    const bool quiet = ctx.quiet;
    const std::int64_t start = pos;
    for (const CRecordDataLayout& item : items) {
        if (ctx.stopped) return {pos, End::Stopped};
        if (ctx.cut || ++ctx.itemsWalked > kMaxItemsPerRecord) {
            ctx.cut = true;
            return {pos, End::Stopped};
        }
        const FormatCode code = item.formatId();
        const std::int64_t width = declaredWidth(code, item.number, level);
        if (inBlock) {
            const std::int64_t end = pos - start + width;
            if (fixedSize > 0 && end > fixedSize) return {pos, End::FixedSize};
            if (width > kMaxFieldWidth) return {pos, End::Stopped};
        }
        // A list parameter checks each element in turn: an empty list needs no bytes.
        const bool commandList = level == WalkLevel::Command && !item.countFieldName.empty();
        if (!commandList && pos + width > limit) {
            if (level == WalkLevel::Command) emit(ctx, CommandWalkEvent::Kind::RecordEnds, item);
            ctx.lines.emplace_back("Data exhausted");
            return {pos, End::Stopped};
        }

        const std::int64_t itemStart = pos;
        const std::size_t linesBefore = ctx.lines.size();
        std::string line;
        if (!quiet) line = item.name;
        FieldResult r;
        WalkTrace::Source source;  // the bytes the item's value came from
        bool ownLine = inBlock;  // blocks show every structure item's name after its contents
        bool stop = false;
        const BlockKey blockKey(ctx.key, item.number);
        if (commandList) {
            // A list parameter: as many values as its count parameter says, a
            // line each (the first 999), as far as the record holds them. A
            // "repeat" list whose block the caller names walks that block's
            // items for each element.
            using Kind = CommandWalkEvent::Kind;
            if (ctx.trace) ctx.trace->opaque = true;  // the value kept is whichever element came last
            const std::int64_t count = lookUpCount(ctx, item.countFieldName);
            const std::vector<CRecordDataLayout>* block =
                code == FormatCode::Repeat && ctx.commandBlock ? ctx.commandBlock(item) : nullptr;
            if (!emit(ctx, Kind::ListBegin, item, {}, count)) return {pos, End::Stopped};
            for (std::int64_t i = 0; i < count; ++i) {
                if (!emit(ctx, Kind::ElementBegin, item, {}, i)) return {pos, End::Stopped};
                if (block) {
                    if (ctx.depth >= kMaxNesting) return {pos, End::Stopped};
                    ++ctx.depth;
                    const WalkResult w = walkItems(ctx, *block, data, pos, limit, WalkLevel::Command, base);
                    --ctx.depth;
                    if (w.end != End::Done) return w;
                    if (!emit(ctx, Kind::ElementEnd, item, {}, i)) return {w.pos, End::Stopped};
                    if (w.pos == pos) break;  // a block of no bytes would only repeat itself
                    pos = w.pos;
                    continue;
                }
                if (pos + width > limit) {
                    emit(ctx, Kind::RecordEnds, item, {}, i);
                    ctx.lines.emplace_back("Data exhausted");
                    return {pos, End::Stopped};
                }
                const ByteSpan bytes = data.subspan(static_cast<std::size_t>(pos), static_cast<std::size_t>(width));
                if (!emit(ctx, Kind::Value, item, bytes, i)) return {pos, End::Stopped};
                if (quiet || i >= kMaxShownBlocks) {
                    r.value = fieldValue(FieldContext::Command, code, item.number, bytes);
                } else {
                    std::string element = item.name;
                    r = appendFieldText(FieldContext::Command, code, item.format, item.number, bytes, element);
                    if (const std::string* e = item.enumText(r.value)) element.append(" - ").append(*e);
                    if (!r.hidden) ctx.lines.push_back(std::move(element));
                }
                pos += width;
                if (!emit(ctx, Kind::ElementEnd, item, {}, i)) return {pos, End::Stopped};
                if (width == 0) break;
            }
            if (!emit(ctx, Kind::ListEnd, item, {}, count)) return {pos, End::Stopped};
            if (!quiet && count > kMaxShownBlocks)
                ctx.lines.push_back(strprintf("%s: %ld more values", item.name.c_str(), long(count - kMaxShownBlocks)));
        } else if (level == WalkLevel::Command) {
            const ByteSpan bytes = data.subspan(static_cast<std::size_t>(pos), static_cast<std::size_t>(width));
            if (!emit(ctx, CommandWalkEvent::Kind::Value, item, bytes, -1)) return {pos, End::Stopped};
            if (quiet) r.value = fieldValue(FieldContext::Command, code, item.number, bytes);
            else r = appendFieldText(FieldContext::Command, code, item.format, item.number, bytes, line);
            source = {base + pos, static_cast<std::int64_t>(bytes.size())};
            ownLine = true;
            pos += width;
        } else if (code == FormatCode::Repeat) {
            const RepeatDescription& block = ctx.catalogue.repeat(blockKey);
            const std::int64_t count = lookUpCount(ctx, block.countField);
            if (inRecord) {
                // Nothing happens for a block that names no count field (or does not exist).
                if (!block.countField.empty()) {
                    if (!quiet)
                        ctx.lines.reserve(ctx.lines.size() +
                                          static_cast<std::size_t>(std::min(count, kMaxShownBlocks)) * (block.items.size() + 2) +
                                          8);
                    const RepeatRun run = runBlocks(ctx, data, pos, base, block, count, true);
                    pos += run.consumed;
                    std::string text;
                    const std::int64_t skipped = count - run.formatted;
                    if (run.ranOut) {
                        text = strprintf(" Ran out of data in repeating blocks, lIndex=%lu", (unsigned long)pos);
                        stop = true;
                    } else if (!run.failed && !ctx.cut && skipped > 0 && (count > kMaxShownBlocks || run.heldNothing)) {
                        text = strprintf("Plus %lu more repeats", (unsigned long)skipped);
                        pos = advanced(pos, skipped, run.last);
                        if (pos > static_cast<std::int64_t>(data.size())) text = "INSUFFICIENT DATA for specified repeats";
                    }
                    if (!text.empty()) {
                        ctx.lines.emplace_back(" ");
                        ctx.lines.push_back(std::move(text));
                        ctx.lines.emplace_back(" ");
                        ctx.lines.push_back(item.name);
                    }
                }
            } else {
                if (ctx.depth > kMaxNesting) {
                    ctx.lines.emplace_back("Data exhausted");
                    return {pos, End::Stopped};
                }
                const RepeatRun run = runBlocks(ctx, data, pos, base, block, count, false);
                pos = advanced(pos, 1, run.consumed);
                const std::int64_t skipped = count - run.formatted;
                if (!run.failed && !ctx.cut && skipped > 0 && (count > kMaxShownBlocks || run.heldNothing)) {
                    if (!quiet) appendf(line, " Plus %ld more repeats", long(skipped));
                    pos = advanced(pos, skipped, run.last);
                }
            }
        } else if (code == FormatCode::Vector) {
            const VectorDescription& v = ctx.catalogue.vector(blockKey);
            const std::int64_t c = lookUpCount(ctx, v.countField);
            const std::int64_t f = ctx.values.countLookup(v.secondField);
            const std::int64_t count = (inRecord ? v.countRule : v.blockCountRule).apply(c, f);
            pos += formatVector(ctx, count, from(data, pos), v);
        } else if (code == FormatCode::VarString) {
            const VarStringDescription& vs = ctx.catalogue.varString(blockKey);
            const std::int64_t length = lookUpCount(ctx, vs.lengthField);
            if (length == 0) {
                if (inRecord) {
                    ctx.recordMessages.emplace_back("Bad String Length");
                    return {pos, End::Stopped};
                }
                // Once per report: a corrupt length repeated in every block must
                // not raise hundreds of message boxes. The item is skipped.
                if (std::find(ctx.messages.begin(), ctx.messages.end(), "Bad String Length") == ctx.messages.end())
                    ctx.messages.emplace_back("Bad String Length");
                continue;
            }
            if (!quiet) {
                std::string text = vs.name;
                text += ' ';
                text += boundedText(from(data, pos), length);
                ctx.lines.push_back(std::move(text));
            }
            ownLine = true;
            pos += length;
        } else if (code == FormatCode::PingData && inRecord && ctx.pingData) {
            pos += ctx.pingData(ctx.lines, ctx.values);
            ownLine = true;
        } else if (code == FormatCode::BackText || code == FormatCode::BackSkip) {
            std::int32_t length = 0;
            if (!backReference(ctx.values, item.number, length)) return {pos, inRecord ? End::Stopped : End::BrokenReference};
            if (length < 0 || pos + length > limit) {
                ctx.lines.emplace_back("Data exhausted");
                return {pos, End::Stopped};
            }
            if (code == FormatCode::BackText) {
                if (!quiet) line.append(" ").append(boundedText(from(data, pos), length));
                ownLine = true;
            } else {
                ownLine = false;
            }
            pos += length;
        } else {
            const std::int64_t w = std::max<std::int64_t>(width, 0);
            const FieldContext context = inRecord ? FieldContext::Main : FieldContext::Repeat;
            const ByteSpan bytes = slice(data, pos, w);
            if (quiet) r.value = fieldValue(context, code, item.number, bytes);
            else r = appendFieldText(context, code, item.format, item.number, bytes, line);
            source = {base + pos, static_cast<std::int64_t>(bytes.size())};
            ownLine = true;
            pos += w;
        }

        if (ownLine && !r.hidden && !quiet) {
            if (const std::string* e = item.enumText(r.value)) line.append(" - ").append(*e);
            ctx.lines.push_back(std::move(line));
        }
        ctx.values.add(item.name, r.value);
        if (ctx.trace) ctx.trace->sources.push_back(source);
        if (inBlock && ctx.beamDescriptors) {
            collectBeamDescriptor(ctx, item.name, r.value);
            // The descriptors steer the sample walk: every value of their blocks counts as looked up.
            if (ctx.trace) ctx.trace->lookups.push_back(static_cast<std::uint32_t>(ctx.values.size() - 1));
        }
        if (ctx.fields || ctx.watch) {
            const WalkedField walked{item.name, item.format, base + itemStart, pos - itemStart, ctx.depth, linesBefore,
                                     ctx.lines.size(), code};
            if (ctx.fields) ctx.fields->push_back(walked);
            if (ctx.watch && !(*ctx.watch)(walked)) {
                ctx.stopped = true;
                return {pos, End::Stopped};
            }
        }
        if (stop) return {pos, End::Stopped};
    }
    return {pos, End::Done};
}

std::int64_t formatRepeatBlock(DecodeContext& ctx, ByteSpan data, const RepeatDescription& block,
                               std::int32_t fixedSize, std::int32_t blockIndex, std::int64_t base) {
    if (!ctx.quiet) {
        ctx.lines.emplace_back(" ");
        std::string heading = block.title;
        heading += ' ';
        heading += std::to_string(blockIndex + 1);
        ctx.lines.push_back(std::move(heading));
    }

    ++ctx.depth;
    const WalkResult w = walkItems(ctx, block.items, data, 0, static_cast<std::int64_t>(data.size()), WalkLevel::Block,
                                   base, fixedSize);
    --ctx.depth;
    switch (w.end) {
    case WalkResult::End::FixedSize: return fixedSize;
    case WalkResult::End::BrokenReference: return -1;
    case WalkResult::End::Stopped: return w.pos;
    case WalkResult::End::Done: break;
    }
    return fixedSize > 0 ? fixedSize : w.pos;
}

std::int64_t formatVector(DecodeContext& ctx, std::int64_t count, ByteSpan data, const VectorDescription& vector) {
    const std::int64_t width = vector.width != 0 ? vector.width : evaluateSizeRule(vector.sizeRule, ctx.values);
    if (width > kMaxFieldWidth || width < 0) return 0;
    const auto available = static_cast<std::int64_t>(data.size());

    const FormatCode elementCode = vector.formatId();
    std::string lead;
    if (!ctx.quiet) lead = vector.elementName;
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
        if (fullLines > kMaxVectorLines || ctx.quiet) {
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
        appendFieldText(FieldContext::Vector, elementCode, vector.format, static_cast<std::int32_t>(width),
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
    if (!ctx.quiet) ctx.lines.push_back(lead + text);
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
        const FormatCode code = item.formatId();
        if (code != FormatCode::Unsigned && code != FormatCode::Signed) continue;
        const std::int32_t width = item.number != 0 ? item.number : evaluateSizeRule(item.sizeRule, values);
        if (width <= 0) continue;
        w.width[i] = std::min(width, kMaxFieldWidth);
        w.isSigned[i] = code == FormatCode::Signed;
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
