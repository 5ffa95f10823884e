#pragma once
// The few places where the socket calls of the platforms differ. Everything
// else in net/ is written against these names only.

#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tarvik::net {

#ifdef _WIN32
using SocketHandle = SOCKET;
inline constexpr SocketHandle kInvalidSocket = INVALID_SOCKET;
using SockLen = int;
inline constexpr int kSendFlags = 0;
inline int closeSocket(SocketHandle s) { return ::closesocket(s); }
inline constexpr int kInvalidArgumentError = WSAEINVAL;
// A second handle of the same socket, closed on its own; the invalid handle on failure.
inline SocketHandle duplicateSocket(SocketHandle s) {
    WSAPROTOCOL_INFOW info{};
    if (::WSADuplicateSocketW(s, ::GetCurrentProcessId(), &info) != 0) return INVALID_SOCKET;
    return ::WSASocketW(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, &info, 0, 0);
}
inline int lastSocketError() { return ::WSAGetLastError(); }
// Wakes a thread blocked in a read on the socket.
inline void shutdownSocket(SocketHandle s) { ::shutdown(s, SD_BOTH); }
inline int startSockets() {
    WSADATA data;
    return ::WSAStartup(0x0202, &data);
}
inline void endSockets() { ::WSACleanup(); }
#else
using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;
using SockLen = socklen_t;
// A peer that has gone away must give an error, not a signal that ends the process.
inline constexpr int kSendFlags = MSG_NOSIGNAL;
inline int closeSocket(SocketHandle s) { return ::close(s); }
inline constexpr int kInvalidArgumentError = EINVAL;
// A second handle of the same socket, closed on its own; the invalid handle on failure.
inline SocketHandle duplicateSocket(SocketHandle s) { return ::dup(s); }
inline int lastSocketError() { return errno; }
inline void shutdownSocket(SocketHandle s) { ::shutdown(s, SHUT_RDWR); }
inline int startSockets() { return 0; }
inline void endSockets() {}
#endif

// The platform's own description of a socket error code.
std::string socketErrorText(int code);

} // namespace tarvik::net

namespace tarvik::net {
// The code under which the socket error table describes a platform error
// (the table is keyed by the codes of the Windows socket library).
int socketErrorTableCode(int platformCode);
} // namespace tarvik::net
