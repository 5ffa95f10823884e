// The live connection: from "Start Communicating" to records flowing, and back.

#include "app/connection.h"

#include "app/controls.h"
#include "core/frame.h"
#include "core/text.h"
#include "net/address.h"
#include "net/packets.h"

#include <cctype>
#include <cstdlib>
#include <thread>

namespace tarvik {

using namespace controls;
using std::chrono::milliseconds;

namespace {

constexpr std::size_t kRecentAddresses = 10;
constexpr std::string_view kRecentAddressKey = "Recent IP addresses\\Address %zu";
constexpr int kSonarSelectorLabel = 1061;
constexpr int kHeadSelect = 1084;
constexpr int kOneRecordControls[] = {kRequestOneLabel, kRequestOneButton, kRequestOneNumber};

// Every record type "Send Vx Request Records" asks each device for.
constexpr std::uint32_t kRequestAllTypes[] = {
    7000, 7001, 7002, 7003, 7004, 7005, 7006, 7007, 7008, 7010, 7011, 7012, 7016, 7017, 7018, 7021, 7022, 7023,
    7024, 7026, 7027, 7028, 7030, 7036, 7037, 7038, 7039, 7040, 7048, 7050, 7051, 7052, 7053, 7055, 7057, 7058,
    7060, 7068, 7200, 7300, 7400, 7501, 7502, 7503, 7504, 7505, 7511, 7515, 7600, 7601, 7610, 7611, 7612, 7613};

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

bool isTransportWordUdp(std::string_view argument) { return equalNoCase(argument, "udp"); }

CConnection::CConnection(ViewPort& port, SettingsStore& settings, CArrivalPipeline& pipeline)
    : port_(port), settings_(settings), pipeline_(pipeline) {
    sleep = [](milliseconds ms) { std::this_thread::sleep_for(ms); };
    receiver_.owner = net::ownerWindowOf(port_, [this] { OnConnectionEnded(); });
    sender_.owner = receiver_.owner;
    pipeline_.takePending = [this] { return receiver_.TakePendingRecords(); };
    pipeline_.releaseTaken = [this](std::size_t bytes) { receiver_.ReleaseTaken(bytes); };
}

// The receiver's thread ends before anything it might reach goes; an end
// asked for this way posts nothing.
CConnection::~CConnection() { receiver_.Stop(); }

void CConnection::loadRememberedAddresses() {
    std::vector<std::string> recent;
    for (std::size_t i = 1; i <= kRecentAddresses; ++i) {
        auto address = readString(settings_, strprintf(std::string(kRecentAddressKey).c_str(), i));
        if (!address || address->empty()) break;
        recent.push_back(*address);
    }
    port_.setItems(kAddress, recent);
    RegistryString lastAddress(setting_names::kAddressFromLastExecution, settings_);
    port_.setText(kAddress, lastAddress.Read(recent.empty() ? "" : recent.front()));
    RegistryString lastPort(setting_names::kPortFromLastExecution, settings_);
    port_.setText(kPort, lastPort.Read("7000"));
    port_.setText(kTransportLabel, udp ? "UDP" : "TCP");
}

void CConnection::storeRecentAddresses(const std::vector<std::string>& recent) {
    for (std::size_t i = 1; i <= kRecentAddresses; ++i)
        writeString(settings_, strprintf(std::string(kRecentAddressKey).c_str(), i),
                    i <= recent.size() ? recent[i - 1] : std::string());
}

std::string CConnection::OnAddressKillFocus() {
    const std::string address = net::normaliseAddress(port_.text(kAddress));
    port_.setText(kAddress, address);
    if (!net::isIPv4Address(address)) port_.messageBox("Invalid IP address");
    return address;
}

bool CConnection::OnStartCommunicating() {
    const std::string address = OnAddressKillFocus();
    const std::string portText = port_.text(kPort);
    if (connected_) {
        afterStart();
        return true;
    }
    if (!net::isIPv4Address(address)) {
        port_.messageBox("Input A Valid IP Address");
        return false;
    }
    if (!net::parsePort(portText)) {
        port_.messageBox("Input A Valid Port Number (1 To 65535)");
        return false;
    }

    communicationStarted();
    pipeline_.clear();
    pipeline_.resume();
    port_.setWaitCursor(true);

    int error = 0;
    const net::SocketHandle handle =
        udp ? receiver_.StartUdp(address, portText, error) : receiver_.StartTcp(address, portText, error);
    if (handle == net::kInvalidSocket) {
        port_.setWaitCursor(false);
        connectFailed(error, address);
        afterStart();
        return false;
    }
    if (!sender_.Create(handle, address, portText)) {
        // Without a sender nothing can be asked for: the connection is given up, and said so.
        receiver_.Stop();
        receiver_.Disconnect();
        port_.setWaitCursor(false);
        port_.messageBox(strprintf("Could not set up sending on the connection to %s", address.c_str()));
        afterStart();
        return false;
    }
    sleep(milliseconds(10));

    sendFirstPacket(prepare_.singleRecordRequest(net::kGeneralDeviceId, 0, 7022));
    sendFirstPacket(prepare_.singleRecordRequest(net::kGeneralDeviceId, 0, 7001));

    const std::vector<net::CSonarDevices> found = waitForDeviceList();
    if (found.empty()) {
        pipeline_.clear();
        queueTextRecord(kNoDeviceListText);
    }
    const bool subscribe = !port_.checked(kDisableInitialSubscription);
    for (const net::CSonarDevices& device : found) {
        sendFirstPacket(prepare_.singleRecordRequest(device.deviceId, device.enumerator, 7004));
        sendFirstPacket(prepare_.singleRecordRequest(device.deviceId, device.enumerator, 7503));
        const auto packets = net::Packetize(prepare_.volatileDataFeed(device.deviceId, device.enumerator,
                                                                      kInitialSubscription));
        sleep(milliseconds(20));
        if (subscribe && !packets.empty()) sender_.Send(packets.front());
    }

    devices_ = found;
    devices_.push_back(net::generalDevice());
    devices_.push_back(net::dummyDevice());
    fillForm(found);
    rememberAddress(address);
    RegistryString lastAddress(setting_names::kAddressFromLastExecution, settings_);
    lastAddress = address;
    lastAddress.Write();
    RegistryString lastPort(setting_names::kPortFromLastExecution, settings_);
    lastPort = portText;
    lastPort.Write();

    port_.startTimer(timers::kArrival, pipeline_.timerPeriod);
    connected_ = true;
    pipeline_.communicating = true;

    port_.setVisible(kStartCommunicating, false);
    port_.setVisible(kDisableInitialSubscription, false);
    for (int control : kOneRecordControls) port_.setVisible(control, true);
    port_.setEnabled(kAddress, false);
    port_.setEnabled(kPort, false);
    port_.setWaitCursor(false);
    devicesChanged();
    afterStart();
    return true;
}

void CConnection::afterStart() {
    resetImagery();
    std::string title = port_.title();
    if (title.find("iting") == std::string::npos) port_.setTitle(title.substr(0, title.find_first_of(" -\r\n")));
}

void CConnection::connectFailed(int error, const std::string& address) {
    ConnectFailedRequest request;
    request.message = net::socketErrorText(error);
    std::vector<std::string> recent = port_.items(kAddress);
    std::optional<std::size_t> found;
    for (std::size_t i = recent.size(); i-- > 0;)
        if (recent[i] == address) {
            found = i;
            break;
        }
    if (found) request.address = address;
    const bool remove = port_.connectFailed(request);
    port_.setFocus(kAddress);
    if (found && remove) {
        recent.erase(recent.begin() + static_cast<std::ptrdiff_t>(*found));
        port_.setItems(kAddress, recent);
        port_.setText(kAddress, recent.empty() ? std::string() : recent.front());
        storeRecentAddresses(recent);
    }
}

std::vector<net::CSonarDevices> CConnection::waitForDeviceList() {
    unsigned pitch = 200;
    for (unsigned elapsed = 0; elapsed <= 6000;) {
        sleep(milliseconds(100));
        elapsed += 100;
        if (elapsed % 1000 == 0 && elapsed > 2500) {
            port_.beep(pitch, 50);
            pitch += 50;
        }
        std::vector<net::CSonarDevices> found = receiver_.GetDeviceList();
        if (!found.empty()) return found;
    }
    return {};
}

void CConnection::fillForm(const std::vector<net::CSonarDevices>& found) {
    port_.setEnabled(kSonarsForCommand, true);
    port_.setVisible(kSonarsForCommand, true);
    port_.setEnabled(kSonarSelectorLabel, true);
    port_.setVisible(kSonarSelectorLabel, true);
    std::vector<std::string> names;
    for (const auto& device : found) names.push_back(device.name);
    port_.setItems(kDevicesFound, names);
    std::vector<std::string> selector = names;
    selector.push_back("7000");
    selector.push_back("0");
    port_.setItems(kSonarsForCommand, selector);
    for (std::size_t i = 0; i < found.size(); ++i) port_.setItemChecked(kSonarsForCommand, i, true);
    if (!found.empty()) {
        const bool dualHead = found.front().idh == 1;
        for (int control : {kHeadSelect, kHeadPort, kHeadStarboard, kHeadBoth}) port_.setEnabled(control, dualHead);
        if (dualHead) port_.setChecked(kHeadBoth, true);
    }
}

void CConnection::rememberAddress(const std::string& address) {
    std::vector<std::string> recent = port_.items(kAddress);
    recent.insert(recent.begin(), address);
    for (std::size_t i = 1; i < recent.size(); ++i)
        if (equalNoCase(recent[i], address)) {
            recent.erase(recent.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    if (recent.size() > kRecentAddresses) recent.resize(kRecentAddresses);
    port_.setItems(kAddress, recent);
    port_.setText(kAddress, address);
    storeRecentAddresses(recent);
}

bool CConnection::sendFirstPacket(const Bytes& frame) {
    const auto packets = net::Packetize(frame);
    return !packets.empty() && sender_.Send(packets.front());  // a failed send is ignored
}

bool CConnection::sendRecord(ByteSpan frame, bool firstPacketOnly) {
    if (!sender_.attached()) return false;
    bool ok = true;
    for (const Bytes& packet : net::Packetize(frame)) {
        ok = sender_.Send(packet) && ok;
        if (firstPacketOnly) break;
    }
    if (!recordSent.empty()) recordSent(Bytes(frame.begin(), frame.end()));
    return ok;
}

void CConnection::queueTextRecord(std::string_view text) {
    if (text.substr(0, 4) == "TEXT") text.remove_prefix(4);
    const std::string message = "Tarvik message = " + std::string(text);
    receiver_.queueRecord(prepare_.eventMessage(message, net::CRequestRecordPreparation::localTimeNow()));
}

void CConnection::OnSendRequestRecords() {
    for (const auto& device : devices_)
        for (std::uint32_t type : kRequestAllTypes)
            for (const Bytes& packet :
                 net::Packetize(prepare_.singleRecordRequest(device.deviceId, device.enumerator, type)))
                sender_.Send(packet);
}

void CConnection::OnSendRecordRequest() {
    const auto type = static_cast<std::uint32_t>(std::atol(port_.text(kRequestOneNumber).c_str()));
    const bool everyDevice = port_.text(kSonarsForCommand).empty();
    for (std::size_t i = 0; i < devices_.size(); ++i)
        if (everyDevice || port_.itemChecked(kSonarsForCommand, i))
            sendFirstPacket(prepare_.singleRecordRequest(devices_[i].deviceId, devices_[i].enumerator, type));
}

void CConnection::OnTestRecord() {
    for (const auto& device : devices_) {
        // A small record of type 1010 with fixed values; only its first 24 bytes go out.
        Bytes frame = prepare_.recordFrameTemplate();
        ByteWriter out(std::move(frame));
        out.patch(frame_offsets::recordType, std::uint32_t{1010});
        out.patch(frame_offsets::deviceId, device.deviceId);
        out.patch(frame_offsets::systemEnumerator, device.enumerator);
        for (std::uint32_t v = 1; v <= 4; ++v) out.u32(v);
        out.u32(0);
        out.patch(frame_offsets::size, static_cast<std::uint32_t>(out.size()));
        const auto packets = net::Packetize(out.data());
        if (!packets.empty()) sender_.Send(ByteSpan(packets.front()).first(std::min<std::size_t>(24, packets.front().size())));
    }
}

void CConnection::endSubscriptions() {
    for (const auto& device : devices_) {
        const Bytes frame = prepare_.endAllSubscriptions(device.deviceId, device.enumerator);
        if (sendFirstPacket(frame)) subscriptionEndSent(frame);
    }
}

void CConnection::OnStopVolatileConnections() {
    endSubscriptions();  // after a lost connection these sends fail, silently
    pipeline_.resume();
    communicationEnded();

    port_.setVisible(kStartCommunicating, true);
    port_.setVisible(kDisableInitialSubscription, true);
    for (int control : kOneRecordControls) port_.setVisible(control, false);
    port_.setEnabled(kAddress, true);
    port_.setEnabled(kPort, true);
    connected_ = false;
    pipeline_.communicating = false;
    port_.setItems(kDevicesFound, {});
    devices_.clear();
    port_.setItems(kSonarsForCommand, {});
    port_.setEnabled(kSonarsForCommand, true);
    port_.setVisible(kSonarsForCommand, true);
    devicesChanged();
}

void CConnection::OnConnectionEnded() {
    // A notice from a connection that has since been replaced by a running one is old news.
    if (receiver_.running()) return;
    queueTextRecord(kConnectionEndedText);
    connectionLost();
    OnStopVolatileConnections();
}

void CConnection::Shutdown() {
    port_.stopTimer(timers::kArrival);
    endSubscriptions();
    sleep(milliseconds(100));
    receiver_.Stop();
    sender_.Close();
    receiver_.Disconnect();
    connected_ = false;
    pipeline_.communicating = false;
}

} // namespace tarvik
