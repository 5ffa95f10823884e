#include "decode/coverage.h"

#include "core/frame.h"

#include <algorithm>

namespace tarvik {

std::size_t RecordCoverage::undecodedBytes() const {
    std::size_t n = 0;
    for (const UndecodedRange& r : undecoded) n += r.count;
    return n;
}

RecordCoverage recordCoverage(ByteSpan frame, const std::vector<WalkedField>& fields) {
    RecordCoverage c;
    const FrameView f(frame);
    // The data runs to the checksum field of the Size the header claims (the
    // last four bytes are never data). The walk reads only the bytes held: what
    // a cut-off frame lacks is not decoded, and is counted so.
    const std::size_t claimed = f.hasHeader() ? f.size() : frame.size();
    c.held = frame.size();
    c.dataBegin = std::min(kFrameHeaderSize, claimed);
    c.dataEnd = claimed >= c.dataBegin + 4 ? claimed - 4 : c.dataBegin;

    // The walked items as ranges clipped to the data held, sorted and merged.
    const std::size_t heldEnd = std::min(c.dataEnd, c.held);
    std::vector<std::pair<std::size_t, std::size_t>> taken;  // [begin, end)
    taken.reserve(fields.size());
    for (const WalkedField& w : fields) {
        if (w.width <= 0 || w.offset < 0) continue;
        const auto begin = std::max(static_cast<std::size_t>(w.offset), c.dataBegin);
        const auto end = std::min(static_cast<std::size_t>(w.offset) + static_cast<std::size_t>(w.width), heldEnd);
        if (begin < end) taken.emplace_back(begin, end);
    }
    std::sort(taken.begin(), taken.end());
    c.anyItem = !taken.empty();
    std::size_t at = c.dataBegin;
    for (const auto& [begin, end] : taken) {
        if (begin > at) c.undecoded.push_back({at, begin - at});
        at = std::max(at, end);
    }
    // Held bytes after the last item, then the missing ones as a range of their own.
    if (at < heldEnd) c.undecoded.push_back({at, heldEnd - at});
    at = std::max(at, heldEnd);
    if (at < c.dataEnd) c.undecoded.push_back({at, c.dataEnd - at});
    return c;
}

std::string undecodedKind(const RecordCoverage& c, const UndecodedRange& r) {
    if (r.offset >= c.held) return "cut off";
    if (!c.anyItem) return "no layout items";
    if (r.offset + r.count >= std::min(c.dataEnd, c.held)) return "after the last item";
    return "between items";
}

std::string coverageLine(const RecordCoverage& c) {
    const std::size_t missing = c.undecodedBytes();
    if (missing == 0) return "   All " + std::to_string(c.dataBytes()) + " data bytes decoded";
    std::string line = "   NOT DECODED: " + std::to_string(missing) + " of " + std::to_string(c.dataBytes()) +
                       " data bytes at ";
    constexpr std::size_t kNamed = 8;
    for (std::size_t i = 0; i < c.undecoded.size() && i < kNamed; ++i) {
        const UndecodedRange& r = c.undecoded[i];
        if (i) line += ", ";
        line += std::to_string(r.offset);
        if (r.count > 1) line += "-" + std::to_string(r.offset + r.count - 1);
    }
    if (c.undecoded.size() > kNamed) line += " and " + std::to_string(c.undecoded.size() - kNamed) + " more ranges";
    if (c.dataEnd > c.held) line += " (" + std::to_string(c.dataEnd - std::max(c.held, c.dataBegin)) + " of them cut off)";
    return line;
}

} // namespace tarvik
