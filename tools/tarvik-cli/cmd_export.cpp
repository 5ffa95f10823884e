// tarvik-cli export: the table of one record type (a row per record, a column
// per scalar field) as CSV or JSON Lines, the same table the Python module's
// File.table gives.

#include "app/tarvik_view.h"
#include "core/text.h"
#include "core/whole_file_output.h"
#include "sources/open_source.h"
#include "export/record_table.h"
#include "remote/definitions.h"
#include "tools/tarvik-cli/cli.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvik::cli {

namespace {

struct ExportOptions {
    std::string file;
    std::uint32_t type = 0;
    std::vector<std::string> fields;
    bool fieldsGiven = false;
    std::string format = "csv";
    std::string out;
    bool force = false;
    bool raw = false;
    std::string filter;
};

// "A,B,C" into its names; a name may not be empty.
std::vector<std::string> splitFields(const std::string& text) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        names.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return names;
}

int runExport(const ExportOptions& o) {
    if (!o.out.empty() && !outputAllowed(o.out, {o.file}, o.force)) return kExitMessageShown;
    const LayoutOptions& layouts = CMyTarvikView::layoutOptions();
    const LoadedDefinitions definitions = loadLayouts(layouts.directory, layouts.userDirectory);
    int status = sayLayoutProblems(definitions.problems) ? kExitMessageShown : kExitOk;
    const remote::RemoteCommandCatalogue commands = remote::remoteCommandCatalogue(definitions);

    SourceOptions options;
    options.capturePorts = CMyTarvikView::defaultCapturePorts();
    Result<OpenedSource> result = openSource(o.file, options);
    if (!result) {
        std::fprintf(stderr, "%s\n", result.error().c_str());
        return kExitMessageShown;
    }
    if (!result->source) {
        std::fprintf(stderr, "tarvik-cli: export reads a record file or a capture, not a live address\n");
        return kExitUsage;
    }
    const OpenedSource& opened = *result;
    // The records before a broken frame are exported; the message says where it broke.
    for (const std::string& w : opened.warnings()) {
        std::fprintf(stderr, "%s\n", w.c_str());
        status = kExitMessageShown;
    }

    std::optional<std::vector<std::string>> fields;
    if (o.fieldsGiven) fields = o.fields;
    std::optional<RecordFilter> filter = compileFilterOption(o.filter, definitions.catalogue);
    if (!filter) return kExitUsage;
    Result<RecordTable> built = buildRecordTable(*opened.source, definitions.catalogue, commands, o.type, fields, o.raw,
                                                 filter->showsEverything() ? nullptr : &*filter);
    if (!built) {
        std::fprintf(stderr, "tarvik-cli: %s\n", built.error().c_str());
        return kExitUsage;
    }
    const RecordTable& table = *built;
    if (!table.unread.empty()) {
        // Records the index holds but whose bytes are gone (the file changed while it was read).
        std::fprintf(stderr, "tarvik-cli: %zu record%s of type %u could not be read (the first at index %zu): not exported\n",
                     table.unread.size(), table.unread.size() == 1 ? "" : "s", o.type, table.unread.front());
        status = kExitMessageShown;
    }
    std::string text;
    if (o.format == "jsonl") writeJsonLines(table, text);
    else writeCsv(table, text);

    if (o.out.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return status;
    }
    if (const Result<void> written =
            writeWholeFile(o.out, asBytes(text), o.force ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No);
        !written) {
        sayNotWritten(o.out, written.error(), true);
        return kExitMessageShown;
    }
    return status;
}

} // namespace

Command addExport(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "export", "write the table of one record type as CSV or JSON Lines",
        {"tarvik-cli export FILE --type TYPE [--fields A,B,...] [--filter EXPR] [--format csv|jsonl] [--raw]\n"
         "                  [--out FILE] [--force]",
         "Writes one row per record of TYPE in a record file (*.vxr) or packet capture: its\n"
         "index position (record), time, device and enumerator, then one column per scalar\n"
         "field of the record's layout (numbers, texts and time stamps; repeat blocks and\n"
         "vectors are left out), or the fields named by --fields in that order. Numbers are\n"
         "the values the report shows (angles stored in radians in degrees; --raw: as\n"
         "stored), in full precision; times in ISO 8601 UTC; a field the record does not\n"
         "hold is empty (null in JSON Lines); a text that is not valid UTF-8 has U+FFFD for\n"
         "each bad byte, in both formats. CSV follows RFC 4180: a header row, CRLF line\n"
         "ends, fields quoted when needed.\n"
         "Without --out the table goes to stdout. A file that breaks part way, or ends inside\n"
         "its last frame, is exported up to there, with the message on stderr; so is a\n"
         "capture's problem (an early end, damaged packets, records lost on the way).\n\n"
         "Exit status: 0 written, 1 a message was shown or the output could not be written,\n"
         "2 usage error, no layout for TYPE or no such field."});
    auto o = std::make_shared<ExportOptions>();
    command->add_option("FILE", o->file, "the record file (*.vxr) or packet capture (*.pcap, *.pcapng)")->required();
    command->add_option("--type", o->type, "the record type whose records are the rows")
        ->type_name("TYPE")
        ->required()
        ->transform(options::wholeNumber<std::uint32_t>());
    command
        ->add_option_function<std::string>(
            "--fields",
            [o](const std::string& text) {
                o->fields = splitFields(text);
                o->fieldsGiven = true;
            },
            "the field columns, by their layout names, comma-separated")
        ->type_name("A,B,...");
    command->add_option("--format", o->format, "csv (default) or jsonl")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"csv", "jsonl"}));
    command->add_option("--out", o->out, "the file to write (default: stdout)")->type_name("FILE");
    addFilterOption(*command, o->filter);
    command->add_flag("--raw", o->raw, "numbers as stored (angles in radians) instead of as the report shows them");
    addForceOption(*command, o->force);
    addLayoutsOption(*command);
    addCapturePortsOption(*command);
    return {command, [o] { return runExport(*o); }};
}

} // namespace tarvik::cli
