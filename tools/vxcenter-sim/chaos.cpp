// The hostile server: what a broken or malicious server could send a client.
// Each TCP connection first gets the configuration record it asks for, so
// that a client starts as it would with a real server; then the chosen mode,
// whatever else the client asks. Between the hostile bytes come valid records
// (7000, ping numbers counting up from 1) that the client must still list when
// its framing survives.

#include "tools/vxcenter-sim/simulator.h"

#include "core/bytes.h"
#include "core/text.h"
#include "core/frame.h"
#include "net/packet_handler.h"
#include "net/packets.h"
#include "net/request_records.h"
#include "net/socket_platform.h"
#include "tools/synth/server_records.h"

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>

namespace tarvik::sim {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> chaosStop{false};
extern "C" void onChaosSignal(int) { chaosStop = true; }

class Chaos {
public:
    Chaos(const Options& o, net::SocketHandle fd) : o_(o), fd_(fd), devices_(simDevices(o)) {
        if (!devices_.empty()) device_ = devices_.front();
        // One block of noise, reused: making fresh noise for a gigabyte would
        // measure the generator instead of the client.
        std::mt19937_64 random(0x7A21'5EEDu);
        noise_.resize(1u << 20);
        for (std::size_t i = 0; i < noise_.size(); i += 8) {
            const std::uint64_t v = random();
            for (std::size_t k = 0; k < 8; ++k) noise_[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
        }
    }

    void run() {
        answerConfiguration();
        const std::string& m = o_.chaos;
        if (m == "raw") return raw();
        if (m == "garbage") return framedGarbage();
        if (m == "size0") return badSize(0);
        if (m == "size35") return badSize(35);
        if (m == "size100001") return badSize(100'001);
        if (m == "size4g") return badSize(0xFFFF'FFFFu);
        if (m == "fragments") return neverComplete();
        if (m == "giant") return giant();
        if (m == "trickle") return trickle();
        if (m == "flood") return flood();
    }
    std::uint32_t validSent() const { return validSent_; }
    std::uint32_t incomplete() const { return incomplete_; }

private:
    bool alive() const { return fd_ != net::kInvalidSocket && !chaosStop && !overdue(); }
    bool overdue() const {
        return o_.exitAfter > 0 && Clock::now() - started_ > std::chrono::duration<double>(o_.exitAfter);
    }
    bool budgetLeft() const { return sent_ < o_.chaosBytes; }

    bool write(ByteSpan bytes) {
        while (!bytes.empty() && alive()) {
            const auto n = ::send(fd_, bytes.data(), bytes.size(), net::kSendFlags);
            if (n <= 0) {
                fd_ = net::kInvalidSocket;  // the client went away; the caller closes
                return false;
            }
            sent_ += static_cast<std::uint64_t>(n);
            bytes = bytes.subspan(static_cast<std::size_t>(n));
        }
        return alive();
    }
    ByteSpan noise(std::size_t count) {
        count = std::min(count, noise_.size());
        const std::size_t at = (sent_ * 7919) % (noise_.size() - count + 1);
        return ByteSpan(noise_).subspan(at, count);
    }
    bool validRecord() {
        const Bytes record = synth::sonarSettings(device_, ++counter_, ++ping_);
        for (const auto& packet : net::Packetize(record))
            if (!write(packet)) return false;
        ++validSent_;
        return true;
    }

    Bytes header(std::uint32_t packetSize, std::uint32_t totalPackets, std::uint32_t totalSize,
                 std::uint32_t packetNumber) {
        net::NetworkFrame f;
        f.packetSize = packetSize;
        f.totalPackets = totalPackets;
        f.totalSize = totalSize;
        f.packetNumber = packetNumber;
        f.sourceDeviceId = device_.deviceId;
        ByteWriter out;
        f.write(out);
        return out.take();
    }
    // A packet with a correct Network frame around `payload`.
    bool packet(std::uint32_t totalPackets, std::uint32_t totalSize, std::uint32_t number, ByteSpan payload) {
        const std::uint32_t size = net::kNetworkFrameSize + static_cast<std::uint32_t>(payload.size());
        return write(header(size, totalPackets, totalSize, number)) && write(payload);
    }

    static bool asksForConfiguration(const Bytes& record) {
        const FrameView f(record);
        if (!f.isFrame() || f.recordType() != net::kRemoteControlRecordType) return false;
        const std::uint64_t data = f.dataStart();
        return readLE<std::uint32_t>(record, data) == net::kSingleRecordRequest &&
               readLEOr0<std::uint32_t>(record, data + 24) == net::kConfigurationRecordType;
    }
    // As far a server as a client's start needs: waits up to 3 s for the
    // request for the configuration record and answers it with the
    // simulator's own. Every other request goes unanswered, now and later; a
    // client that asks for nothing gets the mode once the wait is over.
    void answerConfiguration() {
        std::mutex lock;
        net::CPacketHandler inbound(lock);
        std::uint8_t buffer[4096];
        for (const auto until = Clock::now() + std::chrono::seconds(3); alive() && Clock::now() < until;) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const auto n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0 || !inbound.HandleStreamBytes({buffer, static_cast<std::size_t>(n)})) return;
            for (const Bytes& record : inbound.TakePendingRecords()) {
                if (!asksForConfiguration(record)) continue;
                for (const auto& packet : net::Packetize(synth::configurationRecord(devices_, ++counter_)))
                    if (!write(packet)) return;
                if (o_.log) std::printf("chaos %s: configuration sent\n", o_.chaos.c_str());
                return;
            }
        }
    }

    // Random bytes from the start: the stream has no framing at all.
    void raw() {
        validRecord();
        while (alive() && budgetLeft()) write(noise(65536));
    }
    // Well-framed single packets whose records are noise, a valid record every few.
    void framedGarbage() {
        for (std::size_t k = 0; alive() && budgetLeft(); ++k) {
            if (k % 16 == 0 && !validRecord()) return;
            const std::size_t n = 1 + (k * 4099) % net::kMaxPayload;
            packet(1, static_cast<std::uint32_t>(n), 0, noise(n));
        }
        validRecord();
    }
    // A valid record, a Network frame announcing `size` bytes, then another
    // valid record. A size below 36 breaks the framing: the next record must
    // not be listed. An oversized packet that fits in the noise block comes in
    // full, so a client that skips it lists the next record; a larger one
    // (4 GiB) never ends, and swallows what follows.
    void badSize(std::uint32_t size) {
        if (!validRecord()) return;
        write(header(size, 1, 64, 0));
        const bool whole = size >= net::kNetworkFrameSize && size - net::kNetworkFrameSize <= noise_.size();
        write(noise(whole ? size - net::kNetworkFrameSize : std::min<std::size_t>(size, 4096)));
        validRecord();
    }
    // Records announced in three packets of which only two ever come.
    void neverComplete() {
        for (std::size_t k = 0; alive() && budgetLeft(); ++k) {
            if (k % 8 == 0 && !validRecord()) return;
            const std::uint32_t total = 3 * net::kMaxPayload;
            if (packet(3, total, 0, noise(net::kMaxPayload))) ++incomplete_;
            packet(3, total, 1, noise(net::kMaxPayload));
        }
        validRecord();
    }
    // One record announced as gigabytes long, its packets coming without end.
    void giant() {
        validRecord();
        const std::uint32_t total = 0xC000'0000u;  // 3 GiB
        const std::uint32_t packets = total / net::kMaxPayload + 1;
        for (std::uint32_t k = 0; alive() && budgetLeft(); ++k) {
            if (k % 64 == 63 && !validRecord()) return;
            packet(packets, total, k % packets, noise(net::kMaxPayload));
        }
        validRecord();
    }
    // A valid record, one byte a second.
    void trickle() {
        const Bytes record = synth::sonarSettings(device_, ++counter_, ++ping_);
        for (const auto& p : net::Packetize(record)) {
            for (std::size_t i = 0; i < p.size() && alive(); ++i) {
                if (!write(ByteSpan(p).subspan(i, 1))) return;
                for (int t = 0; t < 10 && alive(); ++t) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
    }
    // Large valid records as fast as the connection takes them: the packets of
    // one record sent again and again, so that making records does not slow it.
    void flood() {
        const Bytes record = synth::beamData(device_, ++counter_, ++ping_, synth::PingShape{});
        Bytes packets;
        for (const auto& p : net::Packetize(record)) packets.insert(packets.end(), p.begin(), p.end());
        while (alive() && budgetLeft()) {
            if (!write(packets)) return;
            ++validSent_;
        }
    }

    const Options& o_;
    net::SocketHandle fd_;
    Bytes noise_;
    std::vector<synth::SimDevice> devices_;
    synth::SimDevice device_;
    std::uint32_t counter_ = 0, ping_ = 0, validSent_ = 0, incomplete_ = 0;
    std::uint64_t sent_ = 0;
    Clock::time_point started_ = Clock::now();
};

// Closing a socket with unread bytes (requests the hostile server ignored)
// resets the connection, and the client would lose what is still on its way
// to it. So the sending side is shut first, and what the client sends is read
// and dropped until it closes too (at most 2 s).
void closeGently(net::SocketHandle fd) {
    ::shutdown(fd, SHUT_WR);
    std::uint8_t buffer[4096];
    for (const auto until = Clock::now() + std::chrono::seconds(2); !chaosStop && Clock::now() < until;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        if (::recv(fd, buffer, sizeof buffer, 0) <= 0) break;
    }
    net::closeSocket(fd);
}

} // namespace

bool isChaosMode(const std::string& mode) {
    for (const char* m : {"raw", "garbage", "size0", "size35", "size100001", "size4g", "fragments", "giant",
                          "trickle", "flood"})
        if (mode == m) return true;
    return false;
}

int runChaos(const Options& o) {
    if (o.udp) {
        std::fprintf(stderr, "vxcenter-sim: --chaos works over TCP only\n");
        return 2;
    }
    const net::SocketHandle listener = openListener(o);
    if (listener == net::kInvalidSocket) return 1;
    std::signal(SIGINT, onChaosSignal);
    std::signal(SIGTERM, onChaosSignal);
    std::signal(SIGPIPE, SIG_IGN);
    const auto started = Clock::now();
    auto overdue = [&] {
        return o.exitAfter > 0 && Clock::now() - started > std::chrono::duration<double>(o.exitAfter);
    };
    // One client at a time: each gets the whole mode, then its connection is closed.
    while (!chaosStop && !overdue()) {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const net::SocketHandle fd = ::accept(listener, nullptr, nullptr);
        if (fd == net::kInvalidSocket) continue;
        if (o.log) std::printf("chaos %s: connection accepted\n", o.chaos.c_str());
        Options rest = o;
        if (o.exitAfter > 0)
            rest.exitAfter = std::max(0.001, o.exitAfter - std::chrono::duration<double>(Clock::now() - started).count());
        Chaos chaos(rest, fd);
        chaos.run();
        closeGently(fd);
        if (o.log)
            std::printf("chaos %s: connection closed, %u valid records sent, %u begun and never completed\n",
                        o.chaos.c_str(), chaos.validSent(), chaos.incomplete());
        std::fflush(stdout);
    }
    net::closeSocket(listener);
    return 0;
}

} // namespace tarvik::sim
