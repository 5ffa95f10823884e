// Packet cutting, the assembly key, and the packet handler fed without sockets.

#include "core/frame.h"
#include "net/packet_handler.h"
#include "net/packets.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace tarvik;
using namespace tarvik::net;

namespace {

// A frame of exactly `size` bytes (at least 68) of a record type.
Bytes frameOfSize(std::uint32_t type, std::size_t size, std::uint8_t fill = 0x5A) {
    FrameBuilder b(type);
    b.data().fill(size - kFrameHeaderSize - 4, fill);
    return b.build();
}

Bytes join(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct Handler {
    std::mutex lock;
    CPacketHandler handler{lock};
    std::vector<std::pair<unsigned, unsigned>> beeps;
    Handler() {
        handler.beep = [this](unsigned h, unsigned ms) { beeps.emplace_back(h, ms); };
        handler.pause = [](std::chrono::milliseconds) {};
    }
    std::vector<Bytes> take() {
        auto q = handler.TakePendingRecords();
        return {q.begin(), q.end()};
    }
};

const Bytes kLost(kLostPacketText.begin(), kLostPacketText.end());

void patch32(Bytes& packet, std::size_t at, std::uint32_t v) {
    ByteWriter w(std::move(packet));
    w.patch(at, v);
    packet = w.take();
}

} // namespace

TEST(Packetize, CutsAtTheLargestPayload) {
    auto one = Packetize(frameOfSize(7000, 59'964));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].size(), 60'000u);

    const Bytes record = frameOfSize(7008, 59'965);
    auto two = Packetize(record);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].size(), 60'000u);
    EXPECT_EQ(two[1].size(), 37u);
    for (std::uint32_t i = 0; i < 2; ++i) {
        auto f = NetworkFrame::read(two[i]);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->version, 5);
        EXPECT_EQ(f->offset, 36);
        EXPECT_EQ(f->totalPackets, 2u);
        EXPECT_EQ(f->totalRecords, 1);
        EXPECT_EQ(f->transmissionId, 7500);
        EXPECT_EQ(f->packetSize, two[i].size());
        EXPECT_EQ(f->totalSize, 59'965u);
        EXPECT_EQ(f->packetNumber, i);
        EXPECT_EQ(f->sourceDeviceId, 0u);
        EXPECT_EQ(f->destinationDeviceId, 0u);
    }
    EXPECT_EQ(two[1].back(), record.back());  // the one-byte payload is the record's last byte
    EXPECT_TRUE(Packetize({}).empty());
}

TEST(PacketCollectionKey, OrdersByTransmissionThenEnumeratorThenDevice) {
    const CPacketCollectionKey a(1, 900, 5), b(2, 1, 0), c(1, 100, 6), d(1, 200, 5);
    EXPECT_LT(a, b);  // transmission id decides first
    EXPECT_LT(a, c);  // then the source enumerator, over a smaller device id
    EXPECT_LT(d, a);  // then the source device id
    EXPECT_EQ(a, CPacketCollectionKey(1, 900, 5));
    EXPECT_NE(a, d);
    CPacketCollectionKey unset;
    EXPECT_EQ(unset.transmissionId(), 0xFFFF);
    EXPECT_EQ(unset.sourceEnumerator(), 0xFFFF);
    EXPECT_EQ(unset.sourceDeviceId(), 0xFFFFFFFFu);
}

TEST(PacketAssembly, HoldsAtMostFourTimesWhatCameAndNeverMoreThanTheTotal) {
    CPacketAssembly a;
    const Bytes piece(1000, 7);
    a.Start(CPacketCollectionKey(7500, 0, 0), 64u * 1024u * 1024u);  // announces far more than it sends
    for (int i = 1; i <= 40; ++i) {
        ASSERT_TRUE(a.Append(piece));
        EXPECT_LE(a.capacity(), 4u * a.bytesCollected()) << i;
    }
    CPacketAssembly b;
    b.Start(CPacketCollectionKey(7500, 0, 0), 9'500);
    for (int i = 0; i < 9; ++i) ASSERT_TRUE(b.Append(piece));
    ASSERT_TRUE(b.Append(Bytes(500, 1)));
    EXPECT_EQ(b.capacity(), 9'500u);  // whole: exactly its size
}

TEST(PacketAssembly, RefusesBytesPastTheTotalAndKeepsItsBuffer) {
    CPacketAssembly a;
    const Bytes five = {1, 2, 3, 4, 5};
    a.Start(CPacketCollectionKey(7500, 0, 0), 8);
    EXPECT_TRUE(a.Append(five));
    EXPECT_FALSE(a.Append(five));  // 10 > 8
    EXPECT_EQ(a.bytesCollected(), 5u);
    EXPECT_EQ(a.packetsCollected(), 1u);
    // The buffer grew with the 5 bytes that came, not to the 8 announced; a
    // smaller record keeps it.
    a.Start(CPacketCollectionKey(7500, 0, 0), 4);
    EXPECT_EQ(a.capacity(), 5u);
    EXPECT_EQ(a.bytesCollected(), 0u);
    a.Reset();
    EXPECT_FALSE(a.active());
}

TEST(PacketHandler, SingleAndFragmentedRecordsAcrossStreamReads) {
    Handler h;
    const Bytes small = frameOfSize(7000, 200), large = frameOfSize(7008, 150'000, 0x33);
    Bytes stream = join(Packetize(small));
    for (auto& p : Packetize(large)) stream.insert(stream.end(), p.begin(), p.end());
    const Bytes tail = join(Packetize(frameOfSize(7022, 100)));
    stream.insert(stream.end(), tail.begin(), tail.end());

    // Several packets in one read, and a packet split over two reads.
    const std::size_t cut = stream.size() - 50;
    ASSERT_TRUE(h.handler.HandleStreamBytes(ByteSpan(stream).first(cut)));
    EXPECT_EQ(h.take().size(), 2u);
    EXPECT_EQ(h.handler.streamBuffered(), tail.size() - 50);
    ASSERT_TRUE(h.handler.HandleStreamBytes(ByteSpan(stream).subspan(cut)));
    auto rest = h.take();
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(FrameView(rest[0]).recordType(), 7022u);
    EXPECT_EQ(h.handler.streamBuffered(), 0u);

    // One byte at a time gives the same records.
    Handler slow;
    for (std::uint8_t byte : stream) ASSERT_TRUE(slow.handler.HandleStreamBytes(ByteSpan(&byte, 1)));
    auto all = slow.take();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], small);
    EXPECT_EQ(all[1], large);
    EXPECT_TRUE(h.beeps.empty());
}

// Handed out directly (a reader of recorded traffic): every record and
// lost-packet line in order, a record whole in the bytes given as a view of
// them, and nothing queued.
TEST(PacketHandler, DeliversInOrderWithoutCopyingWholeRecords) {
    Handler h;
    std::vector<Bytes> delivered;
    std::vector<bool> inInput;
    Bytes stream = join(Packetize(frameOfSize(7000, 200)));
    const Bytes large = frameOfSize(7008, 150'000, 0x33);
    for (auto& p : Packetize(large)) stream.insert(stream.end(), p.begin(), p.end());
    const Bytes tail = join(Packetize(frameOfSize(7022, 100)));
    stream.insert(stream.end(), tail.begin(), tail.end());
    const Subscription delivering = h.handler.deliver.subscribe([&](ByteSpan record) {
        delivered.emplace_back(record.begin(), record.end());
        const auto at = reinterpret_cast<std::uintptr_t>(record.data()), from = reinterpret_cast<std::uintptr_t>(stream.data());
        inInput.push_back(at >= from && at + record.size() <= from + stream.size());
    });
    // All but the last 50 bytes, then the rest: the last record waits in the buffer.
    ASSERT_TRUE(h.handler.HandleStreamBytes(ByteSpan(stream).first(stream.size() - 50)));
    ASSERT_TRUE(h.handler.HandleStreamBytes(ByteSpan(stream).subspan(stream.size() - 50)));
    h.handler.streamBytesLost();
    ASSERT_EQ(delivered.size(), 4u);
    EXPECT_EQ(FrameView(delivered[0]).recordType(), 7000u);
    EXPECT_EQ(delivered[1], large);
    EXPECT_EQ(FrameView(delivered[2]).recordType(), 7022u);
    EXPECT_EQ(delivered[3], kLost);
    EXPECT_EQ(inInput, (std::vector<bool>{true, false, false, false}));
    EXPECT_TRUE(h.take().empty());
}

TEST(PacketHandler, LostAndOrphanFragments) {
    Handler h;
    auto packets = Packetize(frameOfSize(7008, 4 * kMaxPayload));
    ASSERT_EQ(packets.size(), 4u);
    h.handler.HandleOnePacket(packets[0]);
    h.handler.HandleOnePacket(packets[1]);
    h.handler.HandleOnePacket(packets[3]);  // packet 2 never came
    EXPECT_EQ(h.take(), std::vector<Bytes>{kLost});
    EXPECT_EQ(h.beeps, (std::vector<std::pair<unsigned, unsigned>>{{75, 75}}));
    EXPECT_FALSE(h.handler.assembly().active());

    // A fragment without its first packet is dropped without a sound.
    h.beeps.clear();
    h.handler.HandleOnePacket(packets[1]);
    h.handler.HandleOnePacket(packets[2]);
    EXPECT_TRUE(h.take().empty());
    EXPECT_TRUE(h.beeps.empty());

    // A new first packet abandons an unfinished record: it is reported lost
    // before the next record is listed.
    h.handler.HandleOnePacket(packets[0]);
    h.handler.HandleOnePacket(packets[0]);
    EXPECT_EQ(h.beeps, (std::vector<std::pair<unsigned, unsigned>>{{50, 50}}));
    for (int i = 1; i < 4; ++i) h.handler.HandleOnePacket(packets[static_cast<std::size_t>(i)]);
    auto queued = h.take();
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[0], kLost);
    EXPECT_EQ(queued[1].size(), 4 * kMaxPayload);

    // The end of the connection in the middle of a record loses it too; with
    // nothing in collection the end reports nothing.
    h.handler.HandleOnePacket(packets[0]);
    h.handler.connectionEnded();
    EXPECT_EQ(h.take(), std::vector<Bytes>{kLost});
    EXPECT_FALSE(h.handler.assembly().active());
    h.handler.connectionEnded();
    EXPECT_TRUE(h.take().empty());

    // Fragments of another transmission are dropped while one is collected.
    auto other = packets;
    for (auto& p : other) p[10] = 0x11;  // transmission id
    h.handler.HandleOnePacket(packets[0]);
    h.handler.HandleOnePacket(other[1]);
    EXPECT_TRUE(h.take().empty());
    EXPECT_TRUE(h.handler.assembly().active());
}

TEST(PacketHandler, OnlyASinglePacketConfigurationRecordIsStored) {
    Handler h;
    const Bytes first = frameOfSize(7001, 300, 1), second = frameOfSize(7001, 400, 2);
    h.handler.HandleOnePacket(Packetize(first)[0]);
    h.handler.HandleOnePacket(Packetize(second)[0]);
    EXPECT_EQ(h.handler.latestRecord(), second);
    for (const auto& p : Packetize(frameOfSize(7001, 70'000, 3))) h.handler.HandleOnePacket(p);
    EXPECT_EQ(h.take().size(), 3u);            // all queued
    EXPECT_EQ(h.handler.latestRecord(), second);  // the fragmented one is not stored
}

TEST(PacketHandler, HostilePacketsAreDroppedWithinBounds) {
    Handler h;
    const Bytes record = frameOfSize(7000, 100);
    const Bytes good = Packetize(record)[0];

    for (std::uint32_t size : {0u, 10u, 35u, 100'001u, 0xFFFFFFFFu}) {
        Bytes p = good;
        patch32(p, netframe_offsets::packetSize, size);
        h.handler.HandleOnePacket(p);
        Handler stream;
        // Below 36 the stream has lost its framing; above 100,000 the packet is
        // dropped and its bytes are discarded as they come.
        EXPECT_EQ(stream.handler.HandleStreamBytes(p), size > 35) << size;
        EXPECT_EQ(stream.handler.streamBuffered(), 0u);
    }
    Bytes claimsMore = good;  // packet size above the bytes of the datagram
    patch32(claimsMore, netframe_offsets::packetSize, static_cast<std::uint32_t>(good.size() + 1));
    h.handler.HandleOnePacket(claimsMore);
    Bytes totalTooLarge = good;  // a single packet whose record would run past its payload
    patch32(totalTooLarge, netframe_offsets::totalSize, static_cast<std::uint32_t>(record.size() + 1));
    h.handler.HandleOnePacket(totalTooLarge);
    Bytes emptyRecord = good;
    patch32(emptyRecord, netframe_offsets::totalSize, 0);
    h.handler.HandleOnePacket(emptyRecord);
    h.handler.HandleOnePacket(ByteSpan(good).first(20));
    EXPECT_TRUE(h.take().empty());

    // A shorter total size than the payload queues only that many bytes.
    Bytes shorter = good;
    patch32(shorter, netframe_offsets::totalSize, 70);
    h.handler.HandleOnePacket(shorter);
    auto q = h.take();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].size(), 70u);
}

TEST(PacketHandler, HostileFragmentsNeverQueueBytesThatDidNotArrive) {
    Handler h;
    auto packets = Packetize(frameOfSize(7008, 3 * kMaxPayload));
    // The first packet announces a record over the bound: refused.
    Bytes huge = packets[0];
    patch32(huge, netframe_offsets::totalSize, kMaxRecordSize + 1);
    h.handler.HandleOnePacket(huge);
    EXPECT_FALSE(h.handler.assembly().active());
    EXPECT_EQ(h.handler.assembly().capacity(), 0u);
    // At the bound it is taken, but costs only the bytes that came: never what it announces.
    patch32(huge, netframe_offsets::totalSize, kMaxRecordSize);
    h.handler.HandleOnePacket(huge);
    EXPECT_TRUE(h.handler.assembly().active());
    EXPECT_LE(h.handler.assembly().capacity(), 2 * kMaxPayload);
    h.handler.resetStream();

    // A fragment that would run past the announced total size ends the record.
    Bytes small = packets[0];
    patch32(small, netframe_offsets::totalSize, kMaxPayload + 10);
    h.handler.HandleOnePacket(small);
    h.handler.HandleOnePacket(packets[1]);
    EXPECT_EQ(h.take(), std::vector<Bytes>{kLost});

    // Every packet counted, but bytes missing: the record is lost, not queued half-filled.
    Bytes bigger = packets[0];
    patch32(bigger, netframe_offsets::totalSize, 3 * kMaxPayload + 500);
    h.handler.HandleOnePacket(bigger);
    h.handler.HandleOnePacket(packets[1]);
    h.handler.HandleOnePacket(packets[2]);
    EXPECT_EQ(h.take(), std::vector<Bytes>{kLost});

    // A total-packets count of 0 never completes and never grows the queue.
    for (auto p : packets) {
        patch32(p, netframe_offsets::totalPackets, 0);
        h.handler.HandleOnePacket(p);
    }
    for (const auto& e : h.take()) EXPECT_EQ(e, kLost);
}

TEST(PacketHandler, BusyLockDropsInsteadOfWaiting) {
    Handler h;
    int pauses = 0;
    h.handler.pause = [&](std::chrono::milliseconds ms) {
        EXPECT_EQ(ms.count(), 5);
        ++pauses;
    };
    const Bytes packet = Packetize(frameOfSize(7000, 100))[0];
    h.lock.lock();  // the user-interface thread holds the lock
    std::thread receiver([&] { h.handler.HandleOnePacket(packet); });
    receiver.join();
    h.lock.unlock();
    EXPECT_EQ(pauses, 100);
    EXPECT_EQ(h.beeps, (std::vector<std::pair<unsigned, unsigned>>{{100, 10}}));

    h.lock.lock();
    std::thread taker([&] { EXPECT_TRUE(h.handler.TakePendingRecords().empty()); });
    taker.join();
    h.lock.unlock();
    EXPECT_TRUE(h.take().empty());
}

TEST(PacketHandler, OversizedStreamPacketsAreSkippedWithoutBuffering) {
    Handler h;
    const Bytes before = Packetize(frameOfSize(7000, 100))[0];
    const Bytes after = Packetize(frameOfSize(7004, 300))[0];
    Bytes huge(250'000, 0x77);
    {
        ByteWriter w(Packetize(frameOfSize(7008, 200))[0]);
        Bytes header = w.take();
        std::copy(header.begin(), header.begin() + kNetworkFrameSize, huge.begin());
        patch32(huge, netframe_offsets::packetSize, static_cast<std::uint32_t>(huge.size()));
    }
    const Bytes stream = join({before, huge, after, before});
    std::size_t largest = 0;
    for (std::size_t at = 0; at < stream.size(); at += 7'001) {
        const std::size_t n = std::min<std::size_t>(7'001, stream.size() - at);
        ASSERT_TRUE(h.handler.HandleStreamBytes(ByteSpan(stream).subspan(at, n)));
        largest = std::max(largest, h.handler.streamBuffered());
    }
    EXPECT_LT(largest, kMaxAcceptedPacketSize);  // the dropped packet was never held
    auto q = h.take();
    ASSERT_EQ(q.size(), 3u);
    EXPECT_EQ(FrameView(q[0]).recordType(), 7000u);
    EXPECT_EQ(FrameView(q[1]).recordType(), 7004u);
    EXPECT_EQ(FrameView(q[2]).recordType(), 7000u);
}

TEST(PacketHandler, AFullPendingQueueDropsAndSaysHowMany) {
    Handler h;
    h.handler.maxPendingBytes = 1'000;
    const Bytes record = frameOfSize(7000, 104);
    const Bytes packet = Packetize(record)[0];
    for (int i = 0; i < 20; ++i) h.handler.HandleOnePacket(packet);
    EXPECT_EQ(h.handler.droppedRecords(), 11u);
    auto q = h.take();
    ASSERT_EQ(q.size(), 10u);
    EXPECT_EQ(q[8], record);
    EXPECT_EQ(std::string(q[9].begin(), q[9].end()), "TEXT 11 Records Dropped, The Pending Queue Was Full");
    // The batch taken is still being worked through: until the next take it
    // counts against the bound. Then there is room again, and the count
    // starts afresh.
    h.handler.HandleOnePacket(packet);
    q = h.take();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(std::string(q[0].begin(), q[0].end()), "TEXT 1 Records Dropped, The Pending Queue Was Full");
    h.handler.HandleOnePacket(packet);
    q = h.take();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0], record);
}

TEST(PacketHandler, BytesReleasedFromATakenBatchMakeRoomBeforeTheNextTake) {
    Handler h;
    h.handler.maxPendingBytes = 1'000;
    const Bytes record = frameOfSize(7000, 100);
    const Bytes packet = Packetize(record)[0];
    for (int i = 0; i < 10; ++i) h.handler.HandleOnePacket(packet);
    ASSERT_EQ(h.take().size(), 10u);
    // The whole batch is still held: nothing fits.
    h.handler.HandleOnePacket(packet);
    EXPECT_EQ(h.handler.droppedRecords(), 1u);
    // Three records let go: three fit, the fourth does not.
    h.handler.releaseTaken(3 * record.size());
    for (int i = 0; i < 4; ++i) h.handler.HandleOnePacket(packet);
    EXPECT_EQ(h.handler.droppedRecords(), 2u);
    // Releasing more than is held (text lines are appended uncounted) frees
    // the batch and no more than it: the queue's own bytes still count.
    h.handler.releaseTaken(100 * record.size());
    for (int i = 0; i < 10; ++i) h.handler.HandleOnePacket(packet);
    EXPECT_EQ(h.handler.droppedRecords(), 5u);
    EXPECT_EQ(h.take().size(), 11u);  // 3 + 7 records and the dropped line
}

TEST(PacketHandler, AWholeFragmentedRecordThatCannotBeQueuedIsLostAtOnce) {
    Handler h;
    std::vector<unsigned> pauses;
    h.handler.pause = [&](std::chrono::milliseconds ms) { pauses.push_back(static_cast<unsigned>(ms.count())); };
    const auto packets = Packetize(frameOfSize(7008, 70'000));
    ASSERT_EQ(packets.size(), 2u);
    h.handler.HandleOnePacket(packets[0]);
    h.lock.lock();  // the user-interface thread holds the lock while the last fragment comes
    std::thread receiver([&] { h.handler.HandleOnePacket(packets[1]); });
    receiver.join();
    h.lock.unlock();
    // Lost at once, with its signal; the assembly does not hold it on.
    EXPECT_FALSE(h.handler.assembly().active());
    EXPECT_EQ(h.beeps, (std::vector<std::pair<unsigned, unsigned>>{{75, 75}}));
    EXPECT_EQ(h.take(), std::vector<Bytes>{kLost});

    // The next first packet abandons nothing: no second lost line, late and for the wrong reason.
    h.handler.HandleOnePacket(packets[0]);
    h.handler.HandleOnePacket(packets[1]);
    const auto next = h.take();
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(FrameView(next[0]).recordType(), 7008u);
    EXPECT_EQ(h.beeps.size(), 1u);
}
