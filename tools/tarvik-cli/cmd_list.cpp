// tarvik-cli list: the record list of a record file.

#include "app/controls.h"
#include "app/record_columns.h"
#include "app/tarvik_view.h"
#include "core/frame.h"
#include "core/record_file.h"
#include "core/text.h"
#include "tools/tarvik-cli/cli.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace tarvik::cli {

namespace {

constexpr std::string_view kNoSyncPattern = " Does Not Have The Sync Pattern";
constexpr std::string_view kFirstTooSmall = "First Record Of File ";
constexpr std::string_view kTooSmall = " Is Too Small";

bool endsWith(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), std::string::npos, tail) == 0;
}

struct ListOptions {
    std::string file;
    std::string filter;
    std::string columns;
    bool resync = false;
};

int runList(const ListOptions& o) {
    ConsolePort port;
    MemorySettingsStore settings;
    CMyTarvikView view(port, settings);
    if (!applyFilterOption(view, o.filter)) return kExitUsage;
    view.readPastDamage = o.resync;
    RecordColumns columns;
    if (!o.columns.empty()) {
        const std::vector<std::string> texts = RecordColumns::split(o.columns);
        if (texts.empty()) {
            std::fprintf(stderr, "tarvik-cli: --columns names no column\n");
            return kExitUsage;
        }
        Result<RecordColumns> compiled = RecordColumns::compile(texts, view.layoutCatalogue());
        if (!compiled) {
            std::fprintf(stderr, "tarvik-cli: %s\n", compiled.error().c_str());
            return kExitUsage;
        }
        columns = std::move(*compiled);
    }
    view.openRecordFile(o.file);

    // What a broken start means for the user, after the message itself.
    for (const std::string& m : port.messages) {
        // Shorter than one frame header: nothing to look further on for.
        if (m.rfind(kFirstTooSmall, 0) == 0 && endsWith(m, kTooSmall)) {
            std::fprintf(stderr, "tarvik-cli: %s does not look like a Vx record file: it is shorter than one "
                                 "frame header (%zu bytes)\n",
                         shownName(o.file).c_str(), kFrameHeaderSize);
            continue;
        }
        if (!endsWith(m, kNoSyncPattern)) continue;
        if (m.rfind("Record 0 Of File ", 0) == 0)
            std::fprintf(stderr, "tarvik-cli: %s does not look like a Vx record file: no frame begins at its first "
                                 "byte%s\n",
                         shownName(o.file).c_str(), o.resync ? "" : " (--resync looks for frames further on)");
        else if (!o.resync)
            std::fprintf(stderr, "tarvik-cli: the list stops at the broken frame; --resync goes on at the next sync "
                                 "pattern\n");
    }

    std::string line;
    if (!columns.empty()) {
        // A header line names the columns.
        for (const char* title : kRecordListTitles) (line += title) += '\t';
        for (const std::string& title : columns.titles()) (line += title) += '\t';
        line.back() = '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    const std::size_t rows = view.recordRowCount();
    std::size_t records = 0;
    for (std::size_t r = 0; r < rows; ++r) {
        line = view.rowText(r, 0);
        line += '\t';
        line += view.rowText(r, 1);
        line += '\t';
        line += view.rowText(r, 2);
        if (!columns.empty())
            for (const std::string& cell : columns.rowCells(view.source(), r)) {
                line += '\t';
                // A cell keeps to its line and its column.
                for (const char c : cell) line += c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
            }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
        ++records;
    }
    // Nothing listed although records were read: the filter matched none, which
    // an empty output alone would not tell apart from an empty file.
    if (records == 0 && o.filter != kAllRecords) {
        if (const std::size_t read = view.recordIndex().size(); read > 0) {
            std::fprintf(stderr, "tarvik-cli: no record of %s passes the filter \"%s\" (%s read)\n",
                         shownName(o.file).c_str(), shownName(o.filter).c_str(),
                         counted(read, "record", "records").c_str());
            return kExitMessageShown;
        }
    }
    return port.messages.empty() ? kExitOk : kExitMessageShown;
}

} // namespace

Command addList(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "list", "list the records of a record file, one row per line",
        {"tarvik-cli list FILE [--filter TEXT] [--columns A,B,C] [--resync] [--layouts DIR]",
         "Reads a record file (*.vxr) as the window's \"Read Vx File\" does and prints one line\n"
         "per listed row: record type, size and index position, separated by tabs.\n"
         "The list stops at the first broken frame; with --resync it goes on at the next\n"
         "sync pattern, as check does, with a text row saying how many bytes were skipped.\n"
         "--filter takes record types as the window's filter box does, or an expression over\n"
         "fields (docs/expressions.md). One that lets no record of the file through says so\n"
         "on stderr (exit 1); one that is neither is a usage error, its place shown.\n"
         "--columns adds a column per field name or value expression (commas inside\n"
         "parentheses or braces stay in their expression), after a header line naming them:\n"
         "the record's values as the report shows them, several joined by \", \", an empty\n"
         "cell for a record without them.\n\n"
         "Exit status: 0 listed, 1 a message was shown or nothing passed the filter (on\n"
         "stderr), 2 usage error."});
    auto o = std::make_shared<ListOptions>();
    command->add_option("FILE", o->file, "the record file (*.vxr) or packet capture (*.pcap, *.pcapng)")->required();
    addFilterOption(*command, o->filter);
    command->add_option("--columns", o->columns, "columns of field names or value expressions, separated by commas");
    addCapturePortsOption(*command);
    command->add_flag("--resync", o->resync, "read past a broken frame: go on at the next sync pattern");
    addLayoutsOption(*command);
    return {command, [o] { return runList(*o); }};
}

} // namespace tarvik::cli
