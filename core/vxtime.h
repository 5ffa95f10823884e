#pragma once
// The protocol's 10-byte time stamp and its text form.

#include "core/bytes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tarvik {

struct VxTIME {
    std::uint16_t year = 0;
    std::uint16_t day = 0;  // day of the year, 1 = 1 January
    float seconds = 0.0f;
    std::uint8_t hours = 0;
    std::uint8_t minutes = 0;

    static constexpr std::size_t kSize = 10;

    // Decodes 10 bytes at `offset`; nullopt when they are not all there.
    static std::optional<VxTIME> read(ByteSpan bytes, std::size_t offset);
    void write(ByteWriter& out) const;
};

// Inline: read for every frame a file check walks and every entry of an index of millions.
inline std::optional<VxTIME> VxTIME::read(ByteSpan bytes, std::size_t offset) {
    if (!fits(bytes.size(), offset, kSize)) return std::nullopt;
    VxTIME t;
    t.year = readLEOr0<std::uint16_t>(bytes, offset);
    t.day = readLEOr0<std::uint16_t>(bytes, offset + 2);
    t.seconds = readLEOr0<float>(bytes, offset + 4);
    t.hours = bytes[offset + 8];
    t.minutes = bytes[offset + 9];
    return t;
}

inline bool isLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

// Day of year to month (1..12) and day of month; false when the day has no date.
bool dayOfYearToDate(int year, int day, int& month, int& dayOfMonth);

// "%02d/%02d/%02d %02d:%02d:%06.3f" (month, day of month, year, hours, minutes, seconds);
// nullopt when the day of year has no calendar date.
std::optional<std::string> formatDateTime(const VxTIME& t);

// Marker byte (0xCD or 0xFB) when the Year and Day bytes are all that byte:
// memory the source never set.
inline std::optional<std::uint8_t> uninitialisedMarker(ByteSpan timeBytes) {
    if (timeBytes.size() < 4) return std::nullopt;
    for (std::uint8_t marker : {std::uint8_t{0xCD}, std::uint8_t{0xFB}}) {
        if (timeBytes[0] == marker && timeBytes[1] == marker && timeBytes[2] == marker && timeBytes[3] == marker)
            return marker;
    }
    return std::nullopt;
}

} // namespace tarvik
