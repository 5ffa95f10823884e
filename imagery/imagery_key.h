#pragma once
// Which device and record type a record handed to the imagery belongs to.

#include <compare>
#include <cstdint>

namespace tarvik {

struct ImageryKey {
    std::uint32_t deviceId = 0;
    std::uint32_t systemEnumerator = 0;
    std::uint32_t recordType = 0;

    friend auto operator<=>(const ImageryKey&, const ImageryKey&) = default;
};

} // namespace tarvik
