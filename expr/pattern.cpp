#include "expr/pattern.h"

#include <algorithm>
#include <cctype>
#include <ctype.h>
#include <string>

namespace tarvik::expr {

namespace {

using Set = std::bitset<256>;
constexpr int kUnbounded = -1;
constexpr int kMaxCount = 100000;  // a repetition count above is refused before anything is counted out
constexpr int kMaxNesting = 100;

bool isWordByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

Set setOf(bool (*in)(unsigned char)) {
    Set s;
    for (int c = 0; c < 256; ++c)
        if (in(static_cast<unsigned char>(c))) s.set(static_cast<std::size_t>(c));
    return s;
}
bool isDigitByte(unsigned char c) { return c >= '0' && c <= '9'; }
bool isSpaceByte(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

struct Failure {
    std::string text;
};

// The pattern as a tree, before it is laid out as steps.
struct Node {
    enum class Kind : std::uint8_t { Empty, Byte, Concat, Alternatives, Repeat, Assert } kind = Kind::Empty;
    std::uint32_t set = 0;
    Pattern::Op assertion = Pattern::Op::Begin;
    int min = 0, max = 0;
    std::vector<Node> children;
};

} // namespace

class PatternCompiler {
public:
    explicit PatternCompiler(std::string_view text) : text_(text) {}

    Pattern compile() {
        Node root = alternatives();
        if (at_ < text_.size()) fail(text_[at_] == ')' ? "a ')' without its '('" : "unexpected character");
        if (steps(root) > Pattern::kMaxSteps)
            throw Failure{"the pattern is too large once its repetitions are counted out (more than " +
                          std::to_string(Pattern::kMaxSteps) + " steps)"};
        emit(root);
        pattern_.program_.push_back({Pattern::Op::Match, 0, 0, 0});
        return std::move(pattern_);
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;
    int depth_ = 0;
    Pattern pattern_;

    [[noreturn]] void fail(const std::string& what) const {
        throw Failure{what + " at character " + std::to_string(at_ + 1)};
    }
    bool more() const { return at_ < text_.size(); }
    char peek() const { return text_[at_]; }

    std::uint32_t addSet(const Set& s) {
        pattern_.sets_.push_back(s);
        return static_cast<std::uint32_t>(pattern_.sets_.size() - 1);
    }
    Node byteNode(const Set& s) {
        Node n;
        n.kind = Node::Kind::Byte;
        n.set = addSet(s);
        return n;
    }

    Node alternatives() {
        if (++depth_ > kMaxNesting) fail("groups nested too deep");
        Node n;
        n.kind = Node::Kind::Alternatives;
        n.children.push_back(sequence());
        while (more() && peek() == '|') {
            ++at_;
            n.children.push_back(sequence());
        }
        --depth_;
        if (n.children.size() == 1) return std::move(n.children[0]);
        return n;
    }

    Node sequence() {
        Node n;
        n.kind = Node::Kind::Concat;
        while (more() && peek() != '|' && peek() != ')') n.children.push_back(quantified());
        return n;
    }

    Node quantified() {
        const std::size_t start = at_;
        Node atom = this->atom();
        if (!more()) return atom;
        int min = 0, max = 0;
        const char c = peek();
        if (c == '*') min = 0, max = kUnbounded;
        else if (c == '+') min = 1, max = kUnbounded;
        else if (c == '?') min = 0, max = 1;
        else if (c == '{') {
            if (!braces(min, max)) return atom;  // a '{' that opens no count stands for itself
        } else return atom;
        if (c != '{') ++at_;
        if (atom.kind == Node::Kind::Assert) {
            at_ = start;
            fail("nothing to repeat");
        }
        if (more() && peek() == '?') ++at_;  // lazy: the same answer to "is there a match"
        if (more() && (peek() == '*' || peek() == '+' || peek() == '?' || peek() == '{')) fail("nothing to repeat");
        Node n;
        n.kind = Node::Kind::Repeat;
        n.min = min;
        n.max = max;
        n.children.push_back(std::move(atom));
        return n;
    }

    // {n}, {n,} or {n,m} at at_; false, with at_ unchanged, for a '{' that is no count.
    bool braces(int& min, int& max) {
        std::size_t p = at_ + 1;
        auto number = [&](int& out) {
            const std::size_t first = p;
            long long v = 0;
            while (p < text_.size() && text_[p] >= '0' && text_[p] <= '9') {
                v = std::min<long long>(v * 10 + (text_[p] - '0'), kMaxCount + 1);
                ++p;
            }
            out = static_cast<int>(v);
            return p > first;
        };
        if (!number(min)) return false;
        max = min;
        if (p < text_.size() && text_[p] == ',') {
            ++p;
            if (!number(max)) max = kUnbounded;
        }
        if (p >= text_.size() || text_[p] != '}') return false;
        if (min > kMaxCount || max > kMaxCount) fail("a repetition count above " + std::to_string(kMaxCount));
        if (max != kUnbounded && max < min) fail("a repetition whose maximum is below its minimum");
        at_ = p + 1;
        return true;
    }

    Node atom() {
        const char c = peek();
        switch (c) {
        case '*': case '+': case '?': fail("nothing to repeat");
        case '(': {
            ++at_;
            if (text_.substr(at_, 2) == "?:") at_ += 2;
            else if (text_.substr(at_, 2) == "?=" || text_.substr(at_, 2) == "?!" || text_.substr(at_, 1) == "?")
                fail("look-ahead and other group forms are not supported");
            Node inside = alternatives();
            if (!more() || peek() != ')') fail("a '(' without its ')'");
            ++at_;
            return inside;
        }
        case '[': return byteNode(bracket());
        case '.': {
            ++at_;
            Set any;
            any.set();
            any.reset('\n');
            any.reset('\r');
            return byteNode(any);
        }
        case '^': ++at_; return assertion(Pattern::Op::Begin);
        case '$': ++at_; return assertion(Pattern::Op::End);
        case '\\': {
            ++at_;
            if (!more()) fail("a '\\' at the end of the pattern");
            if (peek() == 'b') return ++at_, assertion(Pattern::Op::WordBoundary);
            if (peek() == 'B') return ++at_, assertion(Pattern::Op::NotWordBoundary);
            return escapedNode();
        }
        default: {
            ++at_;
            Set s;
            s.set(static_cast<unsigned char>(c));
            return byteNode(s);
        }
        }
    }

    Node assertion(Pattern::Op op) {
        Node n;
        n.kind = Node::Kind::Assert;
        n.assertion = op;
        return n;
    }

    // After a '\' outside brackets: a class escape or one character (a code
    // above \xff stands for its UTF-8 bytes, as a field's text holds it).
    Node escapedNode() {
        Set s;
        if (classEscape(s)) return byteNode(s);
        const std::uint32_t code = characterEscape();
        if (code < 0x100) {
            s.set(code);
            return byteNode(s);
        }
        Node n;
        n.kind = Node::Kind::Concat;
        for (unsigned char byte : utf8(code)) {
            Set one;
            one.set(byte);
            n.children.push_back(byteNode(one));
        }
        return n;
    }

    static std::string utf8(std::uint32_t code) {
        std::string out;
        if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
        } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        }
        out += static_cast<char>(0x80 | (code & 0x3F));
        return out;
    }

    // \d \D \w \W \s \S at at_ (after the '\'): adds the class to `s`.
    bool classEscape(Set& s) {
        const char c = peek();
        Set add;
        switch (c) {
        case 'd': case 'D': add = setOf(isDigitByte); break;
        case 'w': case 'W': add = setOf(isWordByte); break;
        case 's': case 'S': add = setOf(isSpaceByte); break;
        default: return false;
        }
        if (c >= 'A' && c <= 'Z') add.flip();
        s |= add;
        ++at_;
        return true;
    }

    // One character after a '\' (at at_), as a code.
    std::uint32_t characterEscape() {
        const char c = peek();
        ++at_;
        auto hex = [&](int digits) {
            std::uint32_t v = 0;
            for (int i = 0; i < digits; ++i) {
                if (!more() || !std::isxdigit(static_cast<unsigned char>(peek()))) fail("a bad hexadecimal escape");
                const char h = peek();
                v = v * 16 + static_cast<std::uint32_t>(h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                ++at_;
            }
            return v;
        };
        switch (c) {
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        case 'f': return '\f';
        case 'v': return '\v';
        case '0': return 0;
        case 'x': return hex(2);
        case 'u': return hex(4);
        case 'c':
            if (!more() || !std::isalpha(static_cast<unsigned char>(peek()))) fail("a bad control escape");
            return static_cast<std::uint32_t>(text_[at_++] % 32);
        default:
            if (c >= '1' && c <= '9') {
                at_ -= 2;  // at the '\\'
                fail("back-references are not supported");
            }
            return static_cast<unsigned char>(c);  // an escaped character stands for itself
        }
    }

    // [...] at at_.
    Set bracket() {
        ++at_;
        bool negated = false;
        if (more() && peek() == '^') negated = true, ++at_;
        Set s;
        bool first = true;
        while (true) {
            if (!more()) fail("a '[' without its ']'");
            if (peek() == ']' && !first) break;
            if (peek() == ']' && first) break;  // [] matches nothing, [^] anything
            first = false;
            int low = member(s);
            if (low < 0) continue;  // a class (\d, [:alpha:]) was added
            if (at_ + 1 < text_.size() && peek() == '-' && text_[at_ + 1] != ']') {
                ++at_;
                const int high = member(s);
                if (high < 0) fail("a range that ends in a class");
                if (high < low) fail("a range whose end is below its start");
                for (int c = low; c <= high; ++c) s.set(static_cast<std::size_t>(c));
                continue;
            }
            s.set(static_cast<std::size_t>(low));
        }
        ++at_;
        if (negated) s.flip();
        return s;
    }

    // One member of a bracket: a byte (returned), or a class added to `s` (-1).
    int member(Set& s) {
        const char c = peek();
        if (c == '[' && at_ + 1 < text_.size() && text_[at_ + 1] == ':') {
            const std::size_t end = text_.find(":]", at_ + 2);
            if (end == std::string_view::npos) fail("a '[:' without its ':]'");
            const std::string_view name = text_.substr(at_ + 2, end - at_ - 2);
            int (*test)(int) = nullptr;
            if (name == "alpha") test = ::isalpha;
            else if (name == "digit") test = ::isdigit;
            else if (name == "alnum") test = ::isalnum;
            else if (name == "space") test = ::isspace;
            else if (name == "upper") test = ::isupper;
            else if (name == "lower") test = ::islower;
            else if (name == "punct") test = ::ispunct;
            else if (name == "xdigit") test = ::isxdigit;
            else if (name == "cntrl") test = ::iscntrl;
            else if (name == "print") test = ::isprint;
            else if (name == "graph") test = ::isgraph;
            else if (name == "blank") test = ::isblank;
            else fail("an unknown class [:" + std::string(name) + ":]");
            for (int b = 0; b < 128; ++b)
                if (test(b)) s.set(static_cast<std::size_t>(b));
            at_ = end + 2;
            return -1;
        }
        if (c != '\\') {
            ++at_;
            return static_cast<unsigned char>(c);
        }
        ++at_;
        if (!more()) fail("a '\\' at the end of the pattern");
        if (classEscape(s)) return -1;
        if (peek() == 'b') return ++at_, '\b';
        const std::uint32_t code = characterEscape();
        if (code > 0xFF) fail("a character above \\xff in brackets");
        return static_cast<int>(code);
    }

    // Steps a node lays out, counted up to just past the bound.
    static std::size_t steps(const Node& n) {
        constexpr std::size_t cap = Pattern::kMaxSteps + 1;
        auto sum = [&](std::size_t a, std::size_t b) { return std::min(cap, a + b); };
        switch (n.kind) {
        case Node::Kind::Empty: return 0;
        case Node::Kind::Byte:
        case Node::Kind::Assert: return 1;
        case Node::Kind::Concat:
        case Node::Kind::Alternatives: {
            std::size_t total = n.kind == Node::Kind::Alternatives ? 2 * (n.children.size() - 1) : 0;
            for (const Node& c : n.children) total = sum(total, steps(c));
            return total;
        }
        case Node::Kind::Repeat: {
            const std::size_t body = steps(n.children[0]);
            // body is at most cap and a count at most kMaxCount: the products fit.
            const std::size_t total = std::min(cap, static_cast<std::size_t>(n.min) * body);
            if (n.max == kUnbounded) return sum(total, body + 2);
            const std::size_t optional = static_cast<std::size_t>(n.max - n.min);
            return sum(total, optional == 0 ? 0 : std::min(cap, optional * (body + 1)));
        }
        }
        return cap;
    }

    std::uint32_t push(Pattern::Op op, std::uint32_t x = 0, std::uint32_t y = 0, std::uint32_t set = 0) {
        pattern_.program_.push_back({op, set, x, y});
        return static_cast<std::uint32_t>(pattern_.program_.size() - 1);
    }
    std::uint32_t here() const { return static_cast<std::uint32_t>(pattern_.program_.size()); }

    void emit(const Node& n) {
        auto& program = pattern_.program_;
        switch (n.kind) {
        case Node::Kind::Empty: return;
        case Node::Kind::Byte: push(Pattern::Op::Byte, 0, 0, n.set); return;
        case Node::Kind::Assert: push(n.assertion); return;
        case Node::Kind::Concat:
            for (const Node& c : n.children) emit(c);
            return;
        case Node::Kind::Alternatives: {
            std::vector<std::uint32_t> jumps;
            for (std::size_t i = 0; i + 1 < n.children.size(); ++i) {
                const std::uint32_t split = push(Pattern::Op::Split);
                program[split].x = here();
                emit(n.children[i]);
                jumps.push_back(push(Pattern::Op::Jump));
                program[split].y = here();
            }
            emit(n.children.back());
            for (std::uint32_t j : jumps) program[j].x = here();
            return;
        }
        case Node::Kind::Repeat: {
            for (int i = 0; i < n.min; ++i) emit(n.children[0]);
            if (n.max == kUnbounded) {
                const std::uint32_t loop = push(Pattern::Op::Split);
                program[loop].x = here();
                emit(n.children[0]);
                push(Pattern::Op::Jump, loop);
                program[loop].y = here();
                return;
            }
            std::vector<std::uint32_t> splits;
            for (int i = n.min; i < n.max; ++i) {
                splits.push_back(push(Pattern::Op::Split));
                program[splits.back()].x = here();
                emit(n.children[0]);
            }
            for (std::uint32_t s : splits) program[s].y = here();
            return;
        }
        }
    }
};

Result<Pattern> Pattern::compile(std::string_view pattern) {
    try {
        return PatternCompiler(pattern).compile();
    } catch (const Failure& f) {
        return failure(f.text);
    }
}

bool Pattern::search(std::string_view text) const {
    // Two lists of the steps waiting for the next byte; a step is put on a
    // list once per position (the mark), which also ends loops of steps that
    // consume nothing.
    const std::size_t n = program_.size();
    std::vector<std::uint32_t> current, next, stack;
    current.reserve(n);
    next.reserve(n);
    std::vector<std::size_t> mark(n, 0);
    const auto bytes = reinterpret_cast<const unsigned char*>(text.data());
    bool matched = false;

    // Adds step `from` and every step it leads to without consuming a byte, at `pos`.
    auto add = [&](std::vector<std::uint32_t>& list, std::uint32_t from, std::size_t pos) {
        stack.push_back(from);
        while (!stack.empty() && !matched) {
            const std::uint32_t pc = stack.back();
            stack.pop_back();
            if (mark[pc] == pos + 1) continue;
            mark[pc] = pos + 1;
            const Step& s = program_[pc];
            const bool before = pos > 0 && isWordByte(bytes[pos - 1]);
            const bool after = pos < text.size() && isWordByte(bytes[pos]);
            switch (s.op) {
            case Op::Byte: list.push_back(pc); break;
            case Op::Match: matched = true; break;
            case Op::Jump: stack.push_back(s.x); break;
            case Op::Split: stack.push_back(s.y), stack.push_back(s.x); break;
            case Op::Begin: if (pos == 0) stack.push_back(pc + 1); break;
            case Op::End: if (pos == text.size()) stack.push_back(pc + 1); break;
            case Op::WordBoundary: if (before != after) stack.push_back(pc + 1); break;
            case Op::NotWordBoundary: if (before == after) stack.push_back(pc + 1); break;
            }
        }
        stack.clear();
    };

    for (std::size_t pos = 0;; ++pos) {
        add(current, 0, pos);  // a match may start at every position
        if (matched) return true;
        if (pos == text.size()) return false;
        next.clear();
        for (std::uint32_t pc : current)
            if (sets_[program_[pc].set].test(bytes[pos])) add(next, pc + 1, pos + 1);
        if (matched) return true;
        current.swap(next);
    }
}

} // namespace tarvik::expr
