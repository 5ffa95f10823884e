// tarvik-cli receive: connects to a server as the window does, asks for
// records and prints every entry the receiver queues.

#include "core/frame.h"
#include "net/packets.h"
#include "net/request_records.h"
#include "net/socket_receiver.h"
#include "net/socket_sender.h"
#include "tools/tarvik-cli/cli.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace tarvik::cli {

const char* const kReceiveUsage =
    "Usage: tarvik-cli receive HOST PORT [--udp] [--request TYPE]... [--seconds S] [--out FILE]\n"
    "                          [--config FILE]\n\n"
    "Connects to the server at HOST (dotted IPv4) and PORT over TCP (UDP with --udp),\n"
    "sends, for each TYPE in order, a single record request to device 7000,\n"
    "enumerator 0, then prints every entry the receiver queues, oldest first, for S\n"
    "seconds (default 3) or until the connection ends: a record as its type and Size\n"
    "field (\"7000\\t204 bytes\"), a text entry (\"TEXT Lost Packet\") as its text.\n\n"
    "  --udp          use UDP instead of TCP\n"
    "  --request TYPE ask for one record of TYPE (repeatable)\n"
    "  --seconds S    how long to listen (a decimal number of seconds)\n"
    "  --out FILE     write the records as received, back to back, into a record file\n"
    "  --config FILE  at the end, write the newest configuration record (7001) the\n"
    "                 receiver kept, when there is one\n\n"
    "Exit status: 0 when connected, 1 when the connection failed (the platform's\n"
    "message on stderr), 2 on a usage error.\n";

namespace {

bool writeFile(const std::string& path, const std::vector<Bytes>& frames) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = true;
    for (const auto& frame : frames) ok = ok && std::fwrite(frame.data(), 1, frame.size(), f) == frame.size();
    return std::fclose(f) == 0 && ok;
}

bool isText(const Bytes& entry) { return entry.size() >= 4 && std::equal(entry.begin(), entry.begin() + 4, "TEXT"); }

} // namespace

int runReceive(Args& args) {
    const bool udp = args.flag("--udp");
    std::vector<std::uint32_t> requests;
    for (const auto& t : args.options("--request")) {
        unsigned long long type = 0;
        if (!parseUnsigned(t, type) || type > 0xFFFFFFFFull) args.error = true;
        requests.push_back(static_cast<std::uint32_t>(type));
    }
    double seconds = 3.0;
    if (auto s = args.option("--seconds")) {
        char* end = nullptr;
        seconds = std::strtod(s->c_str(), &end);
        if (s->empty() || *end != '\0' || !(seconds >= 0.0) || seconds > 1e6) args.error = true;
    }
    auto out = args.option("--out");
    auto config = args.option("--config");
    auto words = args.positionals();
    if (args.error || words.size() != 2) {
        std::fputs(kReceiveUsage, stderr);
        return kExitUsage;
    }
    const std::string& host = words[0];
    const std::string& port = words[1];

    ConsolePort console;
    bool ended = false;
    net::CSocketReceiver receiver;
    receiver.owner = net::ownerWindowOf(console, [&ended] { ended = true; });
    int error = 0;
    auto handle = udp ? receiver.StartUdp(host, port, error) : receiver.StartTcp(host, port, error);
    if (handle == net::kInvalidSocket) {
        std::fprintf(stderr, "%s\n", net::socketErrorText(error).c_str());
        return kExitMessageShown;
    }
    net::CSocketSender sender;
    sender.owner = receiver.owner;
    sender.Create(handle, host, port);
    net::CRequestRecordPreparation prepare;
    for (std::uint32_t type : requests) {
        // These records fit one packet: only the first is sent.
        auto packets = net::Packetize(prepare.singleRecordRequest(net::kGeneralDeviceId, 0, type));
        sender.Send(packets.front());
    }

    std::vector<Bytes> frames;
    auto show = [&](net::PendingQueue taken) {
        for (auto& entry : taken) {
            if (isText(entry)) {
                std::fwrite(entry.data(), 1, entry.size(), stdout);
                std::fputc('\n', stdout);
                continue;
            }
            FrameView frame(entry);
            std::printf("%lu\t%lu bytes\n", static_cast<unsigned long>(frame.recordType()),
                        static_cast<unsigned long>(frame.size()));
            if (out) frames.push_back(std::move(entry));
        }
        std::fflush(stdout);
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(153));
        show(receiver.TakePendingRecords());
        console.runPosted();
    }
    receiver.Stop();
    sender.Close();
    show(receiver.TakePendingRecords());
    if (config) {
        if (auto record = receiver.latestConfigurationRecord()) writeFile(*config, {*record});
    }
    receiver.Disconnect();
    if (out && !writeFile(*out, frames)) {
        std::fprintf(stderr, "could not write %s\n", out->c_str());
        return kExitMessageShown;
    }
    return kExitOk;
}

} // namespace tarvik::cli
