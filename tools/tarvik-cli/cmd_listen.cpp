// tarvik-cli listen: "Start Communicating" on the console. The window's
// connection and arrival pipeline run as they do behind the window; the
// messages go to stderr, the device list and every listed row to stdout.

#include "app/controls.h"
#include "core/frame.h"
#include "net/address.h"
#include "tools/tarvik-cli/cli.h"
#include "tools/tarvik-cli/live_session.h"

#include <cstdlib>

namespace tarvik::cli {

const char* const kListenUsage =
    "Usage: tarvik-cli listen HOST [PORT] [--udp] [--filter TEXT] [--no-subscribe]\n"
    "                         [--seconds S] [--limit N] [--report-last] [--write DIR]\n\n"
    "Connects to the server at HOST (dotted IPv4 or localhost) and PORT (default\n"
    "7000) as \"Start Communicating\" does: asks for the sonar version and the\n"
    "configuration record, waits up to 6 seconds for the device list, asks each\n"
    "device for 7004 and 7503 and subscribes it to 7000, 7002, 7004 and 7027. Then\n"
    "prints the device list, one line per device (\"device\", id, enumerator, name,\n"
    "sonar type, IDH flag, tab-separated; the fixed \"General device\" and \"Dummy\n"
    "device\" last), and each row the record list lists, as it is listed, for S\n"
    "seconds (default 3): a record as \"TYPE\\tSIZE bytes\", a text line as its text.\n\n"
    "  --udp           use UDP instead of TCP\n"
    "  --filter TEXT   the record filter's text (default \"ALL RECORDS\")\n"
    "  --no-subscribe  tick \"Disable Initial Subscription\"\n"
    "  --seconds S     how long to listen (a decimal number of seconds)\n"
    "  --limit N       the scroll limit, 20 to 1000 (default 100)\n"
    "  --report-last   at the end, print the report of the last listed record\n"
    "  --write DIR     record the listed records into a new record file in DIR, as\n"
    "                  \"Write Output File\" does, and print its name at the end\n\n"
    "Exit status: 0 when it connected and got a device list, 1 when a message was\n"
    "shown (connection failed, no device list, the connection ended by itself,\n"
    "the output file could not be made),\n"
    "2 on a usage error.\n";

int runListen(Args& args) {
    const bool udp = args.flag("--udp");
    const bool noSubscribe = args.flag("--no-subscribe");
    const bool reportLast = args.flag("--report-last");
    const double seconds = secondsOption(args, 3.0);
    const std::string filter = args.option("--filter").value_or(std::string(kAllRecords));
    const std::optional<std::string> writeFolder = args.option("--write");
    if (writeFolder && writeFolder->empty()) args.error = true;
    std::optional<std::uint32_t> limit;
    if (auto l = args.option("--limit")) {
        unsigned long long value = 0;
        if (parseUnsigned(*l, value) && value >= kMinScrollLimit && value <= kMaxScrollLimit)
            limit = static_cast<std::uint32_t>(value);
        else
            args.error = true;
    }
    auto words = args.positionals();
    if (args.error || words.empty() || words.size() > 2) {
        std::fputs(kListenUsage, stderr);
        return kExitUsage;
    }
    const std::string host = net::normaliseAddress(words[0]);
    const std::string portText = words.size() == 2 ? words[1] : "7000";
    if (!net::isIPv4Address(host) || !net::parsePort(portText)) {
        std::fprintf(stderr, "tarvik-cli listen: %s\n\n",
                     net::isIPv4Address(host) ? "PORT must be a number from 1 to 65535"
                                              : "HOST must be a dotted IPv4 address");
        std::fputs(kListenUsage, stderr);
        return kExitUsage;
    }

    LiveSession session;
    ConsolePort& port = session.port;
    CMyTarvikView& view = session.view;
    view.connection().udp = udp;
    port.setText(controls::kTransportLabel, udp ? "UDP" : "TCP");
    port.setText(controls::kAddress, host);
    port.setText(controls::kPort, portText);
    port.setText(controls::kRecordFilter, filter);
    port.setChecked(controls::kDisableInitialSubscription, noSubscribe);
    if (limit) view.pipeline().setScrollLimit(*limit);
    if (writeFolder) {
        RegistryString folder(setting_names::kLastOutputDirectory, session.settings);
        folder = *writeFolder;
        folder.Write();
    }

    view.OnStartCommunicating();
    if (!view.connection().connected()) return kExitMessageShown;
    if (writeFolder) {
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

    session.run(seconds);
    if (reportLast && session.lastListedFrame) {
        view.showReport(session.lastListedFrame->bytes(), session.lastListedFrame->number);
        for (const ReportLine& line : port.reportLines) std::printf("%s\n", line.text.c_str());
    }
    if (writeFolder) {
        const std::string written = view.outputWriter().outputFileName();
        view.outputWriter().StopWriting();
        std::printf("%s\n", written.c_str());
    }
    view.OnViewClosing();
    std::fflush(stdout);
    return found && !session.lost() ? kExitOk : kExitMessageShown;
}

} // namespace tarvik::cli
