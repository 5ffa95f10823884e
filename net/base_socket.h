#pragma once
// The socket layer beneath a connection to the sonar server: a base that owns
// the address, the socket handle and the lock; the receiver (socket_receiver.h)
// creates and connects the socket and runs the receiver thread; the sender
// (socket_sender.h) borrows the receiver's socket to send packets.

#include "net/socket_platform.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace tarvik::net {

// What the desktop gives the socket layer. The view fills it from its port
// (see ownerWindowOf); empty hooks are skipped.
struct OwnerWindow {
    std::function<void(std::string_view)> messageBox;                   // user-interface thread
    std::function<void(unsigned hertz, unsigned milliseconds)> beep;     // any thread
    std::function<void(std::function<void()>)> postToUserInterface;     // any thread
    std::function<void()> connectionEnded;  // posted when the receiver's connection ends
};

// Hooks onto any port with messageBox, beep and postToUserInterface (the view's port).
// Beeps from the receiver thread are posted to the user-interface thread.
template <typename Port>
OwnerWindow ownerWindowOf(Port& port, std::function<void()> connectionEnded) {
    OwnerWindow w;
    w.messageBox = [&port](std::string_view text) { port.messageBox(text); };
    w.beep = [&port](unsigned hertz, unsigned ms) {
        port.postToUserInterface([&port, hertz, ms] { port.beep(hertz, ms); });
    };
    w.postToUserInterface = [&port](std::function<void()> task) { port.postToUserInterface(std::move(task)); };
    w.connectionEnded = std::move(connectionEnded);
    return w;
}

// The receive buffer negotiation: asks for 88,000,000 bytes and backs off by 5%
// while reading the value back fails. Returns the final requested size.
// `set` and `get` are the socket option calls (get: nullopt on failure).
int negotiateReceiveBuffer(const std::function<void(int)>& set, const std::function<std::optional<int>()>& get,
                           const std::function<void(std::string_view)>& diagnose);

class CBaseSocket {
public:
    CBaseSocket();
    virtual ~CBaseSocket();
    CBaseSocket(const CBaseSocket&) = delete;
    CBaseSocket& operator=(const CBaseSocket&) = delete;

    // Creates and connects the socket: 0 on success, 1 when a socket is already
    // open (nothing changed), otherwise the platform error code.
    int Create(const std::string& address, const std::string& port);

    // The description the socket error table gives a platform error code.
    std::string socketErrorDescription(int platformCode) const;

    bool tcp = true;
    std::map<std::int32_t, std::string> socketErrors;
    SocketHandle socketHandle = kInvalidSocket;
    std::thread receiverThread;
    std::int32_t portNumber = 0;
    std::string serverAddress;
    std::string portText;
    mutable std::mutex lock;
    OwnerWindow owner;

protected:
    void message(std::string_view text) const;
    // Closes the socket when this object opened it and it is still open; the
    // handle value stays (a closed handle is never closed twice).
    void closeHandle();
    bool socketOpen_ = false;
};

} // namespace tarvik::net
