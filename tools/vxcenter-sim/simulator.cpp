#include "tools/vxcenter-sim/simulator.h"

#include "core/frame.h"
#include "core/record_file.h"
#include "core/text.h"
#include "net/packet_handler.h"
#include "net/packets.h"
#include "net/request_records.h"
#include "net/socket_platform.h"
#include "remote/command_text.h"
#include "remote/definitions.h"
#include "tools/synth/sample_records.h"

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <set>
#include <thread>

namespace tarvik::sim {

namespace {

using Clock = std::chrono::steady_clock;
using net::SocketHandle;

constexpr std::uint32_t kNotFoundError = 28679;
// Where the range (m) lies in the data of a 7000 record.
constexpr std::size_t kRangeInSettings = 54;  // the requested remote command does not exist

// The remote command numbers the server knows (answered with an acknowledgement).
const std::set<std::uint32_t>& knownCommands() {
    static const std::set<std::uint32_t> known = {
        1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015, 1016,
        1017, 1019, 1020, 1021, 1022, 1026, 1027, 1033, 1034, 1035, 1036, 1037, 1038, 1039, 1040, 1041, 1043,
        1044, 1045, 1046, 1047, 1048, 1049, 1050, 1051, 1052, 1053, 1054, 1055, 1056, 1057, 1099, 1100, 1101,
        1102, 1103, 1104, 1107, 1109, 1111, 1112, 1114, 1115, 1116, 1117, 1118, 1121, 1122, 1123, 1124, 1138,
        1200, 1201, 1202, 1203, 1204, 1206, 1207, 1209, 1210, 1211, 1502, 1509, 1608, 1750, 7011, 7013, 7032,
        7042, 7610, 7614};
    return known;
}

std::atomic<bool> stopRequested{false};
extern "C" void onSignal(int) { stopRequested = true; }

// Seconds since 1970 of a record time stamp (for pacing a replay).
double stampSeconds(const VxTIME& t) {
    // days from 1970-01-01 to 1 January of the year
    const int y = t.year - 1;
    const long days = 365L * (y - 1969) + (y / 4 - 1969 / 4) - (y / 100 - 1969 / 100) + (y / 400 - 1969 / 400);
    return static_cast<double>(days + t.day - 1) * 86400.0 + t.hours * 3600.0 + t.minutes * 60.0 + t.seconds;
}

struct Peer {
    SocketHandle fd = net::kInvalidSocket;  // TCP: the connection
    sockaddr_in address{};                  // UDP: where the datagrams come from
    std::mutex lock;
    net::CPacketHandler inbound{lock};
    std::set<std::pair<std::uint32_t, std::uint16_t>> subscribers;  // devices fed
    std::map<std::pair<std::uint32_t, std::uint16_t>, std::vector<std::uint32_t>> feeds;
    std::uint32_t recordsSent = 0;
    std::uint32_t fragmented = 0;
    bool closed = false;
    Bytes out;  // packets waiting for one write
    std::size_t replayNext = 0;
    Clock::time_point replayStart;
};

class Simulator {
public:
    explicit Simulator(const Options& o) : o_(o), devices_(simDevices(o)) {}
    ~Simulator() {
        for (auto& p : peers_)
            if (p->fd != net::kInvalidSocket) net::closeSocket(p->fd);
        if (listener_ != net::kInvalidSocket) net::closeSocket(listener_);
    }

    int run();

private:
    bool listen();
    void acceptPeer();
    void readPeer(Peer& peer);
    void readDatagram();
    void handleInbound(Peer& peer);
    void handleRecord(Peer& peer, const Bytes& record);
    void answerRequest(Peer& peer, std::uint32_t deviceId, std::uint16_t enumerator, std::uint32_t type);
    void applyCommand(const Bytes& record, std::uint32_t deviceId, std::uint16_t enumerator, std::uint32_t command);
    void ping();
    void replay(Peer& peer);
    void sendRecord(Peer& peer, const Bytes& record);
    void flush(Peer& peer);
    bool writeAll(Peer& peer, ByteSpan bytes);
    void closePeer(Peer& peer);
    void logLine(const std::string& line) {
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    std::size_t sizeFor(std::uint32_t type) const {
        auto it = o_.recordSizes.find(type);
        return it == o_.recordSizes.end() ? 0 : it->second;
    }
    const synth::SimDevice& deviceFor(std::uint32_t id, std::uint16_t enumerator) const {
        for (const auto& d : devices_)
            if (d.deviceId == id && d.enumerator == enumerator) return d;
        return devices_.empty() ? fallback_ : devices_.front();
    }
    std::optional<Bytes> recordOf(std::uint32_t type, const synth::SimDevice& d, std::uint32_t ping);

    Options o_;
    std::vector<synth::SimDevice> devices_;
    synth::SimDevice fallback_;
    SocketHandle listener_ = net::kInvalidSocket;
    std::vector<std::unique_ptr<Peer>> peers_;
    std::uint32_t counter_ = 0;
    std::map<std::pair<std::uint32_t, std::uint16_t>, std::uint32_t> pingNumbers_;
    std::uint32_t pingsMade_ = 0;
    const remote::RemoteCommandCatalogue commands_ = remote::builtInRemoteCommandCatalogue();
    std::map<std::pair<std::uint32_t, std::uint16_t>, float> ranges_;     // set by command 1003
    std::set<std::pair<std::uint32_t, std::uint16_t>> silent_;           // stopped by command 1101
    RecordFile replayFile_;
    RecordIndex replayIndex_;
    double replayFirstStamp_ = 0;
};

bool Simulator::listen() {
    listener_ = openListener(o_);
    return listener_ != net::kInvalidSocket;
}

int Simulator::run() {
    if (!o_.replayFile.empty()) {
        if (!replayFile_.open(o_.replayFile)) {
            std::fprintf(stderr, "vxcenter-sim: cannot open %s: %s\n", shownName(o_.replayFile).c_str(),
                         replayFile_.lastError().c_str());
            return 1;
        }
        const auto broken = ScanFrames(replayFile_, replayIndex_);
        // A file without a single frame is not a record file: nothing to replay.
        if (replayIndex_.size() == 0) {
            std::fprintf(stderr, "vxcenter-sim: %s is not a record file: %s\n", shownName(o_.replayFile).c_str(),
                         broken ? broken->c_str() : "it holds no frame");
            return 1;
        }
        if (replayIndex_.size() > 0)
            replayFirstStamp_ = stampSeconds(FrameView(ReadFrame(replayFile_, replayIndex_[0])).time());
    }
    if (!listen()) return 1;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    const auto started = Clock::now();
    const auto pingPeriod = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / std::max(o_.pingRate, 0.001)));
    auto nextPing = started + pingPeriod;
    while (!stopRequested) {
        auto now = Clock::now();
        if (o_.exitAfter > 0 && now - started > std::chrono::duration<double>(o_.exitAfter)) break;
        if (now >= nextPing) {
            ping();
            nextPing += pingPeriod;
            if (nextPing < now) nextPing = now + pingPeriod;
        }
        for (auto& p : peers_) replay(*p);
        std::erase_if(peers_, [](const auto& p) { return p->closed; });

        std::vector<pollfd> fds;
        fds.push_back({listener_, POLLIN, 0});
        for (auto& p : peers_)
            if (p->fd != net::kInvalidSocket) fds.push_back({p->fd, POLLIN, 0});
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextPing - Clock::now()).count();
        if (!replayIndex_.empty()) wait = std::min<long long>(wait, o_.replayFast ? 0 : 5);
        wait = std::clamp<long long>(wait, 0, 100);
        if (::poll(fds.data(), fds.size(), static_cast<int>(wait)) <= 0) continue;
        if (fds[0].revents & POLLIN) o_.udp ? readDatagram() : acceptPeer();
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            for (auto& p : peers_)
                if (p->fd == fds[i].fd && !p->closed) readPeer(*p);
        }
    }
    return 0;
}

void Simulator::acceptPeer() {
    SocketHandle fd = ::accept(listener_, nullptr, nullptr);
    if (fd == net::kInvalidSocket) return;
    auto peer = std::make_unique<Peer>();
    peer->fd = fd;
    peer->replayStart = Clock::now();
    if (o_.log) logLine("connection accepted");
    peers_.push_back(std::move(peer));
}

void Simulator::readPeer(Peer& peer) {
    std::uint8_t buffer[65536];
    auto n = ::recv(peer.fd, buffer, sizeof buffer, 0);
    if (n <= 0 || !peer.inbound.HandleStreamBytes({buffer, static_cast<std::size_t>(n)})) {
        if (o_.log) logLine("connection closed");
        closePeer(peer);
        return;
    }
    handleInbound(peer);
}

void Simulator::readDatagram() {
    static std::uint8_t buffer[net::kReadSize];
    sockaddr_in from{};
    net::SockLen length = sizeof from;
    auto n = ::recvfrom(listener_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n <= 0) return;
    Peer* peer = nullptr;
    for (auto& p : peers_)
        if (p->address.sin_addr.s_addr == from.sin_addr.s_addr && p->address.sin_port == from.sin_port) peer = p.get();
    if (!peer) {
        auto fresh = std::make_unique<Peer>();
        fresh->address = from;
        fresh->replayStart = Clock::now();
        peer = fresh.get();
        peers_.push_back(std::move(fresh));
    }
    peer->inbound.HandleOnePacket({buffer, static_cast<std::size_t>(n)});
    handleInbound(*peer);
}

void Simulator::handleInbound(Peer& peer) {
    for (const auto& record : peer.inbound.TakePendingRecords()) {
        if (peer.closed) break;
        handleRecord(peer, record);
    }
    flush(peer);
}

void Simulator::handleRecord(Peer& peer, const Bytes& record) {
    FrameView f(record);
    const std::uint64_t data = f.dataStart();
    const auto command = readLE<std::uint32_t>(record, data);
    const auto ticket = readLEOr0<std::uint32_t>(record, data + 4);
    ByteSpan tracking = fits(record.size(), data + 8, 16) ? ByteSpan(record).subspan(data + 8, 16) : ByteSpan{};
    const auto first = readLEOr0<std::uint32_t>(record, data + 24);
    const bool remoteControl = f.isFrame() && f.recordType() == net::kRemoteControlRecordType;
    if (o_.log) {
        std::string line = strprintf("received %u\t%u bytes\tdevice %u:%u", f.recordType(), f.size(), f.deviceId(),
                                     f.systemEnumerator());
        if (!f.isFrame()) line = "received " + std::string(record.begin(), record.end());
        else if (remoteControl && command)
            line += strprintf("\tcommand %u\tticket %u", *command, ticket);
        if (command == net::kSingleRecordRequest) line += strprintf("\trecord %u", first);
        logLine(line);
        // Commands the tool made from its catalogue, as the catalogue reads them.
        if (f.isFrame()) logLine("  " + remote::describeCommandRecord(commands_, record));
    }
    if (!f.isFrame() || f.recordType() != net::kRemoteControlRecordType || !command) return;
    const std::uint32_t device = f.deviceId();
    const std::uint16_t enumerator = f.systemEnumerator();
    switch (*command) {
    case net::kSingleRecordRequest:
        answerRequest(peer, device, enumerator, first);
        break;
    case net::kVolatileDataFeed: {
        std::vector<std::uint32_t> types;
        for (std::uint32_t i = 0; i < first && i < 1024; ++i) {
            auto t = readLE<std::uint32_t>(record, data + 28 + 4ull * i);
            if (!t) break;
            types.push_back(*t);
        }
        if (o_.imagery)
            for (std::uint32_t t : {7006u, 7007u, 7008u, 7011u})
                if (std::find(types.begin(), types.end(), t) == types.end()) types.push_back(t);
        peer.feeds[{device, enumerator}] = std::move(types);
        break;
    }
    case net::kEndAllSubscriptions:
        peer.feeds.clear();
        break;
    default:
        applyCommand(record, device, enumerator, *command);
        if (knownCommands().count(*command))
            sendRecord(peer, synth::remoteControlAck(device, enumerator, ++counter_, ticket, tracking));
        else
            sendRecord(peer, synth::remoteControlNak(device, enumerator, ++counter_, ticket, tracking, kNotFoundError));
        break;
    }
}

std::optional<Bytes> Simulator::recordOf(std::uint32_t type, const synth::SimDevice& d, std::uint32_t ping) {
    const std::size_t pad = sizeFor(type);
    const std::uint32_t n = ++counter_;
    switch (type) {
    case 7000: {
        Bytes record = synth::sonarSettings(d, n, ping, pad);
        // The range the last "Set range" chose, in place of the built-in one.
        if (auto range = ranges_.find({d.deviceId, d.enumerator}); range != ranges_.end()) {
            ByteWriter w(std::move(record));
            w.patch<float>(kFrameHeaderSize + kRangeInSettings, range->second);
            record = w.take();
            finishFrame(record);
        }
        return record;
    }
    case 7001: return synth::configurationRecord(devices_, n, pad);
    case 7002: return synth::matchedFilter(d, n, ping, pad);
    case 7004: return synth::beamGeometry(d, n, o_.shape, pad);
    case 7006: return synth::bathymetry(d, n, ping, o_.shape, pad);
    case 7007: return synth::sideScan(d, n, ping, o_.shape, pad);
    case 7008: return synth::beamData(d, n, ping, o_.shape, pad);
    case 7011: return synth::imageData(d, n, ping, o_.shape, pad);
    case 7022: return synth::versionRecord(d, n, pad);
    case 7027: return synth::detections(d, n, ping, o_.shape, pad);
    case 7503: return synth::remoteSonarSettings(d, n, pad);
    default: return std::nullopt;
    }
}

void Simulator::answerRequest(Peer& peer, std::uint32_t deviceId, std::uint16_t enumerator, std::uint32_t type) {
    const auto& d = deviceFor(deviceId, enumerator);
    auto record = recordOf(type, d, pingNumbers_[{d.deviceId, d.enumerator}]);
    if (record) sendRecord(peer, *record);
}

// The few commands whose effect shows in what the server sends: the range of
// the 7000 records (1003) and whether a device pings at all (1100, 1101).
void Simulator::applyCommand(const Bytes& record, std::uint32_t deviceId, std::uint16_t enumerator,
                             std::uint32_t command) {
    const std::uint64_t body = FrameView(record).dataStart() + 24;
    switch (command) {
    case 1003:
        if (auto range = readLE<float>(record, body)) ranges_[{deviceId, enumerator}] = *range;
        break;
    case 1100: silent_.erase({deviceId, enumerator}); break;
    case 1101: silent_.insert({deviceId, enumerator}); break;
    default: break;
    }
    if (o_.log && (command == 1003 || command == 1100 || command == 1101))
        logLine(strprintf("  applied to device %u:%u", deviceId, enumerator));
}

void Simulator::ping() {
    ++pingsMade_;
    const bool skip = o_.skipPingEvery > 0 && pingsMade_ % o_.skipPingEvery == 0;
    std::set<std::pair<std::uint32_t, std::uint16_t>> advanced;
    for (auto& peer : peers_) {
        for (const auto& [key, types] : peer->feeds) {
            if (silent_.count(key)) continue;
            const auto& d = deviceFor(key.first, key.second);
            std::uint32_t& number = pingNumbers_[{d.deviceId, d.enumerator}];
            if (advanced.insert({d.deviceId, d.enumerator}).second) number += skip ? 2 : 1;
            for (std::uint32_t type : types) {
                if (peer->closed) break;
                auto record = recordOf(type, d, number);
                if (!record)
                    record = synth::restamped(synth::sampleFrame(type, d.deviceId, ++counter_, number),
                                              synth::vxTimeNow());
                sendRecord(*peer, *record);
            }
        }
        flush(*peer);
    }
}

void Simulator::replay(Peer& peer) {
    if (replayIndex_.empty() || peer.closed) return;
    while (peer.replayNext < replayIndex_.size() && !peer.closed) {
        Bytes frame = ReadFrame(replayFile_, replayIndex_[peer.replayNext]);
        if (!o_.replayFast) {
            const double due = std::max(0.0, stampSeconds(FrameView(frame).time()) - replayFirstStamp_);
            if (std::chrono::duration<double>(Clock::now() - peer.replayStart).count() < due) break;
        }
        ++peer.replayNext;
        sendRecord(peer, frame);
        if (o_.replayFast) break;  // one frame per turn: requests are still answered
    }
    flush(peer);
}

void Simulator::sendRecord(Peer& peer, const Bytes& record) {
    if (peer.closed) return;
    auto packets = net::Packetize(record);
    std::size_t skip = packets.size();
    if (packets.size() > 1) {
        ++peer.fragmented;
        if (o_.dropFragmentEvery && peer.fragmented % o_.dropFragmentEvery == 0) skip = 1;
        if (o_.orphanFragmentEvery && peer.fragmented % o_.orphanFragmentEvery == 0) skip = 0;
    }
    for (std::size_t i = 0; i < packets.size(); ++i) {
        if (i == skip) continue;
        if (o_.udp) {
            ::sendto(listener_, packets[i].data(), packets[i].size(), 0, reinterpret_cast<sockaddr*>(&peer.address),
                     sizeof peer.address);
        } else {
            peer.out.insert(peer.out.end(), packets[i].begin(), packets[i].end());
            if (!o_.coalesce) flush(peer);
        }
    }
    ++peer.recordsSent;
    if (o_.closeAfter && peer.recordsSent >= o_.closeAfter) {
        if (o_.log) logLine(strprintf("closing the connection after %u records", peer.recordsSent));
        flush(peer);
        closePeer(peer);
    }
}

void Simulator::flush(Peer& peer) {
    if (peer.out.empty() || peer.fd == net::kInvalidSocket) return;
    Bytes out;
    out.swap(peer.out);
    if (o_.splitWrites == 0) {
        writeAll(peer, out);
        return;
    }
    for (std::size_t at = 0; at < out.size(); at += o_.splitWrites) {
        if (at > 0) std::this_thread::sleep_for(std::chrono::milliseconds(o_.splitPauseMs));
        if (!writeAll(peer, ByteSpan(out).subspan(at, std::min(o_.splitWrites, out.size() - at)))) return;
    }
}

bool Simulator::writeAll(Peer& peer, ByteSpan bytes) {
    while (!bytes.empty()) {
        auto n = ::send(peer.fd, bytes.data(), bytes.size(), net::kSendFlags);
        if (n <= 0) {
            closePeer(peer);
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

void Simulator::closePeer(Peer& peer) {
    // UDP has no connection: the peer is only forgotten.
    if (peer.fd != net::kInvalidSocket) net::closeSocket(peer.fd);
    peer.fd = net::kInvalidSocket;
    peer.out.clear();
    peer.closed = true;
}

} // namespace

net::SocketHandle openListener(const Options& o) {
    net::SocketHandle listener =
        o.udp ? ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP) : ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == net::kInvalidSocket) return listener;
    auto fail = [&] {
        net::closeSocket(listener);
        return net::kInvalidSocket;
    };
    int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(o.port);
    if (::inet_pton(AF_INET, o.address.c_str(), &a.sin_addr) != 1) {
        std::fprintf(stderr, "vxcenter-sim: %s is not a dotted IPv4 address\n", o.address.c_str());
        return fail();
    }
    if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || (!o.udp && ::listen(listener, 8) != 0)) {
        std::fprintf(stderr, "vxcenter-sim: cannot listen on %s:%u: %s\n", o.address.c_str(), o.port,
                     net::socketErrorText(net::lastSocketError()).c_str());
        return fail();
    }
    sockaddr_in bound{};
    net::SockLen length = sizeof bound;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &length);
    const unsigned port = ntohs(bound.sin_port);
    std::printf("vxcenter-sim listening on %s:%u (%s)\n", o.address.c_str(), port, o.udp ? "UDP" : "TCP");
    std::fflush(stdout);
    if (!o.portFile.empty()) {
        // Written under another name first, so that a reader never sees half a number.
        const std::string temp = o.portFile + ".tmp";
        std::FILE* f = std::fopen(temp.c_str(), "w");
        const bool written = f && std::fprintf(f, "%u\n", port) > 0;
        if (!f || std::fclose(f) != 0 || !written || std::rename(temp.c_str(), o.portFile.c_str()) != 0) {
            std::fprintf(stderr, "vxcenter-sim: cannot write the port file %s: %s\n", o.portFile.c_str(),
                         std::strerror(errno));
            std::remove(temp.c_str());
            return fail();
        }
    }
    return listener;
}

std::vector<synth::SimDevice> simDevices(const Options& o) {
    std::vector<synth::SimDevice> devices;
    for (unsigned i = 0; i < o.devices; ++i) {
        synth::SimDevice d;
        d.deviceId = o.deviceId;
        d.enumerator = static_cast<std::uint16_t>(i);
        d.name = strprintf("Sim sonar %u", i + 1);
        d.serial = 0x51A0'0001u + i;
        d.dualHead = i % 2 == 1;
        devices.push_back(d);
    }
    return devices;
}

int run(const Options& options) {
    Simulator simulator(options);
    return simulator.run();
}

} // namespace tarvik::sim
