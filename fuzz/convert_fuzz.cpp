// Fuzz target: convertValue and list splitting over any format, width and
// value text. The first byte picks a format code, the next two a width; the
// rest is the value. A conversion gives no bytes or exactly the bytes its
// format and width call for; a refused value gives none.

#include "remote/convert.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvik::remote;
    static const char* const kFormats[] = {"u", "i", "f", "d2r", "t10", "s", "sd", "x", "IPAddress", "repeat", "", "s9"};
    if (size < 3) return 0;
    const char* format = kFormats[data[0] % (sizeof kFormats / sizeof kFormats[0])];
    const std::int32_t width = static_cast<std::int16_t>(data[1] | (data[2] << 8));
    const std::string_view value(reinterpret_cast<const char*>(data + 3), size - 3);
    ConvertContext context{[](std::string_view) {}, [] { return 0x7FFFu; }, [] { return tarvik::VxTIME{}; }};
    bool refused = false;
    const tarvik::Bytes bytes = convertValue(format, width, value, context, &refused);
    const std::string_view f = format;
    if (refused) {
        // A refused value gives nothing, and the same text refuses the same way.
        if (!bytes.empty()) __builtin_trap();
        bool again = false;
        convertValue(format, width, value, context, &again);
        if (!again) __builtin_trap();
        return 0;
    }
    std::size_t expected = bytes.size();
    if (f == "t10") expected = 10;
    else if ((f == "s" || f == "s9" || f == "x") && width >= 0) expected = static_cast<std::size_t>(width);
    else if (f == "IPAddress" && width == 4) expected = 4;
    if (bytes.size() != expected) __builtin_trap();
    if (!bytes.empty() && (f == "u" || f == "i" || f == "f" || f == "d2r") && bytes.size() != static_cast<std::size_t>(width))
        __builtin_trap();
    const auto pieces = splitList(value);
    if (pieces.size() != countListPieces(value)) __builtin_trap();
    return 0;
}
