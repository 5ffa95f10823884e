#pragma once
// The sending side: sends packets on the receiver's socket, pausing after every
// call so that the server is never flooded. It holds its own handle of that
// socket, so a socket the receiver has closed can never be mistaken for another
// file the system opened under the same number: a send then simply fails.

#include "core/bytes.h"
#include "net/base_socket.h"

#include <chrono>

namespace tarvik::net {

class CSocketSender : public virtual CBaseSocket {
public:
    CSocketSender() = default;
    ~CSocketSender() override { Close(); }

    // Attaches to the receiver's socket (a handle of its own). False, after a
    // message, for the invalid handle; false when no handle could be made.
    bool Create(SocketHandle handle, const std::string& address, const std::string& port);
    // Sends one packet; true when every byte went.
    bool Send(ByteSpan bytes);
    // Closes the sender's handle of the socket.
    void Close();
    bool attached() const { return socketHandle != kInvalidSocket; }

    std::chrono::milliseconds attachPause{200};
    std::chrono::milliseconds sendPause{50};
};

} // namespace tarvik::net
