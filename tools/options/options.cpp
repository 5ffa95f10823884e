#include "tools/options/options.h"

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

int reportUsageError(const CLI::App& app, const CLI::Error& error) {
    std::string line = app.get_name();
    for (const CLI::App* command : app.get_subcommands()) line += " " + command->get_name();
    line += ": ";
    for (const char c : std::string(error.what())) line += c == '\n' ? ' ' : c;
    std::fprintf(stderr, "%s\n", line.c_str());
    return kExitUsage;
}

} // namespace tarvik::options
