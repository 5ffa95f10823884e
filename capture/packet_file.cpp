#include "capture/packet_file.h"

#include "core/text.h"

#include <pcap/bpf.h>

#include <algorithm>
#include <cstring>

namespace tarvik::capture {

namespace {

// The snapshot length libpcap allows the link types read here; a file that
// claims more is given that, as libpcap gives it.
constexpr std::uint32_t kMaxSnapshot = 262144;
// Longer blocks are left to libpcap and its own limits.
constexpr std::uint32_t kMaxBlock = kMaxSnapshot + 65536;
constexpr std::size_t kMaxInterfaces = 4096;

constexpr std::uint32_t kSectionHeader = 0x0A0D0D0A, kByteOrderMagic = 0x1A2B3C4D;
constexpr std::uint32_t kInterfaceBlock = 1, kSimplePacketBlock = 3, kNameBlock = 4, kStatisticsBlock = 5,
                        kEnhancedPacketBlock = 6;
constexpr std::uint16_t kEndOfOptions = 0, kTimeResolution = 9, kTimeOffset = 14;

// The link types of the file (LINKTYPE_ numbers) the capture reader takes
// apart, as the DLT_ values libpcap hands out for them.
std::optional<int> dltOf(std::uint32_t linkType) {
    switch (linkType) {
    case 0: return DLT_NULL;
    case 1: return DLT_EN10MB;
    case 101: return DLT_RAW;
    case 108: return DLT_LOOP;
    case 113: return DLT_LINUX_SLL;
    case 228: return DLT_IPV4;
    case 276: return DLT_LINUX_SLL2;
    default: return std::nullopt;
    }
}

} // namespace

std::optional<PacketFile> PacketFile::open(ByteSpan file) { return opened(PacketFile(file)); }

std::optional<PacketFile> PacketFile::open(int descriptor, std::uint64_t size, std::size_t window, bool readAhead) {
    PacketFile f(ByteSpan{});
    f.size_ = size;
    f.descriptor_ = descriptor;
    f.window_ = std::max<std::size_t>(window, 1);
    f.readAhead_ = readAhead;
    return opened(std::move(f));
}

ByteSpan PacketFile::read(std::uint64_t at, std::size_t count) {
    if (!fits(size_, at, count) || descriptor_ < 0) return {};
    if (ahead_ && ahead_->pending())
        if (const std::optional<ByteSpan> taken = takeReadAhead(at, count)) {
            if (!taken->empty()) startReadAhead();
            return *taken;
        }
    if (ahead_) ahead_->current = -1;
    // A new stretch from `at` on: the window, or the block asked for when it is longer.
    if (capacity_ < count) {
        capacity_ = std::max(window_, count);
        buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(capacity_);
    }
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(capacity_, size_ - at));
    int failure = 0;
    const std::size_t got = readFully(descriptor_, at, std::span(buffer_.get(), wanted), failure);
    file_ = ByteSpan(buffer_.get(), got);
    windowAt_ = at;
    if (got < count) return endsAt(at + got, failure);
    startReadAhead();
    return file_.first(count);
}

ByteSpan PacketFile::endsAt(std::uint64_t at, int failure) {
    size_ = at;
    error_ = failure ? strprintf("the file could not be read at byte %llu: %s", static_cast<unsigned long long>(at),
                                 std::strerror(failure))
                     : "the file was cut short on disk while it was read";
    return {};
}

std::optional<ByteSpan> PacketFile::takeReadAhead(std::uint64_t at, std::size_t count) {
    ReadAhead& a = *ahead_;
    const std::uint64_t from = a.offset();
    const bool inStretch = at >= from && at - from < a.length();
    const bool heldBefore = at < from && from - at <= a.carry() && at >= windowAt_ && from <= windowAt_ + file_.size();
    if (!inStretch && !heldBefore) return std::nullopt;
    int failure = 0;
    const std::size_t got = a.wait(&failure);
    if (at + count > from + got) {
        // Past a stretch read whole: read from `at` instead.
        if (got == a.length()) return std::nullopt;
        return endsAt(from + got, failure);
    }
    std::uint8_t* stretch = a.stretch(a.target());
    const auto tail = static_cast<std::size_t>(at < from ? from - at : 0);
    if (tail > 0) std::memcpy(stretch - tail, file_.data() + (at - windowAt_), tail);
    file_ = ByteSpan(stretch - tail, tail + got);
    windowAt_ = from - tail;
    a.current = a.target();
    return file_.subspan(static_cast<std::size_t>(at - windowAt_), count);
}

void PacketFile::startReadAhead() {
    if (!readAhead_ || descriptor_ < 0) return;
    const std::uint64_t end = windowAt_ + file_.size();
    if (end >= size_) return;
    if (!ahead_) {
        // Room in front of each stretch for the longest block this reader takes.
        ahead_ = std::make_unique<ReadAhead>(
            [descriptor = descriptor_](std::uint64_t at, std::span<std::uint8_t> into, int& failure) {
                return readFully(descriptor, at, into, failure);
            },
            std::min<std::size_t>(window_, kMaxBlock), window_);
    }
    ReadAhead& a = *ahead_;
    if (a.pending()) a.wait();  // a read nobody took ends before its buffer is read into again
    a.request(end, static_cast<std::size_t>(std::min<std::uint64_t>(a.stretchSize(), size_ - end)), a.current == 0 ? 1 : 0);
}

std::optional<PacketFile> PacketFile::opened(PacketFile f) {
    const bool ours = readLEOr0<std::uint32_t>(f.view(0, 4), 0) == kSectionHeader ? f.openPcapng() : f.openPcap();
    if (!ours) return std::nullopt;
    // A file whose first packet record is already libpcap's is all libpcap's.
    std::uint64_t at = f.at_;
    const std::size_t interfaces = f.interfaces_.size();
    const Step first = f.pcapng_ ? f.stepPcapng(at, nullptr) : f.stepPcap(at, nullptr);
    if (first == Step::Foreign) return std::nullopt;
    f.interfaces_.resize(interfaces);
    f.error_.clear();
    return f;
}

bool PacketFile::openPcap() {
    const ByteSpan header = view(0, 24);
    switch (readLEOr0<std::uint32_t>(header, 0)) {
    case 0xA1B2C3D4: break;
    case 0xD4C3B2A1: bigEndian_ = true; break;
    case 0xA1B23C4D: nanoseconds_ = true; break;
    case 0x4D3CB2A1: bigEndian_ = nanoseconds_ = true; break;
    default: return false;
    }
    if (header.size() < 24 || u16(header, 4) != 2 || u16(header, 6) != 4) return false;
    fileLinkType_ = u32(header, 20);
    const std::optional<int> dlt = dltOf(fileLinkType_);
    if (!dlt) return false;
    linkType_ = *dlt;
    snapshot_ = u32(header, 16);
    if (snapshot_ == 0 || snapshot_ > kMaxSnapshot) snapshot_ = kMaxSnapshot;
    at_ = 24;
    return true;
}

bool PacketFile::openPcapng() {
    pcapng_ = true;
    const ByteSpan header = view(0, 28);
    if (header.size() < 28) return false;
    const std::uint32_t order = readLEOr0<std::uint32_t>(header, 8);
    if (order == __builtin_bswap32(kByteOrderMagic))
        bigEndian_ = true;
    else if (order != kByteOrderMagic)
        return false;
    const std::uint32_t length = u32(header, 4);
    if (length < 28 || length % 4 != 0 || length > kMaxBlock || !fits(size_, 0, length)) return false;
    const ByteSpan section = view(0, length);
    if (section.size() != length || u32(section, length - 4) != length) return false;
    if (u16(section, 12) != 1 || u16(section, 14) != 0) return false;
    // libpcap opens a file at its first interface: one cut short or with a
    // packet before it is refused, blocks it passes over are passed over.
    for (at_ = length; interfaces_.empty();) {
        const std::uint32_t type = u32(view(at_, 4), 0);
        if (type != kInterfaceBlock && type != kNameBlock && type != kStatisticsBlock) return false;
        if (stepPcapng(at_, nullptr) != Step::Skip) return false;
    }
    return true;
}

PacketFile::Step PacketFile::stepPcap(std::uint64_t& at, PacketRecord* packet) {
    const std::uint64_t size = size_;
    if (at >= size) return Step::End;
    if (size - at < 16) {
        error_ = strprintf("truncated dump file; tried to read 16 header bytes, only got %llu",
                           static_cast<unsigned long long>(size - at));
        return Step::Cut;
    }
    const ByteSpan header = view(at, 16);
    if (header.empty()) return Step::Cut;
    const std::uint32_t held = u32(header, 8);
    if (held > snapshot_) return Step::Foreign;
    if (size_ - at - 16 < held) {
        error_ = strprintf("truncated dump file; tried to read %u captured bytes, only got %llu", held,
                           static_cast<unsigned long long>(size_ - at - 16));
        return Step::Cut;
    }
    const ByteSpan record = view(at, 16 + std::size_t{held});
    if (record.empty()) return Step::Cut;
    if (packet) {
        // Unsigned seconds, as libpcap reads them: times run to 2106, none before 1970.
        packet->time.seconds = u32(record, 0);
        const std::uint32_t fraction = u32(record, 4);
        packet->time.nanoseconds = nanoseconds_ ? fraction : static_cast<std::uint32_t>(std::uint64_t{fraction} * 1000);
        packet->wireLength = u32(record, 12);
        packet->offset = at + 16;
        packet->bytes = record.subspan(16, held);
    }
    at += 16 + std::uint64_t{held};
    return Step::Packet;
}

PacketFile::Step PacketFile::stepPcapng(std::uint64_t& at, PacketRecord* packet) {
    const std::uint64_t size = size_;
    if (at >= size) return Step::End;
    if (size - at < 8) {
        error_ = strprintf("truncated pcapng dump file; tried to read 8 bytes, only got %llu",
                           static_cast<unsigned long long>(size - at));
        return Step::Cut;
    }
    const ByteSpan header = view(at, 8);
    if (header.empty()) return Step::Cut;
    const std::uint32_t type = u32(header, 0), length = u32(header, 4);
    if (length < 12 || length % 4 != 0 || length > kMaxBlock) return Step::Foreign;
    if (size_ - at < length) {
        error_ = strprintf("truncated pcapng dump file; tried to read %u bytes, only got %llu", length - 8,
                           static_cast<unsigned long long>(size_ - at - 8));
        return Step::Cut;
    }
    const ByteSpan block = view(at, length);
    if (block.empty()) return Step::Cut;
    if (u32(block, length - 4) != length) return Step::Foreign;
    switch (type) {
    case kInterfaceBlock:
        if (!interfaceBlock(block)) return Step::Foreign;
        at += length;
        return Step::Skip;
    case kNameBlock:
    case kStatisticsBlock:
        at += length;
        return Step::Skip;
    case kEnhancedPacketBlock: {
        if (length < 32) return Step::Foreign;
        const std::uint32_t id = u32(block, 8), held = u32(block, 20);
        if (id >= interfaces_.size() || held > snapshot_ || held > length - 32) return Step::Foreign;
        if (packet) {
            const Interface& i = interfaces_[id];
            const std::uint64_t units = std::uint64_t{u32(block, 12)} << 32 | u32(block, 16);
            packet->time.seconds = static_cast<std::int64_t>(units / i.unitsPerSecond) + i.offsetSeconds;
            packet->time.nanoseconds = static_cast<std::uint32_t>(units % i.unitsPerSecond * i.toNanoseconds);
            packet->wireLength = u32(block, 24);
            packet->offset = at + 28;
            packet->bytes = block.subspan(28, held);
        }
        at += length;
        return Step::Packet;
    }
    case kSimplePacketBlock: {
        // No time of its own: libpcap gives it the interface's offset.
        if (length < 16 || interfaces_.empty()) return Step::Foreign;
        const std::uint32_t wire = u32(block, 8);
        if (wire > snapshot_ || wire > length - 16) return Step::Foreign;
        if (packet) {
            packet->time = CaptureTime{interfaces_[0].offsetSeconds, 0};
            packet->wireLength = wire;
            packet->offset = at + 12;
            packet->bytes = block.subspan(12, wire);
        }
        at += length;
        return Step::Packet;
    }
    default:  // a second section, an obsolete packet block, one unknown here
        return Step::Foreign;
    }
}

bool PacketFile::interfaceBlock(ByteSpan block) {
    if (block.size() < 20 || interfaces_.size() >= kMaxInterfaces) return false;
    const std::uint32_t link = u16(block, 8);
    const std::optional<int> dlt = dltOf(link);
    if (!dlt) return false;
    if (interfaces_.empty()) {
        linkType_ = *dlt;
        fileLinkType_ = link;
        fileSnapshot_ = snapshot_ = u32(block, 12);
        if (snapshot_ == 0 || snapshot_ > kMaxSnapshot) snapshot_ = kMaxSnapshot;
    } else if (link != fileLinkType_ || u32(block, 12) != fileSnapshot_) {
        return false;  // libpcap refuses interfaces of another link type or snapshot length
    }
    Interface i;
    const std::size_t end = block.size() - 4;
    for (std::size_t o = 16; o + 4 <= end;) {
        const std::uint16_t code = u16(block, o), length = u16(block, o + 2);
        if (code == kEndOfOptions) break;
        const std::size_t padded = (std::size_t{length} + 3) & ~std::size_t{3};
        if (!fits(end, o + 4, padded)) return false;
        if (code == kTimeResolution) {
            // Powers of ten up to nanoseconds; powers of two and finer units are libpcap's.
            const std::uint8_t v = length == 1 ? block[o + 4] : 0xFF;
            if (v > 9) return false;
            i.unitsPerSecond = 1;
            for (unsigned k = 0; k < v; ++k) i.unitsPerSecond *= 10;
            i.toNanoseconds = static_cast<std::uint32_t>(1'000'000'000ull / i.unitsPerSecond);
        } else if (code == kTimeOffset) {
            if (length != 8) return false;
            i.offsetSeconds = static_cast<std::int64_t>(u64(block, o + 4));
        }
        o += 4 + padded;
    }
    interfaces_.push_back(i);
    return true;
}

bool PacketFile::next(PacketRecord& packet) {
    while (!done_) {
        switch (pcapng_ ? stepPcapng(at_, &packet) : stepPcap(at_, &packet)) {
        case Step::Packet:
            ++packets_;
            return true;
        case Step::Skip: continue;
        case Step::Foreign:
            foreign_ = true;
            done_ = true;
            return false;
        case Step::End:
        case Step::Cut:
            done_ = true;
            return false;
        }
    }
    return false;
}

} // namespace tarvik::capture
