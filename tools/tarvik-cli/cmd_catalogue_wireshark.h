#pragma once
// tarvik-cli catalogue --export-wireshark: the Wireshark dissector made from
// the layouts the tool loads.

#include "tools/tarvik-cli/cli.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvik::cli {

struct WiresharkExportCliOptions {
    std::optional<std::string> file;        // --export-wireshark FILE.lua
    std::optional<std::string> pluginDir;   // --export-wireshark-c DIR
    std::vector<std::uint16_t> ports;
    bool force = false;  // set from the catalogue command's --force
};

// Adds --export-wireshark FILE, --export-wireshark-c DIR and --port N to the
// catalogue command; returns the --export-wireshark and --export-wireshark-c
// options (--port goes with either, which the command checks).
std::pair<CLI::Option*, CLI::Option*> addWiresharkExportOptions(CLI::App& command, WiresharkExportCliOptions& o);
// Writes the dissector (the Lua file, or the plugin's C file and its
// CMakeLists.txt); the exit status.
int exportWireshark(const WiresharkExportCliOptions& o);

} // namespace tarvik::cli
