#pragma once
// The receiving side of a connection: creates and connects the socket, runs
// the receiver thread that reads packets and queues whole records, and hands
// the queue to the user-interface thread.

#include "net/base_socket.h"
#include "net/packet_handler.h"
#include "net/sonar_devices.h"

#include <atomic>

namespace tarvik::net {

class CSocketReceiver : public virtual CBaseSocket {
public:
    CSocketReceiver();
    ~CSocketReceiver() override;

    // Start a connection; the open handle is returned again when the same
    // address and port text (and transport) are asked for while running. An
    // address that is not dotted IPv4 or a port outside 1..65535 is refused
    // (invalid-argument error) before any socket is made. `error` is 0 or the
    // platform error code of the failing step; the result is the invalid
    // handle on failure.
    SocketHandle StartTcp(const std::string& address, const std::string& port, int& error);
    SocketHandle StartUdp(const std::string& address, const std::string& port, int& error);
    // Ends the connection at the user's wish (no connection-ended notice): wakes the receiver thread out of its read, waits for
    // it to end and closes the socket (the handle value stays).
    void Stop();
    // Stop, then forget the handle.
    void Disconnect();

    PendingQueue TakePendingRecords() { return handler_.TakePendingRecords(); }
    void ReleaseTaken(std::size_t bytes) { handler_.releaseTaken(bytes); }
    // The newest configuration record that arrived in a single packet.
    std::optional<Bytes> latestConfigurationRecord() const { return handler_.latestRecord(kConfigurationKey); }
    // The devices of the newest configuration record (empty when none was stored).
    std::vector<CSonarDevices> GetDeviceList() const;
    // Appends one of the tool's own entries (a text record) to the queue.
    void queueRecord(Bytes entry) { handler_.queueRecord(std::move(entry)); }

    bool running() const { return running_.load(); }
    bool socketsStarted() const { return startupError_ == 0; }
    CPacketHandler& packetHandler() { return handler_; }

private:
    SocketHandle start(bool useTcp, const std::string& address, const std::string& port, int& error);
    void readLoop(SocketHandle s, bool useTcp);
    void connectionEnded();

    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};  // Stop was asked for: the end is not reported
    CPacketHandler handler_{lock};
    int startupError_ = 0;
};

} // namespace tarvik::net
