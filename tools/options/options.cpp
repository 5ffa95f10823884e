#include "tools/options/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace tarvik::options {

namespace {

// Bounds as a reader writes them: 1000000 rather than 1e+06, 0.001 as it stands.
std::string numberText(double value) {
    char text[64];
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        std::snprintf(text, sizeof text, "%.0f", value);
    else
        std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

CLI::Validator wholeNumber(std::uint64_t lo, std::uint64_t hi) {
    const bool bounded = lo != 0 || hi != std::numeric_limits<std::uint64_t>::max();
    std::string expected = "a whole number";
    if (bounded) expected += " from " + std::to_string(lo) + " to " + std::to_string(hi);
    return CLI::Validator(
        [lo, hi, expected](std::string& input) -> std::string {
            std::uint64_t value = 0;
            const char* end = input.data() + input.size();
            const bool digits = !input.empty() && input.find_first_not_of("0123456789") == std::string::npos;
            const auto [stop, ec] = std::from_chars(input.data(), end, value);
            if (!digits || ec != std::errc{} || stop != end || value < lo || value > hi)
                return input + " is not " + expected;
            input = std::to_string(value);  // "010" is ten, not an octal eight
            return {};
        },
        "");
}

CLI::Validator decimalNumber(double lo, double hi) {
    const std::string expected = "a number from " + numberText(lo) + " to " + numberText(hi);
    return CLI::Validator(
        [lo, hi, expected](std::string& input) -> std::string {
            double value = 0;
            const char* end = input.data() + input.size();
            const auto [stop, ec] = std::from_chars(input.data(), end, value);
            if (input.empty() || ec != std::errc{} || stop != end || !std::isfinite(value) || value < lo || value > hi)
                return input + " is not " + expected;
            return {};
        },
        "");
}

CLI::Option* repeatable(CLI::Option* option) {
    return option->expected(1)->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

void usageError(const std::string& what, const std::string& text) {
    throw CLI::ValidationError(what, text);
}

void usageError(const std::string& text) {
    throw CLI::ValidationError(text);
}

std::string HelpFormatter::make_usage(const CLI::App* app, std::string name) const {
    const auto it = texts_.find(app);
    std::string out;
    if (it == texts_.end() || it->second.synopsis.empty()) {
        out = CLI::Formatter::make_usage(app, std::move(name));
    } else {
        // Every line of the synopsis under the first "Usage:", aligned.
        out = get_label("Usage") + ": ";
        const std::string indent(out.size(), ' ');
        std::istringstream lines(it->second.synopsis);
        std::string line;
        for (bool first = true; std::getline(lines, line); first = false) out += (first ? "" : indent) + line + "\n";
    }
    // What the command does comes under its synopsis.
    out += "\n" + app->get_description() + "\n";
    if (it != texts_.end() && !it->second.details.empty()) out += "\n" + it->second.details + "\n";
    return out + "\n";
}

std::string HelpFormatter::make_description(const CLI::App*) const {
    return {};  // part of the usage
}

// Groups one blank line apart (the usage ends with one).
std::string HelpFormatter::make_group(std::string group, bool is_positional, std::vector<const CLI::Option*> opts) const {
    std::string out = group + ":\n";
    for (const CLI::Option* option : opts) out += make_option(option, is_positional);
    return out;
}

std::string HelpFormatter::make_positionals(const CLI::App* app) const {
    const std::string out = CLI::Formatter::make_positionals(app);
    return out.empty() ? out : out + "\n";
}

std::string HelpFormatter::make_option_opts(const CLI::Option* option) const {
    std::string out;
    if (option->get_type_size() != 0 && !option->get_positional() && !option->get_type_name().empty())
        out += " " + get_label(option->get_type_name());
    if (option->get_required()) out += " " + get_label("REQUIRED");
    return out;
}

void setUpProgram(CLI::App& app, const std::string& version, HelpFormatter::Text text) {
    auto formatter = std::make_shared<HelpFormatter>();
    formatter->describe(&app, std::move(text));
    formatter->column_width(26);
    formatter->label("SUBCOMMAND", "COMMAND");
    formatter->label("SUBCOMMANDS", "COMMANDS");
    app.formatter(formatter);
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", app.get_name() + " " + version, "print the version and exit");
}

CLI::App* addCommand(CLI::App& program, const std::string& name, const std::string& summary,
                     HelpFormatter::Text text) {
    CLI::App* command = program.add_subcommand(name, summary);
    command->group("Commands");
    if (auto formatter = std::dynamic_pointer_cast<HelpFormatter>(program.get_formatter()))
        formatter->describe(command, std::move(text));
    return command;
}

std::optional<int> parseArguments(CLI::App& app, int argc, const char* const* argv) {
    try {
        app.parse(argc, argv);
        return std::nullopt;
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return reportUsageError(app, e);
    }
}

std::optional<std::string> nearestWord(std::string_view word, const std::vector<std::string>& candidates) {
    std::optional<std::string> best;
    std::size_t bestDistance = std::max<std::size_t>(2, word.size() / 3) + 1;
    for (const std::string& c : candidates) {
        if (word.size() >= 3 && c.size() > word.size() && c.compare(0, word.size(), word) == 0) return c;
        // Edit distance, one row at a time.
        std::vector<std::size_t> row(c.size() + 1);
        for (std::size_t j = 0; j <= c.size(); ++j) row[j] = j;
        for (std::size_t i = 1; i <= word.size(); ++i) {
            std::size_t diagonal = row[0];
            row[0] = i;
            for (std::size_t j = 1; j <= c.size(); ++j) {
                const std::size_t above = row[j];
                row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (word[i - 1] == c[j - 1] ? 0 : 1)});
                diagonal = above;
            }
        }
        if (row[c.size()] < bestDistance) {
            bestDistance = row[c.size()];
            best = c;
        }
    }
    return best;
}

namespace {

// "-x.vxr is not an option of list" with the nearest option, for a word of the
// command line that starts with '-' but names no option.
std::optional<std::string> unknownOption(const CLI::App& app) {
    const CLI::App* command = &app;
    for (const CLI::App* sub : app.get_subcommands()) command = sub;
    for (const std::string& word : command->remaining()) {
        if (word.size() < 2 || word[0] != '-') continue;
        std::vector<std::string> names;
        for (const CLI::Option* option : command->get_options()) {
            for (const std::string& n : option->get_lnames()) names.push_back("--" + n);
            for (const std::string& n : option->get_snames()) names.push_back("-" + n);
        }
        const std::string bare = word.substr(0, word.find('='));
        std::string text = bare + " is not an option";
        if (command != &app) text += " of " + command->get_name();
        if (auto near = nearestWord(bare, names)) text += "; did you mean " + *near + "?";
        else if (!command->get_options([](const CLI::Option* o) { return o->get_positional(); }).empty())
            text += " (a file whose name starts with '-' goes after --)";
        return text;
    }
    return std::nullopt;
}

} // namespace

int reportUsageError(const CLI::App& app, const CLI::Error& error) {
    std::string line = app.get_name();
    for (const CLI::App* command : app.get_subcommands()) line += " " + command->get_name();
    line += ": ";
    std::string what = error.what();
    // A word taken for an unknown option is the first thing wrong, whatever
    // the parser complained of next ("FILE is required" after "list -x.vxr").
    if (auto text = unknownOption(app)) what = *text;
    for (const char c : what) line += c == '\n' ? ' ' : c;
    std::fprintf(stderr, "%s\n", line.c_str());
    return kExitUsage;
}

} // namespace tarvik::options
