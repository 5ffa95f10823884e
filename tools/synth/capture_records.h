#pragma once
// Packet captures of Vx traffic for demos, tests and benchmarks: pcapng files
// of Ethernet frames carrying IPv4, TCP and UDP, written from scratch, with
// the cases a capture reader finds hard (segments out of order, a
// retransmission, an overlapping resend, a hole, two connections
// interleaved, records in several packets over UDP, both directions).

#include "core/bytes.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tarvik::synth {

struct CaptureEndpoint {
    std::uint32_t address = 0;  // a.b.c.d as a << 24 | b << 16 | c << 8 | d
    std::uint16_t port = 0;
};

// TCP flag bits.
inline constexpr std::uint8_t kTcpFin = 0x01, kTcpSyn = 0x02, kTcpRst = 0x04, kTcpPsh = 0x08, kTcpAck = 0x10;

// An Ethernet frame with an IPv4 header (checksummed) around a TCP segment or a UDP datagram.
Bytes tcpFrame(const CaptureEndpoint& from, const CaptureEndpoint& to, std::uint32_t seq, std::uint32_t ack,
               std::uint8_t flags, ByteSpan payload);
Bytes udpFrame(const CaptureEndpoint& from, const CaptureEndpoint& to, ByteSpan payload);
// A UDP datagram cut into IPv4 fragments that fit a 1,500-byte MTU (one frame when it fits).
std::vector<Bytes> udpFrames(const CaptureEndpoint& from, const CaptureEndpoint& to, ByteSpan payload,
                             std::uint16_t ipId);

// pcapng: a section header and one interface (Ethernet unless told), then
// enhanced packet blocks with nanosecond times.
class PcapngWriter {
public:
    explicit PcapngWriter(std::uint16_t linkType = 1, std::uint32_t snapLength = 262144);
    // A packet captured at `nanoseconds` since 1970; `originalLength` is its
    // length on the wire (0: as held). Held bytes beyond the snapshot length are cut.
    void packet(std::uint64_t nanoseconds, ByteSpan frame, std::uint32_t originalLength = 0);
    Bytes& bytes() { return out_; }
    // Appends the bytes written so far to a file and forgets them.
    bool flushTo(std::FILE* file);

private:
    Bytes out_;
    std::uint32_t snapLength_;
};

struct CaptureSampleOptions {
    std::size_t records = 40;  // records the server sends over the connections and UDP
    bool hardCases = true;     // reordering, a retransmission and an overlapping resend
    bool holes = true;         // with the hard cases: a segment missing and one cut short
    std::uint32_t deviceId = 7125;
    std::size_t minDataBytes = 0;  // when non-zero, record data sections are padded to [min, max]
    std::size_t maxDataBytes = 0;
    std::uint32_t snapLength = 262144;
    bool acknowledged = false;  // the client acknowledges the records' segments, every second one
};

// What a sample capture holds, for tests: the records of each direction in
// the order a reader lists them ("TEXT Lost Packet" where the hole loses
// bytes), keyed by source and destination.
struct SampleStream {
    CaptureEndpoint source, destination;
    bool tcp = true;
    std::vector<Bytes> records;
    Bytes streamBytes;  // TCP: the bytes of the direction as sent (before any hole)
};
struct SampleCapture {
    Bytes file;
    std::vector<SampleStream> streams;
};

// The scenario: a server at 192.0.2.10:7000 and a client at 192.0.2.20; two
// TCP connections interleaved (requests one way, records the other) and UDP
// datagrams. With the hard cases, the first connection's records arrive
// out of order, resent and overlapping, and lose one segment; the second
// carries a record of three packets; UDP carries one of three packets too.
SampleCapture sampleCapture(const CaptureSampleOptions& options);

// Writes `sampleCapture(options)` to a file (through a whole-file output:
// never onto an existing file unless `replace`). False with the reason.
bool writeSampleCapture(const std::string& path, const CaptureSampleOptions& options, bool replace,
                        std::string& error);

// A large capture for benchmarks: `records` records over one TCP connection
// in segments of up to 64 KiB (loopback), written straight to `file`.
bool writeBulkCapture(std::FILE* file, std::size_t records, std::size_t dataBytes);

// A plain capture of the given records, in order, over one such connection.
Bytes captureOfRecords(const std::vector<Bytes>& records);

} // namespace tarvik::synth
