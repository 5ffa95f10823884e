#pragma once
// The one door to records: a record file (*.vxr), a packet capture (*.pcap,
// *.pcapng, told by its content, not its name) or a live address. Callers
// never ask which kind a path is; they hand it here and get the source, or
// the reason it could not be opened as the window and tarvik-cli print it.

#include "core/record_filter.h"
#include "core/record_source.h"
#include "core/result.h"
#include "decode/file_check.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

struct SourceOptions {
    // The ports whose traffic a capture's records come from (tarvik-cli
    // --port); empty: every stream that opens with a Vx packet.
    std::vector<std::uint16_t> capturePorts;
    // A record file's index goes on past a broken frame at the next sync
    // pattern instead of stopping there.
    bool readPastDamage = false;
    // The rows the source lists from the start.
    RecordFilter filter;
};

// A server to connect to: what a live source is before its connection runs.
// The caller's connection connects it; nothing is opened here.
struct LiveAddress {
    std::string address;  // host name or IPv4 address
    std::string port;     // as typed (the connection checks it); empty: the default port
};

struct OpenedSource {
    // A record file or a capture, indexed and listed under the filter; null
    // for a live address.
    std::shared_ptr<IndexedRecordSource> source;
    std::optional<LiveAddress> live;

    // What the window says about what it read, in the order it says it. The
    // records before each problem are still there.
    // A record file whose catalog disagrees with its frames (the catalog is not used).
    std::string catalogDisagreement;
    // The broken frame the index stopped at.
    std::optional<std::string> damage;
    // Reading again with readPastDamage would list more (the file holds at
    // least one frame header's worth of bytes and was not read past damage).
    bool canReadPastDamage = false;
    // The last frame the file ends inside.
    std::optional<std::string> cutFrame;
    // A capture that ended early and each stream given up, one a line.
    std::string captureNote;
    // Damaged packets of a capture (rows of its list, not records).
    std::optional<std::string> damagedPackets;
    // Records of a capture whose bytes never all came (rows of its list, not records).
    std::optional<std::string> lostPackets;

    // Everything above, one message a line, for callers that see only the records.
    std::vector<std::string> warnings() const;
};

// "tcp://ADDRESS[:PORT]" names a live source; anything else is a path.
inline constexpr std::string_view kLiveScheme = "tcp://";

// Opens `what`: a live address (see kLiveScheme), a packet capture or a
// record file, indexed in one pass. Fails with the window's message when
// nothing can be read.
Result<OpenedSource> openSource(const std::string& what, const SourceOptions& options = {});

// The words of the check's problem that counts a capture's records whose
// bytes never all came (readers that see the "TEXT Lost Packet" rows
// themselves leave it out, not to count those records twice).
inline constexpr std::string_view kRecordsNeverAllCame = "whose bytes never all came";

// A text row of a capture's list ("TEXT Lost Packet", a damaged packet's
// line) and how many frames come before it.
using CheckedTextObserver = std::function<void(std::uint64_t framesBefore, const std::string& text)>;

// The whole-file check of a record file or of the records of a capture.
// `observer` sees every frame the check counts (a capture's as the record file they make);
// `textObserver` sees a capture's text rows, each just before the frame it comes before
// (those after the last frame once the check is done), so that a reader needs no
// index of its own to place them.
FileCheckResult checkRecordSource(const FileChecker& checker, const std::string& path,
                                  const std::vector<std::uint16_t>& capturePorts = {},
                                  const CheckedFrameObserver& observer = {},
                                  const CheckedTextObserver& textObserver = {});

// The frames of a record file or a capture, as a record file of its own that
// `use` reads from start to end (a capture's records reassembled into a
// temporary file). Fails when nothing can be read; `note` receives what a
// capture that ended early said (empty otherwise).
Result<void> readRecordsAsFile(const std::string& path, const std::vector<std::uint16_t>& capturePorts,
                               const std::function<void(const std::string& recordFile)>& use, std::string& note);

} // namespace tarvik
