#pragma once
// A TCP listener on 127.0.0.1 with a port the system chose, for tests of the
// programs' connections. It takes connections only when asked (`accept`).

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace tarvik::testing {

struct LoopbackListener {
    int fd = -1;
    std::string port;

    LoopbackListener() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 4);
        socklen_t n = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
        port = std::to_string(ntohs(a.sin_port));
    }
    ~LoopbackListener() { ::close(fd); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    // The next connection, waiting at most `ms`; -1 when none came.
    int accept(int ms = 5000) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) != 1) return -1;
        return ::accept(fd, nullptr, nullptr);
    }
};

} // namespace tarvik::testing
