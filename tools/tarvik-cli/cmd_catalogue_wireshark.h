#pragma once
// tarvik-cli catalogue --export-wireshark: the Wireshark dissector made from
// the layouts the tool loads.

#include "tools/tarvik-cli/cli.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarvik::cli {

struct WiresharkExportCliOptions {
    std::optional<std::string> file;
    std::vector<std::uint16_t> ports;
    bool force = false;  // set from the catalogue command's --force
};

// Adds --export-wireshark FILE and --port N to the catalogue command;
// returns the --export-wireshark option (--port needs it).
CLI::Option* addWiresharkExportOptions(CLI::App& command, WiresharkExportCliOptions& o);
// Writes the dissector; the exit status.
int exportWireshark(const WiresharkExportCliOptions& o);

} // namespace tarvik::cli
