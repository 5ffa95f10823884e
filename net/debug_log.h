#pragma once
// The network layer's diagnostic channel: texts that are formed for diagnosis
// but never shown to the user. Off by default; on when the environment variable
// TARVIK_NET_DEBUG is set to a non-empty value other than "0", or by a call.
// Lines go to stderr.

#include <string_view>

namespace tarvik::net {

bool debugLogEnabled();
void setDebugLog(bool on);
// Writes the text (a trailing newline is added when it has none).
void debugLog(std::string_view text);

} // namespace tarvik::net
