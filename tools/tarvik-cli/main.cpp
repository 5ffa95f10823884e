// tarvik-cli: the headless twin of the Tarvik window. Its subcommands share the
// view logic with the window and print the texts the window would show.

#include "capture/pcap_library.h"
#include "core/record_memory.h"
#include "core/text.h"
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
    const Command commands[] = {
        addList(program),     addGenerate(program),  addReport(program), addListen(program), addReceive(program),
        addCondense(program), addDump(program),      addPrint(program),  addImage(program),  addCatalogue(program),
        addCheck(program),    addCommands(program),  addSend(program),   addPlay(program),   addConvert(program),
        addExport(program),   addFields(program),    addDiff(program),
        addExpect(program),   addProfiles(program),   addPlot(program),
    };

    std::vector<const char*> words(argv, argv + argc);
    if (argc > 1 && std::string_view(argv[1]) == "help") words[1] = "--help";
    if (argc > 1 && argv[1][0] != '-' && words[1] != std::string_view("--help")) {
        bool known = false;
        for (const Command& command : commands) known = known || command.app->get_name() == argv[1];
        if (!known) {
            std::vector<std::string> names;
            for (const Command& command : commands) names.push_back(command.app->get_name());
            const auto near = options::nearestWord(argv[1], names);
            std::fprintf(stderr, "tarvik-cli: %s is not a command (%s)\n", tarvik::shownName(argv[1]).c_str(),
                         near ? ("did you mean " + *near + "? tarvik-cli --help lists them").c_str()
                              : "tarvik-cli --help lists them");
            return kExitUsage;
        }
    }
    if (auto status = options::parseArguments(program, argc, words.data())) return *status;
    try {
        for (const Command& command : commands)
            if (command.app->parsed()) {
                const int status = command.run();
                // A capture unread for want of libpcap is a fault of the installation, not of the file.
                return status != kExitOk && tarvik::capture::pcapLibraryMissing() ? kExitUsage : status;
            }
        options::usageError("a command is required (tarvik-cli --help lists them)");
    } catch (const CLI::ParseError& e) {
        return options::reportUsageError(program, e);
    }
}
