// tarvik-cli list: the record list of a record file.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/record_file.h"
#include "tools/tarvik-cli/cli.h"

#include <memory>
#include <string>

namespace tarvik::cli {

namespace {

struct ListOptions {
    std::string file;
    std::string filter;
    bool resync = false;
};

int runList(const ListOptions& o) {
    ConsolePort port;
    MemorySettingsStore settings;
    port.setText(controls::kRecordFilter, o.filter);
    CMyTarvikView view(port, settings);
    view.readPastDamage = o.resync;
    view.openRecordFile(o.file);

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

} // namespace

Command addList(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "list", "list the records of a record file, one row per line",
        {"tarvik-cli list FILE [--filter TEXT] [--resync] [--layouts DIR]",
         "Reads a record file (*.vxr) as the window's \"Read Vx File\" does and prints one line\n"
         "per listed row: record type, size and index position, separated by tabs.\n"
         "The list stops at the first broken frame; with --resync it goes on at the next\n"
         "sync pattern, as check does, with a text row saying how many bytes were skipped.\n\n"
         "Exit status: 0 listed, 1 a message was shown (on stderr), 2 usage error."});
    auto o = std::make_shared<ListOptions>();
    command->add_option("FILE", o->file, "the record file (*.vxr) or packet capture (*.pcap, *.pcapng)")->required();
    addFilterOption(*command, o->filter);
    addCapturePortsOption(*command);
    command->add_flag("--resync", o->resync, "read past a broken frame: go on at the next sync pattern");
    addLayoutsOption(*command);
    return {command, [o] { return runList(*o); }};
}

} // namespace tarvik::cli
