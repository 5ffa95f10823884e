// vxcenter-sim: a stand-in for the sonar server, for demos and tests.

#include "net/debug_log.h"
#include "tools/options/options.h"
#include "tools/vxcenter-sim/simulator.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace options = tarvik::options;

// Bounds of what the simulator can do. One ping is sent per turn of its loop,
// which waits in whole milliseconds: at most 1000 pings a second.
constexpr double kMaxPingRate = 1000;
constexpr double kMinPingRate = 0.001;
constexpr std::uint64_t kMaxRecordBytes = 64u * 1024 * 1024;  // a padded record, an image
constexpr std::uint64_t kMaxWritePiece = 1024 * 1024;

const char* const kSynopsis = "vxcenter-sim [OPTIONS]";

const char* const kDetails =
    "It listens on one port, TCP or UDP, answers record requests and remote control\n"
    "records from a Tarvik client, streams ping records to subscribers, can replay a\n"
    "record file, and injects faults on request. Every record it sends is a frame with\n"
    "a checksum, cut into packets of at most 60,000 bytes, each behind its 36-byte\n"
    "network frame. On start it prints \"vxcenter-sim listening on ADDRESS:PORT (TCP)\"\n"
    "(or UDP) on stdout.\n"
    "\n"
    "What it answers (remote control records, type 7500):\n"
    "\n"
    "A single record request (1050) for 7001 (configuration: one entry per device, each\n"
    "with its device text: Name with deviceid and enumerator, SonarType, SystemInfo\n"
    "with IDH), 7022 (version text), 7000, 7004, 7503, and the stream types 7006, 7007,\n"
    "7008, 7011, 7027; other types are not answered.\n"
    "\n"
    "A volatile data feed (1051) streams the listed record types for the addressed\n"
    "device at the ping rate, ping numbers increasing: 7000 settings, 7004 geometry,\n"
    "7027 detections, 7006 bathymetry, 7008 beam data (several packets), 7011 images,\n"
    "7007 side-scan; other types as small sample records. The ping records picture one\n"
    "scene: a seabed sloping across the swath with a few drifting targets.\n"
    "\n"
    "End all subscriptions (1052) stops every stream of the connection. Any other\n"
    "command gets a 7501 acknowledgement with its ticket and tracking number; a command\n"
    "number it does not know, a 7502 with error code 28679.\n"
    "\n"
    "Exit status: 0 after --exit-after or a termination signal, 1 when it could not\n"
    "listen, write the port file or read the replay file (a line on stderr says why),\n"
    "2 on a usage error.";

CLI::Validator chaosMode() {
    return CLI::Validator(
        [](std::string& mode) {
            return tarvik::sim::isChaosMode(mode) ? std::string() : mode + " is not a chaos mode (see --help)";
        },
        "");
}

} // namespace

int main(int argc, char** argv) {
    using tarvik::sim::Options;
    Options o;
    bool debug = false;
    std::pair<std::uint32_t, std::uint32_t> image{o.shape.imageWidth, o.shape.imageHeight};
    std::vector<std::uint64_t> recordSizes;  // TYPE, BYTES, TYPE, BYTES, ...

    CLI::App app("A stand-in for the sonar server, for demos and tests.", "vxcenter-sim");
    options::setUpProgram(app, TARVIK_VERSION, {kSynopsis, kDetails});

    const std::string connection = "Connection";
    app.add_option("--address", o.address, "IPv4 address to listen on (default 127.0.0.1)")
        ->type_name("A")
        ->group(connection);
    app.add_option("--port", o.port, "port, 0 to 65535 (default 7000; 0 lets the system choose)")
        ->type_name("P")
        ->transform(options::wholeNumber<std::uint16_t>())
        ->group(connection);
    app.add_option("--port-file", o.portFile, "write the port actually bound into FILE")
        ->type_name("FILE")
        ->group(connection);
    app.add_flag("--udp", o.udp,
                 "datagrams instead of a TCP stream: one packet per\n"
                 "datagram, answers go to the sender of the request")
        ->group(connection);

    const std::string records = "Devices and records";
    app.add_option("--devices", o.devices,
                   "devices in the configuration, 0 to 100 (default 1); they\n"
                   "share the device id and have enumerators 0..N-1")
        ->type_name("N")
        ->transform(options::wholeNumber(0, 100))
        ->group(records);
    app.add_option("--device-id", o.deviceId, "their device id (default 7125)")
        ->type_name("ID")
        ->transform(options::wholeNumber<std::uint32_t>())
        ->group(records);
    app.add_option("--ping-rate", o.pingRate, "pings per second of the streams, 0.001 to 1000 (default 2)")
        ->type_name("HZ")
        ->check(options::decimalNumber(kMinPingRate, kMaxPingRate))
        ->group(records);
    app.add_option("--beams", o.shape.beams, "beams per ping, 1 to 1000 (default 128)")
        ->type_name("N")
        ->transform(options::wholeNumber(1, 1000))
        ->group(records);
    app.add_option("--samples", o.shape.samples,
                   "samples per beam in 7008, 1 to 100000 (default 400:\n205,000 bytes)")
        ->type_name("N")
        ->transform(options::wholeNumber(1, 100000))
        ->group(records);
    app.add_option("--image", image,
                   "7011 image size in pixels (default 512 256), each at least 1,\n"
                   "W x H at most 67108864")
        ->type_name("W H")
        ->transform(options::wholeNumber(1, kMaxRecordBytes))
        ->group(records);
    app.add_option("--side-samples", o.shape.sideScanSamples, "7007 samples per side, 1 to 1000000 (default 1024)")
        ->type_name("N")
        ->transform(options::wholeNumber(1, 1000000))
        ->group(records);
    options::repeatable(app.add_option("--record-size", recordSizes,
                                       "pad records of TYPE to exactly BYTES bytes (0 to 67108864)\n"
                                       "when they are smaller (repeatable)"))
        ->type_size(2)
        ->type_name("TYPE BYTES")
        ->transform(options::wholeNumber<std::uint32_t>().application_index(0))
        ->transform(options::wholeNumber(0, kMaxRecordBytes).application_index(1))
        ->group(records);
    app.add_flag("--imagery", o.imagery,
                 "every feed also streams 7006, 7007, 7008 and 7011, so a\n"
                 "client that subscribes only to the settings records\n"
                 "still gets moving pictures")
        ->group(records);

    const std::string replay = "Replay";
    app.add_option("--replay", o.replayFile,
                   "send the frames of a record file to every client, as\n"
                   "they are, paced by their time stamps")
        ->type_name("FILE")
        ->group(replay);  // a file that is not there is a problem (1), found when it is opened
    app.add_flag("--fast", o.replayFast, "replay as fast as possible")->group(replay);

    const std::string faults = "Faults and delivery";
    app.add_option("--drop-fragment", o.dropFragmentEvery,
                   "leave out packet 1 of every Nth record that needs several\n"
                   "packets (the client sees a lost packet when it has 3 or more)")
        ->type_name("N")
        ->transform(options::wholeNumber<unsigned>())
        ->group(faults);
    app.add_option("--orphan-fragment", o.orphanFragmentEvery, "leave out packet 0 of every Nth such record")
        ->type_name("N")
        ->transform(options::wholeNumber<unsigned>())
        ->group(faults);
    app.add_option("--skip-pings", o.skipPingEvery, "skip a ping number every N pings")
        ->type_name("N")
        ->transform(options::wholeNumber<unsigned>())
        ->group(faults);
    app.add_option("--close-after", o.closeAfter,
                   "close a connection after sending it N records (UDP:\nforget the client)")
        ->type_name("N")
        ->transform(options::wholeNumber<unsigned>())
        ->group(faults);
    app.add_flag("--coalesce", o.coalesce, "send everything of one answer or ping in one write")->group(faults);
    app.add_option("--split-writes", o.splitWrites,
                   "write the stream in pieces of BYTES bytes, 1 to 1048576,\n"
                   "pausing between them (--split-pause)")
        ->type_name("BYTES")
        ->transform(options::wholeNumber(1, kMaxWritePiece))
        ->group(faults);
    app.add_option("--split-pause", o.splitPauseMs, "the pause between pieces, 0 to 60000 ms (default 20)")
        ->type_name("MS")
        ->transform(options::wholeNumber(0, 60000))
        ->group(faults);

    const std::string hostile = "Hostile server (TCP; valid 7000 records between the hostile bytes)";
    app.add_option("--chaos", o.chaos,
                   "answer the request for the configuration record, ignore\n"
                   "every other request, then send what a broken or malicious\n"
                   "server could: raw (random bytes), garbage (framed\n"
                   "packets of noise), size0, size35,\n"
                   "size4g (a packet size no stream carries), size100001\n"
                   "(a whole packet larger than a client takes),\n"
                   "fragments (records that never complete), giant (a record\n"
                   "announced as 3 GiB), trickle (one byte a second), flood\n"
                   "(large valid records as fast as the client takes them)")
        ->type_name("MODE")
        ->check(chaosMode())
        ->group(hostile);
    app.add_option("--chaos-bytes", o.chaosBytes, "hostile bytes per connection at most (default 1 GiB)")
        ->type_name("N")
        ->transform(options::wholeNumber<std::uint64_t>())
        ->group(hostile);

    const std::string other = "Other";
    app.add_flag("--log", o.log, "print one line per record received")->group(other);
    app.add_flag("--debug", debug, "print the network layer's diagnostics on stderr")->group(other);
    app.add_option("--exit-after", o.exitAfter,
                   "end after S seconds, 0 to 1000000 (default 0: run until\ninterrupted)")
        ->type_name("S")
        ->check(options::decimalNumber(0, 1e6))
        ->group(other);

    if (auto status = options::parseArguments(app, argc, argv)) return *status;
    if (std::uint64_t{image.first} * image.second > kMaxRecordBytes)
        return options::reportUsageError(
            app, CLI::ValidationError("--image", std::to_string(image.first) + " x " + std::to_string(image.second) +
                                                     " pixels is more than 67108864"));
    o.shape.imageWidth = image.first;
    o.shape.imageHeight = image.second;
    for (std::size_t i = 0; i + 1 < recordSizes.size(); i += 2)
        o.recordSizes[static_cast<std::uint32_t>(recordSizes[i])] = recordSizes[i + 1];
    if (debug) tarvik::net::setDebugLog(true);
    return o.chaos.empty() ? tarvik::sim::run(o) : tarvik::sim::runChaos(o);
}
