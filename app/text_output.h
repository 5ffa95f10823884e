#pragma once
// Names and fixed texts of the text outputs: the current-record text file,
// the dump of all shown rows and the condensed file.

#include "app/view_port.h"

#include <ctime>
#include <string>
#include <string_view>

namespace tarvik {

namespace text_output {
inline constexpr std::string_view kLogBanner = "Tarvik: Logging to file: ";
inline constexpr std::string_view kDumpSummaryHeading =
    "\r\n################# SUMMARY ##################################\r\n\r\n";
inline constexpr std::string_view kCondensedSummaryHeading =
    "\r\n################# SUMMARY ##################################\r\n";
inline constexpr std::string_view kCondensedLegend = "### ping or record, record type, size in bytes, date, time\r\n\r\n";
inline constexpr std::string_view kDetailsHeading =
    "\r\n################# DETAILS ##################################\r\n\r\n";
inline constexpr std::string_view kRecordSeparator =
    "-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-\r\n\r\n";
inline constexpr std::string_view kRecordEnd = "<< END OF RECORD >>\r\n";
inline constexpr std::string_view kFileSourceHeading = "   READING FROM FILE: ";
inline constexpr const char* kResultMessage = "Wrote %lu lines to the the log file, %s";
inline constexpr std::string_view kNoName = "could not resolve the output file name";
} // namespace text_output

// The first free name of folder/base.txt, base.000.txt ... base.998.txt (for
// extension "txt"). An empty name, after the port has shown why, when the
// folder does not exist, a name cannot be probed, or every name is taken.
std::string ResolveTextOutputName(DialogsPort& port, const std::string& folder, const std::string& base,
                                  const std::string& extension);

// "%4d%02d%02d_%02d%02d%02d" of the UTC time `when`.
std::string utcStamp(std::time_t when);
// A record file's name without its folder and without ".vxr".
std::string recordFileBase(std::string_view path);

} // namespace tarvik
