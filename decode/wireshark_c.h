#pragma once
// A compiled Wireshark dissector plugin (C, for the plugin interface of
// Wireshark 4.0) made from the layout catalogue: the same fields, filter
// names, trees and expert infos as the Lua dissector (wireshark_lua.h), at a
// fraction of its cost per packet.

#include "decode/layout.h"
#include "decode/wireshark_lua.h"

#include <string>

namespace tarvik {

// The plugin's one C file.
std::string wiresharkPluginSource(const LayoutCatalogue& catalogue, const WiresharkExportOptions& options);

// A CMakeLists.txt that builds the C file against an installed Wireshark's
// development files and installs it into that Wireshark's plugin folder.
std::string wiresharkPluginCMake();

// The names of the files a plugin export writes into its folder.
inline constexpr const char* kWiresharkPluginSourceName = "vx_dissector.c";
inline constexpr const char* kWiresharkPluginCMakeName = "CMakeLists.txt";

} // namespace tarvik
