// tarvik-cli listen: "Start Communicating" on the console. The window's
// connection and arrival pipeline run as they do behind the window; the
// messages go to stderr, the device list and every listed row to stdout.

#include "app/controls.h"
#include "core/frame.h"
#include "net/address.h"
#include "tools/tarvik-cli/cli.h"
#include "tools/tarvik-cli/live_session.h"

#include <memory>
#include <optional>

namespace tarvik::cli {

namespace {

struct ListenOptions {
    std::string host;
    std::string port = "7000";
    bool udp = false;
    bool noSubscribe = false;
    bool reportLast = false;
    double seconds = 3.0;
    std::string filter;
    std::optional<std::string> writeFolder;
    std::optional<std::uint32_t> limit;
};

int runListen(const ListenOptions& o) {
    // Ctrl-C ends the listening, not the program: the output file is closed
    // and named as at the end of the time.
    LiveSession::catchInterrupts();
    LiveSession session;
    ConsolePort& port = session.port;
    CMyTarvikView& view = session.view;
    view.connection().udp = o.udp;
    port.setText(controls::kTransportLabel, o.udp ? "UDP" : "TCP");
    port.setText(controls::kAddress, o.host);
    port.setText(controls::kPort, o.port);
    if (!applyFilterOption(view, o.filter)) return kExitUsage;
    port.setChecked(controls::kDisableInitialSubscription, o.noSubscribe);
    if (o.limit) view.pipeline().setScrollLimit(*o.limit);
    if (o.writeFolder) {
        RegistryString folder(setting_names::kLastOutputDirectory, session.settings);
        folder = *o.writeFolder;
        folder.Write();
    }

    view.OnStartCommunicating();
    if (!view.connection().connected()) return kExitMessageShown;
    if (o.writeFolder) {
        view.OnWriteOutputFile();
        if (!view.outputWriter().writing()) {
            view.OnViewClosing();
            return kExitMessageShown;  // the message is on stderr
        }
    }
    const auto& devices = view.connection().devices();
    const bool found = devices.size() > 2;  // more than the two fixed entries
    if (!found) std::fprintf(stderr, "%s\n", std::string(kNoDeviceListText).c_str());
    for (const auto& d : devices)
        std::printf("device\t%u\t%u\t%s\t%u\t%u\n", d.deviceId, static_cast<unsigned>(d.enumerator), d.name.c_str(),
                    d.sonarType, d.idh);
    std::fflush(stdout);

    session.run(o.seconds);
    if (o.reportLast && session.lastListedFrame) {
        view.showReport(session.lastListedFrame->bytes(), session.lastListedFrame->number);
        for (const ReportLine& line : port.reportLines) std::printf("%s\n", line.text.c_str());
    }
    if (o.writeFolder) {
        const std::string written = view.outputWriter().outputFileName();
        view.outputWriter().StopWriting();
        std::printf("%s\n", written.c_str());
    }
    view.OnViewClosing();
    std::fflush(stdout);
    return found && !session.lost() ? kExitOk : kExitMessageShown;
}

} // namespace

Command addListen(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "listen", "connect as \"Start Communicating\" does and print the rows listed live",
        {"tarvik-cli listen HOST [PORT] [--udp] [--filter TEXT] [--no-subscribe]\n"
         "                  [--seconds S] [--limit N] [--report-last] [--write DIR]",
         "Connects to the server at HOST (dotted IPv4 or localhost) and PORT (default\n"
         "7000) as \"Start Communicating\" does: asks for the sonar version and the\n"
         "configuration record, waits up to 6 seconds for the device list, asks each\n"
         "device for 7004 and 7503 and subscribes it to 7000, 7002, 7004 and 7027. Then\n"
         "prints the device list, one line per device (\"device\", id, enumerator, name,\n"
         "sonar type, IDH flag, tab-separated; the fixed \"General device\" and \"Dummy\n"
         "device\" last), and each row the record list lists, as it is listed, for S\n"
         "seconds (default 3): a record as \"TYPE\\tSIZE bytes\", a text line as its text.\n"
         "Ctrl-C (SIGINT), SIGTERM or SIGHUP ends the listening early as the end of S\n"
         "would: the output file of --write is closed and its name printed.\n\n"
         "Exit status: 0 when it connected and got a device list, 1 when a message was\n"
         "shown (connection failed, no device list, the connection ended by itself,\n"
         "the output file could not be made), 2 on a usage error."});
    auto o = std::make_shared<ListenOptions>();
    command->add_option("HOST", o->host, "the server's address: dotted IPv4 or localhost")
        ->required()
        ->transform(hostAddress());
    command->add_option("PORT", o->port, "the server's port, 1 to 65535 (default 7000)")->check(portNumber());
    command->add_flag("--udp", o->udp, "use UDP instead of TCP");
    addFilterOption(*command, o->filter);
    command->add_flag("--no-subscribe", o->noSubscribe, "tick \"Disable Initial Subscription\"");
    addSecondsOption(*command, o->seconds, "how long to listen, 0 to 1000000 seconds (default 3)");
    command->add_option("--limit", o->limit, "the scroll limit, 20 to 1000 (default 100)")
        ->type_name("N")
        ->transform(options::wholeNumber(kMinScrollLimit, kMaxScrollLimit));
    command->add_flag("--report-last", o->reportLast, "at the end, print the report of the last listed record");
    command
        ->add_option("--write", o->writeFolder,
                     "record the listed records into a new record file in DIR, as\n"
                     "\"Write Output File\" does, and print its name at the end")
        ->type_name("DIR")
        ->check(CLI::Validator(
            [](std::string& dir) { return dir.empty() ? std::string("the folder name is empty") : std::string(); },
            ""));
    return {command, [o] { return runListen(*o); }};
}

} // namespace tarvik::cli
