#include "expr/predicate.h"

#include "core/frame.h"
#include "core/vxtime.h"
#include "decode/field_format.h"
#include "decode/remote_definitions.h"
#include "decode/report.h"
#include "decode/walk_memo.h"
#include "decode/walker.h"
#include "decode/wireshark_lua.h"

#include <mutex>
#include <unordered_map>

namespace tarvik::expr {

namespace {

// What a record of one type is walked for.
struct Plan {
    struct Match {
        std::string item;  // the walked item's name
        int slot = -1;
        std::string kind;  // the field's kind, when items of one name make fields of two kinds
        bool vector = false;
        std::int32_t elementWidth = 0;
        FormatCode elementCode = FormatCode::Unknown;
    };
    std::vector<Match> matches;
    std::size_t single = 0;  // slots of non-repeated fields: once all are read, the walk can stop
    bool whole = false;      // a repeated field is named: the walk goes to the end
};

// The vector a vector item of `type` opens, from the layouts that hold it.
const VectorDescription* vectorOf(const LayoutCatalogue& c, std::int32_t type, const std::string& item) {
    auto look = [&](const std::vector<CRecordDataLayout>& items, const auto& key) -> const VectorDescription* {
        for (const CRecordDataLayout& i : items)
            if (i.name == item && i.formatId() == FormatCode::Vector) {
                auto it = c.vectors.find(BlockKey(key.protocolVersion, key.recordVersion, type, i.number));
                if (it != c.vectors.end()) return &it->second;
            }
        return nullptr;
    };
    for (const auto& [k, d] : c.records)
        if (k.recordType == type)
            if (auto* v = look(d.items, k)) return v;
    for (const auto& [k, d] : c.optionalData)
        if (k.recordType == type)
            if (auto* v = look(d.items, k)) return v;
    for (const auto& [k, d] : c.repeats)
        if (k.recordType == type)
            if (auto* v = look(d.items, k)) return v;
    return nullptr;
}

double epochOf(const VxTIME& t) {
    const int y = t.year - 1;
    const long long days = 365LL * (y - 1969) + (y / 4 - 1969 / 4) - (y / 100 - 1969 / 100) + (y / 400 - 1969 / 400) +
                           t.day - 1;
    return static_cast<double>(days * 86400LL + t.hours * 3600LL + t.minutes * 60LL) + static_cast<double>(t.seconds);
}

// A number item's value as the report shows it; nullopt when it is no number
// or its bytes are not all held.
std::optional<double> numberAt(ByteSpan frame, std::int64_t offset, std::int64_t width, FormatCode code) {
    if (offset < 0) return std::nullopt;
    const auto at = static_cast<std::uint64_t>(offset);
    switch (code) {
    case FormatCode::Unsigned:
        switch (width) {
        case 1: if (auto v = readLE<std::uint8_t>(frame, at)) return *v; break;
        case 2: if (auto v = readLE<std::uint16_t>(frame, at)) return *v; break;
        case 4: if (auto v = readLE<std::uint32_t>(frame, at)) return *v; break;
        case 8: if (auto v = readLE<std::uint64_t>(frame, at)) return static_cast<double>(*v); break;
        }
        break;
    case FormatCode::Signed:
        switch (width) {
        case 1: if (auto v = readLE<std::int8_t>(frame, at)) return *v; break;
        case 2: if (auto v = readLE<std::int16_t>(frame, at)) return *v; break;
        case 4: if (auto v = readLE<std::int32_t>(frame, at)) return *v; break;
        case 8: if (auto v = readLE<std::int64_t>(frame, at)) return static_cast<double>(*v); break;
        }
        break;
    case FormatCode::Float:
    case FormatCode::Radians: {
        double d = 0;
        if (width == 4) {
            auto v = readLE<float>(frame, at);
            if (!v) break;
            d = *v;
        } else if (width == 8) {
            auto v = readLE<double>(frame, at);
            if (!v) break;
            d = *v;
        } else {
            break;
        }
        return shownNumber(code, static_cast<std::int32_t>(width), d);
    }
    case FormatCode::Time:
        if (width == VxTIME::kSize)
            if (auto t = VxTIME::read(frame, at)) return epochOf(*t);
        break;
    default: break;
    }
    return std::nullopt;
}

ByteSpan held(ByteSpan frame, std::int64_t offset, std::int64_t width) {
    if (offset < 0 || width < 0 || static_cast<std::uint64_t>(offset) > frame.size()) return {};
    const auto at = static_cast<std::size_t>(offset);
    return frame.subspan(at, std::min<std::size_t>(static_cast<std::size_t>(width), frame.size() - at));
}

} // namespace

struct FieldPredicate::Walker {
    explicit Walker(const LayoutCatalogue& catalogue) : reporter(catalogue, commands), memo(reporter) {
        watch = [this](const WalkedField& w) { return take(w); };
    }

    const Plan& planFor(std::uint32_t type, const Expression& e) {
        auto [it, added] = plans.try_emplace(type);
        if (!added) return it->second;
        Plan& p = it->second;
        const LayoutCatalogue& c = reporter_catalogue();
        for (std::size_t s = 0; s < e.fields().size(); ++s) {
            const FieldInfo& f = *e.fields()[s];
            if (f.source != FieldSource::Layout || f.recordType != type) continue;
            // Another field of the same item name (of another kind) asks the walked kind.
            bool shared = false;
            for (const FieldInfo* g : e.fields())
                if (g != &f && g->source == FieldSource::Layout && g->recordType == type && g->label == f.label) shared = true;
            for (const std::string& item : f.items) p.matches.push_back({item, static_cast<int>(s), shared ? f.kind : ""});
            for (const std::string& item : f.vectorItems) {
                const VectorDescription* v = vectorOf(c, static_cast<std::int32_t>(type), item);
                if (!v || v->width <= 0) continue;  // elements sized by a rule are not read one by one
                p.matches.push_back({item, static_cast<int>(s), "", true, v->width, v->formatId()});
            }
            if (f.repeated) p.whole = true;
            else ++p.single;
        }
        return p;
    }

    const LayoutCatalogue& reporter_catalogue() const { return *catalogue; }

    bool take(const WalkedField& w) {
        for (const Plan::Match& m : plan->matches) {
            if (m.item != w.name) continue;
            const auto s = static_cast<std::size_t>(m.slot);
            const FieldInfo& f = *expression->fields()[s];
            if (m.vector) {
                if (w.code != FormatCode::Vector) continue;
                const std::int64_t count = w.width / m.elementWidth;
                for (std::int64_t i = 0; i < count; ++i)
                    if (auto v = numberAt(frame, w.offset + i * m.elementWidth, m.elementWidth, m.elementCode))
                        values.numbers[s].push_back(*v);
                continue;
            }
            if (!m.kind.empty() && wiresharkKind(w.format, static_cast<std::int32_t>(w.width)) != m.kind) continue;
            const bool first = (f.type == ValueType::Text ? values.texts[s].empty() : values.numbers[s].empty());
            if (f.type == ValueType::Text) {
                const ByteSpan bytes = held(frame, w.offset, w.width);
                if (w.code == FormatCode::Reserved) {
                    static constexpr char kHex[] = "0123456789abcdef";
                    std::string hex;
                    for (const std::uint8_t b : bytes) {
                        hex += kHex[b >> 4];
                        hex += kHex[b & 15];
                    }
                    values.texts[s].push_back(std::move(hex));
                } else {
                    values.texts[s].emplace_back(boundedText(bytes, static_cast<std::int64_t>(bytes.size())));
                }
            } else if (auto v = numberAt(frame, w.offset, w.width, w.code)) {
                values.numbers[s].push_back(*v);
            } else {
                continue;
            }
            if (first && !f.repeated) ++found;
        }
        return plan->whole || found < plan->single;
    }

    NoRemoteCommandDefinitions commands;
    const LayoutCatalogue* catalogue = nullptr;
    RecordReporter reporter;
    WalkMemo memo;
    std::function<bool(const WalkedField&)> watch;
    std::unordered_map<std::uint32_t, Plan> plans;
    // What the record type decides, per type: for types below 65536 in a
    // table (asked once per record), for others in a map.
    std::vector<std::int8_t> decidedSmall = std::vector<std::int8_t>(65536, kNotAsked);
    std::unordered_map<std::uint32_t, std::optional<bool>> decided;
    static constexpr std::int8_t kNotAsked = -2, kOpen = -1;

    // Under the lock.
    std::optional<bool> decision(std::uint32_t type) {
        if (type < decidedSmall.size()) {
            std::int8_t& d = decidedSmall[type];
            if (d == kNotAsked) {
                const std::optional<bool> r = decideByType(*expression, type);
                d = r ? static_cast<std::int8_t>(*r) : kOpen;
            }
            if (d == kOpen) return std::nullopt;
            return d == 1;
        }
        auto [it, added] = decided.try_emplace(type);
        if (added) it->second = decideByType(*expression, type);
        return it->second;
    }
    std::mutex lock;
    // The record being walked
    const Expression* expression = nullptr;
    const Plan* plan = nullptr;
    ByteSpan frame;
    FieldValues values;
    std::size_t found = 0;
};

FieldPredicate::FieldPredicate(std::shared_ptr<const FieldNames> names, Expression expression)
    : names_(std::move(names)), expression_(std::move(expression)),
      walker_(std::make_unique<Walker>(names_->catalogue())) {
    walker_->catalogue = &names_->catalogue();
    walker_->expression = &expression_;
    walker_->values.numbers.resize(expression_.fields().size());
    walker_->values.texts.resize(expression_.fields().size());
}

FieldPredicate::~FieldPredicate() = default;

bool FieldPredicate::decidedByType(std::uint32_t recordType, bool& passes) const {
    std::lock_guard<std::mutex> hold(walker_->lock);
    const std::optional<bool> d = walker_->decision(recordType);
    if (!d) return false;
    passes = *d;
    return true;
}

bool FieldPredicate::matches(ByteSpan frame, const RecordContext& context) const { return judge(frame, context).matches; }

Verdict FieldPredicate::judge(ByteSpan frame, const RecordContext& context) const {
    return judgeInto(frame, context, nullptr);
}

Verdict FieldPredicate::judge(ByteSpan frame, const RecordContext& context, FieldValues& values) const {
    return judgeInto(frame, context, &values);
}

Verdict FieldPredicate::judgeInto(ByteSpan frame, const RecordContext& context, FieldValues* out) const {
    if (out) {
        out->numbers.assign(expression_.fields().size(), {});
        out->texts.assign(expression_.fields().size(), {});
    }
    const FrameView view(frame);
    if (!view.isFrame()) return {};
    std::lock_guard<std::mutex> hold(walker_->lock);
    Walker& w = *walker_;
    if (const std::optional<bool> d = w.decision(view.recordType())) return {*d, false};
    for (auto& list : w.values.numbers) list.clear();
    for (auto& list : w.values.texts) list.clear();
    w.plan = &w.planFor(view.recordType(), expression_);
    w.found = 0;
    Verdict verdict;
    if (!w.plan->matches.empty()) {
        w.frame = frame;
        (void)w.memo.walkFields(frame, w.watch);
        w.frame = {};
        // A named field the walk did not reach: the record does not match.
        if (w.found < w.plan->single) {
            verdict.unreached = true;
            return verdict;
        }
    }
    verdict.matches = evaluate(expression_, frame, context, w.values);
    if (out) *out = w.values;
    return verdict;
}

Result<std::shared_ptr<const FieldPredicate>> compilePredicate(std::string_view text, const LayoutCatalogue& catalogue) {
    auto names = std::make_shared<const FieldNames>(catalogue);
    Result<Expression> e = Expression::parse(text, *names);
    if (!e) return failure(e.error());
    return std::shared_ptr<const FieldPredicate>(std::make_shared<FieldPredicate>(names, std::move(*e)));
}

Result<RecordFilter> compileFilter(std::string_view text, const LayoutCatalogue& catalogue) {
    if (isRecordTypeText(text)) return RecordFilter::types(std::string(text));
    auto p = compilePredicate(text, catalogue);
    if (!p) return failure(p.error());
    return RecordFilter::expression(std::string(text), *p);
}

} // namespace tarvik::expr
