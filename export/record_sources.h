#pragma once
// Record files and packet captures opened, and checked, the way tarvik-cli
// opens and checks them, for callers outside the window: the Python module
// and tarvik-cli's table export.

#include "core/record_source.h"
#include "decode/file_check.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvik {

struct OpenedSource {
    std::shared_ptr<IndexedRecordSource> source;  // null when nothing could be read
    std::string error;                            // why, when `source` is null
    // What the window would have shown while reading it: a catalog that
    // disagrees with its frames, the broken frame the index stops at, a
    // last frame the file ends inside, a capture that ends early. The records before are still there.
    std::vector<std::string> warnings;
};

// Opens a record file (*.vxr) or a packet capture (*.pcap, *.pcapng, told by
// its content) and indexes it in one pass. A record file's index stops at a
// broken frame unless `readPastDamage`. `capturePorts` as tarvik-cli --port.
OpenedSource openRecordSource(const std::string& path, const std::vector<std::uint16_t>& capturePorts = {},
                              bool readPastDamage = false);

// The whole-file check of a record file or of the records of a capture.
// `observer` sees every frame the check counts (a capture's as the record file they make).
FileCheckResult checkRecordSource(const FileChecker& checker, const std::string& path,
                                  const std::vector<std::uint16_t>& capturePorts = {},
                                  const CheckedFrameObserver& observer = {});

} // namespace tarvik
