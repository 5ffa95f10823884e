#pragma once
// The live connection to the sonar server: the address check, connecting,
// reading the device list from the configuration record, subscribing the
// devices, record requests, ending the subscriptions and the shutdown. Owns
// the receiver and the sender; the view forwards its handlers here.

#include "pipeline/arrival_pipeline.h"
#include "app/settings.h"
#include "app/view_port.h"
#include "core/bytes.h"
#include "core/event.h"
#include "net/request_records.h"
#include "net/socket_receiver.h"
#include "net/socket_sender.h"
#include "net/sonar_devices.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

inline constexpr std::string_view kNoDeviceListText =
    "Tarvik Did Not Receive A Device List, Perhaps Failed To Contact VxCenter";
inline constexpr std::string_view kConnectionEndedText = "The Connection To The Server Ended";
// The record types every device is subscribed to after connecting.
inline constexpr std::uint32_t kInitialSubscription[] = {7000, 7002, 7004, 7027};

// The command line's transport word: an argument that is "UDP" in any case
// selects UDP (a path that merely contains the letters does not).
bool isTransportWordUdp(std::string_view argument);

class CConnection {
public:
    CConnection(ViewPort& port, SettingsStore& settings, CArrivalPipeline& pipeline);
    ~CConnection();
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    // The transport, chosen once at start (the command line's UDP word).
    bool udp = false;
    // Fills the IP field, its recent list and the Port field from the settings,
    // and the transport label.
    void loadRememberedAddresses();

    // --- Handlers of the form ---------------------------------------------------
    // Focus leaves the IP field: lower case, localhost -> 127.0.0.1, "Invalid IP address".
    // Returns the address text used from then on.
    std::string OnAddressKillFocus();
    // "Start Communicating". True when the view is connected afterwards.
    bool OnStartCommunicating();
    // "Stop Volatile Connections" (also when the receiver reports the end of the connection).
    void OnStopVolatileConnections();
    // "Send Vx Request Records": every request type to every device.
    void OnSendRequestRecords();
    // "Send The Record Request": the type in field 1010 to the ticked devices.
    void OnSendRecordRequest();
    // Button 1048: a test record (type 1010) to each device, first 24 bytes only.
    void OnTestRecord();
    // The window closes: end subscriptions, stop and close the sockets.
    void Shutdown();
    // The receiver thread's connection-ended notice, on the user-interface thread.
    void OnConnectionEnded();

    // --- For the other parts of the tool ---------------------------------------
    bool connected() const { return connected_; }
    // The device list: devices found in order, then "General device" and "Dummy device".
    const std::vector<net::CSonarDevices>& devices() const { return devices_; }
    // Cuts a built frame into packets and sends them (all, or only the first).
    // False when nothing is connected or a send failed.
    bool sendRecord(ByteSpan frame, bool firstPacketOnly = false);
    // Puts one of the tool's own text records ("Tarvik message = ...") into the
    // pending queue, so that it is listed like a received record.
    void queueTextRecord(std::string_view text);
    // Sent frames go here too (the output writer records sent commands).
    Event<const Bytes&> recordSent;
    // Each record that ends a device's subscriptions (on stop and on shutdown)
    // once it went out: a console prints them with the commands it sends.
    Event<const Bytes&> subscriptionEndSent;
    // Called when communication starts (the output and text files react) and when
    // the subscriptions end (writing the output file stops).
    Event<> communicationStarted;
    Event<> communicationEnded;
    // Reset of the echogram after "Start Communicating".
    Event<> resetImagery;
    // The device list was filled (after "Start Communicating") or emptied (after the stop).
    Event<> devicesChanged;
    // The connection ended without being asked to (after its text line was queued).
    Event<> connectionLost;

    net::CSocketReceiver& receiver() { return receiver_; }
    net::CSocketSender& sender() { return sender_; }
    const net::CRequestRecordPreparation& requests() const { return prepare_; }

    // Waits (10 ms after attaching, 100 ms polls for the device list, 20 ms per
    // subscription); replaceable so tests need not wait.
    std::function<void(std::chrono::milliseconds)> sleep;

private:
    bool sendFirstPacket(const Bytes& frame);
    std::vector<net::CSonarDevices> waitForDeviceList();
    void fillForm(const std::vector<net::CSonarDevices>& found);
    void rememberAddress(const std::string& address);
    void storeRecentAddresses(const std::vector<std::string>& recent);
    void connectFailed(int error, const std::string& address);
    void endSubscriptions();
    // What follows every "Start Communicating": the echogram reset and the title.
    void afterStart();

    ViewPort& port_;
    SettingsStore& settings_;
    CArrivalPipeline& pipeline_;
    net::CSocketReceiver receiver_;
    net::CSocketSender sender_;
    net::CRequestRecordPreparation prepare_;
    std::vector<net::CSonarDevices> devices_;
    bool connected_ = false;
};

} // namespace tarvik
