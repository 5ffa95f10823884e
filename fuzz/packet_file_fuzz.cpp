// Capture files of any content read by our own reader of pcap and pcapng
// files: whatever the headers and blocks claim, every packet lies inside the
// file where the reader says it does, and the reader ends. Then the same
// bytes as a file through the whole capture reader, which maps it, reads it
// with our reader and hands it over to libpcap where that reader stops.

#include "capture/capture_reader.h"
#include "capture/packet_file.h"
#include "net/packet_handler.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

using namespace tarvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy the size of the input, so that a read past it is caught.
    const auto copy = std::make_unique<std::uint8_t[]>(size);
    if (size > 0) std::memcpy(copy.get(), data, size);
    const ByteSpan file(copy.get(), size);
    if (std::optional<capture::PacketFile> f = capture::PacketFile::open(file)) {
        capture::PacketRecord p;
        std::uint64_t packets = 0;
        while (f->next(p)) {
            if (p.offset > size || p.bytes.size() > size - p.offset || p.bytes.data() != file.data() + p.offset) std::abort();
            if (++packets > size) std::abort();  // every packet takes bytes of the file
        }
        if (f->foreign() && !f->error().empty()) std::abort();
    }

    const int fd = ::memfd_create("packet-file-fuzz", MFD_CLOEXEC);
    if (fd < 0) return 0;
    if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        ::close(fd);
        return 0;
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
                                           record.bytes.size() > size - static_cast<std::uint64_t>(record.fileOffset)))
                std::abort();
        });
    ::close(fd);
    return 0;
}
