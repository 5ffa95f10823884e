#pragma once
// The condensed file: one text line per record of a record file (ping or
// record number, record type, size, date, time) in one of four column layouts,
// with a line for each gap in the ping numbers.

#include "core/record_file.h"
#include "core/ping_gaps.h"
#include "core/record_index.h"
#include "core/vxtime.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <tuple>

namespace tarvik {

enum class DataSeparator { Tab = 0, Space = 1, Comma = 2, FixedWidth = 3 };

// The live list and the condensed copy share one LastPingNumbers.

// Record types whose condensed line carries the ping number instead of the record counter.
bool carriesPingNumber(std::uint32_t recordType);

// Appends one line, ending in CR LF, exactly as the printf format of the
// chosen separator would print it.
void appendCondensedLine(std::string& out, DataSeparator separator, std::uint32_t number, std::uint32_t recordType,
                         std::uint32_t size, int month, int day, int year, int hours, int minutes, float seconds);

struct CondenseResult {
    std::uint64_t lines = 0;   // numbered lines (gap lines are not counted)
    bool cancelled = false;
    bool writeFailed = false;  // the sink refused a piece
};

// Writes the lines for every entry of `index`, in index order, to `sink` in
// pieces of about a megabyte. Ping numbers are read in file order through one
// large buffer. `progress(done, total)` is called now and then; returning false
// stops the run after the lines written so far.
CondenseResult condenseRecords(const RecordFile& file, const RecordIndex& index, DataSeparator separator,
                               LastPingNumbers& lastPings, const std::function<bool(std::string_view)>& sink,
                               const std::function<bool(std::size_t, std::size_t)>& progress = {});

} // namespace tarvik
