// tarvik-cli condense, dump and print: the window's text outputs and printing
// of a record file, through the same view commands.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/record_file.h"
#include "tools/tarvik-cli/cli.h"

#include <string>

namespace tarvik::cli {

const char* const kCondenseUsage =
    "Usage: tarvik-cli condense FILE [--sep tab|space|comma|fixed] [--out DIR]\n\n"
    "Reads a record file (*.vxr) and writes its condensed file as File -> \"Copy File To\n"
    "Condensed File\" does: one line per record (ping or record number, record type, size,\n"
    "date, time) and a line for each gap in the ping numbers. The file is DIR/NAME.txt (or\n"
    "the next free NAME.000.txt ...), NAME being the record file's name without \".vxr\".\n\n"
    "  --sep S     column separator: tab, space, comma or fixed (fixed width, the default)\n"
    "  --out DIR   the output folder (default: the current folder)\n\n"
    "Prints the result message on stderr and the file's name on stdout.\n"
    "Exit status: 0 written, 1 another message was shown (on stderr), 2 usage error.\n";

const char* const kDumpUsage =
    "Usage: tarvik-cli dump FILE [--filter TEXT] [--rows FIRST:COUNT] [--out DIR]\n\n"
    "Reads a record file (*.vxr) and writes a text file as Record -> \"Dump All Shown To\n"
    "Text File\" does: a summary line for each listed row, then the report of each.\n\n"
    "  --filter TEXT       the record filter's text (default \"ALL RECORDS\")\n"
    "  --rows FIRST:COUNT  the rows in sight (default: every listed row)\n"
    "  --out DIR           the output folder (default: the current folder)\n\n"
    "Prints the result message on stderr and the file's name on stdout.\n"
    "Exit status: 0 written, 1 another message was shown (on stderr), 2 usage error.\n";

const char* const kPrintUsage =
    "Usage: tarvik-cli print FILE --row N --pdf OUT.pdf [--filter TEXT]\n\n"
    "Prints the report of listed row N of a record file as \"Print Record\" does, into a\n"
    "PDF file: every page with its header, page number and the date and time of printing.\n\n"
    "Exit status: 0 printed, 1 a message was shown or the PDF could not be written, 2 usage error.\n";

namespace {

int usage(Args& args, const char* text) {
    std::fprintf(stderr, "%s%s", args.errorText.empty() ? "" : (args.errorText + "\n").c_str(), text);
    return kExitUsage;
}

void setOutputFolder(SettingsStore& settings, const std::string& folder) {
    RegistryString setting(setting_names::kLastOutputDirectory, settings);
    setting = folder;
    setting.Write();
}

// The result message is what a successful run shows; any other message means trouble.
int finish(const ConsolePort& port, const CMyTarvikView& view) {
    const std::string& written = view.lastWrittenTextFile();
    if (!written.empty()) std::printf("%s\n", written.c_str());
    const std::string expected = "Wrote ";
    const bool onlyResult = port.messages.size() == 1 && port.messages[0].rfind(expected, 0) == 0;
    return !written.empty() && onlyResult ? kExitOk : kExitMessageShown;
}

} // namespace

int runCondense(Args& args) {
    const std::string sep = args.option("--sep").value_or("fixed");
    const std::string out = args.option("--out").value_or(".");
    auto files = args.positionals();
    DataSeparator separator = DataSeparator::FixedWidth;
    if (sep == "tab") separator = DataSeparator::Tab;
    else if (sep == "space") separator = DataSeparator::Space;
    else if (sep == "comma") separator = DataSeparator::Comma;
    else if (sep != "fixed") {
        args.errorText = "--sep takes tab, space, comma or fixed";
        args.error = true;
    }
    if (args.error || files.size() != 1) return usage(args, kCondenseUsage);

    ConsolePort port;
    MemorySettingsStore settings;
    setOutputFolder(settings, out);
    port.setText(controls::kRecordFilter, std::string(kAllRecords));
    CMyTarvikView view(port, settings);
    view.setDataSeparator(separator);
    // A broken file is condensed up to its break, after the reader's message.
    if (!view.openRecordFile(files[0])) return kExitMessageShown;
    const std::size_t readerMessages = port.messages.size();
    view.OnCopyToCondensedFile();
    if (readerMessages > 0) {
        if (!view.lastWrittenTextFile().empty()) std::printf("%s\n", view.lastWrittenTextFile().c_str());
        return kExitMessageShown;
    }
    return finish(port, view);
}

int runDump(Args& args) {
    const std::string filter = args.option("--filter").value_or(std::string(kAllRecords));
    const std::string out = args.option("--out").value_or(".");
    const std::optional<std::string> rows = args.option("--rows");
    auto files = args.positionals();
    unsigned long long first = 0, count = 0;
    if (rows) {
        const auto colon = rows->find(':');
        if (colon == std::string::npos || !parseUnsigned(std::string_view(*rows).substr(0, colon), first) ||
            !parseUnsigned(std::string_view(*rows).substr(colon + 1), count) || count == 0) {
            args.error = true;
            args.errorText = "--rows takes FIRST:COUNT, COUNT at least 1";
        }
    }
    if (args.error || files.size() != 1) return usage(args, kDumpUsage);

    ConsolePort port;
    MemorySettingsStore settings;
    setOutputFolder(settings, out);
    port.setText(controls::kRecordFilter, filter);
    CMyTarvikView view(port, settings);
    if (!view.openRecordFile(files[0])) return kExitMessageShown;
    if (rows) port.visibleRows = std::pair<std::size_t, std::size_t>(first, first + count - 1);
    const std::size_t readerMessages = port.messages.size();
    view.OnDumpAllShown();
    if (readerMessages > 0) {
        if (!view.lastWrittenTextFile().empty()) std::printf("%s\n", view.lastWrittenTextFile().c_str());
        return kExitMessageShown;
    }
    return finish(port, view);
}

int runPrint(Args& args) {
    const std::string filter = args.option("--filter").value_or(std::string(kAllRecords));
    const std::optional<std::string> rowText = args.option("--row");
    const std::optional<std::string> pdf = args.option("--pdf");
    auto files = args.positionals();
    unsigned long long row = 0;
    if (args.error || files.size() != 1 || !rowText || !pdf || !parseUnsigned(*rowText, row))
        return usage(args, kPrintUsage);

    ConsolePort port;
    MemorySettingsStore settings;
    port.setText(controls::kRecordFilter, filter);
    port.pdfPath = *pdf;
    CMyTarvikView view(port, settings);
    if (!view.openRecordFile(files[0])) return kExitMessageShown;
    if (row >= view.recordRowCount()) {
        std::fprintf(stderr, "tarvik-cli: there is no listed row %llu (%zu rows listed)\n", row, view.recordRowCount());
        return kExitUsage;
    }
    view.OnRowSelectionChanged(static_cast<std::size_t>(row));
    view.OnPrintRecord();
    if (port.printFailed) return kExitMessageShown;
    std::printf("%s\n", pdf->c_str());
    return port.messages.empty() ? kExitOk : kExitMessageShown;
}

} // namespace tarvik::cli
