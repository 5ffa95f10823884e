#include "expr/expression.h"

#include "core/frame.h"
#include "core/record_file.h"
#include "core/record_source.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace tarvik::expr {

namespace {

struct Token {
    enum class Kind { End, Number, Text, Name, Symbol } kind = Kind::End;
    std::string text;   // a name, a symbol, or a text literal's contents
    double number = 0;
    std::size_t position = 0;
};

struct ParseFailure {
    std::size_t position;
    std::string what;
};

bool isNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isNameChar(char c) { return isNameStart(c) || isDigit(c) || c == '.'; }

// The words that are operators, and what they stand for.
const char* wordOperator(std::string_view w) {
    if (w == "and") return "&&";
    if (w == "or") return "||";
    if (w == "not") return "!";
    if (w == "eq") return "==";
    if (w == "ne") return "!=";
    if (w == "lt") return "<";
    if (w == "le") return "<=";
    if (w == "gt") return ">";
    if (w == "ge") return ">=";
    if (w == "in" || w == "contains" || w == "matches") return nullptr;
    return nullptr;
}

class Lexer {
public:
    explicit Lexer(std::string_view text) : s_(text) {}

    Token next() {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r')) ++pos_;
        Token t;
        t.position = pos_;
        if (pos_ >= s_.size()) return t;
        const char c = s_[pos_];
        if (isDigit(c)) return number(t);
        if (isNameStart(c)) {
            const std::size_t start = pos_;
            while (pos_ < s_.size() && isNameChar(s_[pos_])) {
                // "a..b" is a range, never part of a name
                if (s_[pos_] == '.' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '.') break;
                ++pos_;
            }
            std::string_view w = s_.substr(start, pos_ - start);
            if (const char* op = wordOperator(w)) {
                t.kind = Token::Kind::Symbol;
                t.text = op;
                return t;
            }
            t.kind = Token::Kind::Name;
            t.text = std::string(w);
            return t;
        }
        if (c == '"') return quoted(t);
        static constexpr std::string_view kTwo[] = {"==", "!=", "<=", ">=", "&&", "||", ".."};
        for (std::string_view two : kTwo)
            if (s_.substr(pos_, 2) == two) {
                pos_ += 2;
                t.kind = Token::Kind::Symbol;
                t.text = std::string(two);
                return t;
            }
        if (std::strchr("<>!()[]{},+-*/%&=", c) && c != '\0') {
            ++pos_;
            t.kind = Token::Kind::Symbol;
            t.text = c == '=' ? "==" : std::string(1, c);  // "=" reads as "=="
            return t;
        }
        throw ParseFailure{pos_, "unexpected character '" + shown(c) + "'"};
    }

private:
    static std::string shown(char c) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f) return std::string(1, c);
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02x", u);
        return buf;
    }

    Token number(Token& t) {
        const std::size_t start = pos_;
        t.kind = Token::Kind::Number;
        if (s_.substr(pos_, 2) == "0x" || s_.substr(pos_, 2) == "0X") {
            pos_ += 2;
            const std::size_t digits = pos_;
            while (pos_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
            std::uint64_t v = 0;
            if (pos_ == digits || std::from_chars(s_.data() + digits, s_.data() + pos_, v, 16).ec != std::errc{})
                throw ParseFailure{start, "bad hexadecimal number"};
            t.number = static_cast<double>(v);
        } else {
            while (pos_ < s_.size() && isDigit(s_[pos_])) ++pos_;
            // "7027.quality": a record type and a field part make one name.
            if (pos_ + 1 < s_.size() && s_[pos_] == '.' && isNameStart(s_[pos_ + 1])) {
                ++pos_;
                while (pos_ < s_.size() && isNameChar(s_[pos_])) ++pos_;
                t.kind = Token::Kind::Name;
                t.text = std::string(s_.substr(start, pos_ - start));
                return t;
            }
            if (pos_ + 1 < s_.size() && s_[pos_] == '.' && isDigit(s_[pos_ + 1])) {
                ++pos_;
                while (pos_ < s_.size() && isDigit(s_[pos_])) ++pos_;
            }
            if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
                std::size_t e = pos_ + 1;
                if (e < s_.size() && (s_[e] == '+' || s_[e] == '-')) ++e;
                if (e < s_.size() && isDigit(s_[e])) {
                    pos_ = e;
                    while (pos_ < s_.size() && isDigit(s_[pos_])) ++pos_;
                }
            }
            const auto r = std::from_chars(s_.data() + start, s_.data() + pos_, t.number);
            if (r.ec != std::errc{} || !std::isfinite(t.number)) throw ParseFailure{start, "bad number"};
        }
        if (pos_ < s_.size() && isNameStart(s_[pos_])) throw ParseFailure{start, "bad number"};
        t.text = std::string(s_.substr(start, pos_ - start));
        return t;
    }

    Token quoted(Token& t) {
        ++pos_;
        t.kind = Token::Kind::Text;
        while (true) {
            if (pos_ >= s_.size()) throw ParseFailure{t.position, "text without its closing quote"};
            const char c = s_[pos_++];
            if (c == '"') return t;
            if (c != '\\') {
                t.text += c;
                continue;
            }
            if (pos_ >= s_.size()) throw ParseFailure{t.position, "text without its closing quote"};
            const char e = s_[pos_++];
            switch (e) {
            case 'n': t.text += '\n'; break;
            case 't': t.text += '\t'; break;
            case '"':
            case '\\': t.text += e; break;
            default:
                // Kept for patterns: "\d" reaches `matches` as written.
                t.text += '\\';
                t.text += e;
            }
        }
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

using NodePtr = std::unique_ptr<Node>;

} // namespace

class Parser {
public:
    Parser(std::string_view text, const FieldNames& names, Expression& out) : lexer_(text), names_(names), out_(out) {
        advance();
    }

    NodePtr parseAll() {
        NodePtr root = test(orExpr());
        if (tok_.kind != Token::Kind::End) throw ParseFailure{tok_.position, "unexpected " + describe(tok_)};
        return root;
    }

    // A value: the root is taken as it is (a field alone is its value, not
    // whether the record holds it).
    NodePtr parseValue() {
        NodePtr root = orExpr();
        if (tok_.kind != Token::Kind::End) throw ParseFailure{tok_.position, "unexpected " + describe(tok_)};
        return root;
    }

private:
    void advance() { tok_ = lexer_.next(); }
    bool is(std::string_view symbol) const { return tok_.kind == Token::Kind::Symbol && tok_.text == symbol; }
    bool isWord(std::string_view word) const { return tok_.kind == Token::Kind::Name && tok_.text == word; }
    void expect(std::string_view symbol) {
        if (!is(symbol)) throw ParseFailure{tok_.position, "expected '" + std::string(symbol) + "' but found " + describe(tok_)};
        advance();
    }
    static std::string describe(const Token& t) {
        switch (t.kind) {
        case Token::Kind::End: return "the end of the expression";
        case Token::Kind::Number: return "the number " + t.text;
        case Token::Kind::Text: return "a text";
        case Token::Kind::Name: return "\"" + t.text + "\"";
        case Token::Kind::Symbol: return "'" + t.text + "'";
        }
        return "?";
    }

    NodePtr make(Node::Kind kind, ValueType type, std::size_t position) {
        if (++nodes_ > kMaxExpressionNodes)
            throw ParseFailure{position, "the expression is too long (more than " + std::to_string(kMaxExpressionNodes) + " parts)"};
        auto n = std::make_unique<Node>();
        n->kind = kind;
        n->type = type;
        n->position = position;
        return n;
    }

    struct Deeper {
        Deeper(Parser& p, std::size_t position) : p_(p) {
            if (++p_.depth_ > kMaxExpressionDepth)
                throw ParseFailure{position, "the expression is nested too deeply (more than " +
                                                 std::to_string(kMaxExpressionDepth) + " levels)"};
        }
        ~Deeper() { --p_.depth_; }
        Parser& p_;
    };

    // Where a test is expected: a bare number is a record type, a bare field
    // asks whether the record holds it.
    NodePtr test(NodePtr n) {
        if (n->type == ValueType::Bool) return n;
        if (n->kind == Node::Kind::Number) {
            if (n->number < 0 || n->number > 4294967295.0 || n->number != std::floor(n->number))
                throw ParseFailure{n->position, "a record type is a whole number from 0 to 4294967295"};
            n->kind = Node::Kind::RecordType;
            n->type = ValueType::Bool;
            return n;
        }
        if (n->kind == Node::Kind::Arithmetic && n->op == '&') {
            // "vx.flags & 1": a mask that leaves a bit set holds
            NodePtr zero = make(Node::Kind::Number, ValueType::Number, n->position);
            NodePtr test = make(Node::Kind::Compare, ValueType::Bool, n->position);
            test->op = '!';
            test->children.push_back(std::move(n));
            test->children.push_back(std::move(zero));
            return test;
        }
        if (n->kind == Node::Kind::Field && n->children.empty()) {
            n->kind = Node::Kind::Present;
            n->type = ValueType::Bool;
            return n;
        }
        throw ParseFailure{n->position, std::string("a test is needed here, not a ") + valueTypeName(n->type) +
                                            " (compare it with something)"};
    }

    NodePtr orExpr() {
        Deeper d(*this, tok_.position);
        NodePtr left = andExpr();
        while (is("||")) {
            const std::size_t at = tok_.position;
            advance();
            NodePtr n = make(Node::Kind::Or, ValueType::Bool, at);
            n->children.push_back(test(std::move(left)));
            n->children.push_back(test(andExpr()));
            left = std::move(n);
        }
        return left;
    }

    NodePtr andExpr() {
        NodePtr left = notExpr();
        while (is("&&")) {
            const std::size_t at = tok_.position;
            advance();
            NodePtr n = make(Node::Kind::And, ValueType::Bool, at);
            n->children.push_back(test(std::move(left)));
            n->children.push_back(test(notExpr()));
            left = std::move(n);
        }
        return left;
    }

    NodePtr notExpr() {
        if (is("!")) {
            Deeper d(*this, tok_.position);
            const std::size_t at = tok_.position;
            advance();
            NodePtr n = make(Node::Kind::Not, ValueType::Bool, at);
            n->children.push_back(test(notExpr()));
            return n;
        }
        return relation();
    }

    static bool isComparison(const std::string& s) {
        return s == "==" || s == "!=" || s == "<" || s == "<=" || s == ">" || s == ">=";
    }

    NodePtr relation() {
        NodePtr left = bitAnd();
        if (tok_.kind == Token::Kind::Symbol && isComparison(tok_.text)) {
            const std::size_t at = tok_.position;
            const std::string op = tok_.text;
            advance();
            NodePtr right = bitAnd();
            NodePtr n = make(Node::Kind::Compare, ValueType::Bool, at);
            n->op = op == "==" ? '=' : op == "!=" ? '!' : op == "<=" ? 'l' : op == ">=" ? 'g' : op[0];
            if (left->type != right->type)
                throw ParseFailure{at, std::string("cannot compare a ") + valueTypeName(left->type) + " with a " +
                                           valueTypeName(right->type)};
            if (left->type == ValueType::Bool && n->op != '=' && n->op != '!')
                throw ParseFailure{at, "true and false compare only with == and !="};
            n->children.push_back(std::move(left));
            n->children.push_back(std::move(right));
            return n;
        }
        if (isWord("in")) {
            const std::size_t at = tok_.position;
            advance();
            return inSet(std::move(left), at);
        }
        if (isWord("contains") || isWord("matches")) {
            const bool contains = tok_.text == "contains";
            const std::size_t at = tok_.position;
            advance();
            if (left->type != ValueType::Text)
                throw ParseFailure{at, std::string(contains ? "contains" : "matches") + " needs a text on its left, not a " +
                                           valueTypeName(left->type)};
            if (tok_.kind != Token::Kind::Text)
                throw ParseFailure{tok_.position, std::string("expected a text in quotes after ") +
                                                      (contains ? "contains" : "matches")};
            NodePtr n = make(contains ? Node::Kind::Contains : Node::Kind::Matches, ValueType::Bool, at);
            n->text = tok_.text;
            if (!contains) {
                if (n->text.size() > kMaxPatternLength)
                    throw ParseFailure{tok_.position, "the pattern is longer than " + std::to_string(kMaxPatternLength) + " characters"};
                Result<Pattern> pattern = Pattern::compile(n->text);
                if (!pattern) throw ParseFailure{tok_.position, "bad pattern: " + pattern.error()};
                n->pattern = std::make_shared<const Pattern>(std::move(pattern).value());
            }
            advance();
            n->children.push_back(std::move(left));
            return n;
        }
        return left;
    }

    double literalNumber() {
        bool negative = false;
        const std::size_t at = tok_.position;
        if (is("-")) {
            negative = true;
            advance();
        }
        if (tok_.kind != Token::Kind::Number) throw ParseFailure{at, "expected a number in the set, found " + describe(tok_)};
        const double v = tok_.number;
        advance();
        return negative ? -v : v;
    }

    NodePtr inSet(NodePtr left, std::size_t at) {
        NodePtr n = make(Node::Kind::In, ValueType::Bool, at);
        if (left->type == ValueType::Bool) throw ParseFailure{at, "in needs a number or a text on its left"};
        expect("{");
        while (!is("}")) {
            if (left->type == ValueType::Text) {
                if (tok_.kind != Token::Kind::Text)
                    throw ParseFailure{tok_.position, "expected a text in quotes in the set, found " + describe(tok_)};
                n->texts.push_back(tok_.text);
                advance();
            } else {
                if (tok_.kind == Token::Kind::Text)
                    throw ParseFailure{tok_.position, "cannot compare a number with a text"};
                const double low = literalNumber();
                double high = low;
                if (is("..")) {
                    advance();
                    high = literalNumber();
                }
                n->ranges.emplace_back(low, high);
            }
            if (n->ranges.size() + n->texts.size() > kMaxExpressionNodes)
                throw ParseFailure{tok_.position, "the set is too long"};
            if (!is(",")) break;
            advance();
        }
        expect("}");
        n->children.push_back(std::move(left));
        return n;
    }

    NodePtr bitAnd() {
        NodePtr left = additive();
        while (is("&")) {
            const std::size_t at = tok_.position;
            advance();
            left = arithmetic('&', std::move(left), additive(), at);
        }
        return left;
    }

    NodePtr additive() {
        NodePtr left = multiplicative();
        while (is("+") || is("-")) {
            const char op = tok_.text[0];
            const std::size_t at = tok_.position;
            advance();
            left = arithmetic(op, std::move(left), multiplicative(), at);
        }
        return left;
    }

    NodePtr multiplicative() {
        NodePtr left = unary();
        while (is("*") || is("/") || is("%")) {
            const char op = tok_.text[0];
            const std::size_t at = tok_.position;
            advance();
            left = arithmetic(op, std::move(left), unary(), at);
        }
        return left;
    }

    NodePtr arithmetic(char op, NodePtr left, NodePtr right, std::size_t at) {
        for (const NodePtr* side : {&left, &right})
            if ((*side)->type != ValueType::Number)
                throw ParseFailure{(*side)->position, std::string("'") + op + "' needs numbers, not a " +
                                                          valueTypeName((*side)->type)};
        NodePtr n = make(Node::Kind::Arithmetic, ValueType::Number, at);
        n->op = op;
        n->children.push_back(std::move(left));
        n->children.push_back(std::move(right));
        return n;
    }

    NodePtr unary() {
        if (is("-")) {
            Deeper d(*this, tok_.position);
            const std::size_t at = tok_.position;
            advance();
            NodePtr operand = unary();
            if (operand->type != ValueType::Number) throw ParseFailure{operand->position, "'-' needs a number"};
            NodePtr n = make(Node::Kind::Negate, ValueType::Number, at);
            n->children.push_back(std::move(operand));
            return n;
        }
        if (is("!")) return notExpr();
        return primary();
    }

    NodePtr primary() {
        const Token t = tok_;
        switch (t.kind) {
        case Token::Kind::End: throw ParseFailure{t.position, "the expression ends where a value is expected"};
        case Token::Kind::Number: {
            advance();
            NodePtr n = make(Node::Kind::Number, ValueType::Number, t.position);
            n->number = t.number;
            return n;
        }
        case Token::Kind::Text: {
            advance();
            NodePtr n = make(Node::Kind::Text, ValueType::Text, t.position);
            n->text = t.text;
            return n;
        }
        case Token::Kind::Symbol:
            if (t.text == "(") {
                advance();
                NodePtr inner = orExpr();
                expect(")");
                return inner;
            }
            throw ParseFailure{t.position, "unexpected " + describe(t)};
        case Token::Kind::Name: break;
        }
        if (t.text == "true" || t.text == "false") {
            advance();
            NodePtr n = make(Node::Kind::Bool, ValueType::Bool, t.position);
            n->truth = t.text == "true";
            return n;
        }
        if (t.text == "any" || t.text == "all" || t.text == "count") {
            advance();
            if (is("(")) return call(t);
            // a field that happens to be named so
        } else {
            advance();
        }
        return field(t);
    }

    NodePtr call(const Token& name) {
        Deeper d(*this, name.position);
        advance();  // "("
        NodePtr inner = orExpr();
        expect(")");
        if (name.text == "count") {
            NodePtr n = make(Node::Kind::Count, ValueType::Number, name.position);
            // count(field): how many times the record holds it
            n->children.push_back(inner->kind == Node::Kind::Field && inner->children.empty() ? std::move(inner)
                                                                                               : test(std::move(inner)));
            return n;
        }
        NodePtr n = make(name.text == "any" ? Node::Kind::Any : Node::Kind::All, ValueType::Bool, name.position);
        n->children.push_back(test(std::move(inner)));
        return n;
    }

    NodePtr field(const Token& t) {
        std::vector<std::string> ambiguous;
        const FieldInfo* info = names_.find(t.text, &ambiguous);
        if (!info) {
            if (!ambiguous.empty()) {
                std::string list;
                for (std::size_t i = 0; i < ambiguous.size() && i < 6; ++i) list += (i ? ", " : "") + ambiguous[i];
                if (ambiguous.size() > 6) list += ", ...";
                throw ParseFailure{t.position, "\"" + t.text + "\" is a field of several record types; name one: " + list};
            }
            std::string what = "unknown field \"" + t.text + "\"";
            if (std::string guess = names_.nearest(t.text); !guess.empty()) what += " (did you mean " + guess + "?)";
            throw ParseFailure{t.position, what};
        }
        NodePtr n = make(Node::Kind::Field, info->type, t.position);
        n->slot = slotOf(info);
        n->text = info->name;
        if (is("[")) {
            Deeper d(*this, tok_.position);
            advance();
            NodePtr index = additive();
            if (index->type != ValueType::Number) throw ParseFailure{index->position, "an index is a number"};
            expect("]");
            n->children.push_back(std::move(index));
        }
        return n;
    }

    int slotOf(const FieldInfo* info) {
        for (std::size_t i = 0; i < out_.fields_.size(); ++i)
            if (out_.fields_[i] == info) return static_cast<int>(i);
        out_.fields_.push_back(info);
        return static_cast<int>(out_.fields_.size() - 1);
    }

    Lexer lexer_;
    const FieldNames& names_;
    Expression& out_;
    Token tok_;
    int depth_ = 0;
    std::size_t nodes_ = 0;
};

std::string positionedMessage(std::string_view text, std::size_t position, const std::string& what) {
    position = std::min(position, text.size());
    // One line of the text around the place, at most 72 characters of it.
    std::size_t from = position > 50 ? position - 50 : 0;
    std::size_t to = std::min(text.size(), from + 72);
    std::string line;
    for (std::size_t i = from; i < to; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        line += c < 0x20 || c >= 0x7f ? '?' : static_cast<char>(c);
    }
    return what + " at column " + std::to_string(position + 1) + "\n  " + line + "\n  " +
           std::string(position - from, ' ') + "^";
}

Result<Expression> Expression::parse(std::string_view text, const FieldNames& names) { return parse(text, names, false); }

Result<Expression> Expression::parseValue(std::string_view text, const FieldNames& names) { return parse(text, names, true); }

namespace {

// Marks Node::repeats through a parsed tree: every test of every record asks it.
bool markRepeats(Node& n, const std::vector<const FieldInfo*>& fields) {
    bool repeats = false;
    for (const auto& c : n.children) repeats = markRepeats(*c, fields) || repeats;
    if ((n.kind == Node::Kind::Field || n.kind == Node::Kind::Present) && n.children.empty())
        repeats = fields[static_cast<std::size_t>(n.slot)]->repeated;
    else if (n.kind == Node::Kind::Any || n.kind == Node::Kind::All || n.kind == Node::Kind::Count)
        repeats = false;
    n.repeats = repeats;
    return repeats;
}

} // namespace

Result<Expression> Expression::parse(std::string_view text, const FieldNames& names, bool value) {
    if (text.size() > kMaxExpressionLength)
        return failure("the expression is longer than " + std::to_string(kMaxExpressionLength) + " characters");
    Expression e;
    e.text_ = std::string(text);
    try {
        Parser parser(text, names, e);
        NodePtr root = value ? parser.parseValue() : parser.parseAll();
        markRepeats(*root, e.fields_);
        e.root_ = std::move(root);
    } catch (const ParseFailure& f) {
        return failure(positionedMessage(text, f.position, f.what));
    }
    return e;
}

bool Expression::headerOnly() const {
    for (const FieldInfo* f : fields_)
        if (f->source == FieldSource::Layout) return false;
    return true;
}

namespace {

bool readsRecordType(const Node& n) {
    if (n.kind == Node::Kind::RecordType) return true;
    for (const auto& c : n.children)
        if (readsRecordType(*c)) return true;
    return false;
}

} // namespace

bool readsOnly(const Expression& e, std::initializer_list<HeaderField> fields) {
    auto among = [&](HeaderField h) { return std::find(fields.begin(), fields.end(), h) != fields.end(); };
    for (const FieldInfo* f : e.fields())
        if (f->source == FieldSource::Layout || !among(f->header)) return false;
    return among(HeaderField::RecordType) || !readsRecordType(e.root());
}

bool isRecordTypeText(std::string_view text) {
    if (text == kAllRecords) return true;
    bool digit = false;
    for (const char c : text) {
        if (isDigit(c)) digit = true;
        else if (c != ' ' && c != ';' && c != ',' && c != '\t') return false;
    }
    return digit;
}

// ---------------------------------------------------------------------------
// Evaluation

double epochSeconds(const VxTIME& t) {
    const int y = t.year - 1;
    const long long daysBefore = 365LL * (y - 1969) + (y / 4 - 1969 / 4) - (y / 100 - 1969 / 100) + (y / 400 - 1969 / 400);
    const long long days = daysBefore + t.day - 1;
    return static_cast<double>(days * 86400LL + t.hours * 3600LL + t.minutes * 60LL) + static_cast<double>(t.seconds);
}

namespace {

class Evaluator {
public:
    Evaluator(const Expression& e, ByteSpan frame, const RecordContext& context, const FieldValues& values)
        : e_(e), frame_(frame), context_(context), values_(values), view_(frame) {}

    bool test(const Node& n, std::optional<std::size_t> element) const {
        switch (n.kind) {
        case Node::Kind::Bool: return n.truth;
        case Node::Kind::RecordType: return view_.hasHeader() && view_.recordType() == n.number;
        case Node::Kind::Present:
            if (e_.fields()[static_cast<std::size_t>(n.slot)]->type == ValueType::Bool) return boolean(n, element);
            return occurrences(n.slot) > 0;
        case Node::Kind::Field: return boolean(n, element);
        case Node::Kind::Not: return !test(*n.children[0], element);
        case Node::Kind::And: return test(*n.children[0], element) && test(*n.children[1], element);
        case Node::Kind::Or: return test(*n.children[0], element) || test(*n.children[1], element);
        case Node::Kind::Any:
        case Node::Kind::All: {
            const Node& inner = *n.children[0];
            if (!repeats(inner)) return test(inner, element);
            const std::size_t count = span(inner);
            if (count == 0) return false;  // no occurrence: nothing holds
            const bool any = n.kind == Node::Kind::Any;
            for (std::size_t i = 0; i < count; ++i)
                if (test(inner, i) == any) return any;
            return !any;
        }
        case Node::Kind::Compare:
        case Node::Kind::In:
        case Node::Kind::Contains:
        case Node::Kind::Matches:
            if (!element && repeats(n)) {
                // Unindexed repeated fields: the test holds for any occurrence.
                const std::size_t count = span(n);
                for (std::size_t i = 0; i < count; ++i)
                    if (leaf(n, i)) return true;
                return false;
            }
            return leaf(n, element);
        default: return false;
        }
    }

    // A node's number into `out`; false when the record has none. (Not an
    // optional: returned through memory it cost a stall on every call, and
    // this runs for every node of every record.)
    bool number(const Node& n, std::optional<std::size_t> element, double& out) const {
        switch (n.kind) {
        case Node::Kind::Number: out = n.number; return true;
        case Node::Kind::Field: {
            if (e_.fields()[static_cast<std::size_t>(n.slot)]->source != FieldSource::Layout) return headerNumber(n, out);
            const auto& list = values_.numbers[static_cast<std::size_t>(n.slot)];
            const std::optional<std::size_t> at = place(n, element);
            if (!at || *at >= list.size()) return false;
            out = list[*at];
            return true;
        }
        case Node::Kind::Negate:
            if (!number(*n.children[0], element, out)) return false;
            out = -out;
            return true;
        case Node::Kind::Arithmetic: {
            double a = 0, b = 0;
            if (!number(*n.children[0], element, a) || !number(*n.children[1], element, b)) return false;
            switch (n.op) {
            case '+': out = a + b; return true;
            case '-': out = a - b; return true;
            case '*': out = a * b; return true;
            case '/':
                if (b == 0) return false;  // no value: no test on it holds
                out = a / b;
                return true;
            case '%':
                if (b == 0) return false;
                out = std::fmod(a, b);
                return true;
            case '&':
                if (a < 0 || b < 0 || a >= 18446744073709551616.0 || b >= 18446744073709551616.0) return false;
                out = static_cast<double>(static_cast<std::uint64_t>(a) & static_cast<std::uint64_t>(b));
                return true;
            }
            return false;
        }
        case Node::Kind::Count: {
            const Node& inner = *n.children[0];
            if (inner.kind == Node::Kind::Field) {
                out = static_cast<double>(occurrences(inner.slot));
                return true;
            }
            if (!repeats(inner)) {
                out = test(inner, element) ? 1.0 : 0.0;
                return true;
            }
            const std::size_t count = span(inner);
            std::size_t hits = 0;
            for (std::size_t i = 0; i < count; ++i) hits += test(inner, i) ? 1 : 0;
            out = static_cast<double>(hits);
            return true;
        }
        default: return false;
        }
    }

    std::optional<std::string_view> text(const Node& n, std::optional<std::size_t> element) const {
        if (n.kind == Node::Kind::Text) return std::string_view(n.text);
        if (n.kind != Node::Kind::Field) return std::nullopt;
        const FieldInfo& f = *e_.fields()[static_cast<std::size_t>(n.slot)];
        if (f.source != FieldSource::Layout) {
            if (f.header == HeaderField::CaptureStream && context_.origin) return std::string_view(context_.origin->stream);
            return std::nullopt;
        }
        const auto& list = values_.texts[static_cast<std::size_t>(n.slot)];
        const std::optional<std::size_t> at = place(n, element);
        if (!at || *at >= list.size()) return std::nullopt;
        return std::string_view(list[*at]);
    }

    // What evaluateValues reads too.
    bool boolean(const Node& n, std::optional<std::size_t>) const {
        const FieldInfo& f = *e_.fields()[static_cast<std::size_t>(n.slot)];
        if (!view_.hasHeader() || !view_.hasChecksum()) return false;
        const auto stored = view_.checksumField();
        if (!stored) return false;
        const bool ok = *stored == computeChecksum(frame_, view_.size() - 4u);
        return f.header == HeaderField::ChecksumOk ? ok : !ok;
    }

    bool leaf(const Node& n, std::optional<std::size_t> element) const {
        const Node& a = *n.children[0];
        switch (n.kind) {
        case Node::Kind::Compare: {
            const Node& b = *n.children[1];
            if (a.type == ValueType::Number) {
                double x = 0, y = 0;
                if (!number(a, element, x) || !number(b, element, y)) return false;
                return compare(n.op, x < y ? -1 : x > y ? 1 : 0);
            }
            if (a.type == ValueType::Text) {
                auto x = text(a, element), y = text(b, element);
                if (!x || !y) return false;
                const int c = x->compare(*y);
                return compare(n.op, c < 0 ? -1 : c > 0 ? 1 : 0);
            }
            // booleans: a field that is absent equals nothing
            if (!present(a) || !present(b)) return false;
            return compare(n.op, test(a, element) == test(b, element) ? 0 : 1);
        }
        case Node::Kind::In:
            if (a.type == ValueType::Number) {
                double x = 0;
                if (!number(a, element, x)) return false;
                for (const auto& [low, high] : n.ranges)
                    if (x >= low && x <= high) return true;
                return false;
            } else {
                auto x = text(a, element);
                if (!x) return false;
                for (const std::string& t : n.texts)
                    if (*x == t) return true;
                return false;
            }
        case Node::Kind::Contains: {
            auto x = text(a, element);
            return x && x->find(n.text) != std::string_view::npos;
        }
        case Node::Kind::Matches: {
            auto x = text(a, element);
            return x && n.pattern->search(*x);
        }
        default: return false;
        }
    }

    bool present(const Node& n) const {
        if (n.kind != Node::Kind::Field && n.kind != Node::Kind::Present) return true;
        const FieldInfo& f = *e_.fields()[static_cast<std::size_t>(n.slot)];
        if (f.header == HeaderField::ChecksumOk || f.header == HeaderField::ChecksumBad)
            return view_.hasHeader() && view_.hasChecksum() && view_.checksumField().has_value();
        return true;
    }

    static bool compare(char op, int c) {
        switch (op) {
        case '=': return c == 0;
        case '!': return c != 0;
        case '<': return c < 0;
        case 'l': return c <= 0;
        case '>': return c > 0;
        case 'g': return c >= 0;
        }
        return false;
    }

    // Which occurrence a field node reads: its own index, the element being
    // iterated, or the first.
    std::optional<std::size_t> place(const Node& n, std::optional<std::size_t> element) const {
        if (!n.children.empty()) {
            double i = 0;
            if (!number(*n.children[0], element, i) || i < 0 || i != std::floor(i) || i > 1e15) return std::nullopt;
            return static_cast<std::size_t>(i);
        }
        if (element && e_.fields()[static_cast<std::size_t>(n.slot)]->repeated) return element;
        return 0;
    }

    std::size_t occurrences(int slot) const {
        const FieldInfo& f = *e_.fields()[static_cast<std::size_t>(slot)];
        if (f.source != FieldSource::Layout) {
            if (f.header == HeaderField::CaptureStream || f.header == HeaderField::CaptureTime) return context_.origin ? 1 : 0;
            if (f.header == HeaderField::ChecksumOk || f.header == HeaderField::ChecksumBad)
                return view_.hasHeader() && view_.hasChecksum() && view_.checksumField() ? 1 : 0;
            return view_.hasHeader() ? 1 : 0;
        }
        const auto s = static_cast<std::size_t>(slot);
        return f.type == ValueType::Text ? values_.texts[s].size() : values_.numbers[s].size();
    }

    // Does the subtree read an unindexed repeated field (not inside a nested any/all/count)?
    static bool repeats(const Node& n) { return n.repeats; }

    // How many occurrences an iteration over a subtree runs through: the most
    // of any unindexed repeated field in it.
    std::size_t span(const Node& n) const {
        if ((n.kind == Node::Kind::Field || n.kind == Node::Kind::Present) && n.children.empty())
            return e_.fields()[static_cast<std::size_t>(n.slot)]->repeated ? occurrences(n.slot) : 0;
        if (n.kind == Node::Kind::Any || n.kind == Node::Kind::All || n.kind == Node::Kind::Count) return 0;
        std::size_t most = 0;
        for (const auto& c : n.children) most = std::max(most, span(*c));
        return most;
    }

    bool headerNumber(const Node& n, double& out) const {
        const FieldInfo& f = *e_.fields()[static_cast<std::size_t>(n.slot)];
        if (f.source == FieldSource::Context) {
            if (f.header == HeaderField::Row) {
                out = static_cast<double>(context_.recordNumber);
                return true;
            }
            if (f.header == HeaderField::CaptureTime && context_.origin) {
                out = static_cast<double>(context_.origin->seconds) + context_.origin->microseconds / 1e6;
                return true;
            }
            return false;
        }
        if (!view_.hasHeader()) return false;
        switch (f.header) {
        case HeaderField::ProtocolVersion: out = view_.protocolVersion(); return true;
        case HeaderField::Offset: out = view_.offset(); return true;
        case HeaderField::Size: out = view_.size(); return true;
        case HeaderField::OptionalOffset: out = view_.optionalDataOffset(); return true;
        case HeaderField::OptionalId: out = view_.optionalDataId(); return true;
        case HeaderField::Time: out = epochSeconds(view_.time()); return true;
        case HeaderField::RecordVersion: out = view_.recordVersion(); return true;
        case HeaderField::RecordType: out = view_.recordType(); return true;
        case HeaderField::Device: out = view_.deviceId(); return true;
        case HeaderField::Enumerator: out = view_.systemEnumerator(); return true;
        case HeaderField::RecordCounter: out = view_.recordCounter(); return true;
        case HeaderField::Flags: out = view_.flags(); return true;
        case HeaderField::FragmentsTotal: out = view_.totalFragments(); return true;
        case HeaderField::FragmentNumber: out = view_.fragmentNumber(); return true;
        default: return false;
        }
    }

    const Expression& e_;
    ByteSpan frame_;
    const RecordContext& context_;
    const FieldValues& values_;
    FrameView view_;
};

// Three-valued: what a subtree is for every record of one type, when the type decides it.
enum class Tri { False, True, Unknown };

Tri decide(const Expression& e, const Node& n, std::uint32_t type);

// A node that reads a field not of `type` reads nothing on such records; one
// that reads any other field than the record type needs the record.
bool readsOnly(const Expression& e, const Node& n, std::uint32_t type, bool& absent) {
    if (n.kind == Node::Kind::Field || n.kind == Node::Kind::Present) {
        const FieldInfo& f = *e.fields()[static_cast<std::size_t>(n.slot)];
        if (f.source == FieldSource::Layout && f.recordType != type) absent = true;
        else if (!(f.source == FieldSource::Header && f.header == HeaderField::RecordType)) return false;
    }
    for (const auto& c : n.children)
        if (!readsOnly(e, *c, type, absent)) return false;
    return true;
}

Tri decide(const Expression& e, const Node& n, std::uint32_t type) {
    switch (n.kind) {
    case Node::Kind::Bool: return n.truth ? Tri::True : Tri::False;
    case Node::Kind::RecordType: return n.number == type ? Tri::True : Tri::False;
    case Node::Kind::Not: {
        const Tri t = decide(e, *n.children[0], type);
        return t == Tri::Unknown ? t : t == Tri::True ? Tri::False : Tri::True;
    }
    case Node::Kind::And: {
        const Tri a = decide(e, *n.children[0], type), b = decide(e, *n.children[1], type);
        if (a == Tri::False || b == Tri::False) return Tri::False;
        return a == Tri::True && b == Tri::True ? Tri::True : Tri::Unknown;
    }
    case Node::Kind::Or: {
        const Tri a = decide(e, *n.children[0], type), b = decide(e, *n.children[1], type);
        if (a == Tri::True || b == Tri::True) return Tri::True;
        return a == Tri::False && b == Tri::False ? Tri::False : Tri::Unknown;
    }
    default: break;
    }
    bool absent = false;
    if (!readsOnly(e, n, type, absent)) return Tri::Unknown;
    // A test on a field records of this type never hold does not hold.
    if (absent) return Tri::False;
    // Only the record type and literals: any record of the type answers alike.
    Bytes header(kFrameHeaderSize, 0);
    header[frame_offsets::syncPattern] = 0xFF;
    header[frame_offsets::syncPattern + 1] = 0xFF;
    for (int i = 0; i < 4; ++i) header[frame_offsets::recordType + i] = static_cast<std::uint8_t>(type >> (8 * i));
    FieldValues none;
    none.numbers.resize(e.fields().size());
    none.texts.resize(e.fields().size());
    const RecordContext context;
    return Evaluator(e, header, context, none).test(n, std::nullopt) ? Tri::True : Tri::False;
}

} // namespace

bool evaluate(const Expression& e, ByteSpan frame, const RecordContext& context, const FieldValues& values) {
    return Evaluator(e, frame, context, values).test(e.root(), std::nullopt);
}

void evaluateValues(const Expression& e, ByteSpan frame, const RecordContext& context, const FieldValues& values,
                    std::vector<Value>& out) {
    const Evaluator ev(e, frame, context, values);
    const Node& root = e.root();
    auto one = [&](std::optional<std::size_t> element) {
        Value v;
        v.type = root.type;
        switch (root.type) {
        case ValueType::Number: {
            if (!ev.number(root, element, v.number)) return;
            break;
        }
        case ValueType::Text: {
            const auto x = ev.text(root, element);
            if (!x) return;
            v.text = std::string(*x);
            break;
        }
        case ValueType::Bool:
            if (!ev.present(root)) return;
            v.truth = ev.test(root, element);
            break;
        }
        if (root.kind == Node::Kind::Field) v.occurrence = ev.place(root, element);
        out.push_back(std::move(v));
    };
    if (!ev.repeats(root)) {
        one(std::nullopt);
        return;
    }
    // A repeated field without an index: a value per occurrence.
    const std::size_t count = ev.span(root);
    for (std::size_t i = 0; i < count; ++i) one(i);
}

std::optional<bool> decideByType(const Expression& e, std::uint32_t recordType) {
    const Tri t = decide(e, e.root(), recordType);
    if (t == Tri::Unknown) return std::nullopt;
    return t == Tri::True;
}

} // namespace tarvik::expr
