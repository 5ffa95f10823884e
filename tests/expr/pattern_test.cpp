// The matcher of `matches`: the same answers as the standard library's
// ECMAScript search on the patterns it takes, refusals for what it does not
// take, and a cost that stays linear in the text on patterns that make a
// backtracking or per-start-position search crawl.

#include "expr/pattern.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

using tarvik::expr::Pattern;

namespace {
bool found(const std::string& pattern, const std::string& text) {
    const auto p = Pattern::compile(pattern);
    EXPECT_TRUE(p.ok()) << pattern << ": " << p.error();
    return p.ok() && p->search(text);
}
std::string refusal(const std::string& pattern) {
    const auto p = Pattern::compile(pattern);
    return p.ok() ? std::string("(compiled)") : p.error();
}
} // namespace

TEST(Pattern, AgreesWithTheStandardSearchOnEveryFormItTakes) {
    const std::vector<std::string> patterns = {
        "abc", "^abc", "abc$", "^$", "a|b|", "a.c", "a*", "^a+$", "^a?b", "(ab)+c", "(?:ab){2}", "a{2,}", "^a{1,3}$",
        "^(a|ab)(c|bcd)$", "[a-c]+", "[^a-c]", "[]", "[^]", "[-a]", "[a-]", "[\\d.]+", "\\d{3}", "\\D", "\\w+\\W",
        "\\s", "\\S+", "\\bcd\\b", "\\Bb", "x*?y", "a+?$", "\\x41", "\\u0041", "\\t", "\\.", "\\$", "a\\]",
        "[[:alpha:]]+[[:digit:]]", "(a*)*b", "(a|)*$", "^(a+)+$", "TCP .*:7000 ", ".", "\\n", "[\\n]", "a{0}b", "(^a)"};
    const std::vector<std::string> texts = {"", "abc", "xabcx", "aaa", "aab", "b", "ababc", "abcd", "abbcd", "A1",
                                            "1.5", "123", "a b", "ab cd e", "x\ny", "tab\there", "$", "a]", "xxy",
                                            "TCP 10.0.0.1:7000 -> 10.0.0.2:5", "\r", "caab", "bb"};
    for (const std::string& pattern : patterns) {
        const auto ours = Pattern::compile(pattern);
        ASSERT_TRUE(ours.ok()) << pattern << ": " << ours.error();
        const std::regex theirs(pattern, std::regex::ECMAScript | std::regex::nosubs);
        for (const std::string& text : texts)
            EXPECT_EQ(ours->search(text), std::regex_search(text, theirs)) << "/" << pattern << "/ on \"" << text << "\"";
    }
    // Bytes above 127 and a zero byte are bytes like any other.
    EXPECT_TRUE(found("\\xff\\x00", std::string("a\xff\0b", 4)));
    EXPECT_TRUE(found("\\u20ac", "5 \xe2\x82\xac"));  // a code above \xff is its UTF-8 bytes
    EXPECT_TRUE(found("[^a]", "\xfe"));
}

TEST(Pattern, RefusesWhatItDoesNotTakeSayingWhere) {
    EXPECT_EQ(refusal("(a)\\1"), "back-references are not supported at character 4");
    EXPECT_NE(refusal("(?=a)").find("look-ahead"), std::string::npos);
    EXPECT_NE(refusal("(?!a)").find("look-ahead"), std::string::npos);
    EXPECT_NE(refusal("(a").find("without its ')'"), std::string::npos);
    EXPECT_NE(refusal("a)").find("without its '('"), std::string::npos);
    EXPECT_NE(refusal("[a").find("without its ']'"), std::string::npos);
    EXPECT_NE(refusal("*a").find("nothing to repeat"), std::string::npos);
    EXPECT_NE(refusal("a**").find("nothing to repeat"), std::string::npos);
    EXPECT_NE(refusal("^*").find("nothing to repeat"), std::string::npos);
    EXPECT_NE(refusal("[z-a]").find("below its start"), std::string::npos);
    EXPECT_NE(refusal("a{3,2}").find("below its minimum"), std::string::npos);
    EXPECT_NE(refusal("\\xg1").find("hexadecimal"), std::string::npos);
    EXPECT_NE(refusal("a\\").find("at the end"), std::string::npos);
    EXPECT_NE(refusal(std::string(200, '(') + std::string(200, ')')).find("nested too deep"), std::string::npos);
    // Counted repetitions are counted out before anything is laid out.
    EXPECT_NE(refusal("a{4097}").find("too large"), std::string::npos);
    EXPECT_NE(refusal("((a{1000}){1000}){1000}").find("too large"), std::string::npos);
    EXPECT_NE(refusal("a{99999999999}").find("above"), std::string::npos);
    EXPECT_EQ(refusal("a{4096}"), "(compiled)");
    EXPECT_EQ(Pattern::compile("a{4095}").value().steps(), 4096u);  // and the final match
}

TEST(Pattern, CostsTheTextsLengthTimesThePatternsSizeAtMost) {
    // Each of these took minutes on a search that restarts at every position.
    const std::string text(20000, 'a');
    const auto start = std::chrono::steady_clock::now();
    for (const char* pattern : {"(a|aa)*b", "(a*)*b", "(.*a){20}b", "(x+x+)+y", "a{100}b"})
        EXPECT_FALSE(found(pattern, text)) << pattern;
    EXPECT_TRUE(found("a{4000}$", text));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}
