#include "net/socket_sender.h"

#include <cstdlib>

namespace tarvik::net {

bool CSocketSender::Create(SocketHandle handle, const std::string& address, const std::string& port) {
    if (handle == kInvalidSocket) {
        message("CSocketSender::Create Received A Bad Socket");
        return false;
    }
    Close();
    socketHandle = duplicateSocket(handle);
    if (socketHandle == kInvalidSocket) return false;
    socketOpen_ = true;
    serverAddress = address;
    portText = port;
    portNumber = static_cast<std::int32_t>(std::atol(port.c_str()));
    std::this_thread::sleep_for(attachPause);
    return true;
}

void CSocketSender::Close() {
    closeHandle();
    socketHandle = kInvalidSocket;
}

bool CSocketSender::Send(ByteSpan bytes) {
    if (socketHandle == kInvalidSocket) return false;
    if (bytes.empty()) return true;
    std::size_t sent = 0;
    while (true) {
        // The borrowed socket is connected (TCP or UDP), so it already knows the
        // server's address and port.
        auto n = ::sendto(socketHandle, reinterpret_cast<const char*>(bytes.data() + sent),
                          static_cast<int>(bytes.size() - sent), kSendFlags, nullptr, 0);
        std::this_thread::sleep_for(sendPause);
        if (n < 0) return false;
        sent += static_cast<std::size_t>(n);
        if (sent >= bytes.size()) return true;
    }
}

} // namespace tarvik::net
