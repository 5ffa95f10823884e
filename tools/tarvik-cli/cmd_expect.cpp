// tarvik-cli expect and profiles: a test profile judged over record files,
// packet captures or a live feed, and the built-in profiles listed.

#include "app/controls.h"
#include "app/tarvik_view.h"
#include "core/text.h"
#include "core/whole_file_output.h"
#include "profiles/run.h"
#include "remote/definitions.h"
#include "tools/tarvik-cli/cli.h"
#include "tools/tarvik-cli/live_session.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace tarvik::cli {

namespace {

struct ExpectOptions {
    std::string profile;
    std::vector<std::string> sources;
    std::vector<std::string> live;  // HOST PORT
    double seconds = 10.0;
    std::string junit, json;
    bool force = false;
    bool noLayouts = false;
};

// Prints a source's verdicts: its name, then a line per rule.
void printVerdict(const profiles::SourceVerdict& v) {
    std::string text = shownName(v.source) + "\n";
    for (const std::string& w : v.warnings) text += "  note: " + w + "\n";
    for (const std::string& line : profiles::resultLines(v.results)) text += "  " + line + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

// The live feed judged for `seconds` or until Ctrl-C: connected and subscribed
// as listen does, every listed row handed to the checker as it is listed.
std::optional<profiles::SourceVerdict> judgeLive(const profiles::Profile& profile, const std::string& host,
                                                 const std::string& port, double seconds) {
    LiveSession::catchInterrupts();
    LiveSession session(false);
    profiles::RuleChecker checker(profile, {10, true});
    // A text line is named by the record it stands before, and the end of the
    // connection by the last record listed, as the window's Rules pane names them.
    std::uint64_t lastRow = 0;
    CArrivalPipeline::Subscriber sink;
    sink.listed = [&checker, &lastRow](const ListedEntry& entry) {
        if (FrameView(entry.bytes()).isFrame()) checker.record(entry.bytes(), lastRow = entry.number);
        else checker.textRow(std::string_view(reinterpret_cast<const char*>(entry.bytes().data()), entry.bytes().size()),
                             lastRow + 1);
    };
    const CArrivalPipeline::Subscription subscribed = session.view.pipeline().subscribe(std::move(sink));
    const Subscription lost = session.view.connection().connectionLost.subscribe([&] {
        checker.incident(profiles::Incident::ConnectionLost, lastRow, "the connection to the server ended");
    });
    session.port.setText(controls::kTransportLabel, "TCP");
    session.port.setText(controls::kAddress, host);
    session.port.setText(controls::kPort, port);
    // Every record is judged: the rules pick their own.
    if (!applyFilterOption(session.view, std::string(kAllRecords))) return std::nullopt;
    session.view.OnStartCommunicating();
    if (!session.view.connection().connected()) return std::nullopt;
    session.run(seconds);
    session.view.OnViewClosing();
    profiles::SourceVerdict v;
    v.source = "tcp://" + host + ":" + port;
    v.results = checker.results(true);
    return v;
}

bool writeOutput(const std::string& path, const std::string& text, bool force) {
    const Result<void> written =
        writeWholeFile(path, asBytes(text), force ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No);
    if (!written) sayNotWritten(path, written.error(), true);
    return static_cast<bool>(written);
}

int runExpect(const ExpectOptions& o) {
    if (o.sources.empty() && o.live.empty()) {
        std::fprintf(stderr, "tarvik-cli: expect needs a SOURCE or --live HOST PORT\n");
        return kExitUsage;
    }
    std::vector<std::string> inputs = o.sources;
    inputs.push_back(o.profile);
    for (const std::string* out : {&o.junit, &o.json})
        if (!out->empty() && !outputAllowed(*out, inputs, o.force)) return kExitUsage;
    if (!o.junit.empty() && o.junit == o.json) {
        std::fprintf(stderr, "tarvik-cli: --junit and --json name the same file\n");
        return kExitUsage;
    }

    const LayoutOptions& layouts = CMyTarvikView::layoutOptions();
    // The rules read fields whatever --no-layouts says: it spares only the check's walk.
    const LoadedDefinitions definitions = loadLayouts(layouts.directory, layouts.userDirectory);
    const bool layoutProblems = sayLayoutProblems(definitions.problems);
    const std::string profilePath = profiles::resolveProfile(o.profile);
    const Result<profiles::Profile> profile = profiles::loadProfile(profilePath, definitions.catalogue);
    if (!profile) {
        std::fprintf(stderr, "%s\n", profile.error().c_str());
        return kExitUsage;
    }

    const remote::RemoteCommandCatalogue commands = remote::remoteCommandCatalogue(definitions);
    FileCheckOptions checkOptions;
    checkOptions.walkLayouts = !o.noLayouts;
    checkOptions.readAhead = std::thread::hardware_concurrency() > 1;
    const FileChecker checker(definitions.catalogue, commands, checkOptions);

    int status = layoutProblems ? kExitMessageShown : kExitOk;
    std::vector<profiles::SourceVerdict> verdicts;
    for (const std::string& source : o.sources) {
        Result<profiles::SourceVerdict> v =
            profiles::judgeFile(*profile, checker, source, CMyTarvikView::defaultCapturePorts());
        if (!v) {
            std::fprintf(stderr, "tarvik-cli: cannot read %s: %s\n", shownName(source).c_str(), v.error().c_str());
            status = kExitUsage;
            continue;
        }
        printVerdict(*v);
        verdicts.push_back(std::move(*v));
    }
    if (!o.live.empty()) {
        std::optional<profiles::SourceVerdict> v = judgeLive(*profile, o.live[0], o.live[1], o.seconds);
        if (!v) {
            status = kExitUsage;  // the connection's message is on stderr
        } else {
            printVerdict(*v);
            verdicts.push_back(std::move(*v));
        }
    }
    bool failed = false;
    for (const profiles::SourceVerdict& v : verdicts) failed = failed || profiles::anyErrorFailed(v.results);
    if (!o.junit.empty() && !writeOutput(o.junit, profiles::verdictJUnit(*profile, verdicts), o.force)) status = kExitUsage;
    if (!o.json.empty() && !writeOutput(o.json, profiles::verdictJson(*profile, verdicts), o.force)) status = kExitUsage;
    if (status == kExitUsage) return status;
    return failed ? kExitMessageShown : status;
}

int runProfiles(const std::string& name) {
    const std::vector<std::string> files = profiles::builtInProfiles();
    if (!name.empty()) {
        const std::string path = profiles::resolveProfile(name);
        std::ifstream in(path, std::ios::binary);
        if (!in || path == name) {
            std::fprintf(stderr, "tarvik-cli: %s is not a built-in profile (tarvik-cli profiles lists them)\n",
                         shownName(name).c_str());
            return kExitUsage;
        }
        std::ostringstream text;
        text << in.rdbuf();
        std::fputs(text.str().c_str(), stdout);
        return kExitOk;
    }
    if (files.empty()) {
        std::fprintf(stderr, "tarvik-cli: no built-in profiles in %s\n", profiles::builtInProfileFolder().c_str());
        return kExitMessageShown;
    }
    // Listed with what they say of themselves; a profile that does not load says why.
    const LoadedDefinitions definitions = loadLayouts({}, {});
    int status = kExitOk;
    for (const std::string& file : files) {
        const Result<profiles::Profile> p = profiles::loadProfile(file, definitions.catalogue);
        if (!p) {
            std::fprintf(stderr, "%s\n", p.error().c_str());
            status = kExitMessageShown;
            continue;
        }
        std::printf("%s\t%zu rules\t%s\t%s\n", p->name.c_str(), p->rules.size(), file.c_str(), p->description.c_str());
    }
    return status;
}

} // namespace

Command addExpect(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "expect", "judge a test profile over record files, captures or a live feed",
        {"tarvik-cli expect PROFILE SOURCE... [--junit FILE] [--json FILE] [--force]\n"
         "                  tarvik-cli expect PROFILE --live HOST PORT [--seconds N] [--junit FILE] [--json FILE]",
         "Judges the rules of PROFILE (a profile file, or the name of a built-in one: see\n"
         "tarvik-cli profiles and docs/profiles.md) over each SOURCE, a record file or a\n"
         "packet capture read end to end as check reads it, and with --live over the records\n"
         "a server sends, connected and subscribed as listen does, for N seconds (default 10)\n"
         "or until Ctrl-C. Prints per source a line per rule: \"pass\", \"FAIL\" (an error rule)\n"
         "or \"WARN\" (a warning rule) with the count of failures and the first failing rows\n"
         "(a file's frame index from 0, the live list's record number), or \"n/a\" with why\n"
         "the rule could not be evaluated (its records never came).\n"
         "--junit writes JUnit XML (one test case per rule; a failed error rule is a failure,\n"
         "a rule not evaluated is skipped), which CI servers show as test results; --json the\n"
         "same as a JSON document. Both are written whole, never onto an input, and replace\n"
         "an existing file only with --force.\n\n"
         "Exit status: 0 no error rule failed, 1 an error rule failed (or a layout file has\n"
         "problems), 2 usage error, a profile that does not load (its FILE:LINE: reason on\n"
         "stderr), a source that cannot be read or a connection that failed."});
    auto o = std::make_shared<ExpectOptions>();
    command->add_option("PROFILE", o->profile, "the profile: a file, or a built-in profile's name")->required();
    command->add_option("SOURCE", o->sources, "record files (*.vxr) or packet captures (*.pcap, *.pcapng)");
    command->add_option("--live", o->live, "judge the records of the server at HOST PORT")
        ->expected(2)
        ->type_name("HOST PORT");
    addSecondsOption(*command, o->seconds, "with --live: how long to listen, 0 to 1000000 seconds (default 10)");
    command->add_option("--junit", o->junit, "write the verdicts as JUnit XML into FILE")->type_name("FILE");
    command->add_option("--json", o->json, "write the verdicts as a JSON document into FILE")->type_name("FILE");
    addForceOption(*command, o->force);
    command->add_flag("--no-layouts", o->noLayouts, "skip the check's layout walk (damage it would find is not seen;\nthe rules still read the fields they name)");
    addLayoutsOption(*command);
    addCapturePortsOption(*command);
    return {command, [o] {
                if (!o->live.empty()) {
                    std::string host = o->live[0], port = o->live[1];
                    if (std::string why = hostAddress()(host); !why.empty()) options::usageError("--live: " + why);
                    if (std::string why = portNumber()(port); !why.empty()) options::usageError("--live: " + why);
                    o->live = {host, port};
                }
                return runExpect(*o);
            }};
}

Command addProfiles(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "profiles", "list the built-in test profiles, or print one to copy and edit",
        {"tarvik-cli profiles [NAME]",
         "Without NAME: one line per built-in profile (name, rule count, file, what it\n"
         "checks), tab-separated. With NAME: the profile's file, to copy and edit\n"
         "(tarvik-cli profiles bathymetry-feed > mine.yaml). docs/profiles.md explains them.\n\n"
         "Exit status: 0 listed, 1 a built-in profile did not load, 2 usage error or no\n"
         "built-in profile of that name."});
    auto name = std::make_shared<std::string>();
    command->add_option("NAME", *name, "a built-in profile's name");
    return {command, [name] { return runProfiles(*name); }};
}

} // namespace tarvik::cli
