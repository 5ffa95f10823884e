// The receiver's packet handling over arbitrary bytes, without sockets.
// The first byte picks the transport: even, a TCP stream fed in pieces whose
// sizes come from the second byte; odd, UDP datagrams, each preceded by a
// two-byte length. Whatever arrives, the queue only ever holds whole records
// of a bounded size or the lost-packet text, and the buffers stay bounded.

#include "net/packet_handler.h"
#include "net/packets.h"

#include <cstdlib>

using namespace tarvik;
using namespace tarvik::net;

namespace {

void check(CPacketHandler& handler) {
    for (const auto& entry : handler.TakePendingRecords()) {
        const bool lost = entry.size() == kLostPacketText.size() &&
                          std::equal(entry.begin(), entry.end(), kLostPacketText.begin());
        if (!lost && (entry.empty() || entry.size() > kMaxRecordSize)) std::abort();
    }
    const auto& a = handler.assembly();
    if (a.bytesCollected() > a.totalSize() || a.totalSize() > kMaxRecordSize) std::abort();
    if (handler.streamBuffered() > kMaxAcceptedPacketSize + kReadSize) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    std::mutex lock;
    CPacketHandler handler(lock);
    handler.pause = [](std::chrono::milliseconds) {};
    ByteSpan rest(data + 2, size - 2);
    if (data[0] % 2 == 0) {
        const std::size_t piece = std::size_t{data[1]} * 7 + 1;
        while (!rest.empty()) {
            const std::size_t n = std::min(piece, rest.size());
            if (!handler.HandleStreamBytes(rest.first(n))) handler.resetStream();
            rest = rest.subspan(n);
            check(handler);
        }
    } else {
        while (rest.size() >= 2) {
            const std::size_t n = std::min<std::size_t>(rest[0] | (std::size_t{rest[1]} << 8), rest.size() - 2);
            handler.HandleOnePacket(rest.subspan(2, n));
            rest = rest.subspan(2 + n);
            check(handler);
        }
    }
    return 0;
}
