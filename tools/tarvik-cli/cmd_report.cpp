// tarvik-cli report: the report of a listed record, as the report list shows it.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/record_file.h"
#include "tools/tarvik-cli/cli.h"

#include <string>

namespace tarvik::cli {

namespace {
// Written after each report of a dump.
constexpr const char* kRecordSeparator = "-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-";
} // namespace

const char* const kReportUsage =
    "Usage: tarvik-cli report FILE [--row N | --all] [--filter TEXT] [--layouts DIR]\n\n"
    "Reads a record file (*.vxr) as the window's \"Read Vx File\" does and prints the report of\n"
    "listed row N (default 0) exactly as the report list shows it, one line per line. The\n"
    "\"Record #\" is the row's index position.\n\n"
    "  --row N         the listed row whose record is reported\n"
    "  --all           the report of every listed row, each followed by a separator line\n"
    "  --filter TEXT   the record filter's text, e.g. \"7000; 7004\" (default \"ALL RECORDS\")\n"
    "  --layouts DIR   also load the layout definition files of DIR (after the user's own)\n\n"
    "Exit status: 0 reported, 1 a message was shown (on stderr), 2 usage error or no such row.\n";

int runReport(Args& args) {
    const bool all = args.flag("--all");
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
    auto print = [&](std::size_t r) {
        port.reportLines.clear();
        view.OnRowSelectionChanged(r);
        std::string out;
        for (const ReportLine& line : port.reportLines) {
            out += line.text;
            out += '\n';
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
    };
    if (all) {
        for (std::size_t r = 0; r < rows; ++r) {
            print(r);
            std::printf("%s\n\n", kRecordSeparator);
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
