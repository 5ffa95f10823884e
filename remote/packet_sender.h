#pragma once
// Sends built command records the way every record goes out: cut into packets
// with their Network frames, each handed to the sender socket in order.

#include "net/packets.h"
#include "remote/panel.h"

#include <functional>

namespace tarvik::remote {

class PacketSender final : public CommandSender {
public:
    explicit PacketSender(std::function<void(ByteSpan)> send) : send_(std::move(send)) {}
    void sendRecord(const Bytes& record) override {
        for (const auto& packet : net::Packetize(record)) send_(packet);
    }

private:
    std::function<void(ByteSpan)> send_;
};

} // namespace tarvik::remote
