#include "decode/walk_memo.h"

#include "core/frame.h"

#include <algorithm>
#include <cstring>

namespace tarvik {

std::size_t WalkMemo::KeyHash::operator()(const Key& k) const {
    std::uint64_t h = k.recordType;
    h = h * 0x9E3779B97F4A7C15ull + k.size;
    h = h * 0x9E3779B97F4A7C15ull + (std::uint64_t{k.protocol} << 32 | std::uint64_t{k.version} << 16 | k.offset);
    h = h * 0x9E3779B97F4A7C15ull + (k.optionalData ? 1u : 0u);
    return static_cast<std::size_t>(h ^ (h >> 29));
}

namespace {

// memcmp(a, b, n) == 0, with the widths of count and length fields compared
// in one load each.
bool sameBytes(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t n) {
    auto same = [&](auto word) {
        decltype(word) x, y;
        std::memcpy(&x, a, sizeof x);
        std::memcpy(&y, b, sizeof y);
        return x == y;
    };
    switch (n) {
    case 1: return *a == *b;
    case 2: return same(std::uint16_t{});
    case 4: return same(std::uint32_t{});
    case 8: return same(std::uint64_t{});
    default: return std::memcmp(a, b, n) == 0;
    }
}

} // namespace

bool WalkMemo::matches(const Remembered& r, ByteSpan record) {
    const std::uint8_t* expected = r.expected.data();
    for (const Probe& p : r.probes) {
        // The record's size is part of the key: a probe that fit then fits now.
        if (!fits(record.size(), p.offset, p.width) || !sameBytes(record.data() + p.offset, expected, p.width))
            return false;
        expected += p.width;
    }
    return true;
}

WalkMemo::Key WalkMemo::keyOf(const FrameView& f, ByteSpan frame) const {
    return Key{f.recordType(),
               static_cast<std::uint32_t>(std::min<std::uint64_t>(f.size(), frame.size())),
               f.protocolVersion(),
               f.recordVersion(),
               f.offset(),
               f.optionalDataOffset() != 0};
}

WalkMemo::Remembered* WalkMemo::remember(const Key& key, ByteSpan record) {
    std::vector<Remembered>* at = find(key);
    if (trace_.opaque || count_ >= kMaxOutcomes || (at && at->size() >= kMaxPerKey))
        return nullptr;

    // The looked-up values, each once, in the order of the record.
    std::vector<std::uint32_t>& used = trace_.lookups;
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    std::vector<WalkTrace::Source> steering = trace_.reads;
    for (std::uint32_t i : used) {
        if (i >= trace_.sources.size()) return nullptr;  // a value the trace did not see come: not replayable
        steering.push_back(trace_.sources[i]);
    }
    Remembered r;
    for (const WalkTrace::Source& s : steering) {
        if (s.width == 0) continue;
        if (s.offset < 0 || !fits(record.size(), static_cast<std::uint64_t>(s.offset), static_cast<std::uint64_t>(s.width)) ||
            r.expected.size() + static_cast<std::size_t>(s.width) > kMaxProbeBytes)
            return nullptr;
        const auto offset = static_cast<std::uint32_t>(s.offset), width = static_cast<std::uint32_t>(s.width);
        r.probes.push_back({offset, width});
        r.expected.insert(r.expected.end(), record.begin() + offset, record.begin() + offset + width);
    }
    if (!at) {
        at = &outcomes_.try_emplace(key).first->second;
        // A key remembered as having no entry has one now.
        for (std::size_t i = 0; i < recentCount_; ++i)
            if (recent_[i].key == key) recent_[i].at = at;
    }
    at->push_back(std::move(r));
    ++count_;
    return &at->back();
}

std::vector<WalkMemo::Remembered>* WalkMemo::find(const Key& key) {
    for (std::size_t i = 0; i < recentCount_; ++i)
        if (recent_[i].key == key) return recent_[i].at;
    const auto it = outcomes_.find(key);
    std::vector<Remembered>* at = it == outcomes_.end() ? nullptr : &it->second;
    recent_[recentNext_] = {key, at};
    recentNext_ = (recentNext_ + 1) % recent_.size();
    recentCount_ = std::min(recentCount_ + 1, recent_.size());
    return at;
}

const Report& WalkMemo::outcome(ByteSpan frame) {
    const FrameView f(frame);
    const Key key = keyOf(f, frame);
    const ByteSpan record = frame.first(key.size);
    std::vector<Remembered>* at = find(key);
    if (at) {
        for (const Remembered& r : *at) {
            if (matches(r, record)) {
                ++replayed_;
                return r.outcome;
            }
        }
    }

    ++walked_;
    trace_.clear();
    fresh_ = reporter_.walkOutcome(frame, &trace_);
    Remembered* r = remember(key, record);
    if (!r) return fresh_;
    r->outcome = fresh_;
    return r->outcome;
}

const std::vector<WalkedField>& WalkMemo::walkFields(ByteSpan frame, const Watch& watch) {
    bool replayed = false;
    return walkFields(frame, watch, replayed, true);
}

const std::vector<WalkedField>& WalkMemo::walkFields(ByteSpan frame, const Watch& watch, bool& replayed) {
    return walkFields(frame, watch, replayed, false);
}

const std::vector<WalkedField>& WalkMemo::walkFields(ByteSpan frame, const Watch& watch, bool& replayed, bool handReplays) {
    replayed = false;
    const FrameView f(frame);
    const Key key = keyOf(f, frame);
    const ByteSpan record = frame.first(key.size);
    std::vector<Remembered>* at = find(key);
    std::size_t handed = 0;
    if (at) {
        for (const Remembered& r : *at) {
            if (!matches(r, record)) continue;
            if (!handReplays) {
                ++replayed_;
                replayed = true;
                return r.fields;
            }
            bool ended = false;
            for (const WalkedField& field : r.fields)
                if (!watch(field)) {
                    ended = true;
                    break;
                }
            if (ended || !r.endedByWatch) {
                ++replayed_;
                return r.fields;
            }
            // The watch wants more than the walk it ended: the walk below goes
            // on, handing only the items after those handed already.
            handed = r.fields.size();
            break;
        }
    }

    ++walked_;
    trace_.clear();
    freshFields_.clear();
    if (!watching_)
        watching_ = [this](const WalkedField& field) {
            if (skip_ > 0) {
                --skip_;
                return true;
            }
            watchEnded_ = !(*watch_)(field);
            return !watchEnded_;
        };
    watch_ = &watch;
    watchEnded_ = false;
    skip_ = handed;
    reporter_.collectFields(&freshFields_);
    reporter_.watchFields(&watching_);
    reporter_.walkOutcome(frame, &trace_);
    reporter_.watchFields(nullptr);
    reporter_.collectFields(nullptr);
    watch_ = nullptr;
    if (fieldCount_ + freshFields_.size() > kMaxFields) return freshFields_;
    Remembered* r = remember(key, record);
    if (!r) return freshFields_;
    r->fields = freshFields_;
    r->endedByWatch = watchEnded_;
    fieldCount_ += r->fields.size();
    return r->fields;
}

} // namespace tarvik
