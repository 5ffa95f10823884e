// The device list read from a configuration record of any content. The first
// byte picks the shape: even, the bytes are the record itself; odd, they follow
// a well-formed record header and device count, so that the entries and their
// texts get most of the attention. No device may carry a name of 64 characters
// or more, and no more than ten devices are ever read.

#include "net/sonar_devices.h"

#include <cstdlib>
#include <string_view>

using namespace tarvik;
using namespace tarvik::net;

namespace {

void check(const std::vector<CSonarDevices>& devices) {
    if (devices.size() > kMaxDevicesInList) std::abort();
    for (const auto& d : devices)
        if (d.name.size() >= kMaxDeviceField || d.idh > 1) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const ByteSpan rest(data + 1, size - 1);
    if (data[0] % 2 == 0) {
        check(parseDeviceList(rest));
    } else {
        Bytes record(72, 0);
        ByteWriter w(std::move(record));
        w.patch<std::uint32_t>(4, 0x0000FFFF);
        w.patch<std::uint32_t>(32, 7001);
        w.u32(1 + data[0] % 10);
        w.bytes(rest);
        check(parseDeviceList(w.data()));
    }
    // The bytes as one device information text.
    if (auto device = parseDeviceInformation(std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size())))
        check({*device});
    return 0;
}
