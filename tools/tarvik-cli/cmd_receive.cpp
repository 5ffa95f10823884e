// tarvik-cli receive: connects to a server as the window does, asks for
// records and prints every row the record list shows for what arrives.

#include "app/controls.h"
#include "core/frame.h"
#include "net/address.h"
#include "tools/tarvik-cli/cli.h"
#include "tools/tarvik-cli/live_session.h"

namespace tarvik::cli {

const char* const kReceiveUsage =
    "Usage: tarvik-cli receive HOST PORT [--udp] [--request TYPE]... [--seconds S] [--out FILE]\n"
    "                          [--config FILE]\n\n"
    "Connects to the server at HOST (dotted IPv4) and PORT (1..65535) over TCP (UDP\n"
    "with --udp), sends, for each TYPE in order, a single record request to device\n"
    "7000, enumerator 0, then runs the arrival pipeline for S seconds (default 3) or\n"
    "until the connection ends, printing each row as the record list shows it: a\n"
    "record as its type and Size field (\"7000\\t204 bytes\"), a text line (\"TEXT Lost\n"
    "Packet\", a dropped-ping line) as its text. Every record type is listed.\n\n"
    "  --udp          use UDP instead of TCP\n"
    "  --request TYPE ask for one record of TYPE (repeatable)\n"
    "  --seconds S    how long to listen (a decimal number of seconds)\n"
    "  --out FILE     write the listed records as received, back to back, into a record file\n"
    "  --config FILE  at the end, write the newest configuration record (7001) the\n"
    "                 receiver kept, when there is one\n\n"
    "Exit status: 0 when connected and the connection stayed up, 1 when the\n"
    "connection failed or ended by itself (a line on stderr says which) or a\n"
    "request or file could not be written, 2 on a usage error.\n";

namespace {

bool writeFile(const std::string& path, const std::vector<Bytes>& frames) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = true;
    for (const auto& frame : frames) ok = ok && std::fwrite(frame.data(), 1, frame.size(), f) == frame.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int runReceive(Args& args) {
    const bool udp = args.flag("--udp");
    std::vector<std::uint32_t> requests;
    for (const auto& t : args.options("--request")) {
        unsigned long long type = 0;
        if (!parseUnsigned(t, type) || type > 0xFFFFFFFFull) args.error = true;
        requests.push_back(static_cast<std::uint32_t>(type));
    }
    const double seconds = secondsOption(args, 3.0);
    auto out = args.option("--out");
    auto config = args.option("--config");
    auto words = args.positionals();
    if (args.error || words.size() != 2) {
        std::fputs(kReceiveUsage, stderr);
        return kExitUsage;
    }
    const std::string host = net::normaliseAddress(words[0]);
    const std::string& portText = words[1];
    if (!net::isIPv4Address(host) || !net::parsePort(portText)) {
        std::fprintf(stderr, "tarvik-cli receive: %s\n\n",
                     net::isIPv4Address(host) ? "PORT must be a number from 1 to 65535"
                                              : "HOST must be a dotted IPv4 address");
        std::fputs(kReceiveUsage, stderr);
        return kExitUsage;
    }

    LiveSession session;
    CConnection& connection = session.view.connection();
    CArrivalPipeline& pipeline = session.view.pipeline();
    session.port.setText(controls::kRecordFilter, kAllRecords);
    pipeline.setScrollLimit(kMaxScrollLimit);
    std::vector<Bytes> frames;
    if (out) pipeline.outputRecord = [&frames](const Bytes& frame) { frames.push_back(frame); };

    int status = kExitOk;
    int error = 0;
    auto& receiver = connection.receiver();
    const auto handle = udp ? receiver.StartUdp(host, portText, error) : receiver.StartTcp(host, portText, error);
    if (handle == net::kInvalidSocket) {
        std::fprintf(stderr, "%s\n", net::socketErrorText(error).c_str());
        return kExitMessageShown;
    }
    if (!connection.sender().Create(handle, host, portText)) return kExitMessageShown;
    for (std::uint32_t type : requests) {
        // These records fit one packet: only the first is sent.
        if (!connection.sendRecord(connection.requests().singleRecordRequest(net::kGeneralDeviceId, 0, type), true)) {
            std::fprintf(stderr, "The request for record type %u could not be sent\n", type);
            status = kExitMessageShown;
        }
    }

    session.run(seconds);
    receiver.Stop();
    connection.sender().Close();
    session.view.OnTimer(timers::kArrival);  // what arrived before the end
    std::fflush(stdout);
    if (session.lost()) status = kExitMessageShown;
    if (config) {
        if (auto record = receiver.latestConfigurationRecord(); record && !writeFile(*config, {*record})) {
            std::fprintf(stderr, "could not write %s\n", config->c_str());
            status = kExitMessageShown;
        }
    }
    receiver.Disconnect();
    if (out && !writeFile(*out, frames)) {
        std::fprintf(stderr, "could not write %s\n", out->c_str());
        status = kExitMessageShown;
    }
    return status;
}

} // namespace tarvik::cli
