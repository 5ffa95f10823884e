// tarvik-cli list: the record list of a record file.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/record_file.h"
#include "tools/tarvik-cli/cli.h"

#include <string>

namespace tarvik::cli {

const char* const kListUsage =
    "Usage: tarvik-cli list FILE [--filter TEXT] [--layouts DIR]\n\n"
    "Reads a record file (*.vxr) as the window's \"Read Vx File\" does and prints one line\n"
    "per listed row: record type, size and index position, separated by tabs.\n\n"
    "  --filter TEXT   the record filter's text, e.g. \"7000; 7004\"; a record is listed\n"
    "                  when its type occurs anywhere in TEXT (default \"ALL RECORDS\")\n"
    "  --layouts DIR   also load the layout definition files of DIR (after the user's own)\n\n"
    "Exit status: 0 listed, 1 a message was shown (on stderr), 2 usage error.\n";

int runList(Args& args) {
    std::string filter = args.option("--filter").value_or(std::string(kAllRecords));
    if (!takeLayoutsOption(args)) return kExitUsage;
    auto files = args.positionals();
    if (args.error || files.size() != 1) {
        std::fprintf(stderr, "%s%s", args.errorText.empty() ? "" : (args.errorText + "\n").c_str(), kListUsage);
        return kExitUsage;
    }
    ConsolePort port;
    MemorySettingsStore settings;
    port.setText(controls::kRecordFilter, filter);
    CMyTarvikView view(port, settings);
    view.openRecordFile(files[0]);

    std::string line;
    const std::size_t rows = view.recordRowCount();
    for (std::size_t r = 0; r < rows; ++r) {
        line = view.rowText(r, 0);
        line += '\t';
        line += view.rowText(r, 1);
        line += '\t';
        line += view.rowText(r, 2);
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return port.messages.empty() ? kExitOk : kExitMessageShown;
}

} // namespace tarvik::cli
