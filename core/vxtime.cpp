#include "core/vxtime.h"

#include "core/text.h"

namespace tarvik {

void VxTIME::write(ByteWriter& out) const {
    out.u16(year).u16(day).f32(seconds).u8(hours).u8(minutes);
}

bool dayOfYearToDate(int year, int day, int& month, int& dayOfMonth) {
    static constexpr int common[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
    static constexpr int leap[13] = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366};
    if (day < 1 || day > 366) return false;
    const int* table = isLeapYear(year) ? leap : common;
    for (int m = 1; m <= 12; ++m) {
        if (day <= table[m]) {
            month = m;
            dayOfMonth = day - table[m - 1];
            return true;
        }
    }
    return false;  // day 366 of a common year
}

std::optional<std::string> formatDateTime(const VxTIME& t) {
    int month = 0, dayOfMonth = 0;
    if (!dayOfYearToDate(t.year, t.day, month, dayOfMonth)) return std::nullopt;
    return strprintf("%02d/%02d/%02d %02d:%02d:%06.3f", month, dayOfMonth, int(t.year), int(t.hours),
                     int(t.minutes), double(t.seconds));
}

} // namespace tarvik
