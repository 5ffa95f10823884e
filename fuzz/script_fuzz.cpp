// Fuzz target: any bytes as a script file, played through the remote control
// panel with the built-in catalogue. Every record it would send must be a
// whole frame whose Size is its length and whose checksum holds; nothing may
// crash, hang or read outside its buffers. Waits and nested files are not
// carried out (a nested file reads as missing).

#include "core/frame.h"
#include "remote/definitions.h"
#include "remote/script.h"

#include <cstddef>
#include <cstdint>

namespace {

using namespace tarvik;

struct CheckingSender : remote::CommandSender {
    void sendRecord(const Bytes& record) override {
        FrameView f(record);
        if (!f.isFrame() || f.size() != record.size()) __builtin_trap();
        if (readLEOr0<std::uint32_t>(record, record.size() - 4) != computeChecksum(record, record.size() - 4))
            __builtin_trap();
    }
};

struct QuietHost : remote::ScriptHost {
    void messageBox(std::string_view) override {}
    void wait(unsigned) override {}
    void writeOutputFile() override {}
    void setDisableInitialSubscription(bool) override {}
    void setScrollLimit(int n) override {
        if (n < 20 || n > 200) __builtin_trap();
    }
    void startCommunicating() override {}
    void stopVolatileConnections() override {}
    void terminate() override {}
    std::optional<std::string> readScriptFile(const std::string&) override { return std::nullopt; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const remote::RemoteCommandCatalogue catalogue = remote::builtInRemoteCommandCatalogue();
    CheckingSender sender;
    QuietHost host;
    remote::CRemoteControlPanel panel(catalogue, {});
    panel.sender = &sender;
    panel.random = [] { return 7u; };
    panel.localTime = [] { return VxTIME{}; };
    panel.devices = {{7000, 0, false}, {7125, 1, true}};
    panel.scriptActive = true;
    remote::CScript script(panel, host);
    script.playScript(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.vxs");
    return 0;
}
