// tarvik-cli report: the report of a listed record, as the report list shows it.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/record_file.h"
#include "core/text.h"
#include "decode/record_json.h"
#include "tools/tarvik-cli/cli.h"
#include "tools/tarvik-cli/cmd_coverage.h"

#include <memory>
#include <string>

namespace tarvik::cli {

namespace {
// Written after each report of a dump.
constexpr const char* kRecordSeparator = "-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-";

struct ReportOptions {
    std::string file;
    std::size_t row = 0;
    bool all = false;
    bool json = false;
    bool hex = false;
    bool coverage = false;
    std::string filter;
};

int runReport(const ReportOptions& o) {
    const bool all = o.all, json = o.json, hex = o.hex;
    const std::size_t row = o.row;
    ConsolePort port;
    MemorySettingsStore settings;
    CMyTarvikView view(port, settings);
    if (!applyFilterOption(view, o.filter)) return kExitUsage;
    if (!view.openRecordFile(o.file)) return kExitMessageShown;

    const std::size_t rows = view.recordRowCount();
    std::vector<WalkedField> fields;
    if (o.coverage) {
        std::size_t undecoded = 0, data = 0;
        if (!all && row >= rows) {
            std::fprintf(stderr, "tarvik-cli: there is no listed row %zu (%s listed)\n", row,
                         counted(rows, "row", "rows").c_str());
            return kExitUsage;
        }
        for (std::size_t r = all ? 0 : row; r < (all ? rows : row + 1); ++r) undecoded += printRowCoverage(view, r, data);
        std::fprintf(stderr, "%zu of %zu data bytes not decoded\n", undecoded, data);
        return port.messages.empty() ? kExitOk : kExitMessageShown;
    }
    auto print = [&](std::size_t r) {
        port.reportLines.clear();
        std::string out;
        if (json) {
            // The same report, with the byte layout of every walked item.
            std::optional<Bytes> record = view.rowRecord(r);
            if (!record) return;
            fields.clear();
            view.recordReporter().collectFields(&fields);
            Report rep = view.recordReporter().report(*record, view.rowRecordNumber(r));
            view.recordReporter().collectFields(nullptr);
            for (const std::string& m : rep.messages) port.messageBox(m);
            const std::optional<RecordOrigin> origin = view.source().rowOrigin(r);
            out = recordJson(*record, view.rowRecordNumber(r), rep, fields, hex, all ? -1 : 2,
                             origin ? &*origin : nullptr);
            out += '\n';
        } else {
            view.OnRowSelectionChanged(r);
            for (const ReportLine& line : port.reportLines) {
                out += line.text;
                out += '\n';
            }
            if (hex)
                if (std::optional<Bytes> record = view.rowRecord(r))
                    for (const std::string& line : hexDumpLines(*record)) out += line + '\n';
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
    };
    if (all) {
        for (std::size_t r = 0; r < rows; ++r) {
            print(r);
            if (!json) std::printf("%s\n\n", kRecordSeparator);
        }
    } else {
        if (row >= rows) {
            std::fprintf(stderr, "tarvik-cli: there is no listed row %zu (%s listed)\n", row,
                         counted(rows, "row", "rows").c_str());
            return kExitUsage;
        }
        print(row);
    }
    return port.messages.empty() ? kExitOk : kExitMessageShown;
}

} // namespace

Command addReport(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "report", "print the report of a listed record, as the report list shows it",
        {"tarvik-cli report FILE [--row N | --all] [--filter TEXT] [--json | --hex | --coverage] [--layouts DIR]",
         "Reads a record file (*.vxr) as the window's \"Read Vx File\" does and prints the report of\n"
         "listed row N (default 0) exactly as the report list shows it, one line per line. The\n"
         "\"Record #\" is the row's index position.\n\n"
         "Exit status: 0 reported, 1 a message was shown (on stderr), 2 usage error or no such row."});
    auto o = std::make_shared<ReportOptions>();
    command->add_option("FILE", o->file, "the record file (*.vxr) or packet capture (*.pcap, *.pcapng)")->required();
    CLI::Option* row = command->add_option("--row", o->row, "the listed row whose record is reported (default 0)")
                           ->type_name("N")
                           ->transform(options::wholeNumber<std::size_t>());
    command->add_flag("--all", o->all, "the report of every listed row, each followed by a separator line")
        ->excludes(row);
    addFilterOption(*command, o->filter);
    addCapturePortsOption(*command);
    command->add_flag("--json", o->json,
                      "the record as JSON: header fields, every item with its name, format,\n"
                      "byte offset, width, text and value; repeat blocks nested (one\n"
                      "document per line with --all)");
    command->add_flag("--hex", o->hex, "append a hex dump of the frame (offset, 16 bytes, printable characters)");
    command->add_flag("--coverage", o->coverage,
                      "instead of the report, the bytes no layout item decoded: one line\n"
                      "\"RECORD<TAB>TYPE<TAB>OFFSET<TAB>COUNT<TAB>KIND\" per range (RECORD the\n"
                      "report's \"Record #\", offsets from the frame's first byte; KIND: no layout\n"
                      "items, between items, after the last item, cut off), then the total on stderr")
        ->excludes("--json")
        ->excludes("--hex");
    addLayoutsOption(*command);
    return {command, [o] { return runReport(*o); }};
}

} // namespace tarvik::cli
