// Putting one direction of a captured TCP connection back in order.

#include "capture/tcp_reassembly.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace tarvik::capture {
namespace {

// Records what the reassembly hands out: bytes as text, a hole as '|'.
struct Recorder {
    TcpReassembly tcp;
    std::string out;
    Recorder() {
        tcp.onData = [this](ByteSpan b) { out.append(b.begin(), b.end()); };
        tcp.onHole = [this] { out += '|'; };
    }
    void send(std::uint32_t seq, std::string_view text, std::uint32_t wire = 0) {
        tcp.segment(seq, asBytes(text), wire ? wire : static_cast<std::uint32_t>(text.size()));
    }
};

TEST(TcpReassembly, PutsSegmentsInOrderAndTakesResentBytesOnce) {
    Recorder r;
    r.tcp.syn(99);               // data starts at 100
    r.send(100, "abc");
    r.send(106, "ghi");          // ahead of a gap: held
    EXPECT_EQ(r.out, "abc");
    EXPECT_EQ(r.tcp.heldBytes(), 3u);
    r.send(103, "def");          // fills the gap
    EXPECT_EQ(r.out, "abcdefghi");
    r.send(103, "def");          // a retransmission
    r.send(101, "bcdefghijk");   // overlaps delivered bytes: only "jk" is new
    r.send(113, "nop");          // ahead
    r.send(111, "lmnop");        // overlaps the held segment
    r.tcp.finish();
    EXPECT_EQ(r.out, "abcdefghijklmnop");
    EXPECT_EQ(r.tcp.holes(), 0u);
    EXPECT_GT(r.tcp.duplicateBytes(), 0u);
    EXPECT_EQ(r.tcp.heldBytes(), 0u);
}

TEST(TcpReassembly, FollowsSequenceNumbersAcrossTheWrap) {
    Recorder r;
    r.tcp.syn(0xFFFFFFFDu);                 // data starts at 0xFFFFFFFE
    r.send(0x00000002u, "efg");             // after the wrap, ahead of a gap
    r.send(0xFFFFFFFEu, "abcd");            // runs over the wrap
    r.send(0xFFFFFFFEu, "ab");              // resent from before the wrap
    EXPECT_EQ(r.out, "abcdefg");
}

TEST(TcpReassembly, StreamSeenFromItsMiddleStartsAtTheFirstSegment) {
    Recorder r;
    r.send(5000, "xyz");
    EXPECT_FALSE(r.tcp.fromStart());
    r.send(4990, "0123456789");  // older bytes than the first seen: already past
    r.send(5003, "!");
    EXPECT_EQ(r.out, "xyz!");
}

TEST(TcpReassembly, GivesUpAGapAsAHoleWhenTooMuchIsHeldOrAtTheEnd) {
    Recorder r;
    // Room for two held segments of four bytes, not for one more byte.
    r.tcp.maxHeldBytes = 2 * TcpReassembly::kHeldSegmentCost + 8;
    r.tcp.syn(0);
    r.send(1, "ab");
    r.send(5, "efgh");    // "cd" missing
    EXPECT_EQ(r.out, "ab");
    r.send(9, "ijklm");   // past the cap: the gap is a hole
    EXPECT_EQ(r.out, "ab|efghijklm");
    r.send(3, "cd");      // too late: already given up
    EXPECT_EQ(r.out, "ab|efghijklm");

    Recorder end;
    end.tcp.syn(0);
    end.send(1, "ab");
    end.send(6, "fg");
    end.send(10, "jk");
    end.tcp.finish();     // the capture ended with two gaps open
    EXPECT_EQ(end.out, "ab|fg|jk");
    EXPECT_EQ(end.tcp.holes(), 2u);
}

TEST(TcpReassembly, HeldSegmentsThatPartlyOverlapDeliveredOrHeldBytesAreTrimmed) {
    // The front of a held segment was delivered meanwhile by a longer one.
    Recorder front;
    front.tcp.syn(0);
    front.send(1, "ab");
    front.send(5, "efgh");    // held
    front.send(3, "cdef");    // fills the gap and delivers "ef" too
    EXPECT_EQ(front.out, "abcdefgh");

    // Two held segments overlap each other: the later one's front is cut
    // when the earlier is delivered.
    Recorder held;
    held.tcp.syn(0);
    held.send(1, "a");
    held.send(4, "defg");     // held
    held.send(6, "fghij");    // held, starts inside the one before
    held.send(2, "bc");
    EXPECT_EQ(held.out, "abcdefghij");
    EXPECT_EQ(held.tcp.heldBytes(), 0u);
    EXPECT_EQ(held.tcp.heldCost(), 0u);
}

TEST(TcpReassembly, HeldSegmentsCountTheirBookkeepingAgainstTheCap) {
    // Segments the snapshot length cut to nothing carry no payload, but each
    // held one costs memory: a million of them ahead of a gap must not pile up.
    Recorder r;
    r.tcp.syn(0);
    r.send(1, "a");
    std::size_t most = 0;
    for (std::uint32_t i = 0; i < 1'000'000; ++i) {
        r.tcp.segment(100 + 10 * i, {}, 10);
        most = std::max(most, r.tcp.heldCost());
    }
    EXPECT_LE(most, TcpReassembly::kDefaultMaxHeldBytes);
    EXPECT_GT(r.tcp.holes(), 0u);
    r.tcp.finish();
    EXPECT_EQ(r.tcp.heldCost(), 0u);
}

TEST(TcpReassembly, BytesCutBySnapshotLengthAreAHoleAtOnce) {
    Recorder r;
    r.tcp.syn(0);
    r.send(1, "abc", 6);   // "def" was on the wire but not captured
    EXPECT_EQ(r.out, "abc|");
    r.send(7, "ghi");
    EXPECT_EQ(r.out, "abc|ghi");

    // Held ahead of a gap and cut: the cut part is a hole once it is reached.
    Recorder held;
    held.tcp.syn(0);
    held.send(4, "de", 4);  // "fg" cut
    held.send(8, "hi");
    held.send(1, "abc");
    EXPECT_EQ(held.out, "abcde|hi");
}

TEST(TcpReassembly, NewSynOnTheSameAddressesStartsANewStream) {
    Recorder r;
    r.tcp.syn(10);
    r.send(11, "old");
    r.send(20, "late");  // held behind a gap
    r.tcp.syn(10);       // the SYN resent: nothing changes
    EXPECT_EQ(r.tcp.heldBytes(), 4u);
    r.tcp.syn(500);      // a new connection: the old one is finished first
    r.send(501, "new");
    EXPECT_EQ(r.out, "old|latenew");
}

} // namespace
} // namespace tarvik::capture
