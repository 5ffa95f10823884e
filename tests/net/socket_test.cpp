// The socket classes against a listener of the test's own on 127.0.0.1, and
// the request records they send.

#include "core/frame.h"
#include "net/base_socket.h"
#include "net/packets.h"
#include "net/request_records.h"
#include "net/socket_receiver.h"
#include "net/socket_sender.h"

#include "tests/support/loopback_listener.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>

#include <poll.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace tarvik;
using namespace tarvik::net;
using tarvik::testing::TempDir;
using Listener = tarvik::testing::LoopbackListener;

namespace {

// Collects what the receiver posts to the user-interface thread.
struct Owner {
    std::mutex lock;
    std::vector<std::function<void()>> posted;
    std::vector<std::string> messages;
    std::atomic<int> ended{0};
    OwnerWindow window() {
        OwnerWindow w;
        w.messageBox = [this](std::string_view t) { messages.emplace_back(t); };
        w.postToUserInterface = [this](std::function<void()> task) {
            std::lock_guard g(lock);
            posted.push_back(std::move(task));
        };
        w.connectionEnded = [this] { ++ended; };
        return w;
    }
    void run() {
        std::lock_guard g(lock);
        for (auto& t : posted) t();
        posted.clear();
    }
};

} // namespace

TEST(RequestRecords, AreLaidOutFieldByField) {
    CRequestRecordPreparation prepare;
    VxTIME t;
    t.year = 2024;
    t.day = 60;
    const Bytes request = prepare.singleRecordRequest(7000, 0, 7022, t);
    ASSERT_EQ(request.size(), 96u);
    FrameView f(request);
    EXPECT_EQ(f.protocolVersion(), 5);
    EXPECT_EQ(f.offset(), 60);
    EXPECT_EQ(f.syncPattern(), kSyncPattern);
    EXPECT_EQ(f.size(), 96u);
    EXPECT_EQ(f.optionalDataId(), 19191u);
    EXPECT_EQ(f.time().year, 2024);
    EXPECT_EQ(f.time().day, 60);
    EXPECT_EQ(f.recordType(), 7500u);
    EXPECT_EQ(f.deviceId(), 7000u);
    EXPECT_EQ(f.reserved1(), 127);
    EXPECT_EQ(f.flags(), 0);
    EXPECT_EQ(f.reserved2(), 0xFFFF);
    EXPECT_EQ(f.reserved3(), 0xFFFFFFFFu);
    EXPECT_EQ(readLEOr0<std::uint32_t>(request, 64), 1050u);
    EXPECT_EQ(readLEOr0<std::uint32_t>(request, 68), 1u);
    for (std::size_t i = 72; i < 88; ++i) EXPECT_EQ(request[i], 1);
    EXPECT_EQ(readLEOr0<std::uint32_t>(request, 88), 7022u);
    EXPECT_EQ(f.checksumField(), 1u);

    const std::uint32_t types[] = {7000, 7002, 7004, 7027};
    const Bytes feed = prepare.volatileDataFeed(7125, 3, types);
    ASSERT_EQ(feed.size(), 96u + 16u);
    EXPECT_EQ(FrameView(feed).systemEnumerator(), 3);
    EXPECT_EQ(readLEOr0<std::uint32_t>(feed, 88), 4u);
    EXPECT_EQ(readLEOr0<std::uint32_t>(feed, 104), 7027u);
    EXPECT_EQ(FrameView(feed).checksumField(), 2u);
    EXPECT_EQ(FrameView(feed).time().year, 0);

    const Bytes end = prepare.endAllSubscriptions(7125, 0);
    ASSERT_EQ(end.size(), 92u);
    EXPECT_EQ(readLEOr0<std::uint32_t>(end, 64), 1052u);
    EXPECT_EQ(FrameView(end).checksumField(), 3u);

    const VxTIME now = CRequestRecordPreparation::localTimeNow();
    EXPECT_GE(now.year, 2024);
    EXPECT_GE(now.day, 1);
    EXPECT_LE(now.day, 366);
}

TEST(ReceiveBuffer, NegotiationStopsAtTheFirstGoodReadBack) {
    std::vector<int> asked;
    auto quiet = [](std::string_view) {};
    int final = negotiateReceiveBuffer([&](int v) { asked.push_back(v); }, [&] { return std::optional<int>(asked.back()); },
                                       quiet);
    EXPECT_EQ(final, 88'000'000);
    EXPECT_EQ(asked.size(), 1u);

    // A failing read-back backs off by 5% each time until 100,000 is reached.
    asked.clear();
    final = negotiateReceiveBuffer([&](int v) { asked.push_back(v); }, [] { return std::optional<int>(); }, quiet);
    EXPECT_LE(final, 100'000);
    EXPECT_GT(asked.size(), 100u);
    EXPECT_EQ(asked[1], 83'600'000);
}

TEST(SocketReceiver, StartsStopsAndReusesItsConnection) {
    Listener server;
    Owner owner;
    CSocketReceiver receiver;
    receiver.owner = owner.window();
    int error = -1;
    const SocketHandle first = receiver.StartTcp("127.0.0.1", server.port, error);
    ASSERT_NE(first, kInvalidSocket);
    EXPECT_EQ(error, 0);
    const int peer = server.accept();
    ASSERT_GE(peer, 0);
    EXPECT_EQ(receiver.StartTcp("127.0.0.1", server.port, error), first);  // same address and port: reused
    EXPECT_EQ(server.accept(200), -1);  // no second connection

    // A record arrives and is taken; the end of the connection is posted.
    for (const auto& p : Packetize(FrameBuilder(7000).build())) ASSERT_EQ(::send(peer, p.data(), p.size(), 0), (ssize_t)p.size());
    std::deque<Bytes> got;
    for (int i = 0; i < 100 && got.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        got = receiver.TakePendingRecords();
    }
    ASSERT_EQ(got.size(), 1u);
    ::close(peer);
    for (int i = 0; i < 100 && receiver.running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(receiver.running());
    owner.run();
    EXPECT_EQ(owner.ended, 1);

    // Started again after the end: a new socket; another port closes the old one.
    Listener other;
    ASSERT_NE(receiver.StartTcp("127.0.0.1", server.port, error), kInvalidSocket);
    const int second = server.accept();
    ASSERT_GE(second, 0);
    ASSERT_NE(receiver.StartTcp("127.0.0.1", other.port, error), kInvalidSocket);
    const int third = other.accept();
    ASSERT_GE(third, 0);
    char byte;
    pollfd p{second, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    EXPECT_EQ(::recv(second, &byte, 1, 0), 0);  // the old connection was closed
    ::close(second);

    // Stop wakes the thread out of its read; an end that was asked for is not posted.
    receiver.Stop();
    EXPECT_FALSE(receiver.running());
    owner.run();
    EXPECT_EQ(owner.ended, 1);
    receiver.Disconnect();
    EXPECT_EQ(receiver.socketHandle, kInvalidSocket);
    ::close(third);
}

TEST(SocketReceiver, ReportsAFailedConnection) {
    int port;
    {
        Listener gone;  // a port that was free a moment ago and has no listener now
        port = std::stoi(gone.port);
    }
    CSocketReceiver receiver;
    int error = 0;
    EXPECT_EQ(receiver.StartTcp("127.0.0.1", std::to_string(port), error), kInvalidSocket);
    EXPECT_EQ(error, ECONNREFUSED);
    EXPECT_EQ(receiver.portNumber, port);
    EXPECT_FALSE(receiver.running());
    // Ports that are not wholly digits in 1..65535 and addresses that are not
    // dotted IPv4 are refused before any socket is made.
    for (const char* bad : {"no digits", "70000", "", "0", "4466abc", "-1"}) {
        EXPECT_EQ(receiver.StartTcp("127.0.0.1", bad, error), kInvalidSocket) << bad;
        EXPECT_EQ(error, EINVAL) << bad;
    }
    for (const char* bad : {"no.such.host.invalid", "999.1.1.1", "", "localhost", "::1"}) {
        EXPECT_EQ(receiver.StartUdp(bad, "7000", error), kInvalidSocket) << bad;
        EXPECT_EQ(error, EINVAL) << bad;
    }
    EXPECT_EQ(receiver.socketErrorDescription(ECONNRESET), "An existing connection was forcibly closed by the host.");
    EXPECT_EQ(receiver.socketErrorDescription(ELOOP), "Unknown Socket Error in CBaseSocket::Create, setsockopt");
}

TEST(SocketSender, SendsPacketsOnTheBorrowedSocket) {
    Owner owner;
    CSocketSender sender;
    sender.owner = owner.window();
    sender.attachPause = sender.sendPause = std::chrono::milliseconds(0);
    EXPECT_FALSE(sender.Create(kInvalidSocket, "127.0.0.1", "7000"));
    EXPECT_EQ(owner.messages, std::vector<std::string>{"CSocketSender::Create Received A Bad Socket"});

    Listener server;
    CSocketReceiver receiver;
    int error = 0;
    SocketHandle handle = receiver.StartTcp("127.0.0.1", server.port, error);
    ASSERT_NE(handle, kInvalidSocket);
    const int peer = server.accept();
    ASSERT_TRUE(sender.Create(handle, "127.0.0.1", server.port));
    EXPECT_TRUE(sender.Send({}));
    const Bytes packet = Packetize(CRequestRecordPreparation().endAllSubscriptions(7000, 0))[0];
    EXPECT_TRUE(sender.Send(packet));
    Bytes got(packet.size());
    ASSERT_EQ(::recv(peer, got.data(), got.size(), MSG_WAITALL), (ssize_t)got.size());
    EXPECT_EQ(got, packet);
    sender.Close();
    EXPECT_EQ(sender.socketHandle, kInvalidSocket);
    EXPECT_FALSE(sender.Send(packet));
    ::close(peer);
}

TEST(SocketSender, NeverWritesIntoWhatTheSystemOpensAfterTheSocketWent) {
    Listener server;
    CSocketReceiver receiver;
    CSocketSender sender;
    sender.attachPause = sender.sendPause = std::chrono::milliseconds(0);
    int error = 0;
    const SocketHandle handle = receiver.StartTcp("127.0.0.1", server.port, error);
    ASSERT_NE(handle, kInvalidSocket);
    const int peer = server.accept();
    ASSERT_TRUE(sender.Create(handle, "127.0.0.1", server.port));
    receiver.Disconnect();  // the receiver's descriptor is closed; the system may hand its number out again

    TempDir dir;
    const std::string path = dir.file("other.txt");
    const int file = ::open(path.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    EXPECT_FALSE(sender.Send(Packetize(CRequestRecordPreparation().endAllSubscriptions(7000, 0))[0]));
    ::close(file);
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    ::close(peer);
}

TEST(SocketReceiver, EndsTheConnectionWhenTheStreamLosesItsFraming) {
    Listener server;
    Owner owner;
    CSocketReceiver receiver;
    receiver.owner = owner.window();
    int error = 0;
    ASSERT_NE(receiver.StartTcp("127.0.0.1", server.port, error), kInvalidSocket);
    const int peer = server.accept();
    ASSERT_GE(peer, 0);
    Bytes packet = Packetize(FrameBuilder(7000).build())[0];
    ByteWriter w(packet);
    w.patch<std::uint32_t>(netframe_offsets::packetSize, 20);  // cannot even hold its Network frame
    ASSERT_EQ(::send(peer, w.data().data(), w.size(), 0), (ssize_t)w.size());
    for (int i = 0; i < 100 && receiver.running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(receiver.running());
    char byte;
    pollfd p{peer, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    EXPECT_EQ(::recv(peer, &byte, 1, 0), 0);  // the server sees the connection end
    owner.run();
    EXPECT_EQ(owner.ended, 1);
    EXPECT_TRUE(receiver.TakePendingRecords().empty());
    ::close(peer);
}
