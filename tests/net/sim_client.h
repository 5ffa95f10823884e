#pragma once
// A client of vxcenter-sim through the socket classes: connected, subscribed
// to record types of device 7125 for a while, then the subscriptions ended.

#include "net/packets.h"
#include "net/request_records.h"
#include "net/socket_receiver.h"
#include "net/socket_sender.h"
#include "tests/net/sim_process.h"

#include <chrono>
#include <thread>
#include <vector>

namespace tarvik::testing {

struct SimClient {
    net::CSocketReceiver receiver;
    net::CSocketSender sender;
    net::CRequestRecordPreparation prepare;

    // Connects over TCP; the sender does not pause between packets.
    bool connect(const SimProcess& sim) {
        int error = 0;
        const auto handle = receiver.StartTcp("127.0.0.1", sim.port(), error);
        if (handle == net::kInvalidSocket) return false;
        sender.attachPause = sender.sendPause = std::chrono::milliseconds(0);
        return sender.Create(handle, "127.0.0.1", sim.port());
    }
    // Records of `types` arrive for `during`; then the subscriptions end and the last records come in.
    void subscribeFor(const std::vector<std::uint32_t>& types, std::chrono::milliseconds during) {
        sender.Send(net::Packetize(prepare.volatileDataFeed(7125, 0, types))[0]);
        std::this_thread::sleep_for(during);
        sender.Send(net::Packetize(prepare.endAllSubscriptions(7125, 0))[0]);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
};

} // namespace tarvik::testing
