// tarvik-cli condense, dump and print: the window's text outputs and printing
// of a record file, through the same view commands.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/record_file.h"
#include "tools/tarvik-cli/cli.h"

#include <limits>
#include <memory>
#include <optional>
#include <string>

namespace tarvik::cli {

namespace {

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

struct CondenseOptions {
    std::string file;
    std::string sep = "fixed";
    std::string out = ".";
    std::string filter;
};

int runCondense(const CondenseOptions& o) {
    DataSeparator separator = DataSeparator::FixedWidth;
    if (o.sep == "tab") separator = DataSeparator::Tab;
    else if (o.sep == "space") separator = DataSeparator::Space;
    else if (o.sep == "comma") separator = DataSeparator::Comma;

    ConsolePort port;
    MemorySettingsStore settings;
    setOutputFolder(settings, o.out);
    CMyTarvikView view(port, settings);
    view.setDataSeparator(separator);
    // Only the records the filter passes are condensed (record types too).
    std::optional<RecordFilter> filter = compileFilterOption(o.filter, view.layoutCatalogue());
    if (!filter) return kExitUsage;
    view.setRecordFilter(std::move(*filter));
    // A broken file is condensed up to its break, after the reader's message.
    if (!view.openRecordFile(o.file)) return kExitMessageShown;
    const std::size_t readerMessages = port.messages.size();
    view.OnCopyToCondensedFile();
    if (readerMessages > 0) {
        if (!view.lastWrittenTextFile().empty()) std::printf("%s\n", view.lastWrittenTextFile().c_str());
        return kExitMessageShown;
    }
    return finish(port, view);
}

struct DumpOptions {
    std::string file;
    std::string filter;
    std::string out = ".";
    std::optional<std::pair<std::size_t, std::size_t>> rows;  // first, count
};

int runDump(const DumpOptions& o) {
    ConsolePort port;
    MemorySettingsStore settings;
    setOutputFolder(settings, o.out);
    CMyTarvikView view(port, settings);
    if (!applyFilterOption(view, o.filter)) return kExitUsage;
    if (!view.openRecordFile(o.file)) return kExitMessageShown;
    if (o.rows) port.visibleRows = std::pair<std::size_t, std::size_t>(o.rows->first, o.rows->first + o.rows->second - 1);
    const std::size_t readerMessages = port.messages.size();
    view.OnDumpAllShown();
    if (readerMessages > 0) {
        if (!view.lastWrittenTextFile().empty()) std::printf("%s\n", view.lastWrittenTextFile().c_str());
        return kExitMessageShown;
    }
    return finish(port, view);
}

struct PrintOptions {
    std::string file;
    std::size_t row = 0;
    std::string pdf;
    std::string filter;
    bool force = false;
};

int runPrint(const PrintOptions& o) {
    const std::size_t row = o.row;
    ConsolePort port;
    MemorySettingsStore settings;
    port.pdfPath = o.pdf;
    port.replacePdf = o.force;
    // The record file is never printed over, not even with --force.
    if (sameExistingFile(o.pdf, o.file)) {
        std::fprintf(stderr, "tarvik-cli: %s is the record file being printed; choose another PDF file\n",
                     o.pdf.c_str());
        return kExitMessageShown;
    }
    CMyTarvikView view(port, settings);
    if (!applyFilterOption(view, o.filter)) return kExitUsage;
    if (!view.openRecordFile(o.file)) return kExitMessageShown;
    if (row >= view.recordRowCount()) {
        std::fprintf(stderr, "tarvik-cli: there is no listed row %zu (%s listed)\n", row,
                     counted(view.recordRowCount(), "row", "rows").c_str());
        return kExitUsage;
    }
    port.selectRecordRow(row);
    view.OnRowSelectionChanged(row);
    view.OnPrintRecord();
    if (port.printFailed) return kExitMessageShown;
    std::printf("%s\n", o.pdf.c_str());
    return port.messages.empty() ? kExitOk : kExitMessageShown;
}

// "FIRST:COUNT", both whole numbers, COUNT at least 1.
CLI::Validator rowRange() {
    return CLI::Validator(
        [](std::string& input) -> std::string {
            const auto colon = input.find(':');
            std::string ignored = colon == std::string::npos ? input : input.substr(0, colon);
            std::string count = colon == std::string::npos ? std::string() : input.substr(colon + 1);
            if (colon == std::string::npos || !options::wholeNumber<std::size_t>()(ignored).empty() ||
                !options::wholeNumber(1, std::numeric_limits<std::size_t>::max())(count).empty())
                return input + " is not FIRST:COUNT (whole numbers, COUNT at least 1)";
            return {};
        },
        "");
}

} // namespace

Command addCondense(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "condense", "write the condensed file of a record file: one line per record",
        {"tarvik-cli condense FILE [--sep tab|space|comma|fixed] [--filter EXPR] [--out DIR]",
         "Reads a record file (*.vxr) and writes its condensed file as File -> \"Copy File To\n"
         "Condensed File\" does: one line per record (ping or record number, record type, size,\n"
         "date, time) and a line for each gap in the ping numbers. The file is DIR/NAME.txt (or\n"
         "the next free NAME.000.txt ...), NAME being the record file's name without \".vxr\"\n"
         "(a dump of the same file in the same folder takes the next free name).\n"
         "With --filter only the records it passes have lines (and gaps are looked for\n"
         "among them).\n"
         "Prints the result message on stderr and the file's name on stdout.\n\n"
         "Exit status: 0 written, 1 another message was shown (on stderr), 2 usage error."});
    auto o = std::make_shared<CondenseOptions>();
    command->add_option("FILE", o->file, "the record file (*.vxr) or packet capture (*.pcap, *.pcapng)")->required();
    command->add_option("--sep", o->sep, "column separator: tab, space, comma or fixed (fixed width, the default)")
        ->type_name("S")
        ->check(CLI::IsMember({"tab", "space", "comma", "fixed"}));
    command->add_option("--out", o->out, "the output folder (default: the current folder)")->type_name("DIR");
    addFilterOption(*command, o->filter);
    addCapturePortsOption(*command);
    return {command, [o] { return runCondense(*o); }};
}

Command addDump(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "dump", "write the summary and reports of listed rows to a text file",
        {"tarvik-cli dump FILE [--filter TEXT] [--rows FIRST:COUNT] [--out DIR]",
         "Reads a record file (*.vxr) and writes a text file as Record -> \"Dump All Shown To\n"
         "Text File\" does: a summary line for each listed row, then the report of each.\n"
         "Prints the result message on stderr and the file's name on stdout.\n\n"
         "Exit status: 0 written, 1 another message was shown (on stderr), 2 usage error."});
    auto o = std::make_shared<DumpOptions>();
    command->add_option("FILE", o->file, "the record file (*.vxr) or packet capture (*.pcap, *.pcapng)")->required();
    addFilterOption(*command, o->filter);
    command
        ->add_option_function<std::string>(
            "--rows",
            [o](const std::string& text) {
                const auto colon = text.find(':');
                o->rows.emplace(std::stoull(text.substr(0, colon)), std::stoull(text.substr(colon + 1)));
            },
            "the rows in sight (default: every listed row)")
        ->type_name("FIRST:COUNT")
        ->check(rowRange());
    command->add_option("--out", o->out, "the output folder (default: the current folder)")->type_name("DIR");
    addCapturePortsOption(*command);
    return {command, [o] { return runDump(*o); }};
}

Command addPrint(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "print", "print the report of a listed record to a PDF file",
        {"tarvik-cli print FILE --row N --pdf OUT.pdf [--filter TEXT] [--force]",
         "Prints the report of listed row N of a record file as \"Print Record\" does, into a\n"
         "PDF file: every page with its header (the file's name, the record type and the row),\n"
         "\"Page N of M\" and the date and time of printing. Long lines break between values.\n"
         "An existing OUT.pdf is kept unless --force is given; the PDF is written whole or not\n"
         "at all, never onto the record file, and never over anything but a regular file.\n\n"
         "Exit status: 0 printed, 1 a message was shown or the PDF could not be written, 2 usage error."});
    auto o = std::make_shared<PrintOptions>();
    command->add_option("FILE", o->file, "the record file (*.vxr) or packet capture (*.pcap, *.pcapng)")->required();
    command->add_option("--row", o->row, "the listed row whose report is printed")
        ->type_name("N")
        ->required()
        ->transform(options::wholeNumber<std::size_t>());
    command->add_option("--pdf", o->pdf, "the PDF file to write")->type_name("OUT.pdf")->required();
    addFilterOption(*command, o->filter);
    command->add_flag("--force", o->force, "replace an existing PDF file");
    return {command, [o] { return runPrint(*o); }};
}

} // namespace tarvik::cli
