#pragma once
// The packets of a pcap or pcapng file, held in memory or read from an open
// file a stretch at a time, read without libpcap for what nearly every capture of Vx traffic is:
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
//
// A file is read, not mapped: on the machines measured, touching each page of
// a mapped capture once cost three times what reading it into one buffer
// that is used over and over costs.

#include "capture/capture_reader.h"
#include "core/bytes.h"
#include "core/read_ahead.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvik::capture {

struct PacketRecord {
    ByteSpan bytes;                 // the bytes held of the packet (valid until the next call of next())
    std::uint32_t wireLength = 0;   // its length on the wire
    CaptureTime time;
    std::uint64_t offset = 0;       // where `bytes` begin in the file
};

class PacketFile {
public:
    // A reader of `file`, which must stay valid while it is used; nullopt
    // when the file is one for libpcap to read (see above).
    static std::optional<PacketFile> open(ByteSpan file);
    // A reader of the open file `descriptor` of `size` bytes, read a stretch
    // at a time (the descriptor must stay open while it is used). A file
    // that turns out shorter than `size` ends early, error() saying so.
    // `window`: the bytes read at once (at least one block's worth is read).
    // (Large enough that the calls are few, small enough that the buffer
    // stays in the processor's cache.) With `readAhead`, a second thread
    // reads the next window while the packets of this one are taken apart.
    static constexpr std::size_t kReadWindow = std::size_t{1} << 20;
    static std::optional<PacketFile> open(int descriptor, std::uint64_t size, std::size_t window = kReadWindow,
                                          bool readAhead = false);
    PacketFile(PacketFile&&) = default;
    PacketFile& operator=(PacketFile&&) = default;

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
    explicit PacketFile(ByteSpan file) : file_(file), size_(file.size()) {}
    static std::optional<PacketFile> opened(PacketFile f);
    // The bytes [at, at + count) of the file; empty when the file does not
    // hold them (past its end, or it could not be read: error() says why).
    // Inline for the bytes already held, as nearly every packet's are.
    ByteSpan view(std::uint64_t at, std::size_t count) {
        if (at >= windowAt_ && fits(file_.size(), at - windowAt_, count) && fits(size_, at, count))
            return file_.subspan(static_cast<std::size_t>(at - windowAt_), count);
        return read(at, count);
    }
    ByteSpan read(std::uint64_t at, std::size_t count);
    // The bytes from the stretch read ahead, with those held before it that
    // they begin with carried over in front of it; nullopt when the request
    // is not where the stretch continues the bytes held.
    std::optional<ByteSpan> takeReadAhead(std::uint64_t at, std::size_t count);
    void startReadAhead();
    // The file ends at `at`: shorter than when it was opened, or unreadable there (`failure`, an errno).
    ByteSpan endsAt(std::uint64_t at, int failure);
    bool openPcap();
    bool openPcapng();
    Step stepPcap(std::uint64_t& at, PacketRecord* packet);
    Step stepPcapng(std::uint64_t& at, PacketRecord* packet);
    bool interfaceBlock(ByteSpan block);
    // The section's byte order, bounds-checked (0 past the end).
    std::uint16_t u16(ByteSpan b, std::uint64_t at) const {
        const auto v = readLEOr0<std::uint16_t>(b, at);
        return bigEndian_ ? __builtin_bswap16(v) : v;
    }
    std::uint32_t u32(ByteSpan b, std::uint64_t at) const {
        const auto v = readLEOr0<std::uint32_t>(b, at);
        return bigEndian_ ? __builtin_bswap32(v) : v;
    }
    std::uint64_t u64(ByteSpan b, std::uint64_t at) const {
        const auto v = readLEOr0<std::uint64_t>(b, at);
        return bigEndian_ ? __builtin_bswap64(v) : v;
    }

    // The bytes held: the whole file, or the stretch read last, which begins
    // at windowAt_ of the file.
    ByteSpan file_;
    std::uint64_t windowAt_ = 0;
    std::uint64_t size_ = 0;
    int descriptor_ = -1;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t window_ = kReadWindow;
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
    bool readAhead_ = false;
    std::unique_ptr<ReadAhead> ahead_;  // last: its thread ends before the rest goes
};

} // namespace tarvik::capture
