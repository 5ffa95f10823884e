// Capture files of any content: libpcap's reading of pcap and pcapng blocks,
// then our link layers, IPv4 fragments, TCP reassembly and the packet
// handler behind them. Whatever the blocks claim, nothing is read outside a
// packet, and every record handed out is a whole record of a bounded size or
// a text line.

#include "capture/capture_reader.h"
#include "net/packet_handler.h"

#include <cstdio>
#include <cstdlib>

using namespace tarvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // A copy the size of the input, so that a read past it is caught.
    std::FILE* stream = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (!stream) return 0;
    capture::CaptureOptions options;
    options.memoryBudget = 64u << 10;  // small enough that streams are given up
    if (size % 3 == 0) options.ports = {7000};
    capture::CaptureReader reader(options);
    if (!reader.open(stream)) return 0;
    reader.read([&](capture::CapturedRecord&& record) {
        if (record.bytes.empty() || record.bytes.size() > net::kMaxRecordSize) std::abort();
        if (record.stream >= reader.streams().size()) std::abort();
    });
    return 0;
}
