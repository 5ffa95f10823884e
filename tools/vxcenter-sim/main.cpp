// vxcenter-sim: a stand-in for the sonar server, for demos and tests.

#include "net/debug_log.h"
#include "tools/vxcenter-sim/simulator.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char* const kHelp =
    "Usage: vxcenter-sim [OPTIONS]\n"
    "\n"
    "A stand-in for the sonar server. It listens on one port, TCP or UDP, answers\n"
    "record requests and remote control records from a Tarvik client, streams ping\n"
    "records to subscribers, can replay a record file, and injects faults on request.\n"
    "Every record it sends is a frame with a checksum, cut into packets of at most\n"
    "60,000 bytes, each behind its 36-byte network frame. On start it prints\n"
    "\"vxcenter-sim listening on ADDRESS:PORT (TCP)\" (or UDP) on stdout.\n"
    "\n"
    "Connection:\n"
    "  --address A          IPv4 address to listen on (default 127.0.0.1)\n"
    "  --port P             port (default 7000; 0 lets the system choose)\n"
    "  --port-file FILE     write the port actually bound into FILE\n"
    "  --udp                datagrams instead of a TCP stream: one packet per\n"
    "                       datagram, answers go to the sender of the request\n"
    "\n"
    "What it answers (remote control records, type 7500):\n"
    "  Single record request (1050) for 7001 (configuration: one entry per device,\n"
    "      each with its device text: Name with deviceid and enumerator, SonarType,\n"
    "      SystemInfo with IDH), 7022 (version text), 7000, 7004, 7503, and the\n"
    "      stream types 7006, 7007, 7008, 7011, 7027; other types are not answered.\n"
    "  Volatile data feed (1051): streams the listed record types for the addressed\n"
    "      device at the ping rate, ping numbers increasing: 7000 settings, 7004\n"
    "      geometry, 7027 detections, 7006 bathymetry, 7008 beam data (several\n"
    "      packets), 7011 images, 7007 side-scan; other types as small sample\n"
    "      records. The ping records picture one scene: a seabed sloping across\n"
    "      the swath with a few drifting targets.\n"
    "  --imagery            every feed also streams 7006, 7007, 7008 and 7011, so a\n"
    "                       client that subscribes only to the settings records\n"
    "                       still gets moving pictures\n"
    "  End all subscriptions (1052): stops every stream of the connection.\n"
    "  Any other command: a 7501 acknowledgement with its ticket and tracking\n"
    "      number; a command number it does not know: a 7502 with error code 28679.\n"
    "\n"
    "Devices and records:\n"
    "  --devices N          devices in the configuration (default 1); they share\n"
    "                       the device id and have enumerators 0..N-1\n"
    "  --device-id ID       their device id (default 7125)\n"
    "  --ping-rate HZ       pings per second of the streams (default 2)\n"
    "  --beams N            beams per ping (default 128)\n"
    "  --samples N          samples per beam in 7008 (default 400: 205,000 bytes)\n"
    "  --image W H          7011 image size in pixels (default 512 256)\n"
    "  --side-samples N     7007 samples per side (default 1024)\n"
    "  --record-size TYPE BYTES\n"
    "                       pad records of TYPE to exactly BYTES bytes when they\n"
    "                       are smaller (repeatable)\n"
    "\n"
    "Replay:\n"
    "  --replay FILE        send the frames of a record file to every client, as\n"
    "                       they are, paced by their time stamps\n"
    "  --fast               replay as fast as possible\n"
    "\n"
    "Faults and delivery:\n"
    "  --drop-fragment N    leave out packet 1 of every Nth record that needs several\n"
    "                       packets (the client sees a lost packet when it has 3 or more)\n"
    "  --orphan-fragment N  leave out packet 0 of every Nth such record\n"
    "  --skip-pings N       skip a ping number every N pings\n"
    "  --close-after N      close a connection after sending it N records (UDP:\n"
    "                       forget the client)\n"
    "  --coalesce           send everything of one answer or ping in one write\n"
    "  --split-writes BYTES write the stream in pieces of BYTES bytes, pausing\n"
    "                       between them (--split-pause MS, default 20)\n"
    "\n"
    "Hostile server (TCP; valid 7000 records between the hostile bytes):\n"
    "  --chaos MODE         send what a broken or malicious server could: raw (random\n"
    "                       bytes), garbage (framed packets of noise), size0, size35,\n"
    "                       size4g (a packet size no stream carries), size100001\n"
    "                       (a whole packet larger than a client takes),\n"
    "                       fragments (records that never complete), giant (a record\n"
    "                       announced as 3 GiB), trickle (one byte a second), flood\n"
    "                       (large valid records as fast as the client takes them)\n"
    "  --chaos-bytes N      hostile bytes per connection at most (default 1 GiB)\n"
    "\n"
    "Other:\n"
    "  --log                print one line per record received\n"
    "  --debug              print the network layer's diagnostics on stderr\n"
    "  --exit-after S       end after S seconds (default: run until interrupted)\n"
    "  --help               this text\n"
    "  --version            print the version and exit\n";

template <typename T>
bool number(std::string_view text, T& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && ec == std::errc{} && end == text.data() + text.size();
}

bool decimal(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && out >= 0;
}

} // namespace

int main(int argc, char** argv) {
    tarvik::sim::Options o;
    std::vector<std::string> a(argv + 1, argv + argc);
    bool ok = true;
    for (std::size_t i = 0; i < a.size() && ok; ++i) {
        const std::string& w = a[i];
        auto value = [&](std::size_t count = 1) -> bool {
            if (i + count >= a.size()) return ok = false;
            return true;
        };
        if (w == "--help" || w == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (w == "--version") {
            std::printf("vxcenter-sim %s\n", TARVIK_VERSION);
            return 0;
        } else if (w == "--udp") o.udp = true;
        else if (w == "--fast") o.replayFast = true;
        else if (w == "--coalesce") o.coalesce = true;
        else if (w == "--log") o.log = true;
        else if (w == "--imagery") o.imagery = true;
        else if (w == "--debug") tarvik::net::setDebugLog(true);
        else if (w == "--address" && value()) o.address = a[++i];
        else if (w == "--port" && value()) ok = number(a[++i], o.port);
        else if (w == "--port-file" && value()) o.portFile = a[++i];
        else if (w == "--devices" && value()) ok = number(a[++i], o.devices) && o.devices <= 100;
        else if (w == "--device-id" && value()) ok = number(a[++i], o.deviceId);
        else if (w == "--ping-rate" && value()) ok = decimal(a[++i], o.pingRate) && o.pingRate > 0;
        else if (w == "--beams" && value()) ok = number(a[++i], o.shape.beams) && o.shape.beams <= 1000;
        else if (w == "--samples" && value()) ok = number(a[++i], o.shape.samples) && o.shape.samples <= 100000;
        else if (w == "--side-samples" && value())
            ok = number(a[++i], o.shape.sideScanSamples) && o.shape.sideScanSamples <= 1000000;
        else if (w == "--image" && value(2)) {
            ok = number(a[i + 1], o.shape.imageWidth) && number(a[i + 2], o.shape.imageHeight) &&
                 std::uint64_t{o.shape.imageWidth} * o.shape.imageHeight <= 64u * 1024 * 1024;
            i += 2;
        } else if (w == "--record-size" && value(2)) {
            std::uint32_t type = 0;
            std::size_t bytes = 0;
            ok = number(a[i + 1], type) && number(a[i + 2], bytes) && bytes <= 64u * 1024 * 1024;
            o.recordSizes[type] = bytes;
            i += 2;
        } else if (w == "--replay" && value()) o.replayFile = a[++i];
        else if (w == "--drop-fragment" && value()) ok = number(a[++i], o.dropFragmentEvery);
        else if (w == "--orphan-fragment" && value()) ok = number(a[++i], o.orphanFragmentEvery);
        else if (w == "--skip-pings" && value()) ok = number(a[++i], o.skipPingEvery);
        else if (w == "--close-after" && value()) ok = number(a[++i], o.closeAfter);
        else if (w == "--split-writes" && value()) ok = number(a[++i], o.splitWrites);
        else if (w == "--split-pause" && value()) ok = number(a[++i], o.splitPauseMs);
        else if (w == "--exit-after" && value()) ok = decimal(a[++i], o.exitAfter);
        else if (w == "--chaos" && value()) ok = tarvik::sim::isChaosMode(o.chaos = a[++i]);
        else if (w == "--chaos-bytes" && value()) ok = number(a[++i], o.chaosBytes);
        else {
            std::fprintf(stderr, "vxcenter-sim: unknown option or missing value: %s\n", w.c_str());
            ok = false;
            break;
        }
        if (!ok) std::fprintf(stderr, "vxcenter-sim: bad value for %s\n", w.c_str());
    }
    if (!ok) {
        std::fputs(kHelp, stderr);
        return 2;
    }
    return o.chaos.empty() ? tarvik::sim::run(o) : tarvik::sim::runChaos(o);
}
