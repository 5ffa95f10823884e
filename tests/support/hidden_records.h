#pragma once
// Records of a title-only type (7032) with a structure the catalogue does not
// know: a 32-byte fixed part (a constant serial, a rising ping number, a
// float, a count, zero padding) followed by `count` 12-byte elements.

#include "core/bytes.h"
#include "core/frame.h"

#include <cstdint>
#include <string>

namespace tarvik::testing {

inline constexpr std::uint32_t kHiddenType = 7032;
inline constexpr std::size_t kHiddenFixedPart = 32, kHiddenCountOffset = 16, kHiddenElement = 12;

inline Bytes hiddenRecord(std::uint32_t i) {
    FrameBuilder b(kHiddenType);
    b.device(7125, 0).counter(i);
    ByteWriter& d = b.data();
    const std::uint32_t count = (i * 7) % 23 + 1;
    d.u32(7125001).u32(0);  // the serial, eight bytes
    d.u32(1000 + i);
    d.f32(12.5f + static_cast<float>(i % 100) * 0.25f);
    d.u32(count);
    d.u32(0);
    d.u32(i * 2654435761u);
    d.u32(0);
    for (std::uint32_t e = 0; e < count; ++e) {
        d.u32(e);
        d.f32(static_cast<float>(e) * 1.5f + 0.5f);
        d.f32(static_cast<float>(i + e) * 0.125f + 1.0f);
    }
    return b.build();
}

// The layout file that says what the records hold.
inline const char* kHiddenLayout = R"(records:
  - type: 7032
    title: "Vx 7032 Record"
    items:
      - ["Serial", u, 8]
      - ["Ping", u, 4]
      - ["Frequency", f, 4]
      - ["Elements", u, 4]
      - ["Reserved", x, 4]
      - ["Scramble", u, 4]
      - ["Reserved 2", x, 4]
      - ["Elements data", repeat, 0]
repeats:
  - type: 7032
    block: 0
    title: "Element"
    count: "Elements"
    items:
      - ["Beam", u, 4]
      - ["A", f, 4]
      - ["B", f, 4]
)";

} // namespace tarvik::testing
