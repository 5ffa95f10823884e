#include "decode/layout_draft.h"

#include "core/frame.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace tarvik {

namespace {

std::uint64_t readLE(const std::uint8_t* d, std::size_t width) {
    std::uint64_t v = 0;
    for (std::size_t i = width; i-- > 0;) v = (v << 8) | d[i];
    return v;
}

float floatAt(const std::uint8_t* d) { return std::bit_cast<float>(static_cast<std::uint32_t>(readLE(d, 4))); }

bool plausibleFloat(float x) {
    if (!std::isfinite(x)) return false;
    const float a = std::fabs(x);
    return x == 0.0f || (a >= 1e-6f && a <= 1e9f);
}

bool plausibleTime(const std::uint8_t* d) {
    const auto year = readLE(d, 2), day = readLE(d + 2, 2);
    const float seconds = floatAt(d + 4);
    return year >= 1990 && year <= 2100 && day >= 1 && day <= 366 && std::isfinite(seconds) && seconds >= 0.0f &&
           seconds < 60.0f && d[8] < 24 && d[9] < 60;
}

std::string hex(std::uint64_t v) {
    char b[32];
    std::snprintf(b, sizeof b, "0x%llX", static_cast<unsigned long long>(v));
    return b;
}

std::string number(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
}

} // namespace

LayoutDraft::LayoutDraft(std::uint32_t recordType) : type_(recordType) {}

bool LayoutDraft::add(ByteSpan frame) {
    const FrameView f(frame);
    if (!f.hasHeader() || f.recordType() != type_) return false;
    // The data section: from 4 + Offset to the optional data, or to the checksum field.
    const std::size_t held = std::min<std::size_t>(frame.size(), f.size());
    std::size_t end = held >= 4 ? held - 4 : 0;
    const std::size_t begin = std::min<std::size_t>(f.dataStart(), end);
    if (const std::uint32_t optional = f.optionalDataOffset(); optional > begin && optional < end) end = optional;
    const std::uint8_t* d = frame.data() + begin;
    const std::size_t n = end - begin;

    // Names and comments give offsets from the frame's first byte, as the
    // report's coverage line and the bytes pane do: the first record says
    // where its data section begins.
    if (records_ == 0) dataStart_ = begin;
    ++records_;
    bytes_ += frame.size();
    minSize_ = records_ == 1 ? n : std::min(minSize_, n);
    maxSize_ = std::max(maxSize_, n);

    // Constant bytes: the first value of each position, and whether another was seen.
    const std::size_t m = std::min(n, kMaxPositions);
    const std::size_t common = std::min(m, first_.size());
    std::uint8_t* varies = varies_.data();
    const std::uint8_t* first = first_.data();
    for (std::size_t p = 0; p < common; ++p) varies[p] |= static_cast<std::uint8_t>(d[p] ^ first[p]);
    if (m > first_.size()) {
        first_.insert(first_.end(), d + first_.size(), d + m);
        varies_.resize(m, 0);
    }

    takeTyped(d, n);

    // Count fields: value v and size S of every record must satisfy
    // S = fixed + v * element for one fixed part and one element size.
    if (records_ == 1) {
        for (std::size_t o = 0; o < std::min(n, kTypedPositions); ++o)
            for (std::uint8_t w : {4, 2, 1})
                if (o % w == 0 && o + w <= n) candidates_.push_back({static_cast<std::uint32_t>(o), w, false, 0, 0, 0});
    }
    std::size_t kept = 0;
    for (Candidate c : candidates_) {
        if (c.offset + c.width > n) continue;
        const std::uint64_t v = readLE(d + c.offset, c.width);
        if (!c.seen) {
            c.seen = true;
            c.firstValue = v;
            c.firstSize = n;
        } else if (v == c.firstValue) {
            if (n != c.firstSize) continue;
        } else {
            const auto dv = static_cast<std::int64_t>(v) - static_cast<std::int64_t>(c.firstValue);
            const auto ds = static_cast<std::int64_t>(n) - static_cast<std::int64_t>(c.firstSize);
            if (ds % dv != 0 || ds / dv <= 0) continue;
            if (c.element == 0) c.element = ds / dv;
            else if (c.element != ds / dv) continue;
        }
        candidates_[kept++] = c;
    }
    candidates_.resize(kept);
    return true;
}

void LayoutDraft::takeTyped(const std::uint8_t* d, std::size_t n) {
    const std::size_t limit = std::min(n, kTypedPositions);
    if (typed_.size() < limit) typed_.resize(limit);
    for (std::size_t o = 0; o + 2 <= limit; o += 2) {
        Typed& t = typed_[o];
        if (t.timeOk && o + 10 <= n) t.timeOk = plausibleTime(d + o);
        if (o % 4 != 0 || o + 4 > n) continue;
        const auto v = static_cast<std::uint32_t>(readLE(d + o, 4));
        if (t.floatOk) {
            const float x = std::bit_cast<float>(v);
            t.floatOk = plausibleFloat(x);
            if (t.floatOk && x != 0.0f) {
                t.minFloat = t.floatNonZero ? std::min(t.minFloat, x) : x;
                t.maxFloat = t.floatNonZero ? std::max(t.maxFloat, x) : x;
                t.floatNonZero = true;
            }
        }
        if (records_ > 1 && t.rising && (v < t.lastU32 || v - t.lastU32 > 1000)) t.rising = false;
        t.lastU32 = v;
        t.minU32 = std::min(t.minU32, v);
        t.maxU32 = std::max(t.maxU32, v);
    }
}

std::vector<LayoutDraft::CountField> LayoutDraft::countFields() const {
    std::vector<CountField> found;
    for (const Candidate& c : candidates_) {
        if (c.element <= 0) continue;  // never changed: it accounts for nothing
        const auto fixed = static_cast<std::int64_t>(c.firstSize) - static_cast<std::int64_t>(c.firstValue) * c.element;
        if (fixed < static_cast<std::int64_t>(c.offset + c.width)) continue;
        found.push_back({c.offset, c.width, static_cast<std::size_t>(fixed), static_cast<std::size_t>(c.element)});
    }
    // A narrower reading of the same field says nothing new.
    std::erase_if(found, [&found](const CountField& c) {
        return std::any_of(found.begin(), found.end(),
                           [&c](const CountField& w) { return w.offset == c.offset && w.width > c.width; });
    });
    // The widest integer first (a u32 count also reads as u16 and u8), then the earliest.
    std::stable_sort(found.begin(), found.end(), [](const CountField& a, const CountField& b) {
        return a.width != b.width ? a.width > b.width : a.offset < b.offset;
    });
    return found;
}

std::string LayoutDraft::name(std::size_t offset) const { return "unknown_" + std::to_string(dataStart_ + offset); }

std::string LayoutDraft::at(std::size_t offset) const { return std::to_string(dataStart_ + offset); }

bool LayoutDraft::constantAt(std::size_t offset, std::size_t width) const {
    if (offset + width > varies_.size()) return false;
    for (std::size_t i = offset; i < offset + width; ++i)
        if (varies_[i]) return false;
    return true;
}

std::uint64_t LayoutDraft::valueOfFirst(std::size_t offset, std::size_t width) const {
    return offset + width <= first_.size() ? readLE(first_.data() + offset, width) : 0;
}

std::string LayoutDraft::itemComment(std::size_t offset, std::size_t width) const {
    if (records_ < 2) return "one record only: nothing to compare";
    if (constantAt(offset, width)) {
        const std::uint64_t v = valueOfFirst(offset, width);
        std::string text = "the same in every record: " + std::to_string(v) + " (" + hex(v) + ")";
        if (v != 0 && width >= 4) text += "; an identifier (serial number, device) or a setting?";
        return text;
    }
    if (width == 4 && offset < typed_.size()) {
        const Typed& t = typed_[offset];
        if (t.rising)
            return "rises from record to record (" + std::to_string(t.minU32) + " to " + std::to_string(t.maxU32) +
                   "): a counter, ping or sequence number?";
        return "varies: " + std::to_string(t.minU32) + " to " + std::to_string(t.maxU32);
    }
    return "varies";
}

std::string LayoutDraft::yaml(const std::string& title, const std::vector<std::string>& sources) const {
    std::string out;
    auto line = [&out](const std::string& text) { out += text + '\n'; };
    const std::vector<CountField> counts = fixedSize() ? std::vector<CountField>{} : countFields();
    const bool hasCount = !counts.empty();
    const CountField count = hasCount ? counts.front() : CountField{};

    line("# A DRAFT layout of record type " + std::to_string(type_) + ", guessed by tarvik-cli catalogue --draft");
    std::string from = "# from " + std::to_string(records_) + (records_ == 1 ? " record" : " records") + " in";
    for (const std::string& s : sources) from += " " + s;
    line(from + ".");
    line("# Nothing here is known: every item is a guess named unknown_OFFSET (its byte offset from");
    line("# the frame's first byte, as NOT DECODED says) until you name it, and each comment says what");
    line("# the guess rests on.");
    line("# Save it in your layouts folder; the window reloads it and shades the bytes still undecoded.");
    if (fixedSize())
        line("# Size: fixed, " + std::to_string(minSize_) + " bytes of data in every record.");
    else
        line("# Size: variable, " + std::to_string(minSize_) + " to " + std::to_string(maxSize_) + " bytes of data.");
    for (const CountField& c : counts)
        line("# Count field candidate: " + name(c.offset) + " (u" + std::to_string(c.width) + "): value x " +
             std::to_string(c.elementSize) + " bytes accounts for the bytes from offset " + at(c.fixedPart) +
             " on in every record.");
    if (!fixedSize() && counts.empty())
        line("# No field's value accounts for the varying size: the bytes from offset " + at(minSize_) +
             " on stay undecoded.");
    if (minSize_ > kMaxPositions)
        line("# Only the first " + std::to_string(kMaxPositions) + " bytes were looked at.");

    line("records:");
    line("  - type: " + std::to_string(type_));
    std::string quoted;
    for (char c : title.empty() ? "Record " + std::to_string(type_) + " (draft)" : title) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    line("    title: \"" + quoted + "\"");
    line("    items:");
    const std::size_t itemsAt = out.size();

    const std::size_t fixedPart = std::min(hasCount ? count.fixedPart : minSize_, kMaxPositions);
    auto item = [&](std::size_t offset, const std::string& format, std::size_t width, const std::string& why) {
        line("      - [\"" + name(offset) + "\", " + format + ", " + std::to_string(width) + "]    # " + why);
    };
    for (std::size_t o = 0; o < fixedPart;) {
        // No guess runs into the count field.
        const std::size_t room = hasCount && count.offset > o ? std::min(fixedPart, count.offset) - o : fixedPart - o;
        const bool typed = o < typed_.size() && records_ > 1;
        if (hasCount && o == count.offset) {
            item(o, "u", count.width,
                 "count field? its value x " + std::to_string(count.elementSize) +
                     " bytes accounts for the bytes from offset " + at(count.fixedPart) + " on in every record");
            o += count.width;
            continue;
        }
        if (typed && o % 2 == 0 && room >= 10 && typed_[o].timeOk && !constantAt(o, 10)) {
            item(o, "t10", 10, "reads as a time stamp (year, day, seconds, hours, minutes) in every record");
            o += 10;
            continue;
        }
        // An identifier: eight constant bytes whose low half is set and whose high half is small.
        if (o % 8 == 0 && room >= 8 && records_ > 1 && constantAt(o, 8) && valueOfFirst(o, 4) != 0 &&
            valueOfFirst(o + 4, 4) < 0x10000 && !(typed && typed_[o].floatOk && typed_[o].floatNonZero)) {
            item(o, "u", 8, itemComment(o, 8));
            o += 8;
            continue;
        }
        if (typed && o % 4 == 0 && room >= 4 && typed_[o].floatOk && typed_[o].floatNonZero) {
            const Typed& t = typed_[o];
            item(o, "f", 4,
                 t.minFloat == t.maxFloat && constantAt(o, 4)
                     ? "reads as a float, the same in every record: " + number(t.minFloat)
                     : "reads as a plausible float in every record (" + number(t.minFloat) + " to " +
                           number(t.maxFloat) + ")");
            o += 4;
            continue;
        }
        // A run of zeros, up to where a float begins (its low bytes may be zero in every record).
        auto floatStarts = [this](std::size_t p) {
            return p % 4 == 0 && p < typed_.size() && typed_[p].floatOk && typed_[p].floatNonZero;
        };
        std::size_t zeros = 0;
        while (records_ > 1 && zeros < room && zeros < 10000 && constantAt(o + zeros, 1) && first_[o + zeros] == 0 &&
               !(zeros > 0 && floatStarts(o + zeros)))
            ++zeros;
        if (zeros >= 2) {
            item(o, "x", zeros, "zero in every record: reserved or unused?");
            o += zeros;
            continue;
        }
        const std::size_t width = o % 4 == 0 && room >= 4 ? 4 : o % 2 == 0 && room >= 2 ? 2 : 1;
        item(o, "u", width, itemComment(o, width));
        o += width;
    }
    if (out.size() == itemsAt && !hasCount) out.insert(itemsAt - 1, " []");  // no data bytes at all
    if (hasCount) {
        line("      - [\"" + name(count.fixedPart) + "\", repeat, 0]    # " + std::to_string(count.elementSize) +
             "-byte elements, as many as " + name(count.offset) + " says");
        line("repeats:");
        line("  - type: " + std::to_string(type_));
        line("    block: 0");
        line("    title: \"" + name(count.fixedPart) + " element\"");
        line("    count: \"" + name(count.offset) + "\"");
        line("    items:    # the element's fields are not analysed: split and name them");
        for (std::size_t e = 0; e < count.elementSize;) {
            const std::size_t left = count.elementSize - e;
            const std::size_t width = e % 4 == 0 && left >= 4 ? 4 : e % 2 == 0 && left >= 2 ? 2 : 1;
            line("      - [\"unknown_element_" + std::to_string(e) + "\", u, " + std::to_string(width) + "]");
            e += width;
        }
    }
    return out;
}

} // namespace tarvik
