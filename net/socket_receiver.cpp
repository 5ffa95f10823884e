#include "net/socket_receiver.h"

#include "core/text.h"
#include "net/debug_log.h"

#include <memory>

namespace tarvik::net {

CSocketReceiver::CSocketReceiver() {
    startupError_ = startSockets();
    if (startupError_ != 0) {
        message(strprintf("ERROR: WSAStartup failed with error %d\n", startupError_));
    }
    handler_.beep = [this](unsigned hertz, unsigned ms) {
        if (owner.beep) owner.beep(hertz, ms);
    };
}

CSocketReceiver::~CSocketReceiver() {
    Stop();
    handler_.clearPending();
    closeHandle();
    if (startupError_ == 0) endSockets();
}

SocketHandle CSocketReceiver::StartTcp(const std::string& address, const std::string& port, int& error) {
    return start(true, address, port, error);
}

SocketHandle CSocketReceiver::StartUdp(const std::string& address, const std::string& port, int& error) {
    return start(false, address, port, error);
}

SocketHandle CSocketReceiver::start(bool useTcp, const std::string& address, const std::string& port, int& error) {
    error = 0;
    if (!running_) Disconnect();
    if (socketHandle != kInvalidSocket) {
        if (serverAddress == address && portText == port && tcp == useTcp) return socketHandle;
        // Another peer: the running thread must end before its socket goes.
        Disconnect();
    }
    if (startupError_ != 0) {
        error = startupError_;
        return kInvalidSocket;
    }
    // No thread runs here: the transport flag may change.
    tcp = useTcp;
    error = Create(address, port);
    if (error != 0) return kInvalidSocket;
    // Bytes left from an earlier connection belong to no packet of this one.
    handler_.resetStream();
    stopping_ = false;
    running_ = true;
    receiverThread = std::thread([this, s = socketHandle, useTcp] { readLoop(s, useTcp); });
    return socketHandle;
}

void CSocketReceiver::Stop() {
    stopping_ = true;
    if (socketOpen_) shutdownSocket(socketHandle);
    running_ = false;
    if (receiverThread.joinable() && receiverThread.get_id() != std::this_thread::get_id()) receiverThread.join();
    closeHandle();
}

std::vector<CSonarDevices> CSocketReceiver::GetDeviceList() const {
    auto record = latestConfigurationRecord();
    if (!record) return {};
    return parseDeviceList(*record);
}

void CSocketReceiver::Disconnect() {
    Stop();
    socketHandle = kInvalidSocket;
}

void CSocketReceiver::connectionEnded() {
    running_ = false;
    if (stopping_) return;  // asked for: nobody needs telling
    if (owner.postToUserInterface && owner.connectionEnded) owner.postToUserInterface(owner.connectionEnded);
}

void CSocketReceiver::readLoop(const SocketHandle s, const bool useTcp) {
    std::unique_ptr<std::uint8_t[]> datagram;
    if (!useTcp) datagram = std::make_unique<std::uint8_t[]>(kReadSize);
    while (running_) {
        if (useTcp) {
            auto space = handler_.streamSpace();
            auto n = ::recv(s, reinterpret_cast<char*>(space.data()), static_cast<int>(kReadSize), 0);
            if (n <= 0) break;
            if (!handler_.streamReceived(static_cast<std::size_t>(n))) {
                // The stream cannot be cut into packets any more: end the connection.
                shutdownSocket(s);
                break;
            }
        } else {
            sockaddr_in from{};
            SockLen fromLength = sizeof from;
            auto n = ::recvfrom(s, reinterpret_cast<char*>(datagram.get()), static_cast<int>(kReadSize), 0,
                                reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n <= 0) break;
            handler_.HandleOnePacket({datagram.get(), static_cast<std::size_t>(n)});
        }
    }
    debugLog("receiver: connection ended");
    if (!stopping_) handler_.connectionEnded();
    connectionEnded();
}

} // namespace tarvik::net
