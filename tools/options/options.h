#pragma once
// The command-line conventions tarvik-cli and vxcenter-sim share: one help
// layout (the synopsis, what the command does, then its options), number options
// that take decimal digits only and refuse out-of-range values instead of
// wrapping them, and every usage error said in one line on stderr with exit
// status 2.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>

namespace tarvik::options {

inline constexpr int kExitUsage = 2;

// A whole number written in decimal digits (no sign, no other base) from lo to hi.
// Give it with ->transform(): it rewrites the value without leading zeros, which
// the parser would otherwise read as octal ("010" is ten).
CLI::Validator wholeNumber(std::uint64_t lo, std::uint64_t hi);
template <typename T>
CLI::Validator wholeNumber() {
    return wholeNumber(0, std::numeric_limits<T>::max());
}
// A finite decimal number ("2", "0.5", "1e3") from lo to hi.
CLI::Validator decimalNumber(double lo, double hi);

// An option that takes one value each time it is given and may be given again:
// "--request 7000 --request 7001" (a second word after the value is a positional).
CLI::Option* repeatable(CLI::Option* option);

// A usage error found once the words are read (options that do not go
// together, a value that contradicts another): reported as the parser's own.
[[noreturn]] void usageError(const std::string& what, const std::string& text);
[[noreturn]] void usageError(const std::string& text);

// The help layout: "Usage:" with the command's own synopsis lines, the
// one-line summary and the longer explanation, then the positionals and
// options, each with the name of its value (the synopsis shows which go together).
class HelpFormatter : public CLI::Formatter {
public:
    struct Text {
        std::string synopsis;  // "tarvik-cli list FILE [--filter TEXT]", lines joined by '\n'
        std::string details;   // paragraphs shown under the summary
    };
    void describe(const CLI::App* app, Text text) { texts_[app] = std::move(text); }

    std::string make_usage(const CLI::App* app, std::string name) const override;
    std::string make_description(const CLI::App* app) const override;
    std::string make_option_opts(const CLI::Option* option) const override;
    std::string make_group(std::string group, bool is_positional, std::vector<const CLI::Option*> opts) const override;
    std::string make_positionals(const CLI::App* app) const override;

private:
    std::map<const CLI::App*, Text> texts_;
};

// Gives a program's app the shared help layout and --version ("NAME VERSION").
void setUpProgram(CLI::App& app, const std::string& version, HelpFormatter::Text text);

// A subcommand with its one-line summary (listed by the program's --help),
// its synopsis and explanation (its own --help).
CLI::App* addCommand(CLI::App& program, const std::string& name, const std::string& summary,
                     HelpFormatter::Text text);

// Reads the arguments. Returns nothing when the program goes on; otherwise the
// exit status: 0 after --help or --version, 2 after a usage error (one line on stderr).
std::optional<int> parseArguments(CLI::App& app, int argc, const char* const* argv);

// Says a usage error in one line on stderr ("PROGRAM [COMMAND]: what is wrong") and returns 2.
// A word that looks like an option but is none is said to be unknown, with the
// nearest option of the command when one is close.
int reportUsageError(const CLI::App& app, const CLI::Error& error);

// The candidate nearest to a mistyped word, when one is close enough to be
// what was meant (a few letters apart, or the word is the start of it).
std::optional<std::string> nearestWord(std::string_view word, const std::vector<std::string>& candidates);

} // namespace tarvik::options
