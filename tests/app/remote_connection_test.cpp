// The remote control panel over the live connection, end to end against
// vxcenter-sim on 127.0.0.1: the device list becomes the panel's targets, the
// sonar selector's checks choose them, commands go out through the connection
// and are copied into the output record file once.

#include "app/controls.h"
#include "app/memory_port.h"
#include "app/tarvik_view.h"
#include "core/frame.h"
#include "core/record_file.h"
#include "tests/net/sim_process.h"
#include "tests/support/text_count.h"
#include "tests/support/temp_dir.h"
#include "tests/support/whole_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

using namespace tarvik;
using namespace tarvik::controls;
using tarvik::testing::SimProcess;
using tarvik::testing::TempDir;
using namespace std::chrono_literals;

namespace {

using tarvik::testing::countOccurrences;

class RemoteOverConnection : public ::testing::Test {
protected:
    RemoteOverConnection() {
        port.setText(kRecordFilter, "ALL RECORDS");
        auto& sender = view.connection().sender();
        sender.attachPause = sender.sendPause = 0ms;
        RegistryString folder(setting_names::kLastOutputDirectory, settings);
        folder = dir.path().string();
        folder.Write();
    }
    void connectTo(const std::string& serverPort) {
        port.setText(kAddress, "127.0.0.1");
        port.setText(kPort, serverPort);
        view.OnStartCommunicating();
    }
    bool tickUntil(const std::function<bool()>& done, double seconds = 5) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            port.runPosted();
            view.OnTimer(timers::kArrival);
            if (done()) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    bool listed(std::uint32_t type) const {
        for (const auto& e : view.pipeline().shown())
            if (FrameView(e.bytes()).isFrame() && FrameView(e.bytes()).recordType() == type) return true;
        return false;
    }
    // Chooses a command of the panel's list as the form does.
    void chooseCommand(const std::string& id) {
        const auto line = view.remotePanel().findLine(id + " ");
        ASSERT_TRUE(line);
        port.setText(kRemoteCommand, view.remotePanel().commandLines()[*line]);
        view.OnSelchangeRemoteCommand();
    }
    // The remote-control records (7500) of a record file.
    std::vector<Bytes> sentCommandsIn(const std::string& path) {
        const Bytes bytes = tarvik::testing::slurpBytes(path);
        std::vector<Bytes> out;
        for (std::size_t at = 0; at + 64 <= bytes.size();) {
            FrameView f(ByteSpan(bytes).subspan(at));
            if (!f.isFrame() || f.size() < 64 || at + f.size() > bytes.size()) break;
            if (f.recordType() == 7500) out.emplace_back(bytes.begin() + at, bytes.begin() + at + f.size());
            at += f.size();
        }
        return out;
    }

    TempDir dir;
    MemoryPort port;
    MemorySettingsStore settings;
    CMyTarvikView view{port, settings};
};

} // namespace

TEST_F(RemoteOverConnection, CommandToOneCheckedDeviceArrivesAndIsRecordedOnce) {
    SimProcess sim({"--devices", "2", "--log"});
    connectTo(sim.port());
    ASSERT_TRUE(view.connection().connected());
    EXPECT_FALSE(port.disabled.count(kSendRemoteControl));

    // The device list (two found, then the general and the dummy device) became the panel's targets.
    const auto& devices = view.connection().devices();
    ASSERT_EQ(devices.size(), 4u);
    ASSERT_EQ(view.remotePanel().devices.size(), 4u);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        EXPECT_EQ(view.remotePanel().devices[i].deviceId, devices[i].deviceId);
        EXPECT_EQ(view.remotePanel().devices[i].enumerator, devices[i].enumerator);
    }

    view.OnWriteOutputFile();
    ASSERT_TRUE(view.outputWriter().writing());
    const std::string written = view.outputWriter().outputFileName();

    // Only the first sonar is ticked in the selector.
    for (std::size_t i = 0; i < 4; ++i) port.setItemChecked(kSonarsForCommand, i, i == 0);
    chooseCommand("1003");
    port.setText(1023, "50");
    view.OnSendRemoteControl();
    EXPECT_TRUE(port.messages.empty()) << port.messages.front();

    const std::string target = std::to_string(devices[0].deviceId) + ":" + std::to_string(devices[0].enumerator);
    const std::string other = std::to_string(devices[1].deviceId) + ":" + std::to_string(devices[1].enumerator);
    ASSERT_TRUE(tickUntil([&] { return countOccurrences(sim.log(), "applied to device " + target) == 1 && listed(7501); }));
    EXPECT_EQ(countOccurrences(sim.log(), "applied to device " + other), 0u);
    EXPECT_EQ(countOccurrences(sim.log(), "\tcommand 1003"), 1u);

    view.outputWriter().StopWriting();
    const auto commands = sentCommandsIn(written);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(FrameView(commands[0]).deviceId(), devices[0].deviceId);

    // After the stop there is nobody to send to.
    view.OnStopVolatileConnections();
    EXPECT_TRUE(port.disabled.count(kSendRemoteControl));
    EXPECT_TRUE(view.remotePanel().devices.empty());
}

TEST_F(RemoteOverConnection, ScriptStartsTheConnectionChoosesDevicesAndStops) {
    SimProcess sim({"--devices", "2", "--log"});
    port.setText(kAddress, "127.0.0.1");
    port.setText(kPort, sim.port());
    const std::string script = dir.file("run.vxs");
    {
        std::ofstream out(script);
        out << "PACE, 0\r\nLIMITRECORDS, 50\r\nSTART\r\nDEVICES, 7125, 0\r\n1003, 40\r\nSLEEP, 300\r\n";
    }
    port.waitHook = [&](unsigned ms) { tickUntil([] { return false; }, ms / 1000.0); };
    EXPECT_TRUE(view.playScriptFile(script));
    EXPECT_TRUE(port.messages.empty()) << port.messages.front();
    EXPECT_EQ(view.pipeline().scrollLimit(), 50u);
    EXPECT_EQ(countOccurrences(sim.log(), "applied to device 7125:0"), 1u);
    EXPECT_EQ(countOccurrences(sim.log(), "\tcommand 1003"), 1u);
    // DEVICES ticked the first sonar only, in the selector too.
    EXPECT_TRUE(port.itemChecked(kSonarsForCommand, 0));
    EXPECT_FALSE(port.itemChecked(kSonarsForCommand, 1));

    // END ends the subscriptions of the connection.
    const std::string end = dir.file("end.vxs");
    std::ofstream(end) << "END\n";
    EXPECT_TRUE(view.playScriptFile(end));
    EXPECT_FALSE(view.connection().connected());
    EXPECT_TRUE(tickUntil([&] { return countOccurrences(sim.log(), "\tcommand 1052") >= 1; }));
}
