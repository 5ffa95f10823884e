#include "compare/compare.h"

#include "compare/frame_stream.h"
#include "compare/record_flattener.h"
#include "core/frame.h"
#include "core/record_file.h"
#include "core/text.h"
#include "sources/open_source.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>
#include <utility>

namespace tarvik::compare {

bool Tolerance::allows(double a, double b) const {
    const double d = std::fabs(a - b);
    if (std::isnan(d)) return false;
    if (!relative) return d <= amount;
    return d <= amount / 100.0 * std::max(std::fabs(a), std::fabs(b));
}

namespace {

std::string shortest(double d) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, d);
    return std::string(buffer, r.ptr);
}

} // namespace

std::string Tolerance::text() const { return shortest(amount) + (relative ? "%" : ""); }

const char* kindName(Finding::Kind kind) {
    switch (kind) {
    case Finding::Kind::Differs: return "differs";
    case Finding::Kind::OnlyInA: return "only in A";
    case Finding::Kind::OnlyInB: return "only in B";
    }
    return "?";
}

std::string Finding::line() const {
    std::string s;
    auto row = [](const std::optional<std::uint64_t>& r) { return r ? std::to_string(*r) : std::string("-"); };
    s = "A " + row(rowA) + " / B " + row(rowB) + "  " + std::to_string(stream.type) + " device " +
        std::to_string(stream.device) + " enumerator " + std::to_string(stream.enumerator) + ", " + pairedBy + ": ";
    if (kind != Kind::Differs) return s + kindName(kind);
    if (elementsDiffering > 0) {
        s += field + ": ";
        s += std::to_string(elementsDiffering) + " of " + std::to_string(elementsCompared) + " values differ";
        if (difference) s += ", largest difference " + shortest(*difference);
        if (!valueA.empty() || !valueB.empty()) s += " (first " + element + ": " + valueA + " -> " + valueB + ")";
        return s;
    }
    s += field + element + ": " + valueA + " -> " + valueB;
    if (difference) s += " (difference " + shortest(*difference) + ")";
    return s;
}

bool CompareResult::equal() const { return findings == 0; }

namespace {

bool isNumber(const ScalarValue& v) {
    return v.kind == ValueKind::Unsigned || v.kind == ValueKind::Signed || v.kind == ValueKind::Float ||
           v.kind == ValueKind::Time;
}
double numberOf(const ScalarValue& v) {
    switch (v.kind) {
    case ValueKind::Unsigned: return static_cast<double>(v.u);
    case ValueKind::Signed: return static_cast<double>(v.i);
    case ValueKind::Float: return v.f;
    case ValueKind::Time: return static_cast<double>(v.i) / 1e9;
    default: return 0;
    }
}
bool sameValue(const ScalarValue& a, const ScalarValue& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
    case ValueKind::None: return true;
    case ValueKind::Unsigned: return a.u == b.u;
    case ValueKind::Signed:
    case ValueKind::Time: return a.i == b.i;
    case ValueKind::Float: return a.f == b.f || (std::isnan(a.f) && std::isnan(b.f));
    case ValueKind::Text: return a.text == b.text;
    }
    return false;
}
std::string shown(const ScalarValue& v) {
    switch (v.kind) {
    case ValueKind::None: return "(none)";
    case ValueKind::Unsigned: return std::to_string(v.u);
    case ValueKind::Signed: return std::to_string(v.i);
    case ValueKind::Float: return shortest(v.f);
    case ValueKind::Time: return isoTime(v.i);
    case ValueKind::Text: return "\"" + std::string(v.text) + "\"";
    }
    return {};
}
constexpr std::string_view kAbsent = "(absent)";

enum class KeyKind : std::uint8_t { Ping, Counter, Time };
struct PairKey {
    KeyKind kind = KeyKind::Counter;
    std::uint64_t number = 0;
    double seconds = 0;
};

PairKey keyOf(ByteSpan frame) {
    const FrameView f(frame);
    if (isPingRecordType(f.recordType()))
        if (auto ping = pingNumberOf(frame)) return {KeyKind::Ping, *ping, 0};
    if (f.recordCounter() != 0) return {KeyKind::Counter, f.recordCounter(), 0};
    const std::optional<std::int64_t> ns = epochNanoseconds(f.time());
    return {KeyKind::Time, 0, ns ? static_cast<double>(*ns) / 1e9 : std::nan("")};
}

std::string keyText(const PairKey& k) {
    switch (k.kind) {
    case KeyKind::Ping: return "ping " + std::to_string(k.number);
    case KeyKind::Counter: return "record counter " + std::to_string(k.number);
    case KeyKind::Time:
        return std::isnan(k.seconds) ? std::string("no time")
                                     : "time " + isoTime(static_cast<std::int64_t>(std::llround(k.seconds * 1e9)));
    }
    return {};
}

// The bytes of a frame a comparison of values looks at: the record data and
// optional data, without the header and the trailing checksum.
ByteSpan body(ByteSpan frame) {
    const FrameView f(frame);
    std::size_t end = frame.size();
    if (f.hasChecksum() && end >= kFrameHeaderSize + 4) end -= 4;
    return frame.subspan(kFrameHeaderSize, end - kFrameHeaderSize);
}

// Records smaller than this wait with their bytes; larger ones are read again
// from the file when their partner arrives.
constexpr std::uint32_t kKeptBytes = 64u << 10;
// The bytes all waiting records keep at most; past it they are read again.
constexpr std::size_t kKeptBudget = std::size_t{64} << 20;
// Buffers of records that found their partner, kept for the next ones to wait in.
constexpr std::size_t kSpareBuffers = 64;
// Streams known at most before those waiting for nothing are forgotten.
constexpr std::size_t kIdleStreams = 4096;

struct Pending {
    std::uint64_t seq = 0;
    std::uint64_t position = 0;
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    PairKey key;
    Bytes bytes;
    // The frame where its stream still holds it: a record that finds its
    // partner before its own file is read further is never copied.
    ByteSpan held;
};

class Comparison {
public:
    Comparison(FrameStream& a, FrameStream& b, const LayoutCatalogue& catalogue, const CompareOptions& options,
               const CompareObserver& observer)
        : streams_{&a, &b}, flattener_(catalogue), options_(options), observer_(observer),
          everything_(options.filter.showsEverything()) {}

    CompareResult run() {
        bool more[2] = {true, true};
        while (more[0] || more[1]) {
            for (int side = 0; side < 2; ++side) {
                if (!more[side]) continue;
                keepProvisional(side);
                const std::optional<StreamedFrame> f = streams_[side]->next();
                if (!f) {
                    more[side] = false;
                    continue;
                }
                take(side, *f);
            }
        }
        // What still waits has no partner.
        for (int side = 0; side < 2; ++side) {
            std::vector<std::pair<std::uint64_t, std::pair<StreamKey, Pending*>>> left;
            for (auto& [key, state] : state_)
                for (Pending& p : state.side[side]) left.push_back({p.seq, {key, &p}});
            std::sort(left.begin(), left.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
            for (const auto& [seq, what] : left) unpaired(side, what.first, *what.second);
        }
        state_.clear();
        result_.notesA = streams_[0]->notes();
        result_.notesB = streams_[1]->notes();
        auto skippedLine = [](const FrameStream& s, std::vector<std::string>& notes) {
            if (s.skipped() > notes.size())
                notes.push_back(std::to_string(s.skipped() - notes.size()) + " more places like these");
        };
        skippedLine(*streams_[0], result_.notesA);
        skippedLine(*streams_[1], result_.notesB);
        return std::move(result_);
    }

private:
    struct StreamState {
        std::deque<Pending> side[2];
    };

    void take(int side, const StreamedFrame& f) {
        const FrameView h(f.bytes);
        const std::uint32_t type = h.recordType();
        // The file's own header and catalog describe the file, not what the sonar sent.
        if (type == kFileHeaderRecordType || type == kFileCatalogRecordType) return;
        if (!everything_) {
            RecordContext context;
            context.recordNumber = static_cast<std::uint32_t>(f.position);
            if (!options_.filter.passesType(type)) return;
            if (!options_.filter.byTypeOnly() && !options_.filter.passes(f.bytes, context)) return;
        }
        (side == 0 ? result_.recordsA : result_.recordsB)++;
        const std::uint64_t seq = read_[side]++;
        const StreamKey sk{type, h.deviceId(), h.systemEnumerator()};
        const PairKey key = keyOf(f.bytes);
        StreamState& st = state_[sk];
        std::deque<Pending>& others = st.side[1 - side];
        std::size_t j = 0;
        for (; j < others.size(); ++j) {
            const PairKey& k = others[j].key;
            if (k.kind != key.kind) continue;
            if (key.kind == KeyKind::Time ? std::fabs(k.seconds - key.seconds) <= options_.timeTolerance
                                          : k.number == key.number)
                break;
        }
        if (j == others.size()) {
            Pending p{seq, f.position, f.offset, static_cast<std::uint32_t>(f.bytes.size()), key, {}, f.bytes};
            st.side[side].push_back(std::move(p));
            provisional_[side] = {sk, seq};
            waiting_[side].push_back({seq, sk});
            evict(side);
            sweep();
            return;
        }
        pairWith(side, sk, st, j, key, f);
        evict(side);
    }

    void pairWith(int side, const StreamKey& sk, StreamState& st, std::size_t j, const PairKey& key,
                  const StreamedFrame& f) {
        std::deque<Pending>& others = st.side[1 - side];
        // Records of the stream before the partner (on its side) and before
        // this one (on this side) will find none: keys rise through a stream.
        for (std::size_t k = 0; k < j; ++k) unpaired(1 - side, sk, others[k]);
        for (Pending& p : st.side[side]) unpaired(side, sk, p);
        st.side[side].clear();
        Pending partner = std::move(others[j]);
        keptBytes_ -= partner.bytes.size();
        others.erase(others.begin(), others.begin() + static_cast<std::ptrdiff_t>(j + 1));
        Bytes reread;
        ByteSpan partnerBytes = !partner.held.empty() ? partner.held : ByteSpan(partner.bytes);
        if (partnerBytes.empty()) {
            reread = streams_[1 - side]->reread(partner.offset, partner.size);
            partnerBytes = reread;
        }
        if (side == 0) comparePair(sk, key, f.position, f.bytes, partner.position, partnerBytes);
        else comparePair(sk, key, partner.position, partnerBytes, f.position, f.bytes);
        if (spare_.size() < kSpareBuffers && !partner.bytes.empty()) spare_.push_back(std::move(partner.bytes));
        sweep();
    }

    // Streams stay known while they wait for nothing (most pair record by
    // record); past a bound, the idle ones are forgotten, so that a file of
    // endless distinct streams costs no endless memory.
    void sweep() {
        if (state_.size() <= sweepAt_) return;
        std::erase_if(state_, [](const auto& s) { return s.second.side[0].empty() && s.second.side[1].empty(); });
        sweepAt_ = std::max(kIdleStreams, 2 * state_.size());
    }

    // Before its stream reads on: the record of `side` that still waits gets
    // a copy of its bytes (or, when large, is read again once paired).
    void keepProvisional(int side) {
        const std::optional<std::pair<StreamKey, std::uint64_t>> p = std::exchange(provisional_[side], std::nullopt);
        if (!p) return;
        auto it = state_.find(p->first);
        if (it == state_.end() || it->second.side[side].empty() || it->second.side[side].back().seq != p->second) return;
        Pending& waiting = it->second.side[side].back();
        if (waiting.size <= kKeptBytes && keptBytes_ + waiting.size <= kKeptBudget) {
            keptBytes_ += waiting.size;
            if (!spare_.empty()) {
                waiting.bytes = std::move(spare_.back());
                spare_.pop_back();
            }
            waiting.bytes.assign(waiting.held.begin(), waiting.held.end());
        }
        waiting.held = {};
    }

    // Gives up records that waited longer than the window.
    void evict(int side) {
        std::deque<std::pair<std::uint64_t, StreamKey>>& w = waiting_[side];
        while (!w.empty() && w.front().first + options_.window < read_[side]) {
            const auto [seq, sk] = w.front();
            w.pop_front();
            auto it = state_.find(sk);
            if (it == state_.end()) continue;
            std::deque<Pending>& d = it->second.side[side];
            if (d.empty() || d.front().seq != seq) continue;  // paired or given up already
            unpaired(side, sk, d.front());
            d.pop_front();
        }
    }

    void unpaired(int side, const StreamKey& sk, const Pending& p) {
        keptBytes_ -= p.bytes.size();
        Finding f;
        f.kind = side == 0 ? Finding::Kind::OnlyInA : Finding::Kind::OnlyInB;
        (side == 0 ? f.rowA : f.rowB) = p.position;
        f.stream = sk;
        f.pairedBy = keyText(p.key);
        TypeSummary& t = result_.types[sk.type];
        (side == 0 ? t.onlyInA : t.onlyInB)++;
        report(std::move(f));
    }

    void report(Finding f) {
        ++result_.findings;
        if (observer_.finding) observer_.finding(f);
        if (result_.first.size() < options_.detailLimit) result_.first.push_back(std::move(f));
    }

    bool ignored(std::uint32_t id) {
        if (id >= ignored_.size()) {
            const std::size_t from = ignored_.size();
            ignored_.resize(flattener_.nameCount(), 0);
            for (std::size_t i = from; i < ignored_.size(); ++i) {
                const std::string& n = flattener_.name(static_cast<std::uint32_t>(i));
                for (const std::string& pattern : options_.ignored) {
                    const bool prefix = !pattern.empty() && pattern.back() == '*';
                    if (prefix ? n.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0 : n == pattern)
                        ignored_[i] = 1;
                }
            }
        }
        return ignored_[id] != 0;
    }

    const Tolerance* tolerance(std::uint32_t id, std::uint32_t type) {
        const std::string& n = flattener_.name(id);
        if (auto it = options_.fieldTolerances.find(n); it != options_.fieldTolerances.end()) return &it->second;
        if (auto it = options_.typeTolerances.find(type); it != options_.typeTolerances.end()) return &it->second;
        return nullptr;
    }

    // The differences of one field within a pair, gathered before they are reported.
    struct FieldDiffs {
        std::size_t compared = 0;
        std::size_t differing = 0;
        std::optional<double> largest;
        std::vector<Finding> first;
    };

    void compareValues(ByteSpan frameA, ByteSpan frameB, const std::vector<FlatValue>& a,
                       const std::vector<FlatValue>& b, std::uint32_t type, const Finding& base,
                       std::map<std::uint32_t, FieldDiffs>& diffs) {
        std::function<void(const FlatValue*, const FlatValue*)> compareOne = [&](const FlatValue* x, const FlatValue* y) {
            const FlatValue& any = x ? *x : *y;
            if (ignored(any.name)) return;
            if ((x && x->block) || (y && y->block)) {
                // Blocks whose bytes agree hold the same elements; others are
                // compared element by element, index with index.
                if (x && y && x->block && y->block && x->block->element.format == y->block->element.format &&
                    x->block->bytes.size() == y->block->bytes.size() &&
                    std::memcmp(x->block->bytes.data(), y->block->bytes.data(), x->block->bytes.size()) == 0) {
                    diffs[any.name].compared += static_cast<std::size_t>(x->block->count);
                    return;
                }
                // One element of each side at a time: a block of millions of
                // elements costs no list of them.
                const std::int64_t na = x && x->block ? x->block->count : 0, nb = y && y->block ? y->block->count : 0;
                for (std::int64_t k = 0; k < std::max(na, nb); ++k) {
                    const FlatValue ea = k < na ? element(frameA, *x, k) : FlatValue{};
                    const FlatValue eb = k < nb ? element(frameB, *y, k) : FlatValue{};
                    compareOne(k < na ? &ea : nullptr, k < nb ? &eb : nullptr);
                }
                return;
            }
            FieldDiffs& d = diffs[any.name];
            ++d.compared;
            std::optional<double> delta;
            if (x && y) {
                if (sameValue(x->value, y->value)) return;
                if (isNumber(x->value) && isNumber(y->value)) {
                    const double va = numberOf(x->value), vb = numberOf(y->value);
                    delta = std::fabs(va - vb);
                    if (const Tolerance* t = tolerance(any.name, type); t && t->allows(va, vb)) return;
                }
            }
            ++d.differing;
            if (delta && (!d.largest || *delta > *d.largest || std::isnan(*delta))) d.largest = delta;
            if (d.first.size() <= options_.elementLines) {
                Finding f = base;
                f.field = flattener_.name(any.name);
                f.element = any.element;
                f.valueA = x ? shown(x->value) : std::string(kAbsent);
                f.valueB = y ? shown(y->value) : std::string(kAbsent);
                f.difference = delta;
                d.first.push_back(std::move(f));
            }
        };
        // Both sides mostly hold the same items in the same order: walk them
        // together, and match by name only from where they part.
        std::size_t i = 0;
        while (i < a.size() && i < b.size() && a[i].name == b[i].name && a[i].element == b[i].element) {
            compareOne(&a[i], &b[i]);
            ++i;
        }
        if (i == a.size() && i == b.size()) return;
        std::unordered_map<std::string, std::size_t> rest;
        auto keyOf = [](const FlatValue& v) { return std::to_string(v.name) + '\0' + v.element; };
        for (std::size_t k = i; k < b.size(); ++k) rest.emplace(keyOf(b[k]), k);
        std::vector<bool> matched(b.size(), false);
        for (std::size_t k = i; k < a.size(); ++k) {
            auto it = rest.find(keyOf(a[k]));
            if (it != rest.end() && !matched[it->second]) {
                matched[it->second] = true;
                compareOne(&a[k], &b[it->second]);
            } else {
                compareOne(&a[k], nullptr);
            }
        }
        for (std::size_t k = i; k < b.size(); ++k)
            if (!matched[k]) compareOne(nullptr, &b[k]);
    }

    // Whether the header fields compared hold the same bytes in both frames.
    bool sameHeaders(ByteSpan a, ByteSpan b) {
        if (!spansKnown_) {
            for (const RecordFlattener::HeaderSpan& span : flattener_.headerSpans())
                if (!ignored(span.name)) comparedSpans_.push_back(span);
            spansKnown_ = true;
        }
        for (const RecordFlattener::HeaderSpan& span : comparedSpans_)
            if (std::memcmp(a.data() + span.offset, b.data() + span.offset, span.width) != 0) return false;
        return true;
    }

    void comparePair(const StreamKey& sk, const PairKey& key, std::uint64_t rowA, ByteSpan a, std::uint64_t rowB,
                     ByteSpan b) {
        TypeSummary& t = result_.types[sk.type];
        ++t.pairs;
        const bool held = b.size() >= kFrameHeaderSize;
        const ByteSpan bodyA = body(a), bodyB = held ? body(b) : ByteSpan{};
        // Identical bytes hold identical values: most pairs need no walk.
        const bool sameHeader = held && sameHeaders(a, b);
        const bool sameBody = held && bodyA.size() == bodyB.size() && std::memcmp(bodyA.data(), bodyB.data(), bodyA.size()) == 0;
        if (sameHeader && sameBody) {
            ++t.equal;
            if (observer_.pair) observer_.pair(rowA, rowB, true);
            return;
        }
        Finding base;
        base.rowA = rowA;
        base.rowB = rowB;
        base.stream = sk;
        base.pairedBy = keyText(key);
        std::map<std::uint32_t, FieldDiffs> diffs;
        valuesA_.clear();
        valuesB_.clear();
        if (b.size() < kFrameHeaderSize) {
            // The partner's bytes are gone (the file changed while it was read).
            Finding f = base;
            f.field = "vx.size";
            f.valueA = std::to_string(a.size());
            f.valueB = "(unreadable)";
            diffs[0].differing = 1;
            diffs[0].first.push_back(std::move(f));
        } else {
            if (!sameHeader) {
                flattener_.header(a, valuesA_);
                flattener_.header(b, valuesB_);
                compareValues(a, b, valuesA_, valuesB_, sk.type, base, diffs);
            }
            if (!sameBody) {
                valuesA_.clear();
                valuesB_.clear();
                flattener_.items(a, valuesA_);
                flattener_.items(b, valuesB_);
                compareValues(a, b, valuesA_, valuesB_, sk.type, base, diffs);
            }
        }
        bool equal = true;
        for (auto& [id, d] : diffs) {
            if (d.differing == 0) continue;
            equal = false;
            const std::string& name = d.first.front().field;
            FieldSummary& fs = result_.fields[name];
            ++fs.pairs;
            fs.values += d.differing;
            if (d.largest && (!fs.largest || *d.largest > *fs.largest)) fs.largest = d.largest;
            if (d.differing <= options_.elementLines) {
                for (Finding& f : d.first) report(std::move(f));
            } else {
                Finding f = std::move(d.first.front());  // its element: the first that differs
                f.elementsDiffering = d.differing;
                f.elementsCompared = d.compared;
                f.difference = d.largest;
                report(std::move(f));
            }
        }
        (equal ? t.equal : t.differing)++;
        if (observer_.pair) observer_.pair(rowA, rowB, equal);
    }

    FrameStream* streams_[2];
    RecordFlattener flattener_;
    const CompareOptions& options_;
    const CompareObserver& observer_;
    CompareResult result_;
    const bool everything_;  // the filter keeps every record
    std::map<StreamKey, StreamState> state_;
    std::deque<std::pair<std::uint64_t, StreamKey>> waiting_[2];
    std::uint64_t read_[2] = {0, 0};
    std::vector<Bytes> spare_;
    std::size_t keptBytes_ = 0;
    std::optional<std::pair<StreamKey, std::uint64_t>> provisional_[2];
    std::size_t sweepAt_ = kIdleStreams;
    std::vector<std::uint8_t> ignored_;
    bool spansKnown_ = false;
    std::vector<RecordFlattener::HeaderSpan> comparedSpans_;
    std::vector<FlatValue> valuesA_, valuesB_;
};

} // namespace

Result<CompareResult> compareFiles(const std::string& a, const std::string& b, const LayoutCatalogue& catalogue,
                                   const CompareOptions& options, const CompareObserver& observer,
                                   const std::vector<std::uint16_t>& capturePorts) {
    std::optional<Result<CompareResult>> outcome;
    std::string noteA, noteB;
    const Result<void> readA = readRecordsAsFile(a, capturePorts, [&](const std::string& fileA) {
        const Result<void> readB = readRecordsAsFile(b, capturePorts, [&](const std::string& fileB) {
            auto sa = FrameStream::open(fileA);
            if (!sa) {
                outcome.emplace(failure(sa.error()));
                return;
            }
            auto sb = FrameStream::open(fileB);
            if (!sb) {
                outcome.emplace(failure(sb.error()));
                return;
            }
            outcome.emplace(Comparison(**sa, **sb, catalogue, options, observer).run());
        }, noteB);
        if (!readB) outcome.emplace(failure(readB.error()));
    }, noteA);
    if (!readA) return failure(readA.error());
    if (!outcome) return failure("nothing was compared");
    if (*outcome) {
        if (!noteA.empty()) outcome->value().notesA.insert(outcome->value().notesA.begin(), noteA);
        if (!noteB.empty()) outcome->value().notesB.insert(outcome->value().notesB.begin(), noteB);
    }
    return std::move(*outcome);
}

namespace {

std::string unknownName(std::string_view name, const expr::FieldNames& names, const std::vector<std::string>& ambiguous) {
    std::string s = "no field is named " + std::string(name);
    if (!ambiguous.empty()) {
        s = std::string(name) + " could mean";
        for (const std::string& n : ambiguous) s += " " + n;
        return s;
    }
    const std::string near = names.nearest(name);
    if (!near.empty()) s += " (did you mean " + near + "?)";
    return s;
}

// A record type as "7027" or "vx.7027".
std::optional<std::uint32_t> typeNumber(std::string_view text) {
    if (text.rfind("vx.", 0) == 0) text.remove_prefix(3);
    std::uint32_t t = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), t);
    if (r.ec != std::errc{} || r.ptr != text.data() + text.size() || text.empty()) return std::nullopt;
    return t;
}

} // namespace

Result<void> addTolerance(std::string_view text, const LayoutCatalogue& catalogue, CompareOptions& options) {
    const std::size_t eq = text.rfind('=');
    if (eq == std::string_view::npos || eq == 0 || eq + 1 == text.size())
        return failure("a tolerance is NAME=AMOUNT or NAME=PERCENT%: " + std::string(text));
    const std::string_view name = text.substr(0, eq);
    std::string_view amount = text.substr(eq + 1);
    Tolerance t;
    if (amount.back() == '%') {
        t.relative = true;
        amount.remove_suffix(1);
    }
    const std::string number(amount);
    char* end = nullptr;
    t.amount = std::strtod(number.c_str(), &end);
    if (number.empty() || end != number.c_str() + number.size() || !std::isfinite(t.amount) || t.amount < 0)
        return failure("a tolerance is a number of at least 0: " + std::string(text));
    if (auto type = typeNumber(name)) {
        options.typeTolerances[*type] = t;
        return success();
    }
    const expr::FieldNames names(catalogue);
    std::vector<std::string> ambiguous;
    const expr::FieldInfo* f = names.find(name, &ambiguous);
    if (!f) return failure(unknownName(name, names, ambiguous));
    if (f->type != expr::ValueType::Number) return failure(f->name + " holds no numbers: it takes no tolerance");
    options.fieldTolerances[f->name] = t;
    return success();
}

Result<std::vector<std::string>> ignoredNames(std::string_view text, const LayoutCatalogue& catalogue) {
    std::vector<std::string> out;
    const expr::FieldNames names(catalogue);
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        std::string_view name = text.substr(start, comma - start);
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        start = comma + 1;
        if (name.empty()) continue;
        if (name.back() == '*') {
            out.emplace_back(name);
            continue;
        }
        std::vector<std::string> ambiguous;
        const expr::FieldInfo* f = names.find(name, &ambiguous);
        if (!f) return failure(unknownName(name, names, ambiguous));
        out.push_back(f->name);
    }
    return out;
}

} // namespace tarvik::compare
