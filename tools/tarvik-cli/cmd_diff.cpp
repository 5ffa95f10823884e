// tarvik-cli diff: two recordings compared record by record and field by
// field. Either side may be a record file or a capture; with --live the second
// side is what a server sends for a while, recorded first into a temporary
// record file as "Write Output File" records it.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "compare/compare.h"
#include "core/text.h"
#include "core/whole_file_output.h"
#include "tools/tarvik-cli/cli.h"
#include "tools/tarvik-cli/live_session.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace tarvik::cli {

namespace {

// Findings a JSON document lists at most (all are counted).
constexpr std::size_t kJsonFindings = 1'000'000;

struct DiffOptions {
    std::vector<std::string> files;
    std::vector<std::string> live;  // HOST PORT
    double seconds = 5.0;
    std::vector<std::string> tolerances;
    std::optional<std::string> ignore;
    std::size_t limit = 20;
    std::size_t window = 10000;
    double timeTolerance = 0.001;
    std::string json;
    bool force = false;
    std::string filter;
};

// A folder of our own under the system's temporary folder, removed with what is in it.
class OwnTemporaryFolder {
public:
    OwnTemporaryFolder() {
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "tarvik-diff-XXXXXX").string();
        if (ec) pattern = "/tmp/tarvik-diff-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~OwnTemporaryFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    OwnTemporaryFolder(const OwnTemporaryFolder&) = delete;
    OwnTemporaryFolder& operator=(const OwnTemporaryFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Records what the server at HOST PORT sends for `seconds` into a record file
// of `folder`; its path, or nullopt after the reason was printed.
std::optional<std::string> recordLive(const std::string& host, const std::string& port, double seconds,
                                      const std::string& folder) {
    LiveSession::catchInterrupts();
    LiveSession session;
    session.stopPrinting();
    session.port.setText(controls::kAddress, host);
    session.port.setText(controls::kPort, port);
    {
        RegistryString last(setting_names::kLastOutputDirectory, session.settings);
        last = folder;
        last.Write();
    }
    CMyTarvikView& view = session.view;
    view.setRecordFilter(RecordFilter());  // every record goes into the file; the comparison filters
    view.OnStartCommunicating();
    if (!view.connection().connected()) return std::nullopt;  // the message is on stderr
    view.OnWriteOutputFile();
    if (!view.outputWriter().writing()) {
        view.OnViewClosing();
        return std::nullopt;
    }
    session.run(seconds);
    const std::string written = view.outputWriter().outputFileName();
    view.outputWriter().StopWriting();
    view.OnViewClosing();
    if (session.lost()) return std::nullopt;
    return written;
}

std::string largestText(const std::optional<double>& d) {
    if (!d) return "-";
    return strprintf("%.9g", *d);
}

void printSummary(const compare::CompareResult& r, const std::string& a, const std::string& b) {
    std::printf("A: %s (%llu records compared)\n", a.c_str(), (unsigned long long)r.recordsA);
    std::printf("B: %s (%llu records compared)\n\n", b.c_str(), (unsigned long long)r.recordsB);
    std::printf("%-8s %10s %10s %10s %10s %10s\n", "type", "pairs", "equal", "differing", "only in A", "only in B");
    for (const auto& [type, t] : r.types)
        std::printf("%-8u %10llu %10llu %10llu %10llu %10llu\n", type, (unsigned long long)t.pairs,
                    (unsigned long long)t.equal, (unsigned long long)t.differing, (unsigned long long)t.onlyInA,
                    (unsigned long long)t.onlyInB);
    if (!r.fields.empty()) {
        std::printf("\n%-40s %10s %10s  %s\n", "field", "pairs", "values", "largest difference");
        for (const auto& [name, f] : r.fields)
            std::printf("%-40s %10llu %10llu  %s\n", name.c_str(), (unsigned long long)f.pairs,
                        (unsigned long long)f.values, largestText(f.largest).c_str());
    }
}

int runDiff(const DiffOptions& o) {
    const bool live = !o.live.empty();
    if (live ? o.files.size() != 1 : o.files.size() != 2) {
        std::fprintf(stderr, "tarvik-cli: diff compares two recordings: A B, or A --live HOST PORT\n");
        return kExitUsage;
    }
    std::vector<std::string> address = o.live;
    if (live) {
        std::string bad = hostAddress()(address[0]);
        if (bad.empty()) bad = portNumber()(address[1]);
        if (!bad.empty()) {
            std::fprintf(stderr, "tarvik-cli: --live: %s\n", bad.c_str());
            return kExitUsage;
        }
    }
    if (!o.json.empty() && !outputAllowed(o.json, o.files, o.force)) return kExitMessageShown;

    const LayoutOptions& layouts = CMyTarvikView::layoutOptions();
    const LoadedDefinitions definitions = loadLayouts(layouts.directory, layouts.userDirectory);
    int status = sayLayoutProblems(definitions.problems) ? kExitMessageShown : kExitOk;

    compare::CompareOptions options;
    options.detailLimit = o.limit;
    options.window = o.window;
    options.timeTolerance = o.timeTolerance;
    for (const std::string& t : o.tolerances)
        if (const Result<void> added = compare::addTolerance(t, definitions.catalogue, options); !added) {
            std::fprintf(stderr, "tarvik-cli: --tolerance: %s\n", added.error().c_str());
            return kExitUsage;
        }
    if (o.ignore) {
        Result<std::vector<std::string>> names = compare::ignoredNames(*o.ignore, definitions.catalogue);
        if (!names) {
            std::fprintf(stderr, "tarvik-cli: --ignore: %s\n", names.error().c_str());
            return kExitUsage;
        }
        options.ignored = std::move(*names);
    }
    std::optional<RecordFilter> filter = compileFilterOption(o.filter, definitions.catalogue);
    if (!filter) return kExitUsage;
    options.filter = std::move(*filter);

    const std::string& a = o.files[0];
    const std::string b = live ? "tcp://" + address[0] + ":" + address[1] : o.files[1];
    OwnTemporaryFolder folder;
    std::string fileB = b;
    if (live) {
        if (folder.path().empty()) {
            std::fprintf(stderr, "tarvik-cli: no temporary folder for the live records\n");
            return kExitMessageShown;
        }
        const std::optional<std::string> recorded = recordLive(address[0], address[1], o.seconds, folder.path());
        if (!recorded) return kExitMessageShown;
        fileB = *recorded;
    }

    std::vector<compare::Finding> all;
    bool truncated = false;
    compare::CompareObserver observer;
    if (!o.json.empty())
        observer.finding = [&](const compare::Finding& f) {
            if (all.size() < kJsonFindings) all.push_back(f);
            else truncated = true;
        };
    Result<compare::CompareResult> compared =
        compare::compareFiles(a, fileB, definitions.catalogue, options, observer, CMyTarvikView::defaultCapturePorts());
    if (!compared) {
        std::fprintf(stderr, "%s\n", compared.error().c_str());
        return kExitMessageShown;
    }
    const compare::CompareResult& r = *compared;
    // What could not be read makes the comparison incomplete: said, and not "equal".
    for (const std::string& n : r.notesA) std::fprintf(stderr, "A: %s\n", n.c_str());
    for (const std::string& n : r.notesB) std::fprintf(stderr, "B: %s\n", n.c_str());
    if (!r.notesA.empty() || !r.notesB.empty()) status = kExitMessageShown;

    printSummary(r, a, b);
    if (!r.first.empty()) {
        std::printf("\nfirst %s of %llu:\n", counted(r.first.size(), "finding", "findings").c_str(),
                    (unsigned long long)r.findings);
        for (const compare::Finding& f : r.first) std::printf("%s\n", f.line().c_str());
    }
    std::printf("\n%s\n", r.equal() ? "equal" : ("different: " + counted(r.findings, "finding", "findings")).c_str());
    std::fflush(stdout);

    if (!o.json.empty()) {
        const std::string text = compare::compareResultJson(r, a, b, all, truncated);
        if (const Result<void> written = writeWholeFile(o.json, asBytes(text),
                                                        o.force ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No);
            !written) {
            sayNotWritten(o.json, written.error(), true);
            return kExitMessageShown;
        }
    }
    if (!r.equal()) return kExitMessageShown;
    return status;
}

std::string defaultIgnoredText() {
    std::string s;
    for (const std::string& n : compare::CompareOptions::defaultIgnored()) s += (s.empty() ? "" : ",") + n;
    return s;
}

} // namespace

Command addDiff(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "diff", "compare two recordings record by record and field by field",
        {"tarvik-cli diff A B [--tolerance NAME=AMOUNT]... [--ignore NAMES] [--filter EXPR]\n"
         "                [--limit N] [--json FILE] [--force]\n"
         "       tarvik-cli diff A --live HOST PORT [--seconds S] [...]",
         "Compares two recordings (record files or packet captures; with --live, A against\n"
         "what the server at HOST PORT sends for S seconds, default 5). Records are paired\n"
         "per device, enumerator and record type: by ping number where the type carries\n"
         "one, else by record counter, else by time stamp (within --time-tolerance). A\n"
         "record whose partner does not turn up within --window records is \"only in A\"\n"
         "or \"only in B\"; the pairing after it goes on. File header and catalog records\n"
         "(7200, 7300) are not compared.\n"
         "Each pair is compared field by field, by the names `tarvik-cli fields` lists,\n"
         "with the values the report shows; repeat blocks and vectors element by element\n"
         "(more than 3 differing elements of a field in one record make one line with\n"
         "their count and the largest difference).\n"
         "Prints a summary per record type and per field, then the first findings (--limit,\n"
         "default 20) and \"equal\" or \"different\". --json FILE writes all of it.\n"
         "Fields ignored unless --ignore is given: " + defaultIgnoredText() + " (--ignore ''\n"
         "compares every field).\n\n"
         "Exit status: 0 equal within the tolerances, 1 different or a recording could not\n"
         "be read in full (the reason on stderr), 2 usage error."});
    auto o = std::make_shared<DiffOptions>();
    command->add_option("FILES", o->files, "the recordings A and B (record files or captures)")->required()->expected(1, 2);
    command->add_option("--live", o->live, "compare A with what the server at HOST PORT sends")
        ->type_name("HOST PORT")
        ->expected(2);
    addSecondsOption(*command, o->seconds, "with --live, how long to record, 0 to 1000000 seconds (default 5)");
    options::repeatable(command->add_option(
        "--tolerance", o->tolerances,
        "NAME=AMOUNT or NAME=PERCENT%: numbers of the field NAME (or of every field of a\n"
        "record type: 7027=1%) this close count as equal, the boundary included (repeatable)"))
        ->type_name("NAME=AMOUNT");
    command->add_option("--ignore", o->ignore,
                        "fields not compared, comma-separated (full or short names, or PREFIX*);\n"
                        "replaces the default " + defaultIgnoredText())
        ->type_name("NAMES");
    command->add_option("--limit", o->limit, "findings printed in detail (default 20)")
        ->type_name("N")
        ->transform(options::wholeNumber<std::size_t>());
    command->add_option("--window", o->window, "records a record waits for its partner, 1 to 1000000 (default 10000)")
        ->type_name("N")
        ->transform(options::wholeNumber(1, 1'000'000));
    command->add_option("--time-tolerance", o->timeTolerance,
                        "seconds within which records paired by time pair (default 0.001)")
        ->type_name("S")
        ->check(options::decimalNumber(0, 1e6));
    command->add_option("--json", o->json, "also write everything as a JSON document to FILE")->type_name("FILE");
    addFilterOption(*command, o->filter);
    addForceOption(*command, o->force);
    addLayoutsOption(*command);
    addCapturePortsOption(*command);
    return {command, [o] { return runDiff(*o); }};
}

} // namespace tarvik::cli
