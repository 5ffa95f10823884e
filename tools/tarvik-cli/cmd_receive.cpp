// tarvik-cli receive: connects to a server as the window does, asks for
// records and prints every row the record list shows for what arrives.

#include "app/controls.h"
#include "core/frame.h"
#include "core/whole_file_output.h"
#include "net/address.h"
#include "tools/tarvik-cli/cli.h"
#include "tools/tarvik-cli/live_session.h"

#include <memory>
#include <optional>

namespace tarvik::cli {

namespace {

// Writes the frames back to back, whole or not at all; false after a line on stderr.
bool writeFile(const std::string& path, const std::vector<Bytes>& frames, bool force) {
    WholeFileOutput out;
    bool ok = out.open(path, force ? WholeFileOutput::Replace::Yes : WholeFileOutput::Replace::No);
    for (const auto& frame : frames) ok = ok && out.write(frame);
    if (ok && out.commit()) return true;
    sayNotWritten(path, out.error(), out.targetExists());
    return false;
}

struct ReceiveOptions {
    std::string host;
    std::string port;
    bool udp = false;
    std::vector<std::uint32_t> requests;
    double seconds = 3.0;
    std::optional<std::string> out;
    std::optional<std::string> config;
    bool force = false;
};

int runReceive(const ReceiveOptions& o) {
    // Said before connecting, not after the listening time.
    if (o.out && !outputAllowed(*o.out, {}, o.force)) return kExitMessageShown;
    if (o.config && !outputAllowed(*o.config, {}, o.force)) return kExitMessageShown;
    if (o.out && o.config && (*o.out == *o.config)) {
        std::fprintf(stderr, "tarvik-cli: --out and --config name the same file\n");
        return kExitUsage;
    }
    LiveSession session;
    CConnection& connection = session.view.connection();
    CArrivalPipeline& pipeline = session.view.pipeline();
    session.view.setRecordFilter(RecordFilter{});
    pipeline.setScrollLimit(kMaxScrollLimit);
    std::vector<Bytes> frames;
    // The --out file is a subscriber beside the view's own (output writer,
    // statistics, imagery), which stay in place.
    CArrivalPipeline::Subscription outFile;
    if (o.out) {
        CArrivalPipeline::Subscriber collector;
        collector.passed = [&frames](const Bytes& frame) { frames.push_back(frame); };
        outFile = pipeline.subscribe(std::move(collector));
    }

    int status = kExitOk;
    int error = 0;
    auto& receiver = connection.receiver();
    const auto handle = o.udp ? receiver.StartUdp(o.host, o.port, error) : receiver.StartTcp(o.host, o.port, error);
    if (handle == net::kInvalidSocket) {
        std::fprintf(stderr, "%s\n", net::socketErrorText(error).c_str());
        return kExitMessageShown;
    }
    if (!connection.sender().Create(handle, o.host, o.port)) return kExitMessageShown;
    for (std::uint32_t type : o.requests) {
        // These records fit one packet: only the first is sent.
        if (!connection.sendRecord(connection.requests().singleRecordRequest(net::kGeneralDeviceId, 0, type), true)) {
            std::fprintf(stderr, "The request for record type %u could not be sent\n", type);
            status = kExitMessageShown;
        }
    }

    session.run(o.seconds);
    receiver.Stop();
    connection.sender().Close();
    session.view.OnTimer(timers::kArrival);  // what arrived before the end
    std::fflush(stdout);
    if (session.lost()) status = kExitMessageShown;
    if (o.config) {
        if (auto record = receiver.latestConfigurationRecord(); record && !writeFile(*o.config, {*record}, o.force))
            status = kExitMessageShown;
    }
    receiver.Disconnect();
    outFile.end();
    if (o.out && !writeFile(*o.out, frames, o.force)) status = kExitMessageShown;
    return status;
}

} // namespace

Command addReceive(CLI::App& program) {
    CLI::App* command = options::addCommand(
        program, "receive", "connect to a server, request records and print what arrives",
        {"tarvik-cli receive HOST PORT [--udp] [--request TYPE]... [--seconds S] [--out FILE]\n"
         "                   [--config FILE] [--force]",
         "Connects to the server at HOST (dotted IPv4) and PORT (1..65535) over TCP (UDP\n"
         "with --udp), sends, for each TYPE in order, a single record request to device\n"
         "7000, enumerator 0, then runs the arrival pipeline for S seconds (default 3) or\n"
         "until the connection ends, printing each row as the record list shows it: a\n"
         "record as its type and Size field (\"7000\\t204 bytes\"), a text line (\"TEXT Lost\n"
         "Packet\", a dropped-ping line) as its text. Every record type is listed.\n\n"
         "Exit status: 0 when connected and the connection stayed up, 1 when the\n"
         "connection failed or ended by itself (a line on stderr says which) or a\n"
         "request or file could not be written, 2 on a usage error."});
    auto o = std::make_shared<ReceiveOptions>();
    command->add_option("HOST", o->host, "the server's address: dotted IPv4 or localhost")
        ->required()
        ->transform(hostAddress());
    command->add_option("PORT", o->port, "the server's port, 1 to 65535")->required()->check(portNumber());
    command->add_flag("--udp", o->udp, "use UDP instead of TCP");
    options::repeatable(command->add_option("--request", o->requests, "ask for one record of TYPE (repeatable)"))
        ->type_name("TYPE")
        ->transform(options::wholeNumber<std::uint32_t>());
    addSecondsOption(*command, o->seconds, "how long to listen, 0 to 1000000 seconds (default 3)");
    command->add_option("--out", o->out, "write the listed records as received, back to back, into a record file")
        ->type_name("FILE");
    command
        ->add_option("--config", o->config,
                     "at the end, write the newest configuration record (7001) the\n"
                     "receiver kept, when there is one")
        ->type_name("FILE");
    addForceOption(*command, o->force);
    return {command, [o] { return runReceive(*o); }};
}

} // namespace tarvik::cli
