#include "expr/predicate.h"

#include "core/frame.h"
#include "expr/field_walk.h"

#include <mutex>
#include <unordered_map>

namespace tarvik::expr {

struct FieldPredicate::Walker {
    Walker(const LayoutCatalogue& catalogue, const Expression& expression) : walk(catalogue, expression) {}

    FieldWalk walk;
    const Expression* expression = nullptr;
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
};

FieldPredicate::FieldPredicate(std::shared_ptr<const FieldNames> names, Expression expression)
    : names_(std::move(names)), expression_(std::move(expression)),
      walker_(std::make_unique<Walker>(names_->catalogue(), expression_)) {
    walker_->expression = &expression_;
    headerOnly_ = expression_.headerOnly();
    // What every index entry holds as its frame's header says it (the row is
    // the entry's position; a capture's entry holds the bytes it got rather
    // than the Size field), and what the entries of a record file keep besides.
    using H = HeaderField;
    byIndex_[0] = readsOnly(expression_, {H::Time, H::Enumerator, H::RecordCounter, H::Row});
    byIndex_[1] = readsOnly(expression_, {H::Size, H::Time, H::Enumerator, H::RecordCounter, H::Row, H::RecordType,
                                          H::Device, H::ProtocolVersion, H::Offset, H::RecordVersion, H::Flags});
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
    // The header alone decides: nothing is walked, nothing shared is touched.
    if (headerOnly_) return {evaluate(expression_, frame, context, FieldValues{}), false};
    std::lock_guard<std::mutex> hold(walker_->lock);
    Walker& w = *walker_;
    if (const std::optional<bool> d = w.decision(view.recordType())) return {*d, false};
    Verdict verdict;
    // A named field the walk did not reach: the record does not match.
    if (!w.walk.walk(frame)) {
        verdict.unreached = true;
        return verdict;
    }
    verdict.matches = evaluate(expression_, frame, context, w.walk.values());
    if (out) *out = w.walk.values();
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
