// Our reader of pcap and pcapng files against libpcap: the same packets
// (bytes, lengths, times), the same end (and the same words for a file that
// ends inside a record), on the generated captures in every format the reader
// takes, and on cut and damaged copies of them. Each file is read both whole
// in memory and from an open file through a window of a few bytes, which
// moves at every block.

#include "capture/packet_file.h"
#include "capture/pcap_library.h"
#include "tests/support/temp_dir.h"
#include "tools/synth/capture_records.h"

#include <gtest/gtest.h>

#include <random>

#include <sys/mman.h>
#include <unistd.h>

namespace tarvik::capture {
namespace {

using testing::TempDir;

struct Packet {
    Bytes bytes;
    std::uint32_t wireLength = 0;
    CaptureTime time;
    bool operator==(const Packet&) const = default;
};

struct Read {
    std::vector<Packet> packets;
    bool ours = true;     // our reader took the file (and kept it to the end)
    std::string error;    // how the file ended early; empty at a clean end
};

Read readFrom(std::optional<PacketFile> f, const Bytes& file) {
    Read r;
    if (!f) {
        r.ours = false;
        return r;
    }
    PacketRecord p;
    while (f->next(p)) {
        r.packets.push_back({Bytes(p.bytes.begin(), p.bytes.end()), p.wireLength, p.time});
        EXPECT_TRUE(fits(file.size(), p.offset, p.bytes.size()) &&
                    std::equal(p.bytes.begin(), p.bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(p.offset)));
    }
    r.ours = !f->foreign();
    r.error = f->error();
    return r;
}

// What our reader gives; `ours` false when it leaves the file, or its rest,
// to libpcap. Read from an open file through a small window it gives the same.
// With `alsoReadAhead`, also with the next window read on a second thread.
void expectSameThroughWindows(const Bytes& file, const Read& whole, std::size_t fromWidth, std::size_t toWidth,
                              bool alsoReadAhead = false) {
    const int fd = ::memfd_create("packet-file-test", MFD_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, file.data(), file.size()), static_cast<ssize_t>(file.size()));
    for (std::size_t width = fromWidth; width <= toWidth; ++width)
        for (const bool readAhead : {false, true}) {
            // Read ahead, each stretch costs a hand-over between threads: a
            // sample of the widths takes every place of a block all the same.
            if (readAhead && (!alsoReadAhead || width < 40 || width % 11 != 0)) continue;
            const Read windowed = readFrom(PacketFile::open(fd, file.size(), width, readAhead), file);
            EXPECT_EQ(windowed.ours, whole.ours) << width << (readAhead ? ", read ahead" : "");
            EXPECT_EQ(windowed.error, whole.error) << width << (readAhead ? ", read ahead" : "");
            EXPECT_TRUE(windowed.packets == whole.packets) << width << (readAhead ? ", read ahead" : "");
        }
    ::close(fd);
}

Read readOurs(const Bytes& file) {
    Read whole = readFrom(PacketFile::open(file), file);
    expectSameThroughWindows(file, whole, 40, 40);
    return whole;
}

Read readLibpcap(const TempDir& dir, const Bytes& file) {
    Read r;
    const PcapLibrary& lib = *pcapLibrary().value();
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* p = lib.open_offline_with_tstamp_precision(dir.write("f.cap", file).c_str(), PCAP_TSTAMP_PRECISION_NANO, errbuf);
    if (!p) {
        r.error = errbuf;
        return r;
    }
    pcap_pkthdr* h = nullptr;
    const u_char* data = nullptr;
    int got = 0;
    while ((got = lib.next_ex(p, &h, &data)) == 1)
        r.packets.push_back({Bytes(data, data + h->caplen), h->len,
                             CaptureTime{static_cast<std::int64_t>(h->ts.tv_sec), static_cast<std::uint32_t>(h->ts.tv_usec)}});
    if (got != PCAP_ERROR_BREAK) r.error = lib.geterr(p);
    lib.close(p);
    return r;
}

// Our reader gives what libpcap gives: all of it where it keeps the file, the
// packets before the record it leaves to libpcap otherwise.
void expectSameAsLibpcap(const TempDir& dir, const Bytes& file) {
    const Read ours = readOurs(file);
    const Read theirs = readLibpcap(dir, file);
    if (!ours.ours) {
        ASSERT_LE(ours.packets.size(), theirs.packets.size());
        for (std::size_t i = 0; i < ours.packets.size(); ++i) ASSERT_EQ(ours.packets[i], theirs.packets[i]) << "packet " << i;
        return;
    }
    ASSERT_EQ(ours.packets.size(), theirs.packets.size()) << theirs.error;
    for (std::size_t i = 0; i < ours.packets.size(); ++i) ASSERT_EQ(ours.packets[i], theirs.packets[i]) << "packet " << i;
    EXPECT_EQ(ours.error, theirs.error);
}

void u16(Bytes& out, std::uint16_t v, bool big) {
    for (int i = 0; i < 2; ++i) out.push_back(static_cast<std::uint8_t>(v >> (big ? 8 - 8 * i : 8 * i)));
}
void u32(Bytes& out, std::uint32_t v, bool big) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (big ? 24 - 8 * i : 8 * i)));
}

// The packets of a capture as classic pcap, in either byte order and resolution.
Bytes asPcap(const std::vector<Packet>& packets, bool big, bool nano, std::uint32_t linkType = 1) {
    Bytes out;
    u32(out, nano ? 0xA1B23C4D : 0xA1B2C3D4, big);
    u16(out, 2, big), u16(out, 4, big), u32(out, 0, big), u32(out, 0, big), u32(out, 262144, big), u32(out, linkType, big);
    for (const Packet& p : packets) {
        u32(out, static_cast<std::uint32_t>(p.time.seconds), big);
        u32(out, nano ? p.time.nanoseconds : p.time.nanoseconds / 1000, big);
        u32(out, static_cast<std::uint32_t>(p.bytes.size()), big), u32(out, p.wireLength, big);
        out.insert(out.end(), p.bytes.begin(), p.bytes.end());
    }
    return out;
}

// A pcapng block of `type` around `body` (padded), in the section's byte order.
void block(Bytes& out, std::uint32_t type, Bytes body, bool big) {
    body.resize((body.size() + 3) & ~std::size_t{3});
    const auto length = static_cast<std::uint32_t>(body.size() + 12);
    u32(out, type, big), u32(out, length, big);
    out.insert(out.end(), body.begin(), body.end());
    u32(out, length, big);
}

// pcapng in either byte order: two interfaces (microseconds with a time
// offset, nanoseconds), enhanced packet blocks on both, a simple packet
// block, and a name resolution and a statistics block passed over.
Bytes asPcapng(const std::vector<Packet>& packets, bool big, std::uint32_t secondSnapshot = 0) {
    Bytes out, b;
    u32(b, 0x1A2B3C4D, big), u16(b, 1, big), u16(b, 0, big), u32(b, 0xFFFFFFFF, big), u32(b, 0xFFFFFFFF, big);
    block(out, 0x0A0D0D0A, b, big);
    b.clear();
    u16(b, 1, big), u16(b, 0, big), u32(b, 0, big);
    u16(b, 14, big), u16(b, 8, big), u32(b, big ? 0 : 100, big), u32(b, big ? 100 : 0, big);  // if_tsoffset 100 s
    u16(b, 0, big), u16(b, 0, big);
    block(out, 1, b, big);
    b.clear();
    u16(b, 1, big), u16(b, 0, big), u32(b, secondSnapshot, big), u16(b, 9, big), u16(b, 1, big), b.push_back(9), b.resize(b.size() + 3);
    block(out, 1, b, big);
    b.assign(8, 0);
    block(out, 4, b, big);
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const Packet& p = packets[i];
        b.clear();
        if (i == 3) {  // a simple packet block: no time of its own
            u32(b, static_cast<std::uint32_t>(p.bytes.size()), big);
            b.insert(b.end(), p.bytes.begin(), p.bytes.end());
            block(out, 3, b, big);
            continue;
        }
        const std::uint32_t id = static_cast<std::uint32_t>(i % 2);
        const std::uint64_t units = id == 0 ? std::uint64_t(p.time.seconds) * 1'000'000 + p.time.nanoseconds / 1000
                                            : std::uint64_t(p.time.seconds) * 1'000'000'000 + p.time.nanoseconds;
        u32(b, id, big), u32(b, static_cast<std::uint32_t>(units >> 32), big), u32(b, static_cast<std::uint32_t>(units), big);
        u32(b, static_cast<std::uint32_t>(p.bytes.size()), big), u32(b, p.wireLength, big);
        b.insert(b.end(), p.bytes.begin(), p.bytes.end());
        block(out, 6, b, big);
        if (i == 5) block(out, 5, Bytes(12, 0), big);
    }
    return out;
}

std::vector<Bytes> formats() {
    synth::CaptureSampleOptions o;
    o.records = 30;
    const Bytes generated = synth::sampleCapture(o).file;
    std::vector<Packet> packets = readOurs(generated).packets;
    std::vector<Bytes> out{generated};
    for (const bool big : {false, true}) {
        for (const bool nano : {false, true}) out.push_back(asPcap(packets, big, nano));
        out.push_back(asPcapng(packets, big));
    }
    return out;
}

TEST(PacketFile, GivesWhatLibpcapGivesInEveryFormatItReads) {
    ASSERT_TRUE(pcapLibrary()) << pcapLibrary().error();
    TempDir dir;
    for (const Bytes& file : formats()) {
        SCOPED_TRACE(file.size());
        const Read ours = readOurs(file);
        EXPECT_TRUE(ours.ours);
        EXPECT_GT(ours.packets.size(), 30u);
        EXPECT_TRUE(ours.error.empty()) << ours.error;
        expectSameAsLibpcap(dir, file);
        // Windows of every width up to a few blocks: a stretch read ends at every place of a block.
        expectSameThroughWindows(file, ours, 1, 300, true);
    }
    const std::vector<Packet> packets = readOurs(formats()[0]).packets;
    // A link type the capture reader does not take apart is libpcap's from the start.
    EXPECT_FALSE(PacketFile::open(asPcap(packets, false, false, 105)));
    // Interfaces of different snapshot lengths are libpcap's to refuse.
    const Bytes snapshots = asPcapng(packets, false, 65535);
    EXPECT_FALSE(readOurs(snapshots).ours);
    expectSameAsLibpcap(dir, snapshots);
}

// A file cut short on disk after it was opened ends where its bytes end, and says so.
TEST(PacketFile, AFileCutShortWhileReadEndsThereAndSaysSo) {
    const Bytes file = formats()[2];
    const Read whole = readOurs(file);
    const int fd = ::memfd_create("packet-file-test", MFD_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, file.data(), file.size()), static_cast<ssize_t>(file.size()));
    // Read ahead or not, and cut before the first stretch is read ahead or after.
    for (const bool readAhead : {false, true})
        for (const std::size_t readBeforeCut : {std::size_t{0}, std::size_t{3}}) {
            SCOPED_TRACE(::testing::Message() << (readAhead ? "read ahead" : "one thread") << ", " << readBeforeCut);
            ASSERT_EQ(::ftruncate(fd, 0), 0);
            ASSERT_EQ(::pwrite(fd, file.data(), file.size(), 0), static_cast<ssize_t>(file.size()));
            std::optional<PacketFile> f = PacketFile::open(fd, file.size(), 1000, readAhead);
            ASSERT_TRUE(f);
            Read cut;
            PacketRecord p;
            for (std::size_t n = 0; n < readBeforeCut && f->next(p);) {
                cut.packets.push_back({Bytes(p.bytes.begin(), p.bytes.end()), p.wireLength, p.time});
                ++n;
            }
            EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(file.size() / 2)), 0);
            const Read rest = readFrom(std::move(f), file);
            cut.packets.insert(cut.packets.end(), rest.packets.begin(), rest.packets.end());
            EXPECT_EQ(rest.error, "the file was cut short on disk while it was read");
            ASSERT_GT(cut.packets.size(), 0u);
            ASSERT_LT(cut.packets.size(), whole.packets.size());
            EXPECT_TRUE(std::equal(cut.packets.begin(), cut.packets.end(), whole.packets.begin()));
        }
    ::close(fd);
}

TEST(PacketFile, CutAndDamagedFilesEndAsLibpcapEndsThem) {
    ASSERT_TRUE(pcapLibrary()) << pcapLibrary().error();
    TempDir dir;
    std::mt19937 random(5);
    for (const Bytes& file : formats()) {
        SCOPED_TRACE(file.size());
        // Cut inside every part of the first records, and at random further on.
        for (std::size_t at = 1; at < std::min<std::size_t>(file.size(), 600); at += 7) {
            SCOPED_TRACE(at);
            expectSameAsLibpcap(dir, Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(at)));
        }
        for (int i = 0; i < 20; ++i) {
            const std::size_t at = random() % file.size();
            SCOPED_TRACE(at);
            expectSameAsLibpcap(dir, Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(at)));
        }
        // Words of the headers written over with lengths that cannot be, and bytes at random.
        for (int i = 0; i < 60; ++i) {
            Bytes damaged = file;
            const std::size_t at = random() % (std::min<std::size_t>(file.size(), 4000) - 4);
            const std::uint32_t value = i % 3 == 0 ? 0xFFFFFFF0u : i % 3 == 1 ? static_cast<std::uint32_t>(random() % 300) : random();
            std::memcpy(damaged.data() + at, &value, 4);
            SCOPED_TRACE(at);
            expectSameAsLibpcap(dir, damaged);
        }
    }
}

} // namespace
} // namespace tarvik::capture
