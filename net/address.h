#pragma once
// Checks of the server address and port texts the user types.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik::net {

// True for a dotted IPv4 address ("192.168.1.2"), nothing else.
bool isIPv4Address(std::string_view text);
// The port number of a text made only of decimal digits, 1..65535; nullopt otherwise.
std::optional<std::uint16_t> parsePort(std::string_view text);
// The address check of the IP field: lower case, "localhost" becomes "127.0.0.1".
std::string normaliseAddress(std::string_view text);

} // namespace tarvik::net
