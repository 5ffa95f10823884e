#pragma once
// Filter expressions over records' fields: parsed once into a typed tree,
// then evaluated per record by walking each record only as far as the fields
// the expression names.
//
//     7027 && 7027.number_of_detection_points > 100
//     vx.device == 7125 and vx.enumerator in {0, 1..3}
//     any(7027.quality > 2) || count(7027.quality) < 10
//
// A field that occurs many times in a record (inside a repeat block or a
// vector) is read by its occurrence (`7027.quality[3]`, from 0); a test on it
// without an index holds when it holds for any occurrence, as a display filter
// of the dissector does. A record without the field does not pass a test on
// it. The record-type filter texts of the list ("ALL RECORDS", "7000; 7004")
// are taken as they always were: see compileFilter.

#include "core/record_filter.h"
#include "core/result.h"
#include "core/vxtime.h"
#include "expr/fields.h"
#include "expr/pattern.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::expr {

// What an expression may be, whoever typed it.
inline constexpr std::size_t kMaxExpressionLength = 4096;  // characters
inline constexpr int kMaxExpressionDepth = 64;             // nested parentheses, operators, calls
inline constexpr std::size_t kMaxExpressionNodes = 2000;
inline constexpr std::size_t kMaxPatternLength = 256;      // the pattern of `matches`

struct Node {
    enum class Kind {
        Number, Text, Bool,          // literals
        Field,                       // a field's value (children[0]: its index, when given)
        Present,                     // a field named alone where a test is expected: does the record hold it?
        RecordType,                  // a bare record type where a test is expected
        Not, And, Or,
        Negate, Arithmetic,          // op: + - * / % &
        Compare,                     // op: = (==) ! (!=) < l (<=) > g (>=)
        In,                          // children[0] in the set {numbers, ranges} or {texts}
        Contains, Matches,
        Any, All, Count,             // over the occurrences of the fields in children[0]
    };
    Kind kind = Kind::Bool;
    ValueType type = ValueType::Bool;
    std::size_t position = 0;  // where it starts in the text (for messages)
    char op = 0;
    double number = 0;
    std::string text;
    bool truth = false;
    int slot = -1;                 // Field, Present: the field's slot in Expression::fields()
    // The subtree reads an unindexed repeated field (outside a nested any, all
    // or count): a test of it holds when it holds for any occurrence.
    bool repeats = false;
    std::vector<std::unique_ptr<Node>> children;
    std::vector<std::pair<double, double>> ranges;  // In over numbers
    std::vector<std::string> texts;                 // In over texts
    std::shared_ptr<const Pattern> pattern;         // Matches
};

class Expression {
public:
    // Parses `text` against the names of `names`. A failure says what is
    // wrong and where, with the text and a caret under the place:
    //     unknown field "7027.qualty" (did you mean vx.7027.quality?) at column 9
    //       7027 && 7027.qualty > 2
    //               ^
    static Result<Expression> parse(std::string_view text, const FieldNames& names);
    // Parses a value expression: its root is a number, a text or a test as
    // written (`7000.sound_velocity_m_s * 2`, `vx.time`, `count(7027.quality > 2)`);
    // a field alone is its value.
    static Result<Expression> parseValue(std::string_view text, const FieldNames& names);

    const std::string& text() const { return text_; }
    const Node& root() const { return *root_; }
    // The fields the expression names, by slot.
    const std::vector<const FieldInfo*>& fields() const { return fields_; }
    // True when it names no layout field: a record's header decides.
    bool headerOnly() const;

private:
    static Result<Expression> parse(std::string_view text, const FieldNames& names, bool value);
    std::string text_;
    std::shared_ptr<const Node> root_;
    std::vector<const FieldInfo*> fields_;
    friend class Parser;
};

// A record's values of an expression's fields, gathered by a walk.
struct FieldValues {
    std::vector<std::vector<double>> numbers;     // by slot
    std::vector<std::vector<std::string>> texts;  // by slot
};

// Evaluates a parsed expression over one record: `values` holds what the
// walk gave of its layout fields; header and context fields come from
// `frame` and `context`.
bool evaluate(const Expression& e, ByteSpan frame, const RecordContext& context, const FieldValues& values);

// One value of a value expression for a record.
struct Value {
    ValueType type = ValueType::Number;
    double number = 0;
    std::string text;
    bool truth = false;
    // For an expression that is a field alone: which occurrence of it this is.
    std::optional<std::size_t> occurrence;
};

// Appends to `out` the values of a value expression over one record: one for
// each occurrence of an unindexed repeated field it reads, else one; none
// where the record has no value (a field it lacks, a division by zero).
void evaluateValues(const Expression& e, ByteSpan frame, const RecordContext& context, const FieldValues& values,
                    std::vector<Value>& out);

// Decides for a whole record type from the header's type alone, when it can:
// true or false, or nullopt when a record's other fields are needed.
std::optional<bool> decideByType(const Expression& e, std::uint32_t recordType);

// True when the expression reads no field but the header and context fields
// `fields` (a bare record type reads HeaderField::RecordType).
bool readsOnly(const Expression& e, std::initializer_list<HeaderField> fields);

// True for the list's record-type filter texts, taken as they always were:
// "ALL RECORDS", and texts of digits and separators ("7000; 7004", "7027").
// A text of letters or operators is an expression.
bool isRecordTypeText(std::string_view text);

// A VxTIME as seconds since 1970 (UTC): the value of `vx.time` and of time fields.
double epochSeconds(const VxTIME& t);

// The message of a failed parse, with the text and a caret under `position`.
std::string positionedMessage(std::string_view text, std::size_t position, const std::string& what);

} // namespace tarvik::expr
