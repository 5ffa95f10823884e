#pragma once
// A compiled filter: an expression bound to the layouts that decode its
// fields, as the RecordPredicate that sources, the pipeline and every command
// take inside a RecordFilter.

#include "core/record_filter.h"
#include "core/result.h"
#include "decode/layout.h"
#include "expr/expression.h"
#include "expr/fields.h"

#include <memory>
#include <string_view>

namespace tarvik::expr {

class FieldPredicate;

// What one record made of an expression.
struct Verdict {
    bool matches = false;
    // The record is of a type whose fields the expression names, and its walk
    // ended (damaged, cut short) before reaching one of them.
    bool unreached = false;
};

// The filter a text stands for: the list's record-type texts ("ALL RECORDS",
// "7000; 7004") as they always were, anything else an expression over the
// fields of `catalogue` (which must outlive the filter and not change while
// it is used). A failure is the parse's message, with a caret.
Result<RecordFilter> compileFilter(std::string_view text, const LayoutCatalogue& catalogue);

// The same, keeping the predicate for callers that want more than a yes or no.
Result<std::shared_ptr<const FieldPredicate>> compilePredicate(std::string_view text, const LayoutCatalogue& catalogue);

class FieldPredicate final : public RecordPredicate {
public:
    FieldPredicate(std::shared_ptr<const FieldNames> names, Expression expression);
    ~FieldPredicate() override;

    bool matches(ByteSpan frame, const RecordContext& context) const override;
    bool decidedByType(std::uint32_t recordType, bool& passes) const override;
    bool decidedByIndex(bool keptHeader) const override { return byIndex_[keptHeader ? 1 : 0]; }
    Verdict judge(ByteSpan frame, const RecordContext& context = {}) const;
    // The same, handing out the values the walk read of the expression's
    // layout fields, by slot (empty lists for a record decided by its type).
    Verdict judge(ByteSpan frame, const RecordContext& context, FieldValues& values) const;

    const Expression& expression() const { return expression_; }

private:
    struct Walker;
    Verdict judgeInto(ByteSpan frame, const RecordContext& context, FieldValues* values) const;
    std::shared_ptr<const FieldNames> names_;
    Expression expression_;
    std::unique_ptr<Walker> walker_;
    bool headerOnly_ = false;    // no layout field: a record's header decides, no walk
    bool byIndex_[2] = {false, false};  // decidedByIndex(false), (true)
};

} // namespace tarvik::expr
