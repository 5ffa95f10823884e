// tarvik-cli report: the report of a listed record, as the report list shows it.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/record_file.h"
#include "core/text.h"
#include "decode/record_json.h"
#include "tools/tarvik-cli/cli.h"

#include <string>

namespace tarvik::cli {

namespace {
// Written after each report of a dump.
constexpr const char* kRecordSeparator = "-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-";
} // namespace

const char* const kReportUsage =
    "Usage: tarvik-cli report FILE [--row N | --all] [--filter TEXT] [--json] [--hex] [--layouts DIR]\n\n"
    "Reads a record file (*.vxr) as the window's \"Read Vx File\" does and prints the report of\n"
    "listed row N (default 0) exactly as the report list shows it, one line per line. The\n"
    "\"Record #\" is the row's index position.\n\n"
    "  --row N         the listed row whose record is reported\n"
    "  --all           the report of every listed row, each followed by a separator line\n"
    "  --filter TEXT   the record filter's text, e.g. \"7000; 7004\" (default \"ALL RECORDS\")\n"
    "  --json          the record as JSON: header fields, every item with its name, format,\n"
    "                  byte offset, width, text and value; repeat blocks nested (one\n"
    "                  document per line with --all)\n"
    "  --hex           append a hex dump of the frame (offset, 16 bytes, printable characters)\n"
    "  --layouts DIR   also load the layout definition files of DIR (after the user's own)\n\n"
    "Exit status: 0 reported, 1 a message was shown (on stderr), 2 usage error or no such row.\n";

int runReport(Args& args) {
    const bool all = args.flag("--all");
    const bool json = args.flag("--json");
    const bool hex = args.flag("--hex");
    std::string filter = args.option("--filter").value_or(std::string(kAllRecords));
    if (!takeLayoutsOption(args)) return kExitUsage;
    std::optional<std::string> rowText = args.option("--row");
    auto files = args.positionals();
    unsigned long long row = 0;
    if (args.error || files.size() != 1 || (rowText && (all || !parseUnsigned(*rowText, row)))) {
        std::fprintf(stderr, "%s%s", args.errorText.empty() ? "" : (args.errorText + "\n").c_str(), kReportUsage);
        return kExitUsage;
    }
    ConsolePort port;
    MemorySettingsStore settings;
    port.setText(controls::kRecordFilter, filter);
    CMyTarvikView view(port, settings);
    if (!view.openRecordFile(files[0])) return kExitMessageShown;

    const std::size_t rows = view.recordRowCount();
    std::vector<WalkedField> fields;
    auto print = [&](std::size_t r) {
        port.reportLines.clear();
        std::string out;
        if (json) {
            // The same report, with the byte layout of every walked item.
            std::optional<Bytes> record = view.rowRecord(r);
            if (!record) return;
            fields.clear();
            view.recordReporter().collectFields(&fields);
            Report rep = view.recordReporter().report(*record, static_cast<std::uint32_t>(view.shownIndexPosition(r)));
            view.recordReporter().collectFields(nullptr);
            for (const std::string& m : rep.messages) port.messageBox(m);
            out = recordJson(*record, static_cast<std::uint32_t>(view.shownIndexPosition(r)), rep, fields, hex,
                             all ? -1 : 2);
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
            std::fprintf(stderr, "tarvik-cli: there is no listed row %llu (%zu rows listed)\n", row, rows);
            return kExitUsage;
        }
        print(static_cast<std::size_t>(row));
    }
    return port.messages.empty() ? kExitOk : kExitMessageShown;
}

} // namespace tarvik::cli
