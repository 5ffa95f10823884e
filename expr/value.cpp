#include "expr/value.h"

#include "core/frame.h"
#include "core/vxtime.h"
#include "expr/field_walk.h"

#include <charconv>
#include <cmath>

namespace tarvik::expr {

std::string numberText(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

Result<std::shared_ptr<const ValueExpression>> ValueExpression::compile(std::string_view text,
                                                                        const LayoutCatalogue& catalogue) {
    return compile(text, std::make_shared<const FieldNames>(catalogue));
}

Result<std::shared_ptr<const ValueExpression>> ValueExpression::compile(std::string_view text,
                                                                        std::shared_ptr<const FieldNames> names) {
    Result<Expression> e = Expression::parseValue(text, *names);
    if (!e) return failure(e.error());
    return std::shared_ptr<const ValueExpression>(std::make_shared<ValueExpression>(std::move(names), std::move(*e)));
}

ValueExpression::ValueExpression(std::shared_ptr<const FieldNames> names, Expression expression)
    : names_(std::move(names)), expression_(std::move(expression)),
      walk_(std::make_unique<FieldWalk>(names_->catalogue(), expression_, true)) {}

ValueExpression::~ValueExpression() = default;

bool ValueExpression::gather(ByteSpan frame, const RecordContext& context, std::vector<Value>& out) const {
    const FrameView view(frame);
    if (!view.isFrame()) return false;
    // Layout fields of another record type, or one the walk did not reach:
    // no value (a test on them would only say "false" for every such record).
    for (const FieldInfo* f : expression_.fields())
        if (f->source == FieldSource::Layout && f->recordType != view.recordType()) return false;
    if (!walk_->walk(frame)) return false;
    evaluateValues(expression_, frame, context, walk_->values(), out);
    return !out.empty();
}

std::vector<Value> ValueExpression::values(ByteSpan frame, const RecordContext& context) const {
    std::vector<Value> out;
    std::lock_guard<std::mutex> hold(lock_);
    walk_->keepShown(false);
    gather(frame, context, out);
    return out;
}

std::string ValueExpression::shown(ByteSpan frame, const RecordContext& context) const {
    std::vector<Value> values;
    std::lock_guard<std::mutex> hold(lock_);
    walk_->keepShown(true);
    if (!gather(frame, context, values)) return {};
    const Node& root = expression_.root();
    const FieldInfo* field = root.kind == Node::Kind::Field ? expression_.fields()[static_cast<std::size_t>(root.slot)] : nullptr;
    std::string out;
    for (const Value& v : values) {
        if (!out.empty()) out += ", ";
        if (field && field->source == FieldSource::Layout && v.occurrence) {
            // The report's own text of the field.
            const auto& texts = walk_->shown()[static_cast<std::size_t>(root.slot)];
            if (*v.occurrence < texts.size()) {
                // The report pads its values; a cell does not.
                std::string_view t = texts[*v.occurrence];
                while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
                while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
                out += t;
                continue;
            }
        }
        if (field && field->header == HeaderField::Time && field->source == FieldSource::Header) {
            if (auto t = formatDateTime(FrameView(frame).time())) {
                out += *t;
                continue;
            }
        }
        switch (v.type) {
        case ValueType::Number: out += numberText(v.number); break;
        case ValueType::Text: out += v.text; break;
        case ValueType::Bool: out += v.truth ? "true" : "false"; break;
        }
    }
    return out;
}

} // namespace tarvik::expr
