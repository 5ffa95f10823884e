#include "net/base_socket.h"

#include "core/text.h"
#include "net/address.h"
#include "net/debug_log.h"

#include <cstdlib>

namespace tarvik::net {

int negotiateReceiveBuffer(const std::function<void(int)>& set, const std::function<std::optional<int>()>& get,
                           const std::function<void(std::string_view)>& diagnose) {
    int requested = 88'000'000;
    bool lastReadFailed = false;
    while (requested > 100'000) {
        set(requested);
        auto got = get();
        lastReadFailed = !got;
        if (got && *got >= requested) break;
        requested = static_cast<int>(requested * 0.95);
        if (got) break;  // only a failed read-back tries again
    }
    diagnose(strprintf("final buffer size %d", requested));
    if (lastReadFailed) diagnose("receive buffer read-back failed");
    if (!get()) diagnose("receive buffer read-back after negotiation failed");
    return requested;
}

CBaseSocket::CBaseSocket() {
    socketErrors = {
        {10014, "One of the optval or the optlen parameters is not a valid part of the user address space, or the "
                "optlen parameter is too small."},
        {10022, "The level parameter is unknown or invalid."},
        {10036, "A blocking Windows Sockets 1.1 call is in progress, or the service provider is still processing a "
                "callback function."},
        {10038, "The descriptor is not a socket."},
        {10042, "The option is unknown or unsupported by the indicated protocol family."},
        {10050, "The network subsystem has failed."},
        {10052, "Connection has timed out when SO_KEEPALIVE is set."},
        {10054, "An existing connection was forcibly closed by the host."},
        {10057, "Connection has been reset when SO_KEEPALIVE is set."},
        {10093, "A successful WSAStartup must occur before using this function."},
    };
}

CBaseSocket::~CBaseSocket() { closeHandle(); }

std::string CBaseSocket::socketErrorDescription(int platformCode) const {
    auto it = socketErrors.find(socketErrorTableCode(platformCode));
    return it != socketErrors.end() ? it->second : "Unknown Socket Error in CBaseSocket::Create, setsockopt";
}

void CBaseSocket::message(std::string_view text) const {
    if (owner.messageBox) owner.messageBox(text);
}

void CBaseSocket::closeHandle() {
    if (socketOpen_) closeSocket(socketHandle);
    socketOpen_ = false;
}

int CBaseSocket::Create(const std::string& address, const std::string& port) {
    if (socketHandle != kInvalidSocket) return 1;
    // Nothing connects to an address or port the user did not give: a text that
    // is not dotted IPv4 would otherwise mean 0.0.0.0 (this machine), and a port
    // text like "70000" or "4466abc" another port than the one typed.
    if (!isIPv4Address(address) || !parsePort(port)) return kInvalidArgumentError;
    serverAddress = address;
    portNumber = static_cast<std::int32_t>(std::atol(port.c_str()));
    portText = port;

    SocketHandle s = tcp ? ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == kInvalidSocket) {
        int code = lastSocketError();
        message(strprintf("ERROR: socket creation failed with error %d\n", code));
        return code;
    }

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    ::inet_pton(AF_INET, serverAddress.c_str(), &peer.sin_addr);
    peer.sin_port = htons(static_cast<std::uint16_t>(portNumber));
    if (::connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        int code = lastSocketError();
        closeSocket(s);
        socketHandle = kInvalidSocket;
        return code;
    }
    socketHandle = s;
    socketOpen_ = true;

    auto diagnose = [](std::string_view text) { debugLog(text); };
    negotiateReceiveBuffer(
        [s](int value) { ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&value), sizeof value); },
        [this, s]() -> std::optional<int> {
            int value = 0;
            SockLen length = sizeof value;
            if (::getsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&value), &length) != 0) {
                debugLog(socketErrorDescription(lastSocketError()));
                return std::nullopt;
            }
            return value;
        },
        diagnose);

    int on = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return 0;
}

} // namespace tarvik::net
