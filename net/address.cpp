#include "net/address.h"

#include "net/socket_platform.h"

namespace tarvik::net {

bool isIPv4Address(std::string_view text) {
    if (text.size() > 15) return false;
    const std::string copy(text);
    in_addr address{};
    return ::inet_pton(AF_INET, copy.c_str(), &address) == 1;
}

std::optional<std::uint16_t> parsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::string normaliseAddress(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (lower == "localhost") return "127.0.0.1";
    return lower;
}

} // namespace tarvik::net
