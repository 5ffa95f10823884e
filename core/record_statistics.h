#pragma once
// Counts of records per record type, fed one frame at a time: from a record
// file while it is checked, or from the live stream as records arrive. The
// same table is printed by tarvik-cli check and shown by Record -> "Statistics".

#include "core/bytes.h"
#include "core/vxtime.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

// A time stamp as seconds since the start of year 0 of its own calendar, for
// ordering; nullopt when it carries no usable time.
std::optional<double> vxTimeSeconds(const VxTIME& t);

// A time stamp's seconds from the start of its day added to `dayStart`;
// nullopt when its hours, minutes or seconds are out of range.
inline std::optional<double> secondsInDay(double dayStart, const VxTIME& t) {
    if (t.hours > 23 || t.minutes > 59 || !(t.seconds >= 0.0f && t.seconds < 61.0f)) return std::nullopt;
    return dayStart + t.hours * 3600.0 + t.minutes * 60.0 + static_cast<double>(t.seconds);
}

// vxTimeSeconds for a run of time stamps, which mostly share their day: the
// calendar work for the last day seen is kept.
class VxTimeSecondsCache {
public:
    // Inline: a file check asks it once per frame.
    std::optional<double> operator()(const VxTIME& t) {
        if (!known_ || t.year != year_ || t.day != day_) newDay(t);
        if (!dayStart_) return std::nullopt;
        return secondsInDay(*dayStart_, t);
    }

private:
    void newDay(const VxTIME& t);
    std::uint16_t year_ = 0, day_ = 0;
    bool known_ = false;
    std::optional<double> dayStart_;
};

class RecordStatistics {
public:
    RecordStatistics() = default;
    RecordStatistics(const RecordStatistics& other);
    RecordStatistics& operator=(const RecordStatistics& other);
    RecordStatistics(RecordStatistics&&) = default;
    RecordStatistics& operator=(RecordStatistics&&) = default;

    struct Row {
        std::uint32_t recordType = 0;
        std::uint64_t count = 0;
        std::uint64_t bytes = 0;
        double share = 0;               // percent of all frames counted
        std::optional<double> rate;     // frames per second (live data only)
        std::optional<VxTIME> lastTime; // time stamp of the newest frame of this type
        double lastSeen = 0;            // clock value when the newest frame was counted
    };

    // Counts one frame. `now` is the caller's clock in seconds (arrival time
    // for live data; 0 for a file). Entries without a whole header are ignored.
    void add(ByteSpan frame, double now = 0);
    // Counts a frame known only by its header fields (a record file's index entry).
    void add(std::uint32_t recordType, std::uint64_t bytes, const VxTIME& time, double now = 0) {
        add(recordType, bytes, time, vxTimeSeconds(time).has_value(), now);
    }
    // The same, for a caller that has already found out whether the time is
    // usable. Inline: a file check counts every frame.
    void add(std::uint32_t recordType, std::uint64_t bytes, const VxTIME& time, bool timeUsable, double now) {
        Counter& c = counter(recordType);
        ++c.count;
        c.bytes += bytes;
        c.lastSeen = now;
        ++frames_;
        bytes_ += bytes;
        if (!started_) started_ = now;
        if (timeUsable) {
            c.lastTime = time;
            c.hasTime = true;
            if (!first_) first_ = time;
            last_ = time;
        }
    }
    void clear();

    std::uint64_t frames() const { return frames_; }
    std::uint64_t bytes() const { return bytes_; }
    // Earliest and latest time stamps carrying a date, in file order.
    const std::optional<VxTIME>& firstTime() const { return first_; }
    const std::optional<VxTIME>& lastTime() const { return last_; }

    // One row per record type, ascending. With `now` given (live data) each
    // row carries its rate over the time since the first frame was counted.
    std::vector<Row> rows(std::optional<double> now = std::nullopt) const;

    // The table as text lines: a heading and one line per record type.
    std::vector<std::string> tableLines(std::optional<double> now = std::nullopt) const;

private:
    struct Counter {
        std::uint64_t count = 0;
        std::uint64_t bytes = 0;
        VxTIME lastTime{};
        bool hasTime = false;
        double lastSeen = 0;
    };
    std::map<std::uint32_t, Counter> types_;
    std::uint64_t frames_ = 0;
    std::uint64_t bytes_ = 0;
    std::optional<VxTIME> first_, last_;
    std::optional<double> started_;
    // Records come in runs or short cycles of few types: the counters of the
    // types met last are found without the map (its nodes stay put).
    struct Recent {
        std::uint32_t type = 0;
        Counter* counter = nullptr;
    };
    std::array<Recent, 8> recent_{};
    std::size_t recentNext_ = 0;
    Counter& counter(std::uint32_t recordType) {
        for (const Recent& r : recent_)
            if (r.counter && r.type == recordType) return *r.counter;
        Counter& c = types_[recordType];
        recent_[recentNext_] = {recordType, &c};
        recentNext_ = (recentNext_ + 1) % recent_.size();
        return c;
    }
};


} // namespace tarvik
