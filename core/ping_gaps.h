#pragma once
// Dropped pings: the ping numbers of each source (record type, device
// identifier, system enumerator) are watched, and a jump of 2 to 99 from one
// ping to the next means 1 to 98 pings went missing in between. The record
// list, the condensed file and the file check all use this one rule.

#include <cstdint>
#include <map>
#include <optional>
#include <tuple>

namespace tarvik {

// The last ping number seen per (record type, device identifier, system enumerator).
using LastPingNumbers = std::map<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>, std::uint32_t>;

class PingGapTracker {
public:
    // Before the first ping of a source its last ping counts as 0. The record
    // list and the check see no gap there; the condensed file reports a first
    // ping of 2 to 99 as one.
    enum class FirstPing { NoGap, GapAfterZero };

    // Keeps its own numbers, or works on numbers shared with others.
    PingGapTracker() : last_(&own_) {}
    explicit PingGapTracker(LastPingNumbers& shared) : last_(&shared) {}
    PingGapTracker(const PingGapTracker&) = delete;
    PingGapTracker& operator=(const PingGapTracker&) = delete;

    // Takes a source's next ping number. Returns the ping before it when 1 to
    // 98 pings are missing in between, nullopt otherwise.
    std::optional<std::uint32_t> next(std::uint32_t recordType, std::uint32_t deviceId, std::uint32_t enumerator,
                                      std::uint32_t ping, FirstPing first = FirstPing::NoGap) {
        std::uint32_t& last = (*last_)[{recordType, deviceId, enumerator}];
        const std::uint32_t before = last;
        last = ping;
        // Unsigned: a ping number that went back, or jumped by 100 or more, is no gap.
        if (before == 0 && first == FirstPing::NoGap) return std::nullopt;
        if (ping - before - 2u <= 97u) return before;
        return std::nullopt;
    }

    LastPingNumbers& last() { return *last_; }
    const LastPingNumbers& last() const { return *last_; }
    void clear() { last_->clear(); }

private:
    LastPingNumbers own_;
    LastPingNumbers* last_;
};

} // namespace tarvik
