// tarvik-cli check: every frame of record files, checked end to end.

#include "app/tarvik_view.h"
#include "core/text.h"
#include "decode/file_check.h"
#include "decode/record_json.h"
#include "expr/predicate.h"
#include "sources/open_source.h"
#include "remote/definitions.h"
#include "tools/tarvik-cli/cli.h"
#include "tools/tarvik-cli/cmd_coverage.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace tarvik::cli {

namespace {

struct CheckOptions {
    std::vector<std::string> files;
    bool json = false;
    bool noLayouts = false;
    bool coverage = false;
    std::string filter;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
};

// The command catalogue, built when the first remote control record asks for a
// command's body: most files hold none, and reading and building it cost a
// small file's check a tenth of its time. Definitions whose descriptions are
// looked up in the program's image were loaded without their commands, which
// are then loaded here (the built-in ones: such definitions hold no others).
// Safe to ask from the workers of --jobs at once.
class CommandsOnFirstUse final : public RemoteCommandDefinitions {
public:
    explicit CommandsOnFirstUse(const LoadedDefinitions& definitions) : definitions_(definitions) {}
    const std::vector<CRecordDataLayout>& commandItems(std::uint32_t number) const override {
        std::call_once(built_, [this] {
            catalogue_ = definitions_.catalogue.builtIns
                             ? remote::remoteCommandCatalogue(loadLayoutsForLookups({}, false, CommandDefinitions::Read))
                             : remote::remoteCommandCatalogue(definitions_);
        });
        return catalogue_.commandItems(number);
    }

private:
    const LoadedDefinitions& definitions_;
    mutable std::once_flag built_;
    mutable remote::RemoteCommandCatalogue catalogue_;
};

int runCheck(const CheckOptions& o) {
    if (o.coverage) return runCheckCoverage(o.files);
    const std::vector<std::string>& files = o.files;
    const bool json = o.json, noLayouts = o.noLayouts;
    const unsigned jobs = o.jobs;
    const LayoutOptions& layouts = CMyTarvikView::layoutOptions();
    // Without the walk no layout is looked at: reading them would cost more than a small file's check.
    // The definitions are kept for the life of the process, which ends with the command: freeing
    // their many small pieces one by one would cost a good part of a small file's check.
    static const LoadedDefinitions* kept = nullptr;
    // The walk looks layouts up one record type at a time, so the built-in ones are unpacked as the
    // file's types ask for them; a filter's compiler goes through the whole catalogue.
    kept = new LoadedDefinitions(noLayouts           ? LoadedDefinitions{}
                                 : o.filter.empty() ? loadLayoutsForLookups(layouts.directory, layouts.userDirectory,
                                                                            CommandDefinitions::LeftOut)
                                                    : loadLayouts(layouts.directory, layouts.userDirectory));
    const LoadedDefinitions& definitions = *kept;
    // A layout file that could not be loaded leaves its records less checked than asked: said,
    // and the check is not called clean.
    const bool layoutProblems = sayLayoutProblems(definitions.problems);
    // Remote control records are walked into their command bodies, as the report walks them.
    const CommandsOnFirstUse commands(definitions);
    const std::size_t threads = std::min<std::size_t>(jobs, files.size());
    FileCheckOptions options;
    options.walkLayouts = !noLayouts;
    // One file at a time leaves the other cores free: one of them reads ahead.
    options.readAhead = threads == 1 && std::thread::hardware_concurrency() > 1;
    const FileChecker checker(definitions.catalogue, commands, options);
    // --filter: the records that pass, and those whose walk stops before a
    // field it names, counted in the same pass as the check.
    struct Matched {
        std::uint64_t passed = 0, unreached = 0;
    };
    std::vector<Matched> matched(files.size());
    if (!o.filter.empty() && !compileFilterOption(o.filter, definitions.catalogue)) return kExitUsage;

    // Files are taken in turn by the workers; results are printed in the order given.
    std::vector<FileCheckResult> results(files.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < files.size();)
        {
            if (o.filter.empty()) {
                results[i] = checkRecordSource(checker, files[i], CMyTarvikView::defaultCapturePorts());
                continue;
            }
            // One compiled filter per file: its walks are its own.
            const RecordFilter types = RecordFilter::types(o.filter);
            std::shared_ptr<const expr::FieldPredicate> predicate;
            if (!expr::isRecordTypeText(o.filter)) predicate = *expr::compilePredicate(o.filter, definitions.catalogue);
            Matched& m = matched[i];
            results[i] = checkRecordSource(checker, files[i], CMyTarvikView::defaultCapturePorts(),
                                           [&](const CheckedFrame& f) {
                                               if (!predicate) {
                                                   m.passed += types.passesType(f.header.recordType());
                                                   return;
                                               }
                                               const expr::Verdict v = predicate->judge(
                                                   f.bytes, {static_cast<std::uint32_t>(f.index), nullptr});
                                               m.passed += v.matches;
                                               m.unreached += v.unreached;
                                           });
        }
    };
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();

    int status = layoutProblems ? kExitMessageShown : kExitOk;
    for (const FileCheckResult& r : results) {
        if (json) {
            // One file: an indented document; several: one document a line.
            std::string doc = checkResultJson(r, results.size() == 1 ? 2 : -1);
            doc += '\n';
            std::fwrite(doc.data(), 1, doc.size(), stdout);
        } else {
            std::string text;
            for (const std::string& line : checkSummaryLines(r)) text += line + '\n';
            // Types whose layout has a title only: their data is not walked (not a problem of the records).
            std::string titleOnly;
            if (!noLayouts && !r.unreadable)
                for (const RecordStatistics::Row& row : r.statistics.rows()) {
                    const RecordDescription& d = definitions.catalogue.record(
                        RecordKey{kCatalogueProtocolVersion, kCatalogueRecordVersion,
                                  static_cast<std::int32_t>(row.recordType)});
                    if (!d.title.empty() && d.items.empty())
                        titleOnly += (titleOnly.empty() ? "" : ", ") + std::to_string(row.recordType);
                }
            if (!titleOnly.empty())
                text += "  not decoded: record type " + titleOnly + " (the layout lists no fields)\n";
            if (!o.filter.empty() && !r.unreadable) {
                const Matched& m = matched[static_cast<std::size_t>(&r - results.data())];
                text += "  filter: " + counted(m.passed, "record passes", "records pass") + " " + shownName(o.filter);
                if (m.unreached > 0)
                    text += "; " + counted(m.unreached, "record", "records") + " end before a field it names";
                text += '\n';
            }
            std::fwrite(text.data(), 1, text.size(), stdout);
        }
        if (r.unreadable) {
            std::fprintf(stderr, "tarvik-cli: cannot check %s: %s\n", shownName(r.path).c_str(), r.unreadable->c_str());
            status = kExitUsage;
        } else if (!r.clean() && status == kExitOk) {
            status = kExitMessageShown;
        }
    }
    return status;
}

} // namespace

Command addCheck(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "check", "check every frame of record files and count them per record type",
        {"tarvik-cli check FILE... [--json | --coverage | --filter EXPR] [--jobs N] [--no-layouts] [--layouts DIR]",
         "Walks every frame of each record file and checks the sync pattern, Size and Offset,\n"
         "an optional data offset outside the frame, frames that run past the end of the file\n"
         "(an empty file is a problem too), the checksum when the flags claim one, the layout\n"
         "walk with the remote-control command bodies (data exhausted, repeats that ran out of\n"
         "data, bad string lengths, counts above 1,000,000 taken as 0, bytes after the last\n"
         "field that are not zero padding, record types without a layout), the file catalog\n"
         "against the frames, ping-number gaps per record type, device and enumerator, and\n"
         "time stamps going backwards per device. A packet capture is checked as the record\n"
         "file its records make, with its own problems too: packets whose payload is not a\n"
         "record frame, records whose bytes never all came (a segment or a datagram missing),\n"
         "streams given up for the reader's memory budget, and an early end (the records\n"
         "before it are checked).\n"
         "Prints per file the frames and bytes per record type, the first and last time, and\n"
         "each problem with its frame index and byte offset (the first 20 of each kind).\n"
         "With --filter, a \"filter:\" line counts the records that pass it and, apart, those\n"
         "whose layout walk ends (damaged, cut short) before a field it names.\n"
         "Record types whose layout has a title only are named on a \"not decoded\" line:\n"
         "their data is not walked, and that is no problem of the file.\n"
         "Problems in the layout definition files (the user's, --layouts DIR) are printed to\n"
         "standard error.\n\n"
         "Exit status: 0 every file clean, 1 a problem was found (in a file or in a layout\n"
         "definition file), 2 usage error or a file that could not be read (the other files\n"
         "are still checked)."});
    auto o = std::make_shared<CheckOptions>();
    command->add_option("FILE", o->files, "the record files (*.vxr) or packet captures (*.pcap, *.pcapng)")->required();
    command->add_flag("--json", o->json, "one JSON document per file instead of the text summary");
    command->add_option("--jobs", o->jobs, "files checked in parallel, 1 to 1024 (default: the number of cores)")
        ->type_name("N")
        ->transform(options::wholeNumber(1, 1024));
    CLI::Option* noLayouts =
        command->add_flag("--no-layouts", o->noLayouts, "skip the layout walk (frames, checksums and order only)");
    command->add_flag("--coverage", o->coverage,
                      "instead of the check, the bytes no layout item decoded, summed per record\n"
                      "type of each file: records, data bytes, bytes not decoded, their share,\n"
                      "the records not fully decoded and the title")
        ->excludes("--json")
        ->excludes(noLayouts);
    command->add_option("--filter", o->filter,
                        "also count the records that pass this filter (record types or an\n"
                        "expression, as list --filter takes it; see docs/expressions.md), and apart\n"
                        "those whose walk ends before a field it names")
        ->type_name("EXPR")
        ->excludes("--json")
        ->excludes("--coverage")
        ->excludes(noLayouts);
    addLayoutsOption(*command);
    addCapturePortsOption(*command);
    return {command, [o] { return runCheck(*o); }};
}

} // namespace tarvik::cli
