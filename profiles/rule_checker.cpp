#include "profiles/rule_checker.h"

#include "core/frame.h"
#include "core/ping_gaps.h"
#include "core/text.h"
#include "core/vxtime.h"

#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace tarvik::profiles {

const char* outcomeName(Outcome o) {
    switch (o) {
    case Outcome::Passed: return "pass";
    case Outcome::Failed: return "fail";
    case Outcome::NotEvaluated: return "not evaluated";
    }
    return "?";
}

bool anyErrorFailed(const std::vector<RuleResult>& results) {
    for (const RuleResult& r : results)
        if (r.outcome == Outcome::Failed && r.severity == Severity::Error) return true;
    return false;
}

namespace {

// What a relation or a per-source rule keeps at most, whatever the run: the
// oldest entries go first (a pair further apart than this is not found).
constexpr std::size_t kMaxKeysKept = 1u << 14;
constexpr std::size_t kMaxPending = 1u << 16;

// Seconds since 1970 of a frame's time stamp; nullopt for a stamp that names
// no instant or memory the source never set.
std::optional<double> frameSeconds(const FrameView& f) {
    if (uninitialisedMarker(f.timeBytes())) return std::nullopt;
    const VxTIME t = f.time();
    if (t.year == 0 || t.day < 1 || t.day > 366 || t.hours > 23 || t.minutes > 59 || !std::isfinite(t.seconds) ||
        t.seconds < 0 || t.seconds >= 61)
        return std::nullopt;
    const long long y = t.year - 1;
    const long long days = 365LL * (y - 1969) + (y / 4 - 1969 / 4) - (y / 100 - 1969 / 100) + (y / 400 - 1969 / 400) +
                           t.day - 1;
    return static_cast<double>(days * 86400LL + t.hours * 3600LL + t.minutes * 60LL) + static_cast<double>(t.seconds);
}

std::uint64_t sourceOf(const FrameView& f) { return (std::uint64_t{f.deviceId()} << 16) | f.systemEnumerator(); }

std::string sourceText(std::uint64_t source) {
    return strprintf("device %llu, enumerator %u", (unsigned long long)(source >> 16), unsigned(source & 0xFFFF));
}

std::string counted(std::uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string number(double v) {
    if (std::floor(v) == v && std::fabs(v) < 1e15) return strprintf("%.0f", v);
    return strprintf("%.9g", v);
}

// One record as the rules see it.
struct Seen {
    ByteSpan bytes;
    FrameView frame;
    std::uint64_t row;
    std::optional<double> time;
};

// The verdict a rule builds up.
struct Tally {
    std::uint64_t judged = 0, failures = 0;
    std::vector<RuleRow> rows;
    std::optional<RuleRow> latest;
    void fail(std::size_t keep, std::uint64_t row, std::optional<double> time, std::string text) {
        ++failures;
        if (!latest || row >= latest->row) latest = RuleRow{row, time, text};
        if (rows.size() < keep) rows.push_back({row, time, std::move(text)});
    }
};

bool passes(const Compiled& c, const Seen& s, bool* unreached = nullptr) {
    if (!c.predicate) return true;
    const expr::Verdict v = c.predicate->judge(s.bytes, {static_cast<std::uint32_t>(s.row), nullptr});
    if (unreached) *unreached = v.unreached;
    return v.matches;
}

// What a record type alone decides of an expression, asked once per type
// (a record of a type it decides is not read): -2 not asked yet, -1 the
// record must be read, 0 or 1 the answer.
struct TypeDecisions {
    std::vector<std::int8_t> byType;
    // -1 when the record must be read, 0 or 1 when its type decides.
    std::int8_t of(const Compiled& c, std::uint32_t type) {
        if (type >= 65536) return -1;
        if (byType.empty()) byType.assign(65536, -2);
        std::int8_t& d = byType[type];
        if (d == -2) {
            bool p = false;
            d = c.predicate->decidedByType(type, p) ? static_cast<std::int8_t>(p) : -1;
        }
        return d;
    }
    bool passes(const Compiled& c, const Seen& s) {
        if (!c.predicate) return true;
        const std::int8_t d = of(c, s.frame.recordType());
        if (d >= 0) return d == 1;
        return ::tarvik::profiles::passes(c, s);
    }
};

// The key a relation pairs records by, packed into a short string (a number's
// bytes, or a text).
std::optional<std::string> packedKey(const Rule& rule, const Seen& s, const std::function<std::optional<std::uint32_t>(const Seen&)>& pingOf) {
    switch (rule.key) {
    case RelationKey::Ping: {
        const auto ping = pingOf(s);
        if (!ping) return std::nullopt;
        char b[12];
        const std::uint64_t source = sourceOf(s.frame);
        std::memcpy(b, &source, 8);
        std::memcpy(b + 8, &*ping, 4);
        return std::string(b, sizeof b);
    }
    case RelationKey::Device: {
        const std::uint64_t source = sourceOf(s.frame);
        return std::string(reinterpret_cast<const char*>(&source), 8);
    }
    case RelationKey::Fields: {
        expr::FieldValues values;
        rule.keyFields.predicate->judge(s.bytes, {static_cast<std::uint32_t>(s.row), nullptr}, values);
        for (std::size_t slot = 0; slot < values.numbers.size(); ++slot) {
            if (!values.numbers[slot].empty()) {
                const double v = values.numbers[slot].front();
                return "n" + std::string(reinterpret_cast<const char*>(&v), sizeof v);
            }
            if (!values.texts[slot].empty()) return "t" + values.texts[slot].front();
        }
        return std::nullopt;
    }
    case RelationKey::None: return std::string();
    }
    return std::nullopt;
}

std::string keyText(const Rule& rule, const std::string& key) {
    switch (rule.key) {
    case RelationKey::Ping: {
        std::uint64_t source = 0;
        std::uint32_t ping = 0;
        std::memcpy(&source, key.data(), 8);
        std::memcpy(&ping, key.data() + 8, 4);
        return sourceText(source) + ", ping " + std::to_string(ping);
    }
    case RelationKey::Device: {
        std::uint64_t source = 0;
        std::memcpy(&source, key.data(), 8);
        return sourceText(source);
    }
    case RelationKey::Fields: {
        if (!key.empty() && key[0] == 'n' && key.size() == 1 + sizeof(double)) {
            double v = 0;
            std::memcpy(&v, key.data() + 1, sizeof v);
            return "key " + number(v);
        }
        return "key \"" + key.substr(1) + "\"";
    }
    case RelationKey::None: return {};
    }
    return {};
}

// A set of keys that forgets its oldest when full. The keys live in a ring
// in the order they came; an open-addressed table of ring positions finds
// them. A node-based set of strings spent most of a relation rule's time
// looking up keys that are not there.
class RecentKeys {
public:
    bool contains(const std::string& k) const { return find(k, hashOf(k)) != kNone; }
    void add(const std::string& k) {
        const std::size_t h = hashOf(k);
        if (find(k, h) != kNone) return;
        if (slots_.empty()) {
            ring_.resize(kMaxKeysKept);
            hashes_.resize(kMaxKeysKept);
            slots_.assign(kMaxKeysKept * 4, 0);  // at most a quarter full: short probes
        }
        std::size_t at;
        if (size_ == kMaxKeysKept) {
            at = oldest_;
            oldest_ = (oldest_ + 1) % kMaxKeysKept;
            erase(find(ring_[at], hashes_[at]));
        } else {
            at = (oldest_ + size_++) % kMaxKeysKept;
        }
        ring_[at] = k;
        hashes_[at] = h;
        std::size_t i = h & mask();
        while (slots_[i] != 0) i = (i + 1) & mask();
        slots_[i] = static_cast<std::uint32_t>(at + 1);
    }

private:
    static constexpr std::size_t kNone = SIZE_MAX;
    static std::size_t hashOf(const std::string& k) { return std::hash<std::string_view>{}(k); }
    std::size_t mask() const { return slots_.size() - 1; }
    // The slot that holds `k`, or kNone.
    std::size_t find(const std::string& k, std::size_t h) const {
        if (slots_.empty()) return kNone;
        for (std::size_t i = h & mask();; i = (i + 1) & mask()) {
            const std::uint32_t s = slots_[i];
            if (s == 0) return kNone;
            if (hashes_[s - 1] == h && ring_[s - 1] == k) return i;
        }
    }
    // Empties slot `i`, moving back the entries of its probe run that would
    // otherwise no longer be found.
    void erase(std::size_t i) {
        slots_[i] = 0;
        for (std::size_t j = (i + 1) & mask(); slots_[j] != 0; j = (j + 1) & mask()) {
            const std::size_t home = hashes_[slots_[j] - 1] & mask();
            if (((j - home) & mask()) >= ((j - i) & mask())) {
                slots_[i] = slots_[j];
                slots_[j] = 0;
                i = j;
            }
        }
    }
    std::vector<std::string> ring_;
    std::vector<std::size_t> hashes_;
    std::vector<std::uint32_t> slots_;  // ring position + 1; 0 empty
    std::size_t oldest_ = 0, size_ = 0;
};

} // namespace

struct RuleChecker::State {
    struct Pending {
        std::string key;
        std::optional<double> time;
        bool excused = false;  // a packet was lost while it waited: the loss is the verdict
    };
    // A field's value as read from one record (`text` points into the walk's values).
    struct Value {
        double number = 0;
        const std::string* text = nullptr;
    };
    // The value a stability rule saw last, and how it was said.
    struct Kept {
        bool isText = false;
        double number = 0;
        std::string text;
        std::string shown;
        bool sameAs(const Value& v) const {
            if (v.text) return isText && *v.text == text;
            return !isText && v.number == number;  // NaN is never the same: its words decide
        }
        void keep(const Value& v, std::string words) {
            isText = v.text != nullptr;
            number = v.number;
            if (v.text) text = *v.text;
            shown = std::move(words);
        }
    };
    struct RuleState {
        Tally tally;
        std::uint64_t unreached = 0;  // records whose walk ended before a field the rule reads
        TypeDecisions scope, each, has;
        // Presence
        std::uint64_t seen = 0;
        std::optional<double> lastTime;
        // Relation
        RecentKeys keysOfHas;
        std::map<std::uint64_t, Pending> pending;               // by row
        std::unordered_multimap<std::string, std::uint64_t> pendingRows;  // key -> row
        std::deque<std::pair<double, std::string>> recentHas;  // within_seconds: the latest records of `has`
        std::uint64_t lateFailed = 0;
        // Order
        std::unique_ptr<PingGapTracker> gaps;
        std::unordered_map<std::uint64_t, std::pair<double, std::uint64_t>> lastTimes;    // source -> time, row
        std::unordered_map<std::uint64_t, std::pair<std::uint32_t, std::uint64_t>> lastCounters;
        // Stability
        std::unordered_map<std::uint64_t, Kept> values;  // source -> its value
        TypeDecisions field;
        expr::FieldValues fieldValues;  // kept from record to record: the walk reuses its room
        // Value rules without a scope: whether a record type holds a field the rule reads (-1 not asked yet).
        std::vector<std::int8_t> holdsByType;
        // Integrity
        std::uint64_t incidents = 0;
    };

    std::vector<RuleState> rules;
    std::uint64_t records = 0;
    std::optional<double> firstTime, lastTime;
    // The newest ping number per source: a loss excuses the pairs of the ping under way.
    std::unordered_map<std::uint64_t, std::uint32_t> newestPing;
    // The ping number field of each record type's layout, where it has one.
    // Most layouts keep it behind the sonar serial number, where the list's gap
    // rule reads it: once the first records of a type agree with that place, it
    // is read there without a walk.
    struct PingField {
        std::shared_ptr<const expr::FieldPredicate> predicate;
        int agreed = 0;  // records whose field and fixed place agreed; -1: they differ
    };
    static constexpr int kAgreementsTrusted = 16;
    std::unordered_map<std::uint32_t, PingField> pingFields;
    const LayoutCatalogue* catalogue = nullptr;
    std::optional<std::uint32_t> pingOf(const Seen& s) {
        const std::uint32_t type = s.frame.recordType();
        auto [it, added] = pingFields.try_emplace(type);
        PingField& f = it->second;
        if (added && catalogue) {
            auto p = expr::compilePredicate("vx." + std::to_string(type) + ".ping_number", *catalogue);
            if (p) f.predicate = *p;
        }
        if (!f.predicate || f.agreed >= kAgreementsTrusted) return pingNumberOf(s.bytes);
        expr::FieldValues values;
        const expr::Verdict v = f.predicate->judge(s.bytes, {}, values);
        if (v.unreached || values.numbers.empty() || values.numbers[0].empty()) return std::nullopt;
        const auto ping = static_cast<std::uint32_t>(values.numbers[0].front());
        if (f.agreed >= 0) f.agreed = pingNumberOf(s.bytes) == ping ? f.agreed + 1 : -1;
        return ping;
    }
    std::optional<std::uint64_t> connectionLostRow;
    std::optional<double> connectionLostTime;
};

RuleChecker::RuleChecker(const Profile& profile, CheckerOptions options)
    : profile_(profile), options_(options), state_(std::make_unique<State>()) {
    state_->rules.resize(profile.rules.size());
    state_->catalogue = profile.catalogue;
    for (std::size_t i = 0; i < profile.rules.size(); ++i)
        if (profile.rules[i].kind == CheckKind::Order && profile.rules[i].order == OrderCheck::PingGaps)
            state_->rules[i].gaps = std::make_unique<PingGapTracker>();
}

RuleChecker::~RuleChecker() = default;

void RuleChecker::record(ByteSpan bytes, std::uint64_t row) {
    const FrameView frame(bytes);
    if (!frame.isFrame()) {
        incident(Incident::Damaged, row, "not a record frame");
        return;
    }
    State& st = *state_;
    const Seen s{bytes, frame, row, frameSeconds(frame)};
    ++st.records;
    if (s.time) {
        if (!st.firstTime) st.firstTime = s.time;
        if (!st.lastTime || *s.time > *st.lastTime) st.lastTime = s.time;
    }
    const std::size_t keep = options_.rowsKept;

    for (std::size_t i = 0; i < profile_.rules.size(); ++i) {
        const Rule& rule = profile_.rules[i];
        State::RuleState& rs = st.rules[i];
        Tally& t = rs.tally;
        if (rule.kind == CheckKind::Relation) {
            // Relations pick their records by `each` and `has` (the scope narrows both).
            if (!rs.scope.passes(rule.scope, s)) continue;
            const bool isHas = rs.has.passes(rule.has, s);
            const bool isEach = rs.each.passes(rule.each, s);
            std::optional<std::string> key;
            if (isHas || isEach) key = packedKey(rule, s, [&st](const Seen& x) { return st.pingOf(x); });
            if (key && rule.key == RelationKey::Ping) {
                std::uint32_t ping = 0;
                std::memcpy(&ping, key->data() + 8, 4);
                st.newestPing[sourceOf(frame)] = ping;
            }
            if (isHas && key) {
                if (rule.withinSeconds) {
                    if (s.time) {
                        // Resolves what waits for it, close enough in time: newest
                        // first, up to those whose window closed before it.
                        for (auto it = rs.pending.end(); it != rs.pending.begin();) {
                            --it;
                            const State::Pending& p = it->second;
                            if (p.time && *p.time + *rule.withinSeconds < *s.time) break;
                            if ((rule.key == RelationKey::None || p.key == *key) && p.time &&
                                std::fabs(*p.time - *s.time) <= *rule.withinSeconds)
                                it = rs.pending.erase(it);
                        }
                        rs.recentHas.emplace_back(*s.time, *key);
                        if (rs.recentHas.size() > kMaxPending) rs.recentHas.pop_front();
                    }
                } else {
                    rs.keysOfHas.add(*key);
                    auto [from, to] = rs.pendingRows.equal_range(*key);
                    for (auto it = from; it != to; ++it) rs.pending.erase(it->second);
                    rs.pendingRows.erase(from, to);
                }
            }
            if (isEach) {
                if (!key) {
                    ++rs.unreached;
                } else if (rule.withinSeconds && !s.time) {
                    ++rs.unreached;
                } else {
                    ++t.judged;
                    bool found = false;
                    if (rule.withinSeconds) {
                        for (auto it = rs.recentHas.rbegin(); it != rs.recentHas.rend() && !found; ++it)
                            found = (rule.key == RelationKey::None || it->second == *key) &&
                                    std::fabs(it->first - *s.time) <= *rule.withinSeconds;
                    } else {
                        found = rs.keysOfHas.contains(*key);
                    }
                    if (!found) {
                        rs.pending.emplace(row, State::Pending{*key, s.time});
                        if (!rule.withinSeconds) rs.pendingRows.emplace(*key, row);
                    }
                }
            }
            // A window that closed without its record; the oldest waiting go when too many wait.
            if (rule.withinSeconds && st.lastTime) {
                for (auto it = rs.pending.begin(); it != rs.pending.end();) {
                    if (it->second.time && *it->second.time + *rule.withinSeconds < *st.lastTime &&
                        !it->second.excused) {
                        t.fail(keep, it->first, it->second.time,
                               strprintf("no %s within %s s", rule.has.text.c_str(), number(*rule.withinSeconds).c_str()) +
                                   (rule.key == RelationKey::None ? "" : " with " + keyText(rule, it->second.key)));
                        it = rs.pending.erase(it);
                    } else if (it->second.time && *it->second.time + *rule.withinSeconds < *st.lastTime) {
                        it = rs.pending.erase(it);  // excused by a loss
                    } else {
                        break;  // the rest arrived later: their windows are open
                    }
                }
                while (!rs.recentHas.empty() && rs.recentHas.front().first + 2 * *rule.withinSeconds < *st.lastTime)
                    rs.recentHas.pop_front();
            }
            while (rs.pending.size() > kMaxPending) {
                auto it = rs.pending.begin();
                if (!it->second.excused)
                    t.fail(keep, it->first, it->second.time, "no " + rule.has.text + " with " + keyText(rule, it->second.key));
                auto [from, to] = rs.pendingRows.equal_range(it->second.key);
                for (auto r = from; r != to; ++r)
                    if (r->second == it->first) {
                        rs.pendingRows.erase(r);
                        break;
                    }
                rs.pending.erase(it);
            }
            continue;
        }

        if (rule.kind == CheckKind::Integrity) {
            if (rule.integrity != IntegrityCheck::Checksums) {
                ++t.judged;
                continue;
            }
            if (!frame.hasChecksum() || !rs.scope.passes(rule.scope, s)) continue;
            ++t.judged;
            const std::uint32_t size = frame.size();
            if (size < kFrameHeaderSize + 4 || bytes.size() < size) {
                t.fail(keep, row, s.time, strprintf("record type %u: the frame has no room for its checksum", frame.recordType()));
                continue;
            }
            const std::uint32_t sum = computeChecksum(bytes, size - 4u);
            const std::uint32_t field = readLEOr0<std::uint32_t>(bytes, size - 4u);
            if (sum != field)
                t.fail(keep, row, s.time,
                       strprintf("record type %u: checksum field %u, calculated %u", frame.recordType(), field, sum));
            continue;
        }

        if (rule.kind == CheckKind::Order) {
            // Ping gaps watch the ping records unless a scope says which.
            if (rule.order == OrderCheck::PingGaps) {
                if (rule.scope.predicate ? !rs.scope.passes(rule.scope, s) : !isPingRecordType(frame.recordType()))
                    continue;
                const auto ping = pingNumberOf(bytes);
                if (!ping) continue;
                ++t.judged;
                if (auto last = rs.gaps->next(frame.recordType(), frame.deviceId(), frame.systemEnumerator(), *ping))
                    t.fail(keep, row, s.time,
                           strprintf("record type %u, %s: ping %u after ping %u (%u missing)", frame.recordType(),
                                     sourceText(sourceOf(frame)).c_str(), *ping, *last, *ping - *last - 1u));
                continue;
            }
            if (!rs.scope.passes(rule.scope, s)) continue;
            const std::uint64_t source = sourceOf(frame);
            if (rule.order == OrderCheck::TimeIncreasing) {
                if (!s.time) continue;
                ++t.judged;
                auto [it, fresh] = rs.lastTimes.try_emplace(source, *s.time, row);
                if (fresh) continue;
                if (*s.time < it->second.first)
                    t.fail(keep, row, s.time,
                           strprintf("%s: time %.3f s before that of row %llu", sourceText(source).c_str(),
                                     it->second.first - *s.time, (unsigned long long)it->second.second));
                it->second = {*s.time, row};
                continue;
            }
            ++t.judged;
            const std::uint32_t counter = frame.recordCounter();
            auto [it, fresh] = rs.lastCounters.try_emplace(source, counter, row);
            if (fresh) continue;
            // A counter that wraps past its top goes on from 0.
            const bool wrapped = it->second.first > 0xFFFF0000u && counter < 0x10000u;
            if (counter < it->second.first && !wrapped)
                t.fail(keep, row, s.time,
                       strprintf("%s: record counter %u after %u (row %llu)", sourceText(source).c_str(), counter,
                                 it->second.first, (unsigned long long)it->second.second));
            it->second = {counter, row};
            continue;
        }

        if (!rs.scope.passes(rule.scope, s)) continue;
        switch (rule.kind) {
        case CheckKind::Presence: {
            ++rs.seen;
            ++t.judged;
            if (rule.everySeconds && s.time) {
                const std::optional<double> since = rs.lastTime ? rs.lastTime : st.firstTime;
                if (since && *s.time - *since > *rule.everySeconds)
                    t.fail(keep, row, s.time,
                           strprintf("%s s after %s", number(*s.time - *since).c_str(),
                                     rs.lastTime ? "the one before" : "the first record of the run"));
                if (!rs.lastTime || *s.time > *rs.lastTime) rs.lastTime = s.time;
            }
            break;
        }
        case CheckKind::Value: {
            // Without a scope, a value rule judges the records that hold a field it names.
            if (!rule.scope.predicate) {
                const std::uint32_t type = frame.recordType();
                if (type >= 65536) break;
                if (rs.holdsByType.empty()) rs.holdsByType.assign(65536, -1);
                std::int8_t& holds = rs.holdsByType[type];
                if (holds < 0) {
                    holds = rule.expect.predicate->expression().headerOnly();
                    for (const expr::FieldInfo* f : rule.expect.predicate->expression().fields())
                        holds = holds || (f->source == expr::FieldSource::Layout && f->recordType == type);
                }
                if (!holds) break;
            }
            bool unreached = false;
            const bool ok = passes(rule.expect, s, &unreached);
            if (unreached) {
                ++rs.unreached;  // damage: the integrity rules speak of it
                break;
            }
            ++t.judged;
            if (!ok) t.fail(keep, row, s.time, strprintf("record type %u: %s does not hold", frame.recordType(), rule.expect.text.c_str()));
            break;
        }
        case CheckKind::Stability: {
            // A record of a type that holds none of the field is not read.
            if (rs.field.of(rule.field, frame.recordType()) >= 0) break;
            expr::FieldValues& values = rs.fieldValues;
            const expr::Verdict v = rule.field.predicate->judge(bytes, {static_cast<std::uint32_t>(row), nullptr}, values);
            if (v.unreached) {
                ++rs.unreached;
                break;
            }
            // The value is put in words only when it differs from the one
            // before: most records repeat it.
            State::Value value;
            if (!values.numbers.empty() && !values.numbers[0].empty()) value.number = values.numbers[0].front();
            else if (!values.texts.empty() && !values.texts[0].empty()) value.text = &values.texts[0].front();
            else break;
            ++t.judged;
            const std::uint64_t source = sourceOf(frame);
            auto [it, fresh] = rs.values.try_emplace(source);
            State::Kept& last = it->second;
            if (!fresh && last.sameAs(value)) break;
            std::string now = value.text ? "\"" + *value.text + "\"" : number(value.number);
            if (!fresh && now != last.shown)
                t.fail(keep, row, s.time,
                       strprintf("%s: %s changed from %s to %s", sourceText(source).c_str(), rule.field.text.c_str(),
                                 last.shown.c_str(), now.c_str()));
            last.keep(value, std::move(now));
            break;
        }
        default: break;
        }
    }
}

void RuleChecker::incident(Incident what, std::uint64_t row, std::string text) {
    State& st = *state_;
    if (what == Incident::ConnectionLost) {
        st.connectionLostRow = row;
        st.connectionLostTime = st.lastTime;
    }
    for (std::size_t i = 0; i < profile_.rules.size(); ++i) {
        const Rule& rule = profile_.rules[i];
        State::RuleState& rs = st.rules[i];
        if (rule.kind == CheckKind::Relation && what == Incident::LostPacket) {
            // The record a pair waits for may be the one lost: the loss is what went wrong.
            // Newest first; older pairs than the pings under way are left to their verdict.
            for (auto it = rs.pending.rbegin(); it != rs.pending.rend(); ++it) {
                State::Pending& p = it->second;
                if (rule.key == RelationKey::Ping) {
                    std::uint64_t source = 0;
                    std::uint32_t ping = 0;
                    std::memcpy(&source, p.key.data(), 8);
                    std::memcpy(&ping, p.key.data() + 8, 4);
                    const auto newest = st.newestPing.find(source);
                    if (newest != st.newestPing.end() && newest->second > ping + 1) break;
                    p.excused = true;
                } else {
                    p.excused = true;
                    break;  // the latest only
                }
            }
            continue;
        }
        if (rule.kind != CheckKind::Integrity) continue;
        const bool mine = (what == Incident::LostPacket && rule.integrity == IntegrityCheck::LostPackets) ||
                          (what == Incident::Damaged && rule.integrity == IntegrityCheck::Damaged) ||
                          (what == Incident::ConnectionLost && rule.integrity == IntegrityCheck::Connection);
        if (!mine) continue;
        ++rs.incidents;
        ++rs.tally.judged;
        rs.tally.fail(options_.rowsKept, row, st.lastTime, text);
    }
}

void RuleChecker::textRow(std::string_view text, std::uint64_t row) {
    if (text == "TEXT Lost Packet") {
        incident(Incident::LostPacket, row, "a packet was lost: its record is missing");
        return;
    }
    // Bytes a file's list skipped to the next sync pattern (or to its end) are
    // damaged data, whoever lists them.
    if (text.rfind("TEXT ", 0) == 0 && text.find(" Skipped") != std::string_view::npos) {
        incident(Incident::Damaged, row, "damaged data: " + std::string(text.substr(5)));
        return;
    }
    // Lines the list adds of itself (dropped pings, pauses, rows that left the
    // list) are the tool's own notes, judged by the rules from the records.
    if (text.rfind("! ! !", 0) == 0 || text.rfind("TEXT ", 0) == 0 || text.rfind("PAUSE", 0) == 0) return;
    incident(Incident::Damaged, row, "data that is not a record frame");
}

std::vector<RuleResult> RuleChecker::results(bool finished) const {
    const State& st = *state_;
    std::vector<RuleResult> out;
    const std::size_t keep = options_.rowsKept;
    for (std::size_t i = 0; i < profile_.rules.size(); ++i) {
        const Rule& rule = profile_.rules[i];
        const State::RuleState& rs = st.rules[i];
        RuleResult r;
        r.name = rule.name;
        r.description = rule.description;
        r.severity = rule.severity;
        r.kind = rule.kind;
        Tally t = rs.tally;
        std::string notEvaluated;
        switch (rule.kind) {
        case CheckKind::Presence: {
            if (finished && rule.atLeast && rs.seen < *rule.atLeast)
                t.fail(keep, 0, std::nullopt,
                       strprintf("%llu of at least %llu records of %s", (unsigned long long)rs.seen,
                                 (unsigned long long)*rule.atLeast, rule.scope.text.empty() ? "any kind" : rule.scope.text.c_str()));
            if (finished && rule.everySeconds) {
                // The end of the run: its last record, or the connection's end when it ended by itself.
                const std::optional<double> end = st.connectionLostRow ? st.connectionLostTime : st.lastTime;
                if (rs.seen == 0 && st.records > 0)
                    t.fail(keep, 0, std::nullopt, "none in the run (" + std::to_string(st.records) + " records)");
                else if (rs.lastTime && end && *end - *rs.lastTime > *rule.everySeconds)
                    t.fail(keep, 0, end, strprintf("none in the last %s s of the run", number(*end - *rs.lastTime).c_str()));
            }
            if (st.records == 0 && rule.everySeconds && !rule.atLeast) notEvaluated = "no records in the run";
            r.note = counted(rs.seen, "record", "records") + (rule.scope.text.empty() ? "" : " of " + rule.scope.text);
            break;
        }
        case CheckKind::Value:
            if (t.judged == 0)
                notEvaluated = rs.unreached ? counted(rs.unreached, "record", "records") + " ended before a field it reads"
                                            : "no record it applies to";
            r.note = counted(t.judged, "record", "records") + " judged";
            break;
        case CheckKind::Relation: {
            // Those still waiting: at the end each is a failure unless a loss
            // excuses it, or the run ended before its records could come (the
            // ping under way, a window still open). A run that goes on sees
            // those of pings gone by already.
            if (finished || (rule.key == RelationKey::Ping && !rule.withinSeconds))
                for (const auto& [row, p] : rs.pending) {
                    if (p.excused) continue;
                    if (rule.withinSeconds) {
                        if (!p.time || !st.lastTime || *p.time + *rule.withinSeconds >= *st.lastTime) continue;
                    } else if (rule.key == RelationKey::Ping) {
                        std::uint64_t source = 0;
                        std::uint32_t ping = 0;
                        std::memcpy(&source, p.key.data(), 8);
                        std::memcpy(&ping, p.key.data() + 8, 4);
                        const auto newest = st.newestPing.find(source);
                        if (newest == st.newestPing.end() || newest->second <= ping) continue;
                    }
                    t.fail(keep, row, p.time,
                           "no " + rule.has.text + (rule.withinSeconds ? " within " + number(*rule.withinSeconds) + " s" : "") +
                               (rule.key == RelationKey::None ? "" : " with " + keyText(rule, p.key)));
                }
            if (t.judged == 0) notEvaluated = "no record of " + rule.each.text + " in the run";
            r.note = counted(t.judged, "record", "records") + " of " + rule.each.text + " judged";
            break;
        }
        case CheckKind::Order:
            if (t.judged == 0)
                notEvaluated = rule.order == OrderCheck::PingGaps ? "no ping record in the run"
                             : rule.order == OrderCheck::TimeIncreasing ? "no record with a time stamp in the run"
                                                                         : "no record in the run";
            r.note = counted(t.judged, "record", "records") + " judged";
            break;
        case CheckKind::Stability:
            if (t.judged == 0) notEvaluated = "no record holds " + rule.field.text;
            r.note = counted(t.judged, "record", "records") + " judged";
            break;
        case CheckKind::Integrity:
            switch (rule.integrity) {
            case IntegrityCheck::Checksums:
                if (t.judged == 0) notEvaluated = "no frame claims a checksum";
                r.note = counted(t.judged, "checksum", "checksums") + " checked";
                break;
            case IntegrityCheck::Connection:
                if (!options_.live) notEvaluated = "not a live run";
                r.note = options_.live ? "the connection was watched" : "";
                break;
            default:
                if (st.records == 0 && rs.incidents == 0) notEvaluated = "nothing was read";
                r.note = counted(st.records, "record", "records") + " read";
                break;
            }
            break;
        }
        if (!notEvaluated.empty() && t.failures == 0) {
            r.outcome = Outcome::NotEvaluated;
            r.note = notEvaluated;
        } else if (rule.logOnly) {
            r.outcome = Outcome::Passed;
            r.changes = t.failures;
        } else {
            r.outcome = t.failures > 0 ? Outcome::Failed : Outcome::Passed;
        }
        r.judged = t.judged;
        r.failures = rule.logOnly ? 0 : t.failures;
        r.rows = std::move(t.rows);
        r.latest = std::move(t.latest);
        out.push_back(std::move(r));
    }
    return out;
}

} // namespace tarvik::profiles
