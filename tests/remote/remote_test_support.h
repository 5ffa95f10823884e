#pragma once
// A panel over the built-in catalogue with fixed time and chance, and a sender
// that keeps what it is given.

#include "core/bytes.h"
#include "remote/definitions.h"
#include "remote/panel.h"

#include <string>
#include <vector>

namespace tarvik::testing {

struct KeptRecords : remote::CommandSender {
    std::vector<Bytes> records;
    void sendRecord(const Bytes& record) override { records.push_back(record); }
};

inline const remote::RemoteCommandCatalogue& builtInCatalogue() {
    static const remote::RemoteCommandCatalogue catalogue = remote::builtInRemoteCommandCatalogue();
    return catalogue;
}

inline VxTIME fixedTime() {
    VxTIME t;
    t.year = 2026;
    t.day = 342;
    t.seconds = 12.75f;
    t.hours = 9;
    t.minutes = 30;
    return t;
}

struct PanelFixture {
    std::vector<std::string> messages;
    KeptRecords sent;
    remote::CRemoteControlPanel panel{builtInCatalogue(), [this](std::string_view m) { messages.emplace_back(m); }};

    PanelFixture() {
        panel.sender = &sent;
        panel.localTime = fixedTime;
        panel.random = [] { return 1234u; };
        panel.devices = {{7000, 0, false}};
    }
    // Selects the command and sets up its rows as a change of selection does.
    void choose(std::string_view id) {
        panel.selection = panel.findLine(std::string(id) + " ");
        panel.loadCommandRows();
    }
};

inline std::uint32_t u32At(const Bytes& b, std::size_t at) { return readLEOr0<std::uint32_t>(b, at); }
inline float f32At(const Bytes& b, std::size_t at) { return readLEOr0<float>(b, at); }

} // namespace tarvik::testing
