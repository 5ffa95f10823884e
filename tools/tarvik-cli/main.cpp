// tarvik-cli: the headless twin of the Tarvik window. Its subcommands share the
// view logic with the window and print the texts the window would show.

#include "capture/pcap_library.h"
#include "core/record_memory.h"
#include "core/text.h"
#include "decode/yaml_module.h"
#include "tools/tarvik-cli/cli.h"

#include <cstdio>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    tarvik::keepFreedRecordMemory();  // before the receiver thread starts
    using namespace tarvik::cli;
    namespace options = tarvik::options;

    CLI::App program("The headless twin of the Tarvik record inspection tool.", "tarvik-cli");
    options::setUpProgram(program, TARVIK_VERSION,
                          {"tarvik-cli COMMAND [ARGUMENTS]   (tarvik-cli COMMAND --help for details)",
                           "Texts the window would show in a message box go to stderr, one per line.\n\n"
                           "Exit status: 0 success, 1 a message was shown, 2 usage error."});
    // At most one command: a later word that names another command is an argument.
    program.require_subcommand(0, 1);
    // Only the command the words name is set up: the others' options would cost
    // more than a small file's check. The overview (--help) and a word that
    // names no command need every command's name and summary.
    static constexpr struct {
        const char* name;
        Command (*add)(CLI::App&);
    } kCommands[] = {
        {"list", addList},       {"generate", addGenerate}, {"report", addReport},   {"listen", addListen},
        {"receive", addReceive}, {"condense", addCondense}, {"dump", addDump},       {"print", addPrint},
        {"image", addImage},     {"catalogue", addCatalogue}, {"check", addCheck},   {"commands", addCommands},
        {"send", addSend},       {"play", addPlay},         {"convert", addConvert}, {"export", addExport},
        {"fields", addFields},   {"diff", addDiff},         {"expect", addExpect},   {"profiles", addProfiles},
        {"plot", addPlot},
    };

    std::vector<const char*> words(argv, argv + argc);
    if (argc > 1 && std::string_view(argv[1]) == "help") words[1] = "--help";
    const char* named = nullptr;  // the first word that is no option
    bool help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = words[static_cast<std::size_t>(i)];
        if (word == "-h" || word == "--help") help = true;
        else if (!named && !word.empty() && word[0] != '-') named = words[static_cast<std::size_t>(i)];
    }
    std::vector<Command> commands;
    for (const auto& entry : kCommands)
        if (named ? entry.name == std::string_view(named) : help) commands.push_back(entry.add(program));
    if (named && commands.empty()) {
        if (words[1][0] != '-') {
            std::vector<std::string> names;
            for (const auto& entry : kCommands) names.emplace_back(entry.name);
            const auto near = options::nearestWord(argv[1], names);
            std::fprintf(stderr, "tarvik-cli: %s is not a command (%s)\n", tarvik::shownName(argv[1]).c_str(),
                         near ? ("did you mean " + *near + "? tarvik-cli --help lists them").c_str()
                              : "tarvik-cli --help lists them");
            return kExitUsage;
        }
        for (const auto& entry : kCommands) commands.push_back(entry.add(program));
    }
    if (auto status = options::parseArguments(program, argc, words.data())) return *status;
    try {
        for (const Command& command : commands)
            if (command.app->parsed()) {
                const int status = command.run();
                // A capture unread for want of libpcap, or a layout or profile file for want of
                // the YAML library, is a fault of the installation, not of the file.
                const bool missing = tarvik::capture::pcapLibraryMissing() || tarvik::yamlModuleMissing();
                return status != kExitOk && missing ? kExitUsage : status;
            }
        options::usageError("a command is required (tarvik-cli --help lists them)");
    } catch (const CLI::ParseError& e) {
        return options::reportUsageError(program, e);
    }
}
