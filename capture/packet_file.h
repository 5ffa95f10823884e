#pragma once
// The packets of a pcap or pcapng file held in memory (the mapped capture),
// read without libpcap for what nearly every capture of Vx traffic is:
// classic pcap 2.4 in either byte order with micro- or nanosecond times, and
// one pcapng section of interface description, enhanced and simple packet
// blocks (statistics and name resolution blocks are passed over), for the
// link types the capture reader takes apart.
//
// Anything else is left to libpcap: another link type, an unknown or obsolete
// block, a second section, interfaces of different link types or snapshot
// lengths, a time
// resolution that is not a power of ten, a packet longer than the snapshot
// length, a block whose lengths disagree. open() declines a file whose
// header is such; next() stops where such a record begins (foreign()), and
// the caller has libpcap read the file from there on (passing over the
// packets it already has), so nothing libpcap reads stops reading.
//
// Packets come out as libpcap gives them (the same bytes, the same times in
// nanoseconds, the same lengths); a file that ends inside a packet record
// ends with the words libpcap uses for it. Every length in the file is taken
// as hostile: nothing is read outside the bytes given.

#include "capture/capture_reader.h"
#include "core/bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvik::capture {

struct PacketRecord {
    ByteSpan bytes;                 // the bytes held of the packet
    std::uint32_t wireLength = 0;   // its length on the wire
    CaptureTime time;
    std::uint64_t offset = 0;       // where `bytes` begin in the file
};

class PacketFile {
public:
    // A reader of `file`, which must stay valid while it is used; nullopt
    // when the file is one for libpcap to read (see above).
    static std::optional<PacketFile> open(ByteSpan file);

    // The link type as libpcap names it (a DLT_ value).
    int linkType() const { return linkType_; }

    // The next packet. False at the end of the file, with error() empty;
    // where the file ends inside a record, with error() saying so; or where
    // a record this reader leaves to libpcap begins (foreign()).
    bool next(PacketRecord& packet);
    const std::string& error() const { return error_; }
    bool foreign() const { return foreign_; }
    // Packets handed out so far.
    std::uint64_t packets() const { return packets_; }

private:
    struct Interface {
        std::uint64_t unitsPerSecond = 1'000'000;
        std::uint32_t toNanoseconds = 1000;  // what one unit is worth in nanoseconds
        std::int64_t offsetSeconds = 0;
    };
    enum class Step { Packet, Skip, End, Cut, Foreign };
    explicit PacketFile(ByteSpan file) : file_(file) {}
    bool openPcap();
    bool openPcapng();
    Step stepPcap(std::uint64_t& at, PacketRecord* packet);
    Step stepPcapng(std::uint64_t& at, PacketRecord* packet);
    bool interfaceBlock(ByteSpan block);
    // The section's byte order, bounds-checked (0 past the end).
    std::uint16_t u16(ByteSpan b, std::uint64_t at) const;
    std::uint32_t u32(ByteSpan b, std::uint64_t at) const;
    std::uint64_t u64(ByteSpan b, std::uint64_t at) const;

    ByteSpan file_;
    bool pcapng_ = false;
    bool bigEndian_ = false;
    bool nanoseconds_ = false;  // classic pcap: the times are in nanoseconds
    int linkType_ = -1;
    std::uint32_t fileLinkType_ = 0;
    std::uint32_t snapshot_ = 0;
    std::uint32_t fileSnapshot_ = 0;  // the first interface's, as the file gives it
    std::vector<Interface> interfaces_;
    std::uint64_t at_ = 0;
    std::uint64_t packets_ = 0;
    bool done_ = false;
    bool foreign_ = false;
    std::string error_;
};

} // namespace tarvik::capture
