// Fuzz target: any bytes as the records handed to the imagery displays. The
// input is offered as every record type the displays read (geometry and
// settings first, so their fields steer the pictures), and each picture is
// drawn as a fan; nothing may read outside the record, divide by zero or crash.

#include "core/frame.h"
#include "imagery/imagery_displays.h"
#include "imagery/sector_render.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static tarvik::CImageryDisplays* displays = [] {
        auto* d = new tarvik::CImageryDisplays;
        d->StartUp();
        return d;
    }();
    static tarvik::SectorRenderer renderer;
    static tarvik::RgbaImage picture = [] {
        tarvik::RgbaImage p;
        p.resize(64, 48);
        return p;
    }();

    constexpr std::uint32_t kTypes[] = {7004, 7000, 7001, 7006, 7007, 7008, 7011};
    tarvik::Bytes record(data, data + size);
    const tarvik::FrameView frame(record);
    for (std::uint32_t type : kTypes) {
        if (record.size() >= tarvik::kFrameHeaderSize) {
            for (int i = 0; i < 4; ++i) record[32 + i] = static_cast<std::uint8_t>(type >> (8 * i));
        }
        displays->DisplayRecord({frame.deviceId(), frame.systemEnumerator(), type}, record);
        renderer.render(displays->sector().picture(), displays->echogram().colourMap(), picture);
    }
    if (size > 0) displays->echogram().SetColourMap(data[0] % 6);
    return 0;
}
