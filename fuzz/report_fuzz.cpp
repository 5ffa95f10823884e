// Fuzz target: the report of any bytes at all. Inputs that carry a frame's sync
// pattern are reported as they are (header defects included); other inputs
// pick a known record type and become the data section of a well-formed frame,
// so that the field walk of every layout is reached quickly.

#include "core/frame.h"
#include "decode/catalogue/catalogue.h"
#include "decode/report.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

struct Fixture {
    tarvik::LayoutCatalogue catalogue = tarvik::buildLayoutCatalogue();
    tarvik::NoRemoteCommandDefinitions commands;
    tarvik::RecordReporter reporter{catalogue, commands};
    std::vector<std::uint32_t> types;
    Fixture() {
        for (const auto& [key, description] : catalogue.records) types.push_back(static_cast<std::uint32_t>(key.recordType));
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture f;
    const tarvik::ByteSpan input(data, size);
    if (tarvik::FrameView(input).isFrame()) {
        f.reporter.report(input, 1);
        return 0;
    }
    if (size < 3 || f.types.empty()) {
        tarvik::RecordReporter::markerReport(std::string_view(reinterpret_cast<const char*>(data), size));
        return 0;
    }
    const std::uint32_t type = f.types[(data[0] | (data[1] << 8)) % f.types.size()];
    const std::uint8_t mode = data[2];
    const tarvik::ByteSpan body = input.subspan(3);
    tarvik::FrameBuilder b(type);
    b.checksum((mode & 1) != 0);
    if (mode & 2) {
        // Split the body into record data and optional data.
        const std::size_t cut = body.size() / 2;
        b.data().bytes(body.first(cut));
        b.optionalData(mode).bytes(body.subspan(cut));
    } else {
        b.data().bytes(body);
    }
    tarvik::Bytes frame = b.build();
    if ((mode & 4) && frame.size() > 70) frame.resize(frame.size() - (mode >> 4));  // stored shorter than Size
    f.reporter.report(frame, 0);
    return 0;
}
