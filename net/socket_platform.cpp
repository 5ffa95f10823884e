#include "net/socket_platform.h"

#include <cstring>

namespace tarvik::net {

#ifdef _WIN32
std::string socketErrorText(int code) {
    char* text = nullptr;
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : "error " + std::to_string(code);
    if (text) ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}
int socketErrorTableCode(int platformCode) { return platformCode; }
#else
std::string socketErrorText(int code) { return std::strerror(code); }
int socketErrorTableCode(int platformCode) {
    switch (platformCode) {
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EINPROGRESS: return 10036;
    case EBADF:
    case ENOTSOCK: return 10038;
    case ENOPROTOOPT: return 10042;
    case ENETDOWN: return 10050;
    case ENETRESET: return 10052;
    case ECONNRESET: return 10054;
    case ENOTCONN: return 10057;
    default: return platformCode;
    }
}
#endif

} // namespace tarvik::net
