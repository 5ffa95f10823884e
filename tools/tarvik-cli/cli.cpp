// The options several of tarvik-cli's subcommands share.

#include "tools/tarvik-cli/cli.h"

#include "app/tarvik_view.h"
#include "core/record_file.h"
#include "core/text.h"
#include "core/whole_file_output.h"
#include "expr/predicate.h"
#include "net/address.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tarvik::cli {

CLI::Option* addLayoutsOption(CLI::App& command) {
    return command
        .add_option_function<std::string>(
            "--layouts", [](const std::string& dir) { CMyTarvikView::layoutOptions().directory = dir; },
            "also load the layout definition files of DIR (after the user's own)")
        ->type_name("DIR");
}

CLI::Option* addSecondsOption(CLI::App& command, double& seconds, const std::string& text) {
    return command.add_option("--seconds", seconds, text)->type_name("S")->check(options::decimalNumber(0, 1e6));
}

CLI::Option* addFilterOption(CLI::App& command, std::string& filter) {
    filter = std::string(kAllRecords);
    return command
        .add_option("--filter", filter,
                    "which records: record types as in the window's filter (\"7000; 7004\": a\n"
                    "record is listed when its type occurs anywhere in TEXT), or an expression over\n"
                    "fields, e.g. '7027 && 7027.number_of_detection_points > 100' (see\n"
                    "docs/expressions.md and `tarvik-cli fields`); default \"ALL RECORDS\"")
        ->type_name("TEXT")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                // A text of no digit, letter or operator can never select a record:
                // nothing would be listed, and a typing slip would pass for an empty file.
                if (text == kAllRecords) return {};
                for (const char c : text)
                    if (c != ' ' && c != '\t' && c != ';' && c != ',') return {};
                return "\"" + shownName(text) + "\" names no record type; give record types such as \"7000; 7004\", "
                       "or \"" + std::string(kAllRecords) + "\"";
            },
            ""));
}

std::optional<RecordFilter> compileFilterOption(const std::string& text, const LayoutCatalogue& catalogue) {
    Result<RecordFilter> filter = expr::compileFilter(text, catalogue);
    if (filter) return std::move(*filter);
    std::string lead = "tarvik-cli: --filter: ";
    if (text.find_first_of("0123456789") == std::string::npos)
        lead += "\"" + shownName(text) + "\" names no record type and is no expression: ";
    std::fprintf(stderr, "%s%s\n", lead.c_str(), filter.error().c_str());
    return std::nullopt;
}

bool applyFilterOption(CMyTarvikView& view, const std::string& text) {
    std::optional<RecordFilter> filter = compileFilterOption(text, view.layoutCatalogue());
    if (!filter) return false;
    view.setRecordFilter(std::move(*filter));
    return true;
}

CLI::Validator hostAddress() {
    return CLI::Validator(
        [](std::string& input) -> std::string {
            const std::string host = net::normaliseAddress(input);
            if (!net::isIPv4Address(host)) return input + " is not a dotted IPv4 address";
            input = host;
            return {};
        },
        "");
}

CLI::Validator portNumber() {
    return CLI::Validator(
        [](std::string& input) -> std::string {
            return net::parsePort(input) ? std::string() : input + " is not a port number from 1 to 65535";
        },
        "");
}

CLI::Option* addForceOption(CLI::App& command, bool& force) {
    return command.add_flag("--force", force, "replace an existing output file (never one of the inputs)");
}

void sayNotWritten(const std::string& out, const std::string& reason, bool exists) {
    if (exists && reason == "file exists")
        std::fprintf(stderr, "tarvik-cli: %s exists; --force replaces it\n", shownName(out).c_str());
    else
        std::fprintf(stderr, "tarvik-cli: could not write %s: %s\n", shownName(out).c_str(), reason.c_str());
}

bool sayLayoutProblems(const std::vector<LayoutProblem>& problems) {
    for (const LayoutProblem& p : problems) std::fprintf(stderr, "%s\n", p.message().c_str());
    return !problems.empty();
}

bool outputAllowed(const std::string& out, const std::vector<std::string>& inputs, bool force) {
    for (const std::string& input : inputs) {
        if (input == out || sameExistingFile(input, out)) {
            std::fprintf(stderr, "tarvik-cli: %s is an input of this command; choose another name for the output\n",
                         shownName(out).c_str());
            return false;
        }
    }
    struct stat st {};
    if (::lstat(out.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return sayNotWritten(out, std::strerror(EISDIR), false), false;
        if (!S_ISREG(st.st_mode)) return sayNotWritten(out, "not a regular file", false), false;
        if (!force) return sayNotWritten(out, "file exists", true), false;
    } else if (errno != ENOENT) {
        return sayNotWritten(out, std::strerror(errno), false), false;
    }
    return true;
}

std::string counted(std::size_t n, std::string_view one, std::string_view many) {
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

} // namespace tarvik::cli
