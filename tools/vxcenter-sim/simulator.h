#pragma once
// The server stand-in: listens on one TCP or UDP port, answers record requests
// and remote control records, streams subscribed ping records, replays a
// record file and injects faults on request.

#include "core/bytes.h"
#include "net/socket_platform.h"
#include "tools/synth/server_records.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarvik::sim {

struct Options {
    std::string address = "127.0.0.1";
    std::uint16_t port = 7000;           // 0: the system chooses
    bool udp = false;
    std::string portFile;                // receives the bound port number
    unsigned devices = 1;
    std::uint32_t deviceId = 7125;
    double pingRate = 2.0;               // pings per second of the live stream
    synth::PingShape shape;
    std::map<std::uint32_t, std::size_t> recordSizes;  // record type -> frame size to pad to
    std::string replayFile;
    bool replayFast = false;
    unsigned dropFragmentEvery = 0;      // leave out packet 1 of every Nth fragmented record
    unsigned orphanFragmentEvery = 0;    // leave out packet 0 of every Nth fragmented record
    unsigned skipPingEvery = 0;          // every Nth ping number is skipped
    unsigned closeAfter = 0;             // close a connection after N records
    bool coalesce = false;               // all packets of one step in one write
    std::size_t splitWrites = 0;         // write in pieces of this size...
    unsigned splitPauseMs = 20;          // ...with this pause between them
    bool log = false;                    // one line per received record
    bool imagery = false;                // every feed also streams the picture records
    double exitAfter = 0;                // end the program after this many seconds (0: never)
    std::string chaos;                   // a hostile mode (chaos.cpp) instead of the server
    std::uint64_t chaosBytes = std::uint64_t{1} << 30;  // hostile bytes sent per connection at most
};

// Runs until the exit time or a termination signal; returns the exit status.
int run(const Options& options);

// The devices the server has (--devices, --device-id): enumerators 0..N-1,
// every second one dual-headed.
std::vector<synth::SimDevice> simDevices(const Options& options);

// Binds and (TCP) listens on the address and port of the options, prints the
// "listening on" line and writes the port file; kInvalidSocket on failure.
net::SocketHandle openListener(const Options& options);

// The hostile server (chaos.cpp): sends what a broken or malicious server could.
bool isChaosMode(const std::string& mode);
int runChaos(const Options& options);

} // namespace tarvik::sim
