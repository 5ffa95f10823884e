// Loopback TCP: how fast the receiver reassembles and queues large records,
// against a plain reader of the same bytes in the same run.
//
// A sender pushes 1 GiB as fast as it can. Plain run: a reader reads and
// discards. Receiver run: records of 1,000,000 bytes (17 packets each) go to a
// CSocketReceiver while a consumer takes the queue at the pipeline's period, as the view's
// timer does. Reported: MB/s of both, the share, records lost, and the largest
// queue taken in one drain against what arrives between two drains.
//
//   build/bin/bench_net_receive [ROUNDS] [--rules] [--sinks] [--rate=MBPS]
//
// --rate paces the sender (1000: 1 GB/s, a fast sonar's feed) instead of
// sending as fast as loopback takes it.
// With --rules the consumer hands each drain to the arrival pipeline, with
// the built-in bathymetry profile judging every listed record as the window's
// Rules pane does: the records lost then say whether the rules keep up.
// With --sinks the records are beam data records of a real ping (padded to
// the record size) and the drains go to the pipeline of the window's view
// with the sinks it attaches while connected: the statistics, an output record
// file being written (in the temporary folder) and the imagery.

#include "bench/no_display.h"
#include "bench/view_sinks.h"
#include "core/frame.h"
#include "decode/layout_loader.h"
#include "pipeline/arrival_pipeline.h"
#include "profiles/rule_checker.h"
#include "core/record_memory.h"
#include "net/packets.h"
#include "net/socket_receiver.h"
#include "tests/support/loopback_listener.h"
#include "tools/synth/server_records.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace tarvik;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint64_t kTotal = 1ull << 30;
constexpr std::size_t kRecordSize = 1'000'000;

using Listener = tarvik::testing::LoopbackListener;

bool sendAll(int fd, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        auto k = ::send(fd, p, n, MSG_NOSIGNAL);
        if (k <= 0) return false;
        p += k;
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

double mbps(std::uint64_t bytes, Clock::duration d) { return bytes / 1e6 / std::chrono::duration<double>(d).count(); }

double plainRun() {
    Listener l;
    std::thread sender([&] {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(std::stoi(l.port)));
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        // The same packets as the receiver run, sent the same way: the two runs
        // differ only in what the reading side does with the bytes.
        FrameBuilder b(7008);
        b.data().fill(kRecordSize - kFrameHeaderSize - 4, 0x3C);
        const auto packets = net::Packetize(b.build());
        for (std::uint64_t sent = 0; sent < kTotal / kRecordSize * kRecordSize;) {
            for (const auto& p : packets) {
                if (!sendAll(fd, p.data(), p.size())) sent = kTotal;
            }
            sent += kRecordSize;
        }
        ::close(fd);
    });
    int fd = ::accept(l.fd, nullptr, nullptr);
    std::vector<std::uint8_t> buffer(net::kReadSize);
    std::uint64_t got = 0;
    const auto start = Clock::now();
    for (long n; (n = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0;) got += static_cast<std::uint64_t>(n);
    const auto elapsed = Clock::now() - start;
    ::close(fd);
    sender.join();
    return mbps(got, elapsed);
}

// What the consumer hands each drain to: the arrival pipeline alone or the
// view's with its sinks, and the test profile's rules as a sink when asked,
// as the window runs it while its Rules pane is open.
struct FedPipeline {
    LoadedDefinitions definitions = loadLayouts({}, false);
    profiles::Profile profile;
    std::unique_ptr<profiles::RuleChecker> checker;
    bench::NoDisplay display;
    std::unique_ptr<CArrivalPipeline> bare;
    std::unique_ptr<bench::ViewWithSinks> view;
    CArrivalPipeline* pipeline = nullptr;
    CArrivalPipeline::Subscription rules;
    double seconds = 0;  // spent in the pipeline
    double longestTick = 0;

    explicit FedPipeline(bool withRules, bool withSinks) {
        if (withSinks) {
            view = std::make_unique<bench::ViewWithSinks>();
            pipeline = &view->pipeline();
        } else {
            bare = std::make_unique<CArrivalPipeline>(display);
            pipeline = bare.get();
        }
        if (!withRules) return;
        auto p = profiles::loadProfile(profiles::resolveProfile("bathymetry-feed"), definitions.catalogue);
        if (!p) {
            std::fprintf(stderr, "%s\n", p.error().c_str());
            std::exit(1);
        }
        profile = std::move(*p);
        checker = std::make_unique<profiles::RuleChecker>(profile, profiles::CheckerOptions{10, true});
        CArrivalPipeline::Subscriber judge;
        judge.listed = [this](const ListedEntry& entry) {
            if (FrameView(entry.bytes()).isFrame()) checker->record(entry.bytes(), entry.number);
        };
        rules = pipeline->subscribe(std::move(judge));
    }
    // One tick of the arrival timer, as the window runs it: the pipeline takes
    // the receiver's queue itself and hands each entry's bytes back as it goes.
    void tick() {
        const auto start = Clock::now();
        pipeline->OnArrivalTimer();
        const double tick = std::chrono::duration<double>(Clock::now() - start).count();
        seconds += tick;
        longestTick = std::max(longestTick, tick);
    }
};

// The record sent over and over: a beam data record of a real ping for the
// sinks to draw and write, else one of filler bytes. kRecordSize bytes.
Bytes sentRecord(bool realPing) {
    if (!realPing) {
        FrameBuilder b(7008);
        b.data().fill(kRecordSize - kFrameHeaderSize - 4, 0x3C);
        return b.build();
    }
    synth::PingShape shape;
    shape.beams = 256;
    shape.samples = 960;  // 4 bytes a sample: about 983 kB of samples
    return synth::beamData(synth::SimDevice{}, 0, 1, shape, kRecordSize);
}

// Stamps record counter `n` into the first packet and mends the record's
// checksum, the sum of its bytes kept in the last four bytes of the last packet.
void stampCounter(std::vector<Bytes>& packets, std::uint32_t n) {
    const std::size_t at = net::kNetworkFrameSize + frame_offsets::recordCounter;
    std::uint32_t delta = 0;
    for (std::size_t k = 0; k < 4; ++k) delta -= packets.front()[at + k];
    ByteWriter w(std::move(packets.front()));
    w.patch<std::uint32_t>(at, n);
    packets.front() = w.take();
    for (std::size_t k = 0; k < 4; ++k) delta += packets.front()[at + k];
    Bytes& last = packets.back();
    const std::size_t sumAt = last.size() - 4;
    const std::uint32_t sum = readLEOr0<std::uint32_t>(last, sumAt) + delta;
    ByteWriter c(std::move(last));
    c.patch<std::uint32_t>(sumAt, sum);
    last = c.take();
}

struct ReceiverResult {
    double mbps = 0;
    std::uint64_t records = 0, sentRecords = 0, lost = 0, outOfOrder = 0;
    std::uint64_t largestDrainBytes = 0;
    double drainSeconds = 0;
    double pipelineSeconds = 0;
    double longestTick = 0;
};

ReceiverResult receiverRun(bool withRules, bool withSinks, double rateMBps) {
    FedPipeline fed(withRules, withSinks);
    Listener l;
    net::CSocketReceiver receiver;
    int error = 0;
    if (receiver.StartTcp("127.0.0.1", l.port, error) == net::kInvalidSocket) {
        std::fprintf(stderr, "cannot connect: %d\n", error);
        return {};
    }
    int fd = ::accept(l.fd, nullptr, nullptr);

    auto packets = net::Packetize(sentRecord(withSinks));
    ReceiverResult r;
    const std::uint64_t count = kTotal / kRecordSize;
    std::atomic<bool> sending{true};
    Clock::time_point sendEnd;

    std::uint32_t expected = 0;
    bool tookSome = false;
    fed.pipeline->takePending = [&] {
        auto taken = receiver.TakePendingRecords();
        std::uint64_t bytes = 0;
        for (const auto& e : taken) {
            bytes += e.size();
            if (!FrameView(e).isFrame()) continue;  // a "Records Dropped" line
            const std::uint32_t n = FrameView(e).recordCounter();
            if (n != expected) ++r.outOfOrder;
            expected = n + 1;
            ++r.records;
        }
        r.largestDrainBytes = std::max(r.largestDrainBytes, bytes);
        tookSome = !taken.empty();
        return taken;
    };
    fed.pipeline->releaseTaken = [&](std::size_t bytes) { receiver.ReleaseTaken(bytes); };
    std::thread consumer([&] {
        auto last = Clock::now();
        while (r.records + r.lost < count) {
            // The period the pipeline asks for, counted from the end of the
            // last tick, as the window's timer runs.
            std::this_thread::sleep_for(std::chrono::milliseconds(fed.pipeline->arrivalPeriod()));
            fed.tick();
            if (!sending && !tookSome && Clock::now() - last > std::chrono::seconds(2)) break;
            if (tookSome) last = Clock::now();
        }
    });

    const auto start = Clock::now();
    for (std::uint32_t i = 0; i < count; ++i) {
        stampCounter(packets, i);
        for (const auto& p : packets) sendAll(fd, p.data(), p.size());
        if (rateMBps > 0)
            std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                                      (i + 1.0) * kRecordSize / (rateMBps * 1e6))));
    }
    sendEnd = Clock::now();
    sending = false;
    r.sentRecords = count;
    consumer.join();
    r.lost = count - r.records;
    r.drainSeconds = std::chrono::duration<double>(Clock::now() - sendEnd).count();
    r.mbps = mbps(count * kRecordSize, sendEnd - start);
    ::close(fd);
    receiver.Stop();
    r.pipelineSeconds = fed.seconds;
    r.longestTick = fed.longestTick;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    keepFreedRecordMemory();  // as the programs that receive records do
    // Rounds alternate the two runs; the best of each is kept, being the least
    // disturbed by whatever else the machine does.
    int rounds = 3;
    bool withRules = false, withSinks = false;
    double rate = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--rules") withRules = true;
        else if (std::string(argv[i]) == "--sinks") withSinks = true;
        else if (std::string(argv[i]).starts_with("--rate=")) rate = std::atof(argv[i] + 7);
        else rounds = std::max(1, std::atoi(argv[i]));
    }
    std::printf("Loopback TCP, 1 GiB, records of %zu bytes (%zu packets each), queue taken at the pipeline's period, best of %d\n",
                kRecordSize, net::Packetize(Bytes(kRecordSize)).size(), rounds);
    double raw = 0;
    ReceiverResult r;
    std::uint64_t lost = 0, outOfOrder = 0, largest = 0;
    double longestTick = 0;
    for (int i = 0; i < rounds; ++i) {
        raw = std::max(raw, plainRun());
        ReceiverResult one = receiverRun(withRules, withSinks, rate);
        lost += one.lost;
        outOfOrder += one.outOfOrder;
        largest = std::max(largest, one.largestDrainBytes);
        longestTick = std::max(longestTick, one.longestTick);
        if (one.mbps > r.mbps) r = one;
    }
    std::printf("plain reader:        %8.0f MB/s\n", raw);
    std::printf("receiver + assembly: %8.0f MB/s  (%.0f%% of plain)\n", r.mbps, 100.0 * r.mbps / raw);
    std::printf("records lost in all rounds %llu, out of order %llu (%llu records per round)\n",
                static_cast<unsigned long long>(lost), static_cast<unsigned long long>(outOfOrder),
                static_cast<unsigned long long>(r.sentRecords));
    std::printf("largest queue taken in one drain: %.1f MB; arrival in 153 ms at the best rate: %.1f MB\n",
                largest / 1e6, r.mbps * 0.153);
    std::printf("longest tick of the pipeline: %.1f ms\n", 1e3 * longestTick);
    if (withRules || withSinks)
        std::printf("pipeline%s%s: %.1f us per record (best round)\n", withSinks ? " with the view's sinks" : "",
                    withRules ? " with the bathymetry rules" : "",
                    1e6 * r.pipelineSeconds / static_cast<double>(std::max<std::uint64_t>(r.records, 1)));
    return lost == 0 ? 0 : 1;
}
