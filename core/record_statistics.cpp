#include "core/record_statistics.h"

#include "core/frame.h"
#include "core/text.h"

namespace tarvik {

namespace {

// Seconds from the start of year 0 to the start of the time stamp's day.
std::optional<double> dayStartSeconds(std::uint16_t year, std::uint16_t day) {
    int month = 0, dayOfMonth = 0;
    if (year == 0 || !dayOfYearToDate(year, day, month, dayOfMonth)) return std::nullopt;
    // Days before the year: enough for ordering within the years a recording spans.
    const long y = year - 1;
    const long days = y * 365 + y / 4 - y / 100 + y / 400 + (day - 1);
    return static_cast<double>(days) * 86400.0;
}

} // namespace

std::optional<double> vxTimeSeconds(const VxTIME& t) {
    const std::optional<double> start = dayStartSeconds(t.year, t.day);
    if (!start) return std::nullopt;
    return secondsInDay(*start, t);
}

void VxTimeSecondsCache::newDay(const VxTIME& t) {
    dayStart_ = dayStartSeconds(t.year, t.day);
    year_ = t.year;
    day_ = t.day;
    known_ = true;
}

void RecordStatistics::add(ByteSpan frame, double now) {
    const FrameView f(frame);
    if (!f.hasHeader()) return;
    add(f.recordType(), frame.size(), f.time(), now);
}

void RecordStatistics::clear() { *this = RecordStatistics{}; }

RecordStatistics::RecordStatistics(const RecordStatistics& o) { *this = o; }

RecordStatistics& RecordStatistics::operator=(const RecordStatistics& o) {
    types_ = o.types_;
    frames_ = o.frames_;
    bytes_ = o.bytes_;
    first_ = o.first_;
    last_ = o.last_;
    started_ = o.started_;
    recent_ = {};
    recentNext_ = 0;
    return *this;
}

std::vector<RecordStatistics::Row> RecordStatistics::rows(std::optional<double> now) const {
    std::vector<Row> out;
    out.reserve(types_.size());
    for (const auto& [type, c] : types_) {
        Row r;
        r.recordType = type;
        r.count = c.count;
        r.bytes = c.bytes;
        r.share = frames_ ? 100.0 * static_cast<double>(c.count) / static_cast<double>(frames_) : 0.0;
        if (now && started_) {
            const double span = *now - *started_;
            r.rate = span > 0 ? static_cast<double>(c.count) / span : 0.0;
        }
        if (c.hasTime) r.lastTime = c.lastTime;
        r.lastSeen = c.lastSeen;
        out.push_back(r);
    }
    return out;
}

std::vector<std::string> RecordStatistics::tableLines(std::optional<double> now) const {
    std::vector<std::string> lines;
    lines.push_back(now ? strprintf("%-8s %10s %14s %7s %9s  %s", "Type", "Frames", "Bytes", "Share", "Rate/s",
                                    "Last seen")
                        : strprintf("%-8s %10s %14s %7s  %s", "Type", "Frames", "Bytes", "Share", "Last time"));
    for (const Row& r : rows(now)) {
        const std::string last = r.lastTime ? formatDateTime(*r.lastTime).value_or("-") : std::string("-");
        if (now)
            lines.push_back(strprintf("%-8lu %10llu %14llu %6.2f%% %9.2f  %s", (unsigned long)r.recordType,
                                      (unsigned long long)r.count, (unsigned long long)r.bytes, r.share,
                                      r.rate.value_or(0.0), last.c_str()));
        else
            lines.push_back(strprintf("%-8lu %10llu %14llu %6.2f%%  %s", (unsigned long)r.recordType,
                                      (unsigned long long)r.count, (unsigned long long)r.bytes, r.share,
                                      last.c_str()));
    }
    return lines;
}

} // namespace tarvik
