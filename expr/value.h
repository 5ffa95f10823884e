#pragma once
// Value expressions: what a column or a plot shows of each record. The same
// language and names as filters, but the expression is a value, not a test:
//
//     7027.number_of_detection_points      vx.time
//     7000.sound_velocity_m_s * 2              count(7027.quality > 2)
//
// A repeated field without an index gives one value per occurrence. A record
// has no value when it is not of the record type of the fields named, lacks
// them, or its walk ends before reaching them.

#include "core/record_filter.h"
#include "core/result.h"
#include "decode/layout.h"
#include "expr/expression.h"
#include "expr/fields.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::expr {

class FieldWalk;

class ValueExpression {
public:
    // Compiles `text` against the fields of `catalogue` (which must outlive
    // it and not change while it is used). A failure is the parse's message.
    static Result<std::shared_ptr<const ValueExpression>> compile(std::string_view text, const LayoutCatalogue& catalogue);
    // The same over names already made (shared by many expressions).
    static Result<std::shared_ptr<const ValueExpression>> compile(std::string_view text,
                                                                  std::shared_ptr<const FieldNames> names);

    ValueExpression(std::shared_ptr<const FieldNames> names, Expression expression);
    ~ValueExpression();

    // The record's values (none: it has none).
    std::vector<Value> values(ByteSpan frame, const RecordContext& context = {}) const;
    // The record's values as a list cell shows them: a field alone as the
    // report shows it, other numbers shortest, tests "true" or "false";
    // several joined by ", ". Empty when the record has none.
    std::string shown(ByteSpan frame, const RecordContext& context = {}) const;

    const Expression& expression() const { return expression_; }
    const std::string& text() const { return expression_.text(); }
    ValueType type() const { return expression_.root().type; }

private:
    // Walks the record; false when it has no value.
    bool gather(ByteSpan frame, const RecordContext& context, std::vector<Value>& out) const;

    std::shared_ptr<const FieldNames> names_;
    Expression expression_;
    std::unique_ptr<FieldWalk> walk_;
    mutable std::mutex lock_;
};

// A number as a value cell shows it: the shortest text that reads back the same.
std::string numberText(double value);

} // namespace tarvik::expr
