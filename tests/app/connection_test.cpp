// The connection behind "Start Communicating", end to end against vxcenter-sim
// on 127.0.0.1, through the view logic and the in-memory port.

#include "app/controls.h"
#include "app/memory_port.h"
#include "app/tarvik_view.h"
#include "core/frame.h"
#include "net/packets.h"
#include "tests/net/sim_process.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/temp_dir.h"
#include "tests/support/text_count.h"
#include "tools/synth/sample_records.h"

#include "tests/support/sanitized.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

using namespace tarvik;
using namespace tarvik::controls;
using tarvik::testing::SimProcess;
using namespace std::chrono_literals;

namespace {

using tarvik::testing::countOccurrences;

// A server that takes the connection and never says a word.
using SilentServer = tarvik::testing::LoopbackListener;

class Connection : public ::testing::Test {
protected:
    Connection() {
        port.setText(kRecordFilter, "ALL RECORDS");
        auto& sender = view.connection().sender();
        sender.attachPause = sender.sendPause = 0ms;
    }
    void connectTo(const std::string& serverPort, const std::string& address = "127.0.0.1") {
        port.setText(kAddress, address);
        port.setText(kPort, serverPort);
        view.OnStartCommunicating();
    }
    void tick() {
        port.runPosted();
        view.OnTimer(timers::kArrival);
    }
    // Ticks until `done` holds or `seconds` pass.
    bool tickUntil(const std::function<bool()>& done, double seconds = 5) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            tick();
            if (done()) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    std::vector<std::uint32_t> listedTypes() const {
        std::vector<std::uint32_t> types;
        for (const auto& e : view.pipeline().shown())
            if (FrameView(e.bytes()).isFrame()) types.push_back(FrameView(e.bytes()).recordType());
        return types;
    }
    bool listed(std::uint32_t type) const {
        auto t = listedTypes();
        return std::find(t.begin(), t.end(), type) != t.end();
    }
    // The text of a listed 7051 record of the tool's own.
    std::vector<std::string> toolMessages() const {
        std::vector<std::string> out;
        for (const auto& e : view.pipeline().shown()) {
            FrameView f(e.bytes());
            if (!f.isFrame() || f.recordType() != 7051) continue;
            const auto length = readLEOr0<std::uint16_t>(e.bytes(), 74);
            out.emplace_back(reinterpret_cast<const char*>(e.bytes().data()) + 78, length - 1u);
        }
        return out;
    }

    MemoryPort port;
    MemorySettingsStore settings;
    CMyTarvikView view{port, settings};
};

} // namespace

TEST_F(Connection, ConnectsListsDevicesSubscribesAndListsLiveRows) {
    SimProcess sim({"--devices", "2", "--ping-rate", "20", "--log"});
    port.setText(kAddress, "LocalHost");
    view.OnAddressKillFocus();
    EXPECT_EQ(port.text(kAddress), "127.0.0.1");
    port.setText(kPort, sim.port());
    port.windowTitle = "Tarvik - Reading x.vxr";
    // Without a connection the buttons that act on one are disabled.
    for (int control : {kPause, kWriteOutputFile, kStopVolatileConnections}) EXPECT_TRUE(port.disabled.count(control));
    view.OnStartCommunicating();
    ASSERT_TRUE(view.connection().connected()) << (port.messages.empty() ? "" : port.messages[0]);
    EXPECT_TRUE(port.messages.empty());

    const auto& devices = view.connection().devices();
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[0].name, "Sim sonar 1");
    EXPECT_EQ(devices[1].enumerator, 1u);
    EXPECT_EQ(devices[1].idh, 1u);
    EXPECT_EQ(devices[2].name, "General device");
    EXPECT_EQ(devices[3].name, "Dummy device");

    // The form.
    EXPECT_EQ(port.items(kDevicesFound), (std::vector<std::string>{"Sim sonar 1", "Sim sonar 2"}));
    EXPECT_EQ(port.items(kSonarsForCommand), (std::vector<std::string>{"Sim sonar 1", "Sim sonar 2", "7000", "0"}));
    EXPECT_TRUE(port.itemChecked(kSonarsForCommand, 1));
    EXPECT_FALSE(port.itemChecked(kSonarsForCommand, 2));
    EXPECT_TRUE(port.disabled.count(kHeadBoth));  // the first device has one head
    EXPECT_TRUE(port.hidden.count(kStartCommunicating) && port.hidden.count(kDisableInitialSubscription));
    EXPECT_FALSE(port.hidden.count(kRequestOneButton));
    EXPECT_TRUE(port.disabled.count(kAddress) && port.disabled.count(kPort));
    for (int control : {kPause, kWriteOutputFile, kStopVolatileConnections}) EXPECT_FALSE(port.disabled.count(control));
    EXPECT_EQ(port.items(kAddress), std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(port.windowTitle, "Tarvik");
    EXPECT_EQ(port.runningTimers[timers::kArrival], 153u);
    EXPECT_EQ(readString(settings, "IP address from last execution"), "127.0.0.1");
    EXPECT_EQ(readString(settings, "UDP port from last execution"), sim.port());

    // Live rows under a filter: only the subscribed ping types the filter names.
    port.setText(kRecordFilter, "7027");
    ASSERT_TRUE(tickUntil([&] { return listedTypes().size() >= 4; }));
    for (auto t : listedTypes()) EXPECT_EQ(t, 7027u);
    // The selected live row reports with its record number.
    view.OnRowSelectionChanged(0);
    ASSERT_FALSE(port.reportLines.empty());
    bool numbered = false;
    for (const auto& l : port.reportLines)
        numbered = numbered || l.text.find("Record # " + std::to_string(view.rowRecordNumber(0))) != std::string::npos;
    EXPECT_TRUE(numbered);
    EXPECT_GT(view.rowRecordNumber(0), 0u);

    const std::string log = sim.log();
    EXPECT_EQ(countOccurrences(log, "record 7022"), 1u);
    EXPECT_EQ(countOccurrences(log, "record 7001"), 1u);
    EXPECT_EQ(countOccurrences(log, "record 7004"), 2u);
    EXPECT_EQ(countOccurrences(log, "record 7503"), 2u);
    EXPECT_EQ(countOccurrences(log, "\tcommand 1051"), 2u);
    EXPECT_NE(log.find("received 7500\t112 bytes\tdevice 7125:1\tcommand 1051"), std::string::npos);

    // One record type to the ticked devices only.
    port.setText(kSonarsForCommand, "Sim sonar 2");
    port.setItemChecked(kSonarsForCommand, 0, false);
    port.setText(kRequestOneNumber, "7022");
    view.OnSendRecordRequest();
    ASSERT_TRUE(tickUntil([&] { return countOccurrences(sim.log(), "record 7022") == 2; }));
    EXPECT_NE(sim.log().find("device 7125:1\tcommand 1050\tticket 1\trecord 7022"), std::string::npos);

    // Every request type to every device of the list, the fixed entries included.
    view.OnSendRequestRecords();
    ASSERT_TRUE(tickUntil([&] { return countOccurrences(sim.log(), "\tcommand 1050") >= 4 + 1 + 54 * 4; }));
    EXPECT_NE(sim.log().find("device 0:0\tcommand 1050\tticket 1\trecord 7613"), std::string::npos);

    // Stop, and start again on the same socket.
    const auto handle = view.connection().receiver().socketHandle;
    view.OnStopVolatileConnections();
    EXPECT_FALSE(view.connection().connected());
    EXPECT_TRUE(view.connection().devices().empty());
    EXPECT_TRUE(port.items(kDevicesFound).empty());
    EXPECT_FALSE(port.hidden.count(kStartCommunicating));
    EXPECT_TRUE(port.hidden.count(kRequestOneButton));
    for (int control : {kPause, kWriteOutputFile, kStopVolatileConnections}) EXPECT_TRUE(port.disabled.count(control));
    ASSERT_TRUE(tickUntil([&] { return countOccurrences(sim.log(), "\tcommand 1052") == 4; }));
    view.OnStartCommunicating();
    EXPECT_TRUE(view.connection().connected());
    EXPECT_EQ(view.connection().receiver().socketHandle, handle);
    EXPECT_EQ(countOccurrences(sim.log(), "connection accepted"), 1u);

    view.OnViewClosing();
    EXPECT_FALSE(view.connection().receiver().running());
    EXPECT_EQ(port.runningTimers.count(timers::kArrival), 0u);
}

TEST_F(Connection, DisabledSubscriptionStillRequestsGeometryAndSettings) {
    SimProcess sim({"--devices", "2", "--log"});
    port.setChecked(kDisableInitialSubscription, true);
    connectTo(sim.port());
    ASSERT_TRUE(view.connection().connected());
    ASSERT_TRUE(tickUntil([&] { return countOccurrences(sim.log(), "record 7503") == 2; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(countOccurrences(sim.log(), "\tcommand 1051"), 0u);
    EXPECT_EQ(countOccurrences(sim.log(), "record 7004"), 2u);
}

TEST_F(Connection, DroppedPingsArriveAsTheirLine) {
    SimProcess sim({"--ping-rate", "30", "--skip-pings", "3"});
    port.setChecked(kDisableInitialSubscription, true);
    connectTo(sim.port());
    ASSERT_TRUE(view.connection().connected());
    const std::uint32_t types[] = {7006};
    const auto& device = view.connection().devices().front();
    EXPECT_TRUE(view.connection().sendRecord(
        view.connection().requests().volatileDataFeed(device.deviceId, device.enumerator, types)));
    auto dropLine = [&] {
        for (std::size_t r = 0; r < view.recordRowCount(); ++r)
            if (view.rowText(r, 1).starts_with("! ! ! 7006 DROPPED PING AFTER # ")) return true;
        return false;
    };
    ASSERT_TRUE(tickUntil(dropLine));
    EXPECT_FALSE(port.beeps.empty());
    EXPECT_EQ(port.beeps.back(), (MemoryPort::Beep{600, 50}));
}

TEST_F(Connection, PauseAndContinueWhileLive) {
    SimProcess sim({"--ping-rate", "30"});
    std::int64_t now = 5000;
    view.pipeline().clock = [&] { return now; };
    connectTo(sim.port());
    ASSERT_TRUE(tickUntil([&] { return listed(7027); }));
    view.OnPauseContinue();
    const std::size_t before = view.pipeline().history().size();
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(60ms);
        tick();
    }
    EXPECT_EQ(view.pipeline().history().size(), before);
    now += 3 * 3600;
    view.OnPauseContinue();
    EXPECT_EQ(view.rowText(view.recordRowCount() - 1, 1), "PAUSE 3 hrs.");
    ASSERT_TRUE(tickUntil([&] { return view.pipeline().history().size() > before + 2; }));
}

TEST_F(Connection, NoDeviceListAfterSixSecondsOfRisingBeeps) {
    SilentServer server;
    std::vector<std::chrono::milliseconds> waits;
    view.connection().sleep = [&](std::chrono::milliseconds ms) { waits.push_back(ms); };
    connectTo(server.port);
    EXPECT_TRUE(view.connection().connected());
    EXPECT_EQ(port.beeps, (std::vector<MemoryPort::Beep>{{200, 50}, {250, 50}, {300, 50}, {350, 50}}));
    EXPECT_EQ(waits.size(), 1u + 61u);  // 10 ms after attaching, 61 polls of 100 ms
    EXPECT_EQ(view.connection().devices().size(), 2u);  // the fixed entries only
    tick();
    EXPECT_EQ(toolMessages(), std::vector<std::string>{
                                  "Tarvik message = Tarvik Did Not Receive A Device List, Perhaps Failed To Contact VxCenter"});
    view.OnViewClosing();
}

TEST_F(Connection, FailedConnectionsAndTheRecentList) {
    std::string closedPort;
    {
        SimProcess gone({});
        closedPort = gone.port();
    }
    // Not in the recent list: the dialog has no check box.
    connectTo(closedPort);
    EXPECT_FALSE(view.connection().connected());
    ASSERT_EQ(port.connectFailures.size(), 1u);
    EXPECT_EQ(port.connectFailures[0].message, "Connection refused");
    EXPECT_FALSE(port.connectFailures[0].address);
    EXPECT_EQ(port.focus, kAddress);

    // In the list, the user ticks the box: the entry goes.
    port.setItems(kAddress, {"10.0.0.1", "127.0.0.1", "10.0.0.2"});
    port.connectFailedAnswers = {true};
    connectTo(closedPort);
    ASSERT_EQ(port.connectFailures.size(), 2u);
    EXPECT_EQ(port.connectFailures[1].address, "127.0.0.1");
    EXPECT_EQ(port.items(kAddress), (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(port.text(kAddress), "10.0.0.1");

    // Bad addresses and ports connect nowhere.
    port.messages.clear();
    for (const char* address : {"no.such.host.invalid", "999.1.1.1", ""}) {
        connectTo("7000", address);
        EXPECT_FALSE(view.connection().connected());
    }
    EXPECT_EQ(port.messages, (std::vector<std::string>{"Invalid IP address", "Input A Valid IP Address",
                                                        "Invalid IP address", "Input A Valid IP Address",
                                                        "Invalid IP address", "Input A Valid IP Address"}));
    port.messages.clear();
    for (const char* p : {"70000", "abc", "", "0", "4466abc"}) connectTo(p);
    EXPECT_EQ(port.messages, std::vector<std::string>(5, "Input A Valid Port Number (1 To 65535)"));
    EXPECT_EQ(port.connectFailures.size(), 2u);

    // A successful connection puts its address on top of ten, and the list
    // keeps the ten newest; an entry differing only in case goes.
    SimProcess sim({});
    std::vector<std::string> recent;
    for (int i = 1; i <= 9; ++i) recent.push_back("10.0.0." + std::to_string(i));
    recent.insert(recent.begin() + 3, "127.0.0.1");
    port.setItems(kAddress, recent);
    connectTo(sim.port());
    ASSERT_TRUE(view.connection().connected());
    auto items = port.items(kAddress);
    ASSERT_EQ(items.size(), 10u);
    EXPECT_EQ(items[0], "127.0.0.1");
    EXPECT_EQ(items[1], "10.0.0.1");
    EXPECT_EQ(items[9], "10.0.0.9");
    // Kept in the settings: a new view finds the list and the last address and port.
    MemoryPort again;
    CMyTarvikView second(again, settings);
    EXPECT_EQ(again.items(kAddress), items);
    EXPECT_EQ(again.text(kAddress), "127.0.0.1");
    EXPECT_EQ(again.text(kPort), sim.port());
    view.OnViewClosing();
}

TEST_F(Connection, LossOfTheConnectionEndsTheSubscriptionsVisibly) {
    SimProcess sim({"--close-after", "6", "--ping-rate", "20"});
    connectTo(sim.port());
    ASSERT_TRUE(view.connection().connected());
    ASSERT_TRUE(tickUntil([&] { return !view.connection().connected(); }));
    EXPECT_TRUE(port.items(kDevicesFound).empty());
    EXPECT_FALSE(port.hidden.count(kStartCommunicating));
    tick();
    EXPECT_EQ(toolMessages().back(), "Tarvik message = The Connection To The Server Ended");
    // A new start makes a new connection.
    SimProcess next({});
    connectTo(next.port());
    EXPECT_TRUE(view.connection().connected());
    view.OnViewClosing();
    tick();  // the end that was asked for is not reported
    EXPECT_TRUE(toolMessages().empty());
}

TEST_F(Connection, Udp) {
    SimProcess sim({"--udp", "--devices", "2", "--ping-rate", "20"});
    view.connection().udp = true;
    connectTo(sim.port());
    ASSERT_TRUE(view.connection().connected());
    EXPECT_EQ(view.connection().devices().size(), 4u);
    ASSERT_TRUE(tickUntil([&] { return listed(7027); }));
    view.OnViewClosing();
}

TEST(TransportWord, OnlyTheWordItselfSelectsUdp) {
    for (const char* word : {"UDP", "udp", "Udp"}) EXPECT_TRUE(isTransportWordUdp(word)) << word;
    for (const char* word : {"/data/udp_run.vxr", "--udp", "UDPX", ""}) EXPECT_FALSE(isTransportWordUdp(word)) << word;
}

// With one descriptor left the receiver's socket opens but the sender's copy
// of it cannot: the connection is given up with a message, never half made.
TEST_F(Connection, ASenderThatCannotBeCreatedEndsTheStartWithAMessage) {
    // The sanitizer runtimes need descriptors of their own (their symbolizer,
    // their checks' reports): starving the process of them tests the runtime.
    if (tarvik::testing::kSanitized) GTEST_SKIP() << "needs a build without sanitizers";
    SilentServer server;
    ::testing::FLAGS_gtest_death_test_style = "fast";
    auto startWithOneDescriptorLeft = [&] {
        const int lowest = ::dup(0);
        ::close(lowest);
        const rlimit limit{static_cast<rlim_t>(lowest + 1), static_cast<rlim_t>(lowest + 1)};
        ::setrlimit(RLIMIT_NOFILE, &limit);
        connectTo(server.port);
        const bool refused = !view.connection().connected() && !view.communicating() && port.messages.size() == 1 &&
                             port.messages[0] == "Could not set up sending on the connection to 127.0.0.1";
        std::_Exit(refused ? 0 : 1);
    };
    EXPECT_EXIT(startWithOneDescriptorLeft(), ::testing::ExitedWithCode(0), "");
}

// Opening a file while connected, from every entry: the menu's dialog comes
// after it has stopped the connection; recent files, a dropped file and the
// command line reach openRecordFile, which asks first and stops it when told
// to. A live connection and its output file never go on unseen behind a file.
TEST_F(Connection, OpeningAFileWhileConnectedAsksThenStopsTheConnectionFromEveryEntry) {
    SimProcess sim({"--devices", "1", "--ping-rate", "20"});
    tarvik::testing::TempDir dir;
    const std::string file = dir.write("shown.vxr", synth::sampleFrame(7000, 1, 1, 1));
    const std::string other = dir.write("other.vxr", synth::sampleFrame(7004, 1, 1, 1));
    RegistryString folder(setting_names::kLastOutputDirectory, settings);
    folder = dir.path().string();
    folder.Write();
    connectTo(sim.port());
    ASSERT_TRUE(view.connection().connected());
    if (!view.outputWriter().writing()) view.OnWriteOutputFile();
    ASSERT_TRUE(view.outputWriter().writing());

    // Declined: nothing changes.
    port.offerAnswers = {false};
    EXPECT_FALSE(view.openRecordFile(file));
    EXPECT_EQ(port.offers, std::vector<std::string>{"Stop And Read"});
    ASSERT_FALSE(port.messages.empty());
    EXPECT_EQ(port.messages.back(), "Reading shown.vxr Stops Live Communication And Closes The Vx Output File");
    EXPECT_TRUE(view.connection().connected());
    EXPECT_TRUE(view.outputWriter().writing());
    EXPECT_TRUE(view.source().live());

    // Taken: the connection and the output file end before the file is listed.
    port.offerAnswers = {true};
    EXPECT_TRUE(view.openRecordFile(file));
    EXPECT_FALSE(view.connection().connected());
    EXPECT_FALSE(view.outputWriter().writing());
    EXPECT_EQ(view.source().path(), file);
    EXPECT_EQ(view.recordRowCount(), 1u);

    // The menu asks with its dialog, after stopping; no second question.
    connectTo(sim.port());
    ASSERT_TRUE(view.connection().connected());
    port.fileAnswers.push_back(OpenFileResult::chosen(other));
    view.OnReadVxFile();
    EXPECT_FALSE(view.connection().connected());
    EXPECT_EQ(port.offers.size(), 2u);
    EXPECT_EQ(view.source().path(), other);
    view.OnViewClosing();
}
