#pragma once
// The regular expressions of `matches`: ECMAScript syntax without
// back-references or look-ahead, compiled to a small state machine that is run
// over the text once, with every start position followed at the same time. A
// search therefore costs at most the text's length times the machine's size,
// and that size is bounded when the pattern is compiled (counted repetitions
// included), whatever pattern and text a user hands us.

#include "core/result.h"

#include <bitset>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tarvik::expr {

class Pattern {
public:
    // Steps the machine may have; a pattern whose repetitions come to more is refused.
    static constexpr std::size_t kMaxSteps = 4096;

    // Compiles a pattern; the failure says what is wrong and where.
    static Result<Pattern> compile(std::string_view pattern);
    // Whether the pattern matches anywhere in `text` (bytes, as the field holds them).
    bool search(std::string_view text) const;
    std::size_t steps() const { return program_.size(); }

    enum class Op : std::uint8_t { Byte, Split, Jump, Begin, End, WordBoundary, NotWordBoundary, Match };
    struct Step {
        Op op = Op::Match;
        std::uint32_t set = 0;  // Byte: index into sets_
        std::uint32_t x = 0;    // Split, Jump: next step; Split also y
        std::uint32_t y = 0;
    };

private:
    friend class PatternCompiler;
    std::vector<Step> program_;
    std::vector<std::bitset<256>> sets_;
};

} // namespace tarvik::expr
