// Capture files of any content read by our own reader of pcap and pcapng
// files: whatever the headers and blocks claim, every packet lies inside the
// file where the reader says it does, the reader ends, and reading the file
// through a small window gives the same packets and the same end. Then the
// same bytes as a file through the whole capture reader, which reads it with
// our reader and hands it over to libpcap where that reader stops: a record
// said to lie in the file, whole or in pieces, is what the file holds there.

#include "capture/capture_reader.h"
#include "capture/packet_file.h"
#include "net/packet_handler.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

using namespace tarvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy the size of the input, so that a read past it is caught.
    const auto copy = std::make_unique<std::uint8_t[]>(size);
    if (size > 0) std::memcpy(copy.get(), data, size);
    const ByteSpan file(copy.get(), size);
    const int fd = ::memfd_create("packet-file-fuzz", MFD_CLOEXEC);
    if (fd < 0) return 0;
    if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        ::close(fd);
        return 0;
    }
    std::optional<capture::PacketFile> f = capture::PacketFile::open(file);
    std::optional<capture::PacketFile> windowed = capture::PacketFile::open(fd, size, 1 + size % 97);
    if (f.has_value() != windowed.has_value()) std::abort();
    if (f) {
        capture::PacketRecord p, w;
        std::uint64_t packets = 0;
        while (f->next(p)) {
            if (p.offset > size || p.bytes.size() > size - p.offset || p.bytes.data() != file.data() + p.offset) std::abort();
            if (++packets > size) std::abort();  // every packet takes bytes of the file
            if (!windowed->next(w) || w.offset != p.offset || !std::equal(p.bytes.begin(), p.bytes.end(), w.bytes.begin(), w.bytes.end()) ||
                w.time != p.time || w.wireLength != p.wireLength)
                std::abort();
        }
        if (f->foreign() && !f->error().empty()) std::abort();
        if (windowed->next(w) || windowed->foreign() != f->foreign() || windowed->error() != f->error()) std::abort();
    }

    capture::CaptureOptions options;
    options.memoryBudget = 64u << 10;
    options.findRecordsInFile = size % 2 == 0;
    capture::CaptureReader reader(options);
    if (reader.open("/proc/self/fd/" + std::to_string(fd)))
        reader.readInPlace([&](const capture::CapturedRecordView& record) {
            if (record.bytes.empty() || record.bytes.size() > net::kMaxRecordSize) std::abort();
            if (record.stream >= reader.streams().size()) std::abort();
            if (record.fileOffset >= 0 && (static_cast<std::uint64_t>(record.fileOffset) > size ||
                                           record.bytes.size() > size - static_cast<std::uint64_t>(record.fileOffset) ||
                                           std::memcmp(data + record.fileOffset, record.bytes.data(), record.bytes.size()) != 0))
                std::abort();
            std::size_t at = 0;
            for (const capture::CapturedPiece& piece : record.pieces) {
                if (!fits(size, piece.fileOffset, piece.length) || !fits(record.bytes.size(), at, piece.length) ||
                    std::memcmp(data + piece.fileOffset, record.bytes.data() + at, piece.length) != 0)
                    std::abort();
                at += piece.length;
            }
            if (!record.pieces.empty() && at != record.bytes.size()) std::abort();
        });
    ::close(fd);
    return 0;
}
