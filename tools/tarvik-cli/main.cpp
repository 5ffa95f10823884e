// tarvik-cli: the headless twin of the Tarvik window. Its subcommands share the
// view logic with the window and print the texts the window would show.

#include "core/record_memory.h"
#include "app/tarvik_view.h"
#include "tools/tarvik-cli/cli.h"

#include <charconv>
#include <cstring>

namespace tarvik::cli {

bool Args::flag(std::string_view name) {
    for (auto it = words_.begin(); it != words_.end(); ++it) {
        if (*it == name) {
            words_.erase(it);
            return true;
        }
    }
    return false;
}

std::optional<std::string> Args::option(std::string_view name) {
    for (auto it = words_.begin(); it != words_.end(); ++it) {
        if (*it != name) continue;
        if (it + 1 == words_.end()) {
            error = true;
            errorText = std::string(name) + " needs a value";
            words_.erase(it);
            return std::nullopt;
        }
        std::string value = *(it + 1);
        words_.erase(it, it + 2);
        return value;
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> Args::optionValues(std::string_view name, std::size_t count) {
    for (auto it = words_.begin(); it != words_.end(); ++it) {
        if (*it != name) continue;
        if (static_cast<std::size_t>(words_.end() - it) <= count) {
            error = true;
            errorText = std::string(name) + " needs " + std::to_string(count) + " values";
            words_.erase(it, words_.end());
            return std::nullopt;
        }
        std::vector<std::string> values(it + 1, it + 1 + static_cast<long>(count));
        words_.erase(it, it + 1 + static_cast<long>(count));
        return values;
    }
    return std::nullopt;
}

std::vector<std::string> Args::options(std::string_view name) {
    std::vector<std::string> all;
    while (auto v = option(name)) all.push_back(*v);
    return all;
}

std::vector<std::string> Args::positionals() {
    for (const auto& w : words_) {
        if (w.size() > 1 && w[0] == '-' && w != "-") {
            error = true;
            errorText = "unknown option " + w;
        }
    }
    return words_;
}

bool Args::wantsHelp() const {
    for (const auto& w : words_)
        if (w == "--help" || w == "-h") return true;
    return false;
}

bool parseUnsigned(std::string_view text, unsigned long long& out) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc{} && end == text.data() + text.size();
}

bool takeLayoutsOption(Args& args) {
    const std::optional<std::string> dir = args.option("--layouts");
    if (args.error) {
        std::fprintf(stderr, "%s\n", args.errorText.c_str());
        return false;
    }
    if (dir) CMyTarvikView::layoutOptions().directory = *dir;
    return true;
}

namespace {

const Command kCommands[] = {
    {"list", "list the records of a record file, one row per line", kListUsage, runList},
    {"generate", "write a sample record file made by the frame builder", kGenerateUsage, runGenerate},
    {"report", "print the report of a listed record, as the report list shows it", kReportUsage, runReport},
    {"listen", "connect as \"Start Communicating\" does and print the rows listed live", kListenUsage, runListen},
    {"receive", "connect to a server, request records and print what arrives", kReceiveUsage, runReceive},
    {"condense", "write the condensed file of a record file: one line per record", kCondenseUsage, runCondense},
    {"dump", "write the summary and reports of listed rows to a text file", kDumpUsage, runDump},
    {"print", "print the report of a listed record to a PDF file", kPrintUsage, runPrint},
    {"image", "draw the sector picture of a record or the echogram of a file into a PNG", kImageUsage, runImage},
    {"catalogue", "list, check and export the record layouts the tool decodes", kCatalogueUsage, runCatalogue},
    {"check", "check every frame of record files and count them per record type", kCheckUsage, runCheck},
    {"commands", "list the remote-control commands, or the parameters of one", kCommandsUsage, runCommands},
    {"send", "build a remote-control command and send it (or write it with --dry-run)", kSendUsage, runSend},
    {"play", "play a script file against a server (or into a record file with --dry-run)", kPlayUsage, runPlay},
};

void printOverview(std::FILE* out) {
    std::fprintf(out,
                 "tarvik-cli %s - the headless twin of the Tarvik record inspection tool\n\n"
                 "Usage: tarvik-cli COMMAND [ARGUMENTS]   (tarvik-cli COMMAND --help for details)\n\n"
                 "Commands:\n",
                 TARVIK_VERSION);
    for (const auto& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out,
                 "\nTexts the window would show in a message box go to stderr, one per line.\n"
                 "Exit status: 0 success, 1 a message was shown, 2 usage error.\n");
}

} // namespace
} // namespace tarvik::cli

int main(int argc, char** argv) {
    tarvik::keepFreedRecordMemory();  // before the receiver thread starts
    using namespace tarvik::cli;
    if (argc < 2) {
        printOverview(stderr);
        return kExitUsage;
    }
    std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printOverview(stdout);
        return kExitOk;
    }
    if (name == "--version") {
        std::printf("tarvik-cli %s\n", TARVIK_VERSION);
        return kExitOk;
    }
    for (const auto& c : kCommands) {
        if (name != c.name) continue;
        Args args(std::vector<std::string>(argv + 2, argv + argc));
        if (args.wantsHelp()) {
            std::fputs(c.usage, stdout);
            return kExitOk;
        }
        return c.run(args);
    }
    std::fprintf(stderr, "tarvik-cli: unknown command '%s'\n\n", argv[1]);
    printOverview(stderr);
    return kExitUsage;
}
