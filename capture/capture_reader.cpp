#include "capture/capture_reader.h"

#include "capture/packet_file.h"
#include "capture/pcap_library.h"
#include "capture/tcp_reassembly.h"
#include "core/frame.h"
#include "core/mapped_read_guard.h"
#include "core/text.h"
#include "net/packet_handler.h"
#include "net/packets.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace tarvik::capture {

namespace {

// The loaded library; only called once an open has found it there.
const PcapLibrary& pcapLib() { return *pcapLibrary().value(); }

// Network byte order, bounds-checked: 0 for bytes that are not held.
std::uint16_t be16(ByteSpan b, std::size_t at) {
    if (!fits(b.size(), at, 2)) return 0;
    return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}
std::uint32_t be32(ByteSpan b, std::size_t at) {
    if (!fits(b.size(), at, 4)) return 0;
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

constexpr std::uint16_t kEtherIpv4 = 0x0800, kEtherIpv6 = 0x86DD, kEtherVlan = 0x8100, kEtherQinQ = 0x88A8;
constexpr std::uint8_t kTcp = 6, kUdp = 17;
// Bytes a framing probe needs: a Network frame and the start of the Data Record Frame behind it.
constexpr std::size_t kProbeBytes = net::kNetworkFrameSize + 8;
// Bytes of a stream that began before the capture searched for a packet
// start before the stream is taken as something else (no ports asked for).
constexpr std::size_t kProbeBudget = 256u * 1024u;
// Connections known not to be Vx traffic; forgotten all at once past this.
constexpr std::size_t kMaxIgnoredFlows = 65536;
// IPv4 datagrams collected from fragments at once.
constexpr std::size_t kMaxDefragments = 16;
// Streams given up for the memory budget that are named one by one; the rest are counted.
constexpr std::size_t kNamedDroppedStreams = 20;
// Pieces of a few bytes each would cost more to note than to copy (a capture
// of tiny segments or packets): a record is noted as pieces of the file only
// while they hold this many bytes each on average, and copied otherwise.
constexpr std::uint64_t kMinBytesPerPiece = 64;
// The memory budget in the unit it was most likely given in (a budget
// under a mebibyte is not "0 MiB").
std::string budgetText(std::size_t bytes) {
    if (bytes >= (std::size_t{1} << 20) && bytes % (std::size_t{1} << 20) == 0) return strprintf("%zu MiB", bytes >> 20);
    if (bytes >= 1024 && bytes % 1024 == 0) return strprintf("%zu KiB", bytes >> 10);
    return strprintf("%zu bytes", bytes);
}
bool manyBytesPerPiece(std::uint64_t bytes, std::size_t pieces) { return bytes >= kMinBytesPerPiece * pieces; }

// A Network frame that starts a record: the offset of its payload, a packet
// size the receiver takes, packet 0 of its record, and a Data Record Frame
// (its sync pattern) right behind it.
bool plausibleRecordStart(ByteSpan b, std::size_t at) {
    if (!fits(b.size(), at, kProbeBytes)) return false;
    ByteSpan f = b.subspan(at, kProbeBytes);
    namespace nf = net::netframe_offsets;
    if (readLEOr0<std::uint16_t>(f, nf::offset) != net::kNetworkFrameSize) return false;
    const auto packetSize = readLEOr0<std::uint32_t>(f, nf::packetSize);
    const auto totalPackets = readLEOr0<std::uint32_t>(f, nf::totalPackets);
    const auto totalSize = readLEOr0<std::uint32_t>(f, nf::totalSize);
    if (packetSize < net::kNetworkFrameSize + 8 || packetSize > net::kMaxAcceptedPacketSize) return false;
    if (totalPackets == 0 || readLEOr0<std::uint32_t>(f, nf::packetNumber) != 0) return false;
    if (totalSize < 8 || totalSize > net::kMaxRecordSize) return false;
    if (totalPackets == 1 && totalSize > packetSize - net::kNetworkFrameSize) return false;
    return readLEOr0<std::uint32_t>(f, net::kNetworkFrameSize + 4) == kSyncPattern;
}

// A datagram that holds one Network frame and what it announces.
bool plausibleDatagram(ByteSpan b) {
    namespace nf = net::netframe_offsets;
    if (b.size() < net::kNetworkFrameSize) return false;
    const auto packetSize = readLEOr0<std::uint32_t>(b, nf::packetSize);
    const auto totalPackets = readLEOr0<std::uint32_t>(b, nf::totalPackets);
    return readLEOr0<std::uint16_t>(b, nf::offset) == net::kNetworkFrameSize && packetSize >= net::kNetworkFrameSize &&
           packetSize <= b.size() && packetSize <= net::kMaxAcceptedPacketSize && totalPackets > 0 &&
           readLEOr0<std::uint32_t>(b, nf::packetNumber) < totalPackets;
}

struct FlowKey {
    Endpoint a, b;  // a < b
    std::uint8_t protocol = 0;
    bool operator==(const FlowKey&) const = default;
};
struct FlowKeyHash {
    std::size_t operator()(const FlowKey& k) const {
        std::uint64_t h = (std::uint64_t{k.a.address} << 32 | k.b.address) * 0x9E3779B97F4A7C15ull;
        h ^= (std::uint64_t{k.a.port} << 24 | std::uint64_t{k.b.port} << 8 | k.protocol) * 0xC2B2AE3D27D4EB4Full;
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

enum class Framing : std::uint8_t { Probe, Sync, Resync, Ignore };

struct Direction {
    TcpReassembly tcp;
    std::unique_ptr<net::CPacketHandler> handler;
    Subscription delivered;  // the handler's records, to the reader
    Framing framing = Framing::Probe;
    bool probeFromStart = false;  // the probe looks at the first bytes only
    bool synSeen = false;
    std::uint32_t synSeq = 0;
    bool finSeen = false;
    Bytes pending;  // bytes searched for a packet start
    std::size_t probed = 0;
    std::int64_t stream = -1;
    Subscription collected;  // the pieces of the record in collection, to the reader
    // Where the pieces of the record in collection lie in the file, while
    // every one of them has been found there.
    std::vector<CapturedPiece> pieces;
    std::uint64_t pieceBytes = 0;
    bool piecesFound = false;
    // Where the stream bytes given to the handler and not yet handled lie in
    // the file (those found there), by their position in the stream: a packet
    // the handler put together from several segments is found in the file
    // through them.
    struct FedBytes {
        std::uint64_t streamAt = 0;
        std::uint64_t fileOffset = 0;
        std::size_t length = 0;
    };
    std::deque<FedBytes> fedFrom;
    std::uint64_t fed = 0;  // stream bytes given to the handler
};

struct Flow {
    FlowKey key;
    std::array<Direction, 2> dir;  // 0: a to b, 1: b to a
    int serverSide = -1;           // 0: a, 1: b
    std::uint64_t created = 0;
    bool ended = false;
    std::size_t cost = 0;           // memory counted against the budget when last measured
    std::list<Flow*>::iterator use;  // place in the order of use, the quietest first
};

// What a flow holds in memory: its bookkeeping, segments held ahead of gaps,
// bytes searched for a packet start, and its handlers' buffers.
std::size_t memoryOf(const Flow& flow) {
    // Besides the flow itself: its map node, its place in the order of use
    // and its callbacks (measured: about 750 bytes for a flow that only saw a SYN).
    constexpr std::size_t kFlowBookkeeping = 384;
    // Besides the handler itself: its empty queue's first block and its callbacks.
    constexpr std::size_t kHandlerBookkeeping = 768;
    std::size_t cost = sizeof(Flow) + kFlowBookkeeping;
    for (const Direction& dir : flow.dir) {
        cost += dir.tcp.heldCost() + dir.pending.capacity() + dir.pieces.capacity() * sizeof(CapturedPiece);
        // (Counting a deque costs a few divisions; most are empty.)
        if (!dir.fedFrom.empty()) cost += dir.fedFrom.size() * sizeof(Direction::FedBytes);
        if (dir.handler) cost += sizeof(net::CPacketHandler) + kHandlerBookkeeping + dir.handler->heldMemory();
    }
    return cost;
}

// True when ending the flow now loses bytes of a record: a packet or a
// record in collection, or segments held ahead of a gap.
bool inFlight(const Flow& flow) {
    for (const Direction& dir : flow.dir) {
        if (dir.framing == Framing::Ignore) continue;
        if (dir.tcp.heldCost() > 0) return true;
        if (dir.handler && (dir.handler->streamBuffered() > 0 || dir.handler->assembly().active())) return true;
    }
    return false;
}

struct Defragment {
    std::uint32_t source = 0, destination = 0;
    std::uint16_t id = 0;
    std::uint8_t protocol = 0;
    Bytes data;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;  // [begin, end) held
    std::uint32_t end = 0;  // known once the last fragment came
    bool endKnown = false;
};

} // namespace

struct CaptureReader::Impl {
    explicit Impl(CaptureReader& r) : reader(r) {}
    ~Impl() {
        own.reset();  // its read-ahead thread reads `fd` until then
        unmap();
        if (pcap) pcapLib().close(pcap);
        if (fd >= 0) ::close(fd);
    }

    CaptureReader& reader;
    // The packets come from our own reader of the file, or else from libpcap.
    std::optional<PacketFile> own;
    int fd = -1;  // the file our own reader reads
    std::uint64_t ownSize = 0;
    pcap_t* pcap = nullptr;
    // The capture file as libpcap reads it, and mapped, so that a record that
    // lies whole in one packet can be found in the file and read from there
    // later instead of being copied. Guarded: a file cut short while it is
    // read gives zero pages, never SIGBUS.
    std::FILE* file = nullptr;
    const std::uint8_t* map = nullptr;
    std::size_t mapSize = 0;
    MappedReadGuard guard;
    bool pcapng = false;
    // The packet being taken apart: its bytes as libpcap handed them, and
    // where they lie in the file (-1 when that is not known).
    const std::uint8_t* packetData = nullptr;
    std::size_t packetHeld = 0;
    std::int64_t packetAt = -1;
    std::mutex lock;  // the packet handlers' queue lock; one thread only
    std::unordered_map<FlowKey, std::unique_ptr<Flow>, FlowKeyHash> flows;
    // The flows in the order they were last used, the quietest first; those
    // in `recent` are the latest used of all, in the order `recent` gives,
    // wherever they stand in this list (see orderByUse).
    std::list<Flow*> byUse;
    // The flows used last, the latest first: packets come in runs of a few
    // flows, whose lookups then cost neither a hash nor a move in byUse.
    static constexpr std::size_t kRecentFlows = 4;
    std::array<Flow*, kRecentFlows> recent{};
    std::size_t memory = 0;      // the flows' costs as last measured
    Flow* touched = nullptr;     // the flow the packet being read went to
    std::unordered_set<FlowKey, FlowKeyHash> ignored;
    std::deque<Defragment> defragments;
    const std::function<void(const CapturedRecordView&)>* sink = nullptr;
    CaptureTime now;
    std::uint64_t tick = 0;

    void mapFile(std::FILE* stream);
    bool mapDescriptor(int descriptor);
    void unmap() {
        if (!map) return;
        guard.release();
        ::munmap(const_cast<std::uint8_t*>(map), mapSize);
        map = nullptr;
        mapSize = 0;
    }
    void locate(const pcap_pkthdr& header, const std::uint8_t* data);
    bool readOwn();
    bool handOver(std::uint64_t handedOut);
    bool readPcap();
    std::int64_t placeOf(ByteSpan record);
    // Whether records are found in the file (when asked for): in every file our own reader reads, in one
    // libpcap reads when the file is mapped.
    bool locating() const { return options().findRecordsInFile && (own.has_value() || map != nullptr); }

    CaptureCounts& counts() { return reader.counts_; }
    const CaptureOptions& options() const { return reader.options_; }
    bool portsGiven() const { return !options().ports.empty(); }
    bool vxPort(std::uint16_t port) const {
        const auto& p = options().ports;
        return std::find(p.begin(), p.end(), port) != p.end();
    }

    void packet(const CaptureTime& time, ByteSpan frame);
    void ipv4(ByteSpan ip);
    void transport(std::uint8_t protocol, std::uint32_t source, std::uint32_t destination, ByteSpan segment,
                   std::uint32_t wireLength);
    bool defragment(ByteSpan ip, std::size_t headerLength, Bytes& whole);

    Flow* flowFor(const FlowKey& key, bool create);
    // Puts `flow` first among the recent flows; the one that leaves them goes
    // to the end of byUse, behind every flow that is not recent.
    void used(Flow* flow);
    // Brings byUse into the true order of use (the recent flows last).
    void orderByUse();
    void endFlow(Flow& flow);
    void forgetFlow(const FlowKey& key);
    void measure(Flow& flow);
    void keepWithinBudget();
    void endAll();
    int serverSide(Flow& flow);
    std::uint32_t streamOf(Flow& flow, int d);

    void tcpData(Flow& flow, int d, ByteSpan bytes);
    void tcpHole(Flow& flow, int d);
    void feed(Flow& flow, int d, ByteSpan bytes);
    void search(Flow& flow, int d, ByteSpan bytes);
    void emit(Flow& flow, int d, ByteSpan record);
    void collected(Direction& dir, ByteSpan payload, bool first);
    // Where `bytes` (of the packet the handler is handling) lie in the file,
    // added to `out`, merged with a piece they continue; false when some of
    // them are not found there as they are.
    bool findInFile(const Direction& dir, ByteSpan bytes, std::vector<CapturedPiece>& out);
    void damaged(Flow& flow, int d, const std::string& text);
    // The packet handler hands records out as they complete, most of them
    // as views of the packet just read.
    net::CPacketHandler& handler(Flow& flow, int d) {
        Direction& dir = flow.dir[d];
        if (!dir.handler) {
            dir.handler = std::make_unique<net::CPacketHandler>(lock);
            dir.delivered = dir.handler->deliver.subscribe([this, f = &flow, d](ByteSpan record) { emit(*f, d, record); });
            dir.handler->refused = [this, f = &flow, d](std::size_t bytes, const char* why) {
                damaged(*f, d, damagedPacketText(bytes, why));
            };
            if (locating())
                dir.collected = dir.handler->collected.subscribe(
                    [this, f = &flow, d](ByteSpan payload, bool first) { collected(f->dir[d], payload, first); });
        }
        return *dir.handler;
    }
};

std::string captureTimeText(const CaptureTime& time) {
    const std::time_t t = static_cast<std::time_t>(time.seconds);
    std::tm utc{};
    if (!gmtime_r(&t, &utc)) return strprintf("%lld.%09u", static_cast<long long>(time.seconds), time.nanoseconds);
    return strprintf("%04d-%02d-%02d %02d:%02d:%02d.%09u UTC", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                     utc.tm_hour, utc.tm_min, utc.tm_sec, time.nanoseconds);
}

std::string endpointText(const Endpoint& e) {
    return strprintf("%u.%u.%u.%u:%u", e.address >> 24, (e.address >> 16) & 0xFF, (e.address >> 8) & 0xFF,
                     e.address & 0xFF, static_cast<unsigned>(e.port));
}

std::string streamText(const StreamInfo& s) {
    return strprintf("%s %s -> %s (%s)", s.transport == Transport::Tcp ? "TCP" : "UDP", endpointText(s.source).c_str(),
                     endpointText(s.destination).c_str(), s.fromServer ? "server to client" : "client to server");
}

bool looksLikeCapture(ByteSpan b) {
    const std::uint32_t magic = readLEOr0<std::uint32_t>(b, 0);
    switch (magic) {
    case 0xA1B2C3D4: case 0xD4C3B2A1:  // pcap, microseconds
    case 0xA1B23C4D: case 0x4D3CB2A1:  // pcap, nanoseconds
        return true;
    case 0x0A0D0D0A:  // pcapng section header block; its byte-order magic follows the length
        return readLEOr0<std::uint32_t>(b, 8) == 0x1A2B3C4D || readLEOr0<std::uint32_t>(b, 8) == 0x4D3C2B1A;
    default:
        return false;
    }
}

bool isCaptureFile(const std::string& path) {
    // Non-blocking and regular files only: a FIFO without a writer must not hold the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    std::uint8_t head[12] = {};
    ssize_t n = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) n = ::pread(fd, head, sizeof head, 0);
    ::close(fd);
    return n > 0 && looksLikeCapture(ByteSpan(head, static_cast<std::size_t>(n)));
}

std::string linkTypeText(int linkType) {
    const auto& lib = pcapLibrary();
    const char* name = lib ? (*lib)->datalink_val_to_name(linkType) : nullptr;
    const char* description = lib ? (*lib)->datalink_val_to_description(linkType) : nullptr;
    if (name && description) return strprintf("link type %d (%s, %s)", linkType, name, description);
    return strprintf("link type %d (unknown)", linkType);
}

std::string damagedPacketText(std::size_t bytes, std::string_view why) {
    return strprintf("TEXT Damaged Packet, %zu Bytes: ", bytes) + std::string(why);
}

CaptureReader::CaptureReader(CaptureOptions options) : options_(std::move(options)) {}

CaptureReader::~CaptureReader() = default;

bool CaptureReader::accept(int linkType) {
    linkType_ = linkType;
    switch (linkType) {
    case DLT_EN10MB: case DLT_LINUX_SLL: case DLT_LINUX_SLL2: case DLT_NULL: case DLT_LOOP: case DLT_RAW:
    case DLT_IPV4:
        return true;
    default:
        error_ = "cannot read a capture of " + linkTypeText(linkType) +
                 ": Ethernet, Linux cooked (SLL, SLL2), loopback and raw IPv4 captures are read";
        impl_.reset();
        return false;
    }
}

bool CaptureReader::open(const std::string& path) {
    impl_.reset();
    error_.clear();
    if (path == "-") {
        if (const auto& lib = pcapLibrary(); !lib) {
            error_ = lib.error();
            return false;
        }
        char errbuf[PCAP_ERRBUF_SIZE] = {};
        impl_ = std::make_unique<Impl>(*this);
        impl_->pcap = pcapLib().open_offline_with_tstamp_precision("-", PCAP_TSTAMP_PRECISION_NANO, errbuf);
        if (!impl_->pcap) {
            error_ = errbuf;
            impl_.reset();
            return false;
        }
        return accept(pcapLib().datalink(impl_->pcap));
    }
    // Only regular files are opened by name, without blocking: a FIFO with
    // no writer must not hold the reader (a pipe is read as standard input).
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error_ = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error_ = S_ISDIR(st.st_mode) ? "it is a directory"
                 : S_ISFIFO(st.st_mode)
                     ? "it is a FIFO (named pipe): a capture arriving through a pipe is read from standard input (-)"
                     : "it is not a regular file";
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // The common formats are read by our own reader; libpcap reads the rest.
    impl_ = std::make_unique<Impl>(*this);
    const auto size = static_cast<std::uint64_t>(st.st_size);
    impl_->own = PacketFile::open(fd, size, PacketFile::kReadWindow, options_.readAhead && size >= options_.readAheadFrom);
    if (impl_->own) {
        impl_->fd = fd;
        impl_->ownSize = static_cast<std::uint64_t>(st.st_size);
        return accept(impl_->own->linkType());
    }
    impl_.reset();
    if (const auto& lib = pcapLibrary(); !lib) {
        ::close(fd);
        error_ = lib.error();
        return false;
    }
    std::FILE* stream = ::fdopen(fd, "rb");
    if (!stream) {
        error_ = std::strerror(errno);
        ::close(fd);
        return false;
    }
    // libpcap reads packet by packet through the stream: a large buffer saves
    // a system call every few kilobytes (the C library's default).
    std::setvbuf(stream, nullptr, _IOFBF, std::size_t{1} << 20);
    return open(stream);
}

bool CaptureReader::open(std::FILE* stream) {
    if (const auto& lib = pcapLibrary(); !lib) {
        std::fclose(stream);
        error_ = lib.error();
        return false;
    }
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    impl_ = std::make_unique<Impl>(*this);
    // A seek to where the stream stands lets the C library keep count of its
    // position, so that asking for it after each packet costs no system call
    // (it fails, harmlessly, on a pipe).
    std::fseek(stream, 0, SEEK_CUR);
    impl_->pcap = pcapLib().fopen_offline_with_tstamp_precision(stream, PCAP_TSTAMP_PRECISION_NANO, errbuf);
    if (!impl_->pcap) {
        std::fclose(stream);
        error_ = errbuf;
        impl_.reset();
        return false;
    }
    if (!accept(pcapLib().datalink(impl_->pcap))) return false;
    if (options_.findRecordsInFile) impl_->mapFile(stream);
    return true;
}

int CaptureReader::fileDescriptor() const {
    if (!impl_) return -1;
    if (impl_->own) return impl_->fd;
    return impl_->map ? ::fileno(impl_->file) : -1;
}

bool CaptureReader::Impl::mapDescriptor(int descriptor) {
    struct stat st {};
    if (descriptor < 0 || ::fstat(descriptor, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 16) return false;
    const auto size = static_cast<std::size_t>(st.st_size);
    void* at = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, descriptor, 0);
    if (at == MAP_FAILED) return false;
    // Guarded: a file cut short while it is read gives zero pages, never SIGBUS.
    if (!guard.guard(at, size)) {
        ::munmap(at, size);
        return false;
    }
    ::madvise(at, size, MADV_SEQUENTIAL);
    map = static_cast<const std::uint8_t*>(at);
    mapSize = size;
    return true;
}

void CaptureReader::Impl::mapFile(std::FILE* stream) {
    if (!mapDescriptor(::fileno(stream))) return;
    file = stream;
    pcapng = readLEOr0<std::uint32_t>(ByteSpan(map, mapSize), 0) == 0x0A0D0D0A;
}

void CaptureReader::Impl::locate(const pcap_pkthdr& header, const std::uint8_t* data) {
    packetData = data;
    packetHeld = header.caplen;
    packetAt = -1;
    if (!map) return;
    // libpcap has just read the packet's record: the stream stands at its end.
    const long end = std::ftell(file);
    if (end < 0 || static_cast<std::uint64_t>(end) > mapSize) return;
    const auto e = static_cast<std::size_t>(end);
    if (!pcapng) {
        // A pcap packet record ends with the packet's bytes.
        if (e >= header.caplen) packetAt = static_cast<std::int64_t>(e - header.caplen);
        return;
    }
    // A pcapng block ends with its total length, which also follows its type
    // at its start; the packet's bytes lie at a fixed place behind the start.
    // The section's byte order is not known here: the one whose two lengths agree is taken.
    const ByteSpan m(map, mapSize);
    if (e < 12) return;
    // (A block libpcap read is found from its end.)
    for (const bool big : {false, true}) {
        auto u32 = [&](std::size_t at) { return big ? be32(m, at) : readLEOr0<std::uint32_t>(m, at); };
        const std::uint32_t length = u32(e - 4);
        if (length < 12 || length > e || u32(e - length + 4) != length) continue;
        const std::size_t start = e - length;
        const std::uint32_t type = u32(start);
        if (type == 3) packetAt = static_cast<std::int64_t>(start + 12);  // simple packet block
        if (type == 6 || type == 2) packetAt = static_cast<std::int64_t>(start + 28);  // (enhanced) packet block
        return;
    }
}

std::int64_t CaptureReader::Impl::placeOf(ByteSpan record) {
    if (packetAt < 0 || record.empty()) return -1;
    const auto p = reinterpret_cast<std::uintptr_t>(record.data()), first = reinterpret_cast<std::uintptr_t>(packetData);
    if (p < first || p - first > packetHeld || record.size() > packetHeld - (p - first)) return -1;
    const std::size_t at = static_cast<std::size_t>(packetAt) + (p - first);
    // Our own reader hands out the bytes it read from the file at that place;
    // what libpcap handed over must be what the mapped file holds there (a
    // file it reads in some other way, or one changed meanwhile, is copied instead).
    if (own) return locating() && fits(ownSize, at, record.size()) ? static_cast<std::int64_t>(at) : -1;
    if (!fits(mapSize, at, record.size())) return -1;
    if (guard.cutShort() || std::memcmp(map + at, record.data(), record.size()) != 0) return -1;
    return static_cast<std::int64_t>(at);
}

bool CaptureReader::read(const std::function<void(CapturedRecord&&)>& sink) {
    return readInPlace([&sink](const CapturedRecordView& r) {
        sink(CapturedRecord{Bytes(r.bytes.begin(), r.bytes.end()), r.time, r.stream, r.kind});
    });
}

bool CaptureReader::readInPlace(const std::function<void(const CapturedRecordView&)>& sink) {
    if (!impl_) {
        if (error_.empty()) error_ = "no capture is open";
        return false;
    }
    impl_->sink = &sink;
    const bool ok = impl_->own ? impl_->readOwn() : impl_->readPcap();
    // What the streams still hold comes from no packet of the file.
    impl_->packetData = nullptr;
    impl_->packetHeld = 0;
    impl_->packetAt = -1;
    impl_->endAll();
    impl_->sink = nullptr;
    return ok;
}

bool CaptureReader::Impl::readOwn() {
    PacketRecord p;
    while (own->next(p)) {
        packetData = p.bytes.data();
        packetHeld = p.bytes.size();
        packetAt = static_cast<std::int64_t>(p.offset);
        packet(p.time, p.bytes);
    }
    if (own->foreign()) return handOver(own->packets()) && readPcap();
    if (own->error().empty()) return true;
    reader.error_ = "the capture ends early: " + own->error();
    return false;
}

bool CaptureReader::Impl::handOver(std::uint64_t handedOut) {
    // libpcap reads the file from its start; the packets already handed out
    // are passed over, so the records come out as libpcap alone gives them.
    const std::string early = "the capture ends early: ";
    if (const auto& lib = pcapLibrary(); !lib) {
        reader.error_ = early + lib.error();
        return false;
    }
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    std::FILE* stream = copy >= 0 ? ::fdopen(copy, "rb") : nullptr;
    if (!stream) {
        reader.error_ = early + std::strerror(errno);
        if (copy >= 0) ::close(copy);
        return false;
    }
    std::setvbuf(stream, nullptr, _IOFBF, std::size_t{1} << 20);
    std::fseek(stream, 0, SEEK_CUR);
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap = pcapLib().fopen_offline_with_tstamp_precision(stream, PCAP_TSTAMP_PRECISION_NANO, errbuf);
    if (!pcap) {
        std::fclose(stream);
        reader.error_ = early + errbuf;
        return false;
    }
    file = stream;
    own.reset();
    for (std::uint64_t n = 0; n < handedOut; ++n) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        if (pcapLib().next_ex(pcap, &header, &data) != 1) {
            reader.error_ = early + pcapLib().geterr(pcap);
            return false;
        }
    }
    return true;
}

bool CaptureReader::Impl::readPcap() {
    while (true) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int got = pcapLib().next_ex(pcap, &header, &data);
        if (got == 1) {
            locate(*header, data);
            packet(CaptureTime{static_cast<std::int64_t>(header->ts.tv_sec), static_cast<std::uint32_t>(header->ts.tv_usec)},
                   ByteSpan(data, header->caplen));
            continue;
        }
        if (got == PCAP_ERROR_BREAK) return true;  // the end of the file
        if (got == PCAP_ERROR) {
            reader.error_ = std::string("the capture ends early: ") + pcapLib().geterr(pcap);
            return false;
        }
    }
}

// ---- Link layer and IPv4 ---------------------------------------------------

void CaptureReader::Impl::packet(const CaptureTime& time, ByteSpan frame) {
    ++counts().packets;
    ++tick;
    now = time;
    std::uint32_t etherType = 0;
    std::size_t at = 0;
    switch (reader.linkType_) {
    case DLT_EN10MB:
        at = 12;
        etherType = be16(frame, at);
        at += 2;
        while ((etherType == kEtherVlan || etherType == kEtherQinQ) && fits(frame.size(), at, 4)) {
            etherType = be16(frame, at + 2);
            at += 4;
        }
        if (frame.size() < at) etherType = 0;
        break;
    case DLT_LINUX_SLL:
        etherType = frame.size() >= 16 ? be16(frame, 14) : 0;
        at = 16;
        break;
    case DLT_LINUX_SLL2:
        etherType = frame.size() >= 20 ? be16(frame, 0) : 0;
        at = 20;
        break;
    case DLT_NULL:
    case DLT_LOOP: {
        // The address family, in the capturing host's byte order (null) or in network order (loop).
        const std::uint32_t le = readLEOr0<std::uint32_t>(frame, 0), be = be32(frame, 0);
        const std::uint32_t family = reader.linkType_ == DLT_LOOP ? be : std::min(le, be);
        etherType = frame.size() < 4 ? 0 : family == 2 ? kEtherIpv4 : (family == 10 || family == 24 || family == 28 || family == 30) ? kEtherIpv6 : 1;
        at = 4;
        break;
    }
    default:  // raw IP
        etherType = frame.empty() ? 0 : (frame[0] >> 4) == 4 ? kEtherIpv4 : (frame[0] >> 4) == 6 ? kEtherIpv6 : 1;
        at = 0;
        break;
    }
    if (etherType == 0) {
        ++counts().cutHeaders;
        return;
    }
    if (etherType == kEtherIpv6) {
        ++counts().ipv6;
        return;
    }
    if (etherType != kEtherIpv4) {
        ++counts().notIp;
        return;
    }
    touched = nullptr;
    ipv4(frame.subspan(at));
    if (touched) measure(*touched);
    if (memory > options().memoryBudget) keepWithinBudget();
}

void CaptureReader::Impl::ipv4(ByteSpan ip) {
    if (ip.size() < 20 || (ip[0] >> 4) != 4) {
        ++counts().cutHeaders;
        return;
    }
    const std::size_t headerLength = std::size_t{ip[0] & 0x0Fu} * 4;
    const std::uint32_t totalLength = be16(ip, 2);
    if (headerLength < 20 || totalLength < headerLength || ip.size() < headerLength) {
        ++counts().cutHeaders;
        return;
    }
    // Link padding behind the datagram is not part of it; bytes the snapshot
    // length cut are counted on the wire but not held.
    if (ip.size() > totalLength) ip = ip.first(totalLength);
    const std::uint8_t protocol = ip[9];
    if (protocol != kTcp && protocol != kUdp) {
        ++counts().otherProtocol;
        return;
    }
    const std::uint32_t source = be32(ip, 12), destination = be32(ip, 16);
    const std::uint16_t fragment = be16(ip, 6);
    if ((fragment & 0x3FFF) != 0) {  // more fragments, or an offset
        ++counts().ipFragments;
        Bytes whole;
        if (!defragment(ip, headerLength, whole)) return;
        transport(protocol, source, destination, whole, static_cast<std::uint32_t>(whole.size()));
        return;
    }
    transport(protocol, source, destination, ip.subspan(headerLength),
              static_cast<std::uint32_t>(totalLength - headerLength));
}

bool CaptureReader::Impl::defragment(ByteSpan ip, std::size_t headerLength, Bytes& whole) {
    const std::uint32_t source = be32(ip, 12), destination = be32(ip, 16);
    const std::uint16_t id = be16(ip, 4), field = be16(ip, 6);
    const std::uint8_t protocol = ip[9];
    const std::uint32_t begin = std::uint32_t{field & 0x1FFFu} * 8;
    const ByteSpan payload = ip.subspan(headerLength);
    const std::uint32_t end = begin + static_cast<std::uint32_t>(payload.size());
    const bool last = (field & 0x2000) == 0;
    if (end > 65535) return false;
    auto it = std::find_if(defragments.begin(), defragments.end(), [&](const Defragment& d) {
        return d.source == source && d.destination == destination && d.id == id && d.protocol == protocol;
    });
    if (it == defragments.end()) {
        if (defragments.size() >= kMaxDefragments) defragments.pop_front();  // the oldest is given up
        defragments.push_back(Defragment{source, destination, id, protocol, {}, {}, 0, false});
        it = std::prev(defragments.end());
    }
    Defragment& d = *it;
    if (d.data.size() < end) d.data.resize(end);
    std::copy(payload.begin(), payload.end(), d.data.begin() + begin);
    if (d.ranges.size() < 64) d.ranges.emplace_back(begin, end);  // more pieces than that never complete
    if (last) {
        d.end = end;
        d.endKnown = true;
    }
    if (!d.endKnown) return false;
    std::sort(d.ranges.begin(), d.ranges.end());
    std::uint32_t covered = 0;
    for (const auto& [b, e] : d.ranges) {
        if (b > covered) return false;
        covered = std::max(covered, e);
    }
    if (covered < d.end) return false;
    d.data.resize(d.end);
    whole = std::move(d.data);
    defragments.erase(it);
    return true;
}

// ---- Connections -----------------------------------------------------------

Flow* CaptureReader::Impl::flowFor(const FlowKey& key, bool create) {
    for (std::size_t i = 0; i < kRecentFlows && recent[i]; ++i)
        if (recent[i]->key == key) {
            Flow* f = recent[i];
            std::copy_backward(recent.begin(), recent.begin() + static_cast<std::ptrdiff_t>(i),
                               recent.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            recent[0] = f;
            return touched = f;
        }
    auto it = flows.find(key);
    if (it != flows.end()) {
        used(it->second.get());
        return touched = it->second.get();
    }
    if (!create) return nullptr;
    auto flow = std::make_unique<Flow>();
    flow->key = key;
    flow->created = tick;
    Flow* f = flow.get();
    f->use = byUse.insert(byUse.end(), f);
    used(f);
    touched = f;
    for (int d = 0; d < 2; ++d) {
        Direction& dir = f->dir[d];
        dir.tcp.onData = [this, f, d](ByteSpan bytes) { tcpData(*f, d, bytes); };
        dir.tcp.onHole = [this, f, d] { tcpHole(*f, d); };
    }
    if (portsGiven()) {
        f->serverSide = vxPort(key.a.port) ? 0 : 1;
        if (vxPort(key.a.port) && vxPort(key.b.port)) f->serverSide = key.a.port <= key.b.port ? 0 : 1;
    }
    flows.emplace(key, std::move(flow));
    measure(*f);
    return f;
}

void CaptureReader::Impl::used(Flow* flow) {
    if (Flow* leaving = recent.back()) byUse.splice(byUse.end(), byUse, leaving->use);
    std::copy_backward(recent.begin(), recent.end() - 1, recent.end());
    recent[0] = flow;
}

void CaptureReader::Impl::orderByUse() {
    for (auto it = recent.rbegin(); it != recent.rend(); ++it)
        if (*it) byUse.splice(byUse.end(), byUse, (*it)->use);
}

void CaptureReader::Impl::measure(Flow& flow) {
    const std::size_t cost = memoryOf(flow);
    memory = memory - flow.cost + cost;
    flow.cost = cost;
}

void CaptureReader::Impl::forgetFlow(const FlowKey& key) {
    auto it = flows.find(key);
    if (it == flows.end()) return;
    Flow* f = it->second.get();
    if (touched == f) touched = nullptr;
    if (const auto r = std::find(recent.begin(), recent.end(), f); r != recent.end()) {
        std::copy(r + 1, recent.end(), r);
        recent.back() = nullptr;
    }
    memory -= f->cost;
    byUse.erase(f->use);
    flows.erase(it);
}

void CaptureReader::Impl::keepWithinBudget() {
    // The flows quiet the longest are ended until the rest fit. Ending one
    // delivers what it held ahead of gaps; a packet or a record still in
    // collection is lost, and said so with the stream's name.
    orderByUse();
    while (memory > options().memoryBudget && !byUse.empty()) {
        Flow& flow = *byUse.front();
        if (inFlight(flow)) {
            ++counts().droppedStreams;
            for (int d = 0; d < 2; ++d) {
                const Direction& dir = flow.dir[d];
                const bool holding = dir.tcp.heldCost() > 0 ||
                                     (dir.handler && (dir.handler->streamBuffered() > 0 || dir.handler->assembly().active()));
                if (!holding || dir.framing == Framing::Ignore) continue;
                if (reader.problems_.size() < kNamedDroppedStreams)
                    reader.problems_.push_back(
                        "the stream " + streamText(reader.streams_[streamOf(flow, d)]) +
                        " was given up with bytes in flight: following every stream at once would take "
                        "more than the reader's memory budget of " + budgetText(options().memoryBudget));
            }
        }
        endFlow(flow);
        forgetFlow(flow.key);
    }
}

int CaptureReader::Impl::serverSide(Flow& flow) {
    if (flow.serverSide < 0) return flow.key.a.port <= flow.key.b.port ? 0 : 1;
    return flow.serverSide;
}

std::uint32_t CaptureReader::Impl::streamOf(Flow& flow, int d) {
    Direction& dir = flow.dir[d];
    if (dir.stream < 0) {
        StreamInfo info;
        info.transport = flow.key.protocol == kTcp ? Transport::Tcp : Transport::Udp;
        info.source = d == 0 ? flow.key.a : flow.key.b;
        info.destination = d == 0 ? flow.key.b : flow.key.a;
        info.fromServer = serverSide(flow) == d;
        dir.stream = static_cast<std::int64_t>(reader.streams_.size());
        reader.streams_.push_back(info);
    }
    return static_cast<std::uint32_t>(dir.stream);
}

void CaptureReader::Impl::endFlow(Flow& flow) {
    for (int d = 0; d < 2; ++d) {
        Direction& dir = flow.dir[d];
        dir.tcp.finish();
        if (!dir.handler || dir.framing != Framing::Sync) continue;
        // A stream that ends inside a packet lost the rest of it: said like
        // any lost bytes (once, with the record it belonged to).
        if (dir.handler->streamBuffered() > 0)
            dir.handler->streamBytesLost();
        else
            dir.handler->connectionEnded();
    }
}

void CaptureReader::Impl::endAll() {
    std::vector<Flow*> order;
    for (auto& [key, flow] : flows) order.push_back(flow.get());
    std::sort(order.begin(), order.end(), [](const Flow* x, const Flow* y) { return x->created < y->created; });
    for (Flow* flow : order) endFlow(*flow);
    flows.clear();
    byUse.clear();
    memory = 0;
    touched = nullptr;
    recent = {};
    defragments.clear();
    const std::uint64_t named = std::min<std::uint64_t>(counts().droppedStreams, kNamedDroppedStreams);
    if (counts().droppedStreams > named && reader.problems_.size() >= named)
        reader.problems_.push_back(strprintf("%llu more streams were given up the same way",
                                             static_cast<unsigned long long>(counts().droppedStreams - named)));
}

void CaptureReader::Impl::transport(std::uint8_t protocol, std::uint32_t source, std::uint32_t destination,
                                    ByteSpan segment, std::uint32_t wireLength) {
    const std::size_t headerMin = protocol == kTcp ? 20 : 8;
    if (segment.size() < headerMin) {
        ++counts().cutHeaders;
        return;
    }
    const Endpoint from{source, be16(segment, 0)}, to{destination, be16(segment, 2)};
    const bool forward = from <= to;
    const FlowKey key{forward ? from : to, forward ? to : from, protocol};
    const int d = forward ? 0 : 1;
    if (portsGiven() ? !(vxPort(from.port) || vxPort(to.port)) : !ignored.empty() && ignored.count(key) > 0) {
        ++counts().notVx;
        return;
    }

    if (protocol == kUdp) {
        const std::uint32_t udpLength = be16(segment, 4);
        ByteSpan payload = segment.subspan(8);
        if (udpLength >= 8 && udpLength - 8 < payload.size()) payload = payload.first(udpLength - 8);
        if (!portsGiven() && !plausibleDatagram(payload)) {
            ++counts().notVx;
            return;
        }
        Flow* flow = flowFor(key, true);
        Direction& dir = flow->dir[d];
        dir.framing = Framing::Sync;
        handler(*flow, d).HandleOnePacket(payload);
        return;
    }

    const std::size_t headerLength = std::size_t{static_cast<std::uint8_t>(segment[12] >> 4)} * 4;
    if (headerLength < 20 || segment.size() < headerLength || wireLength < headerLength) {
        ++counts().cutHeaders;
        return;
    }
    const std::uint32_t seq = be32(segment, 4);
    const std::uint8_t flags = segment[13];
    const bool syn = (flags & 0x02) != 0, ack = (flags & 0x10) != 0, fin = (flags & 0x01) != 0,
               rst = (flags & 0x04) != 0;
    const ByteSpan payload = segment.subspan(headerLength);
    Flow* flow = flowFor(key, syn || !payload.empty());
    if (!flow) return;
    Direction& dir = flow->dir[d];
    if (syn) {
        if (!portsGiven() || flow->serverSide < 0) flow->serverSide = ack ? d : 1 - d;
        if (dir.synSeen && dir.synSeq != seq) {
            // The same addresses and ports again: a new connection.
            dir.tcp.finish();
            if (dir.handler && dir.framing == Framing::Sync) dir.handler->connectionEnded();
            if (dir.handler) dir.handler->resetStream();
            dir.framing = Framing::Probe;
            dir.pending.clear();
            dir.probed = 0;
            dir.finSeen = false;
        }
        dir.synSeen = true;
        dir.synSeq = seq;
        dir.tcp.syn(seq);
    }
    if (dir.framing == Framing::Ignore) {
        ++counts().notVx;
    } else {
        const std::uint32_t onWire = wireLength - static_cast<std::uint32_t>(headerLength);
        if (!payload.empty() || onWire > 0) dir.tcp.segment(seq + (syn ? 1u : 0u), payload, onWire);
    }
    if (fin) dir.finSeen = true;
    if (flow->ended || rst || (flow->dir[0].finSeen && flow->dir[1].finSeen)) {
        if (!flow->ended) endFlow(*flow);
        if (flow->ended) ignored.insert(key);
        if (ignored.size() > kMaxIgnoredFlows) ignored.clear();
        forgetFlow(key);
    }
}

// ---- Framing of a TCP direction --------------------------------------------

void CaptureReader::Impl::tcpData(Flow& flow, int d, ByteSpan bytes) {
    Direction& dir = flow.dir[d];
    if (dir.framing == Framing::Ignore) return;
    if (reader.streamBytes) reader.streamBytes(streamOf(flow, d), bytes);
    if (dir.framing == Framing::Sync) {
        feed(flow, d, bytes);
        return;
    }
    if (dir.framing == Framing::Probe && dir.pending.empty() && dir.probed == 0) {
        // Without ports asked for, only a stream that opens with a packet is
        // judged from its first bytes; one seen from its middle is searched.
        dir.probeFromStart = dir.tcp.fromStart();
        if (portsGiven()) dir.framing = dir.probeFromStart ? Framing::Sync : Framing::Resync;
        if (dir.framing == Framing::Sync) {
            feed(flow, d, bytes);
            return;
        }
    }
    search(flow, d, bytes);
}

void CaptureReader::Impl::tcpHole(Flow& flow, int d) {
    Direction& dir = flow.dir[d];
    ++counts().holes;
    if (reader.streamBytes && dir.framing != Framing::Ignore) reader.streamBytes(streamOf(flow, d), {});
    switch (dir.framing) {
    case Framing::Sync:
        handler(flow, d).streamBytesLost();
        dir.framing = Framing::Resync;
        break;
    case Framing::Probe:
        dir.probeFromStart = false;
        dir.probed = std::max<std::size_t>(dir.probed, 1);
        break;
    default:
        break;
    }
    dir.pending.clear();
}

void CaptureReader::Impl::feed(Flow& flow, int d, ByteSpan bytes) {
    Direction& dir = flow.dir[d];
    net::CPacketHandler& h = handler(flow, d);
    if (locating() && !bytes.empty()) {
        if (const std::int64_t at = placeOf(bytes); at >= 0)
            dir.fedFrom.push_back({dir.fed, static_cast<std::uint64_t>(at), bytes.size()});
        dir.fed += bytes.size();
    }
    if (!h.HandleStreamBytes(bytes)) {
        // A packet size that cannot be: the stream lost its framing here.
        h.streamBytesLost();
        dir.framing = Framing::Resync;
        dir.pending.clear();
    }
    // Only the bytes the handler still holds can be asked for later.
    while (!dir.fedFrom.empty() && dir.fedFrom.front().streamAt + dir.fedFrom.front().length <= h.streamHandled())
        dir.fedFrom.pop_front();
}

bool CaptureReader::Impl::findInFile(const Direction& dir, ByteSpan bytes, std::vector<CapturedPiece>& out) {
    if (bytes.empty()) return true;
    if (const std::int64_t at = placeOf(bytes); at >= 0) {
        out.push_back({static_cast<std::uint64_t>(at), static_cast<std::uint32_t>(bytes.size())});
        return true;
    }
    const std::optional<std::uint64_t> from = dir.handler ? dir.handler->streamPositionOf(bytes) : std::nullopt;
    if (!from) return false;
    std::uint64_t position = *from;
    std::size_t done = 0;
    // The stretches fed are in stream order; the first that reaches the position is looked for.
    auto it = std::lower_bound(dir.fedFrom.begin(), dir.fedFrom.end(), position,
                               [](const Direction::FedBytes& f, std::uint64_t p) { return f.streamAt + f.length <= p; });
    for (; done < bytes.size() && it != dir.fedFrom.end(); ++it) {
        if (it->streamAt > position) return false;  // bytes that were not found in the file
        const std::size_t skip = static_cast<std::size_t>(position - it->streamAt);
        const std::size_t n = std::min(it->length - skip, bytes.size() - done);
        const std::uint64_t at = it->fileOffset + skip;
        // Our own reader fed the file's bytes themselves; the mapped file
        // libpcap reads must hold what it handed over (a file changed
        // meanwhile is copied instead).
        if (!own && (!fits(mapSize, at, n) || guard.cutShort() || std::memcmp(map + at, bytes.data() + done, n) != 0))
            return false;
        if (!out.empty() && out.back().fileOffset + out.back().length == at)
            out.back().length += static_cast<std::uint32_t>(n);
        else
            out.push_back({at, static_cast<std::uint32_t>(n)});
        done += n;
        position += n;
    }
    return done == bytes.size();
}

void CaptureReader::Impl::search(Flow& flow, int d, ByteSpan bytes) {
    Direction& dir = flow.dir[d];
    // Bytes held from earlier segments are searched together with the new
    // ones; with none held the new bytes are searched where they lie, so the
    // records behind a start found there are handed out as views of the packet.
    const bool fresh = dir.pending.empty();
    if (!fresh) dir.pending.insert(dir.pending.end(), bytes.begin(), bytes.end());
    const ByteSpan held = fresh ? bytes : ByteSpan(dir.pending);
    std::size_t limit = held.size() >= kProbeBytes ? held.size() - kProbeBytes + 1 : 0;
    const bool firstBytesOnly = dir.framing == Framing::Probe && dir.probeFromStart;
    if (firstBytesOnly) limit = std::min<std::size_t>(limit, 1);
    for (std::size_t i = 0; i < limit; ++i) {
        if (!plausibleRecordStart(held, i)) continue;
        dir.framing = Framing::Sync;
        handler(flow, d).resetStream();
        if (fresh) {
            feed(flow, d, held.subspan(i));
            return;
        }
        Bytes rest(held.begin() + static_cast<std::ptrdiff_t>(i), held.end());
        dir.pending.clear();
        dir.pending.shrink_to_fit();
        feed(flow, d, rest);
        return;
    }
    if (dir.framing == Framing::Probe) {
        dir.probed += std::max<std::size_t>(limit, 1);
        if ((firstBytesOnly && limit > 0) || dir.probed > kProbeBudget) {
            dir.framing = Framing::Ignore;
            dir.pending.clear();
            dir.pending.shrink_to_fit();
            const Direction& other = flow.dir[1 - d];
            if (other.framing == Framing::Ignore || (other.framing == Framing::Probe && other.probed == 0))
                flow.ended = true;  // the reader forgets it once this segment is done
            return;
        }
    }
    // What was not searched yet (too short to judge) waits for the next bytes.
    if (fresh)
        dir.pending.assign(held.begin() + static_cast<std::ptrdiff_t>(limit), held.end());
    else
        dir.pending.erase(dir.pending.begin(), dir.pending.begin() + static_cast<std::ptrdiff_t>(limit));
}

void CaptureReader::Impl::emit(Flow& flow, int d, ByteSpan record) {
    ++counts().records;
    // The handler hands its lost-packet line out as a view of that one text.
    if (record.data() == reinterpret_cast<const std::uint8_t*>(net::kLostPacketChars)) {
        (*sink)(CapturedRecordView{record, now, streamOf(flow, d), CapturedKind::LostPacket});
        return;
    }
    if (!FrameView(record).isFrame()) {
        // A whole packet whose payload is not a record frame: listed as damaged,
        // never as a text line of its own bytes.
        --counts().records;
        damaged(flow, d, damagedPacketText(record.size(), "not a record frame"));
        return;
    }
    CapturedRecordView view{record, now, streamOf(flow, d), CapturedKind::Frame, placeOf(record)};
    Direction& dir = flow.dir[d];
    if (dir.handler && dir.handler->deliveringReassembled()) {
        // Handed out once: the pieces belong to this record only.
        std::uint64_t held = 0;
        for (const CapturedPiece& piece : dir.pieces) held += piece.length;
        if (dir.piecesFound && held == record.size()) view.pieces = dir.pieces;
        dir.piecesFound = false;
    } else if (view.fileOffset < 0 && locating()) {
        // A record of one packet that came in several segments.
        dir.pieces.clear();
        if (findInFile(dir, record, dir.pieces) && manyBytesPerPiece(record.size(), dir.pieces.size()))
            view.pieces = dir.pieces;
    }
    (*sink)(view);
    if (!view.pieces.empty()) dir.pieces.clear();
}

void CaptureReader::Impl::collected(Direction& dir, ByteSpan payload, bool first) {
    if (first) {
        dir.pieces.clear();
        dir.pieceBytes = 0;
        dir.piecesFound = true;
    }
    if (!dir.piecesFound) return;
    dir.pieceBytes += payload.size();
    if (!findInFile(dir, payload, dir.pieces) || !manyBytesPerPiece(dir.pieceBytes, dir.pieces.size())) {
        dir.piecesFound = false;
        dir.pieces.clear();
    }
}

void CaptureReader::Impl::damaged(Flow& flow, int d, const std::string& text) {
    ++counts().records;
    ++counts().damaged;
    (*sink)(CapturedRecordView{asBytes(text), now, streamOf(flow, d), CapturedKind::Damaged});
}

CaptureReader::Result readCapture(const std::string& path, const CaptureOptions& options) {
    CaptureReader reader(options);
    CaptureReader::Result result;
    if (reader.open(path))
        result.ok = reader.read([&](CapturedRecord&& r) { result.records.push_back(std::move(r)); });
    result.error = reader.error();
    result.streams = reader.streams();
    result.counts = reader.counts();
    result.problems = reader.problems();
    return result;
}

} // namespace tarvik::capture
