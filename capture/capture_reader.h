#pragma once
// Packet captures (pcap and pcapng files, our own reader or libpcap) of Vx
// traffic as a record source. Frames are taken apart down to TCP and UDP over IPv4; each
// TCP stream is put back in order and its bytes, like each UDP datagram, go
// through the same packet handler a live connection uses. Records come out
// in the order they were completed, each with the capture time of the packet
// that completed it and the stream it came on.
//
// Memory stays bounded whatever the capture's size: streams hold at most a
// capped number of bytes ahead of a gap, records in collection grow only with
// the bytes that arrive, everything the streams hold (bookkeeping included)
// stays within one memory budget, and no packet is kept once it has been
// taken apart. A stream given up for the budget is said so, never lost in
// silence.

#include "core/bytes.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik::capture {

// Seconds and nanoseconds since 1970 (UTC), as the capture recorded them.
struct CaptureTime {
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
    auto operator<=>(const CaptureTime&) const = default;
};
// "YYYY-MM-DD HH:MM:SS.nnnnnnnnn UTC".
std::string captureTimeText(const CaptureTime& time);

enum class Transport : std::uint8_t { Tcp, Udp };

struct Endpoint {
    std::uint32_t address = 0;  // IPv4, most significant byte first (a.b.c.d = a << 24 | ...)
    std::uint16_t port = 0;
    auto operator<=>(const Endpoint&) const = default;
};
std::string endpointText(const Endpoint& endpoint);  // "a.b.c.d:port"

// One direction of one connection (or of a UDP exchange).
struct StreamInfo {
    Transport transport = Transport::Tcp;
    Endpoint source;
    Endpoint destination;
    // The source is the server side: the port asked for, the side that
    // answered the SYN, or else the lower port.
    bool fromServer = false;
};
// "TCP 10.0.0.1:7000 -> 10.0.0.2:50514 (server to client)".
std::string streamText(const StreamInfo& stream);

// What the reader hands out: a Data Record Frame, or one of its own text lines.
enum class CapturedKind : std::uint8_t {
    Frame,       // a Data Record Frame (its bytes may still be damaged inside)
    LostPacket,  // "TEXT Lost Packet": bytes of the stream were lost, a record with them
    Damaged,     // a packet whose payload is not a record frame, or whose sizes cannot be; the bytes are a text line saying so
};

struct CapturedRecord {
    Bytes bytes;       // a Data Record Frame, or a text line such as "TEXT Lost Packet"
    CaptureTime time;  // of the packet that completed it
    std::uint32_t stream = 0;  // index into CaptureReader::streams()
    CapturedKind kind = CapturedKind::Frame;
};

// A stretch of the capture file: one packet's share of a record put together
// from several packets.
struct CapturedPiece {
    std::uint64_t fileOffset = 0;
    std::uint32_t length = 0;
};

// A record as the reader hands it out without copying it: `bytes` are valid
// during the call only (most records are views of the packet just read).
struct CapturedRecordView {
    ByteSpan bytes;
    CaptureTime time;
    std::uint32_t stream = 0;
    CapturedKind kind = CapturedKind::Frame;
    // Where the bytes lie in the capture file, when they are a stretch of one
    // packet that the file holds as it is (checked byte for byte against the
    // file); -1 for bytes put together from several packets or not found, and
    // unless CaptureOptions::findRecordsInFile.
    std::int64_t fileOffset = -1;
    // For a record put together from several packets: where its bytes lie in
    // the capture file, in order, when every packet's share of it is a
    // stretch the file holds as it is (checked as fileOffset is). Empty
    // otherwise, and unless CaptureOptions::findRecordsInFile.
    std::span<const CapturedPiece> pieces{};
};

// The text line of a damaged packet of `bytes` bytes, saying why ("not a record frame", ...).
std::string damagedPacketText(std::size_t bytes, std::string_view why);

// What the reader met besides records.
struct CaptureCounts {
    std::uint64_t packets = 0;        // every packet of the capture
    std::uint64_t ipv6 = 0;           // skipped: IPv6
    std::uint64_t notIp = 0;          // skipped: neither IPv4 nor IPv6 (ARP, ...)
    std::uint64_t otherProtocol = 0;  // IPv4 but neither TCP nor UDP
    std::uint64_t cutHeaders = 0;     // too short for their own headers (snapshot length, damage)
    std::uint64_t notVx = 0;          // TCP or UDP packets of streams that are not Vx traffic
    std::uint64_t ipFragments = 0;    // IPv4 fragments taken in (whole datagrams are counted as packets)
    std::uint64_t holes = 0;          // gaps in TCP streams given up
    std::uint64_t records = 0;        // records and text lines handed out
    std::uint64_t damaged = 0;        // packets whose payload is not a record frame or whose sizes cannot be
    std::uint64_t droppedStreams = 0; // streams given up with data in flight to stay within the budget
};

struct CaptureOptions {
    // The Vx ports: traffic to or from one of them is Vx. Empty: every stream
    // whose first bytes parse as a Vx Network frame is taken.
    std::vector<std::uint16_t> ports;
    // Memory the followed streams may take in all: segments held ahead of
    // gaps, packets and records in collection, and each stream's bookkeeping.
    // Past it the stream quiet the longest is ended; when that stream had
    // bytes in flight, they are lost and the reader says so (problems()).
    static constexpr std::size_t kDefaultMemoryBudget = 256u << 20;
    std::size_t memoryBudget = kDefaultMemoryBudget;
    // Say where each record that lies whole in one packet is found in the
    // file (CapturedRecordView::fileOffset), and where the pieces of each
    // record put together from several packets are (pieces); a file that
    // libpcap reads is then mapped as well, to check what it handed over.
    bool findRecordsInFile = false;
    // Read the file on a second thread, a stretch ahead of the packets taken
    // apart, when it is at least readAheadFrom bytes long: for a caller with
    // a core to spare. (Files libpcap reads are read on one thread.)
    bool readAhead = false;
    std::uint64_t readAheadFrom = std::uint64_t{64} << 20;
};

// True when the bytes open a pcap or pcapng file (either byte order).
bool looksLikeCapture(ByteSpan firstBytes);
// Reads the first bytes of a file and asks looksLikeCapture; false when it cannot be read.
bool isCaptureFile(const std::string& path);

class CaptureReader {
public:
    explicit CaptureReader(CaptureOptions options = {});
    ~CaptureReader();
    CaptureReader(const CaptureReader&) = delete;
    CaptureReader& operator=(const CaptureReader&) = delete;

    // Opens a capture file. False with error() saying why: a file neither our
    // reader nor libpcap reads, or a link type this reader does not take apart (named).
    bool open(const std::string& path);
    // The same for an open stdio stream, which the reader takes over (closed in any case).
    bool open(std::FILE* stream);

    // Reads every packet to the end, handing out each record as it completes;
    // at the end the streams are finished (held segments delivered, holes
    // reported). False when the file ended early or broke (error() says how);
    // what was read until then has been handed out.
    bool read(const std::function<void(CapturedRecord&&)>& sink);
    // The same, each record handed out as a view of bytes the reader holds
    // (no copy is made for the sink): for readers that store records elsewhere.
    bool readInPlace(const std::function<void(const CapturedRecordView&)>& sink);

    const std::vector<StreamInfo>& streams() const { return streams_; }
    const CaptureCounts& counts() const { return counts_; }
    // What was lost besides lost packets, one line each, naming the stream
    // (streams given up for the memory budget); the first few, then a count.
    const std::vector<std::string>& problems() const { return problems_; }
    const std::string& error() const { return error_; }
    // The link type of the capture (a LINKTYPE_ number).
    int linkType() const { return linkType_; }
    // The open capture file's descriptor while it is open (-1 for standard
    // input or none), for a caller that reads records from it by offset later.
    int fileDescriptor() const;

    // The bytes of each TCP direction as reassembled, before framing (tests
    // compare them with an independent reader). Called with the stream's
    // index and the bytes; a hole calls it with an empty span.
    std::function<void(std::uint32_t stream, ByteSpan bytes)> streamBytes;

    // Every record of the capture at once (tests, small captures).
    struct Result {
        bool ok = false;
        std::string error;
        std::vector<CapturedRecord> records;
        std::vector<StreamInfo> streams;
        CaptureCounts counts;
        std::vector<std::string> problems;
    };

private:
    struct Impl;
    bool accept(int linkType);
    CaptureOptions options_;
    std::unique_ptr<Impl> impl_;
    std::vector<StreamInfo> streams_;
    CaptureCounts counts_;
    std::vector<std::string> problems_;
    std::string error_;
    int linkType_ = -1;
};

// Opens and reads a whole capture.
CaptureReader::Result readCapture(const std::string& path, const CaptureOptions& options = {});

// The link type names this reader knows, for messages ("link type 147 (unknown)").
std::string linkTypeText(int linkType);

} // namespace tarvik::capture
