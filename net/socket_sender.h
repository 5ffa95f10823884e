#pragma once
// The sending side: borrows the receiver's socket and sends packets, pausing
// after every call so that the server is never flooded.

#include "core/bytes.h"
#include "net/base_socket.h"

#include <chrono>

namespace tarvik::net {

class CSocketSender : public virtual CBaseSocket {
public:
    CSocketSender() = default;
    // The handle is borrowed: it is never closed here.
    ~CSocketSender() override { socketOpen_ = false; }

    // Attaches to the receiver's socket. False, after a message, for the invalid handle.
    bool Create(SocketHandle handle, const std::string& address, const std::string& port);
    // Sends one packet; true when every byte went.
    bool Send(ByteSpan bytes);
    // Forgets the borrowed handle.
    void Close() { socketHandle = kInvalidSocket; }

    std::chrono::milliseconds attachPause{200};
    std::chrono::milliseconds sendPause{50};
};

} // namespace tarvik::net
