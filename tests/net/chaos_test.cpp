// tarvik-cli receive against the hostile server (vxcenter-sim --chaos): the
// client stays alive, ends on time, lists every valid record that came while
// its framing held, and keeps its resident memory under 300 MB while up to
// 1 GiB of hostile bytes arrives.

#include "tests/net/sim_process.h"
#include "tests/support/run_program.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <thread>

using tarvik::testing::runProgram;
using tarvik::testing::SimProcess;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMemoryMeasured = false;  // the sanitizers' own bookkeeping dwarfs the client's
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kMemoryMeasured = false;
#else
constexpr bool kMemoryMeasured = true;
#endif
#else
constexpr bool kMemoryMeasured = true;
#endif
constexpr long kMemoryBoundKb = 300 * 1024;

struct Outcome {
    tarvik::testing::ProgramResult client;
    int validSent = -1;          // as the server logged it
    std::size_t listed = 0;      // lines of the record type the server sent as valid
    double seconds = 0;
};

Outcome receiveFrom(const std::string& mode, const std::string& bytes, const std::string& seconds,
                    const std::string& validType = "7000") {
    SimProcess sim({"--chaos", mode, "--chaos-bytes", bytes, "--log"});
    EXPECT_FALSE(sim.port().empty());
    Outcome o;
    const auto start = std::chrono::steady_clock::now();
    o.client = runProgram(TARVIK_CLI, {"receive", "127.0.0.1", sim.port(), "--seconds", seconds});
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::regex sent("(\\d+) valid records sent");
    for (int i = 0; i < 200 && o.validSent < 0; ++i) {  // the server logs once it has closed
        std::smatch m;
        const std::string log = sim.log();
        if (std::regex_search(log, m, sent)) {
            o.validSent = std::stoi(m[1]);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    std::size_t at = 0;
    for (std::size_t next; (next = o.client.out.find('\n', at)) != std::string::npos; at = next + 1)
        if (o.client.out.compare(at, validType.size() + 1, validType + "\t") == 0) ++o.listed;
    return o;
}

void expectHealthy(const Outcome& o) {
    EXPECT_EQ(o.client.status, 0) << o.client.err;  // not killed by a signal, no failure
    if (kMemoryMeasured) {
        EXPECT_LT(o.client.peakRssKb, kMemoryBoundKb);
    }
}

} // namespace

TEST(HostileServer, StreamsWithoutFramingEndTheConnectionAfterTheValidRecord) {
    // Random bytes, and Network frames announcing packet sizes no stream carries:
    // the record before them is listed, the one after them is not (the framing is gone).
    for (const char* mode : {"raw", "size0", "size35", "size100001", "size4g"}) {
        SCOPED_TRACE(mode);
        const Outcome o = receiveFrom(mode, "67108864", "20");
        expectHealthy(o);
        EXPECT_EQ(o.listed, 1u) << o.client.out.substr(0, 300);
        EXPECT_LT(o.seconds, 15.0);  // the connection ended; the client did not wait out its time
    }
}

TEST(HostileServer, ValidRecordsAmongFramedGarbageAreAllListed) {
    // A gigabyte of a record announced as 3 GiB, records that never complete,
    // and framed packets of noise: every valid record in between is listed.
    const struct {
        const char* mode;
        const char* bytes;
    } cases[] = {{"giant", "1073741824"}, {"fragments", "268435456"}, {"garbage", "268435456"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        const Outcome o = receiveFrom(c.mode, c.bytes, "60");
        expectHealthy(o);
        ASSERT_GT(o.validSent, 1);
        EXPECT_EQ(o.listed, static_cast<std::size_t>(o.validSent));
    }
}

TEST(HostileServer, FloodOfLargeRecordsIsListedInFullWithBoundedMemory) {
    const Outcome o = receiveFrom("flood", "268435456", "60", "7008");
    expectHealthy(o);
    ASSERT_GT(o.validSent, 100);
    EXPECT_EQ(o.listed, static_cast<std::size_t>(o.validSent));
}

TEST(HostileServer, TrickleDoesNotHoldTheClientPastItsTime) {
    const Outcome o = receiveFrom("trickle", "1000", "2");
    expectHealthy(o);
    EXPECT_EQ(o.listed, 0u);
    EXPECT_LT(o.seconds, 6.0);
}
