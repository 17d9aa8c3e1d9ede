// The session logic on the real socket adapter against a loopback server:
// the wiring the main window does, with the timers' ticks driven by hand.
#include "LoopbackServer.h"
#include "base/Cp949.h"
#include "fakes/FakeClock.h"
#include "fakes/RecordingActions.h"
#include "fakes/RecordingLogs.h"
#include "fakes/ScriptedRandom.h"
#include "net/Codec.h"
#include "net/Connection.h"
#include "net/Dispatcher.h"
#include "net/LinkState.h"
#include "net/PacketReceiver.h"
#include "net/Sender.h"
#include "net/qt/QtMainSock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

using namespace quorlan;
using test::WaitUntil;
using testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Client {
    explicit Client(std::uint16_t port, net::LinkSecurity security = {}) : sock(std::move(security)) {
        sock.SetAddress("127.0.0.1");
        sock.SetPort(port);
        QObject::connect(&sock, &net::QtMainSock::Connected, &sock, [this] { connection.MainSockConnect(); });
        QObject::connect(&sock, &net::QtMainSock::Disconnected, &sock, [this] { connection.MainSockDisconnect(); });
        QObject::connect(&sock, &net::QtMainSock::ErrorOccurred, &sock, [this](int code) {
            connection.MainSockError(code);
        });
        QObject::connect(&sock, &net::QtMainSock::ReadyRead, &sock, [this] { receiver.MainSockRead(); });
        QObject::connect(&sock, &net::QtMainSock::TlsRefused, &sock,
                         [this](const std::string& reason) { logs.DebugLog("Socket: TLS refused: " + reason); });
    }
    int Count(const std::string& line) const {
        return static_cast<int>(std::count(logs.debug.begin(), logs.debug.end(), line));
    }

    net::QtMainSock sock;
    test::RecordingLogs logs;
    test::RecordingMessageBox messageBox;
    test::RecordingActions actions;
    test::FakeClock clock;
    test::ScriptedRandom random;
    net::LinkState state;
    net::Sender sender{sock, logs, messageBox};
    net::Connection connection{sock, logs, state, sender, actions, clock, random};
    net::Dispatcher dispatcher{logs, state, sender, actions, clock};
    net::PacketReceiver receiver{sock, logs, [this](const std::uint8_t* p, int n) { dispatcher.DispatchPacket(p, n); }};
};

TEST(ConnectionLoopback, ConnectSendsVersionAndTheAnswerIsDispatched) {
    test::LoopbackServer server;
    Client client(server.Port());
    client.connection.Start();
    ASSERT_TRUE(server.WaitForClient());
    EXPECT_EQ(server.Receive(7), (Bytes{7, 0, 'd', 3, 0, 0, 0}));
    EXPECT_THAT(client.logs.debug, ElementsAre("Socket: Connect", "Event: Send Version 1"));
    EXPECT_EQ(client.actions.statusPanels[1], base::Cp949FromUtf8("연결됨"));

    server.Send({7, 0, 'd', 1, 0, 0, 0});
    ASSERT_TRUE(WaitUntil([&] { return client.receiver.Queue().Size() == 7; }));
    EXPECT_TRUE(client.receiver.TimerProcess());
    EXPECT_THAT(client.logs.messages, ElementsAre(base::Cp949FromUtf8("정상적으로 시작했습니다.")));
    EXPECT_EQ(client.logs.debug.back(), "Version Result :1");
}

TEST(ConnectionLoopback, LostLinkIsRestoredByTheNextTickWithAFreshVersion) {
    test::LoopbackServer server;
    Client client(server.Port());
    client.connection.Start();
    ASSERT_TRUE(server.WaitForClient());
    server.Receive(7);
    server.peer->close();
    ASSERT_TRUE(WaitUntil([&] { return client.Count("Socket: DisConnect") == 1; }));
    EXPECT_EQ(client.actions.statusPanels[1], base::Cp949FromUtf8("연결중지됨"));

    server.peer = nullptr;
    server.received.clear();
    EXPECT_EQ(client.connection.TimerReConnect(), 10000);
    EXPECT_EQ(client.actions.statusPanels[1], base::Cp949FromUtf8("연결시도중..."));
    ASSERT_TRUE(server.WaitForClient());
    EXPECT_EQ(server.Receive(7), (Bytes{7, 0, 'd', 3, 0, 0, 0}));
    EXPECT_EQ(client.Count("Event: Send Version 1"), 2);
    EXPECT_EQ(client.state.ReconnectAttempts, 0); // the next outage counts afresh
}

TEST(ConnectionLoopback, ResetByTheServerIsLoggedAsAnErrorThenADisconnect) {
    test::LoopbackServer server;
    Client client(server.Port());
    client.connection.Start();
    ASSERT_TRUE(server.WaitForClient());
    server.Receive(7);
    server.Reset();
    ASSERT_TRUE(WaitUntil([&] { return client.Count("Socket: DisConnect") == 1; }));
    QTest::qWait(20);
    EXPECT_THAT(client.logs.debug, ElementsAre("Socket: Connect", "Event: Send Version 1",
                                               "Socket: Socket Error: 10054", "Socket: DisConnect"));
    EXPECT_EQ(client.actions.statusPanels[1], base::Cp949FromUtf8("연결중지됨"));
}

TEST(ConnectionLoopback, EveryRefusedAttemptEndsInAnErrorThenADisconnect) {
    Client client(test::RefusingPort());
    client.connection.Start();
    ASSERT_TRUE(WaitUntil([&] { return client.Count("Socket: DisConnect") == 1; }));
    EXPECT_THAT(client.logs.debug, ElementsAre("Socket: Socket Error: 10061", "Socket: DisConnect"));
    EXPECT_EQ(client.actions.statusPanels[1], base::Cp949FromUtf8("연결중지됨"));

    for (int attempt = 1; attempt <= 3; ++attempt) {
        EXPECT_EQ(client.connection.TimerReConnect(), 10000);
        ASSERT_TRUE(WaitUntil([&] { return client.Count("Socket: DisConnect") == attempt + 1; }));
    }
    QTest::qWait(20);
    EXPECT_EQ(client.Count("Socket: Socket Error: 10061"), 4);
    EXPECT_EQ(client.logs.debug.size(), 8u);
    EXPECT_FALSE(client.sock.Connecting());
}

TEST(ConnectionLoopback, OverTlsTheSessionRunsAsOverTcp) {
    test::LoopbackServer server(test::TlsTestPeer("pinned"));
    Client client(server.Port(), net::LinkSecurityOfBuild(true, "zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA="));
    client.connection.Start();
    ASSERT_TRUE(server.WaitForClient());
    EXPECT_EQ(server.Receive(7), (Bytes{7, 0, 'd', 3, 0, 0, 0}));
    server.Send({7, 0, 'd', 1, 0, 0, 0});
    ASSERT_TRUE(WaitUntil([&] { return client.receiver.Queue().Size() == 7; }));
    EXPECT_TRUE(client.receiver.TimerProcess());
    EXPECT_THAT(client.logs.debug,
                ElementsAre("Socket: Connect", "Event: Send Version 1", "MessageProcess: 100 7", "Version Result :1"));
}

TEST(ConnectionLoopback, RefusedServerKeyIsAConnectErrorWithItsReasonAndTheTimerTriesAgain) {
    test::LoopbackServer server(test::TlsTestPeer("pinned"));
    Client client(server.Port(), net::LinkSecurityOfBuild(true, "Xrbmnj19jivQDHM5iA9BS0wiK0W5MuS8K5lI0Sw2aZ4="));
    const std::vector<std::string> refused{
        "Socket: TLS refused: the server's key zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA= matches no pinned key",
        "Socket: Socket Error: 20013", "Socket: DisConnect"};
    client.connection.Start();
    ASSERT_TRUE(WaitUntil([&] { return client.Count("Socket: DisConnect") == 1; }));
    EXPECT_EQ(client.logs.debug, refused);
    EXPECT_EQ(client.actions.statusPanels[1], base::Cp949FromUtf8("연결중지됨"));

    EXPECT_TRUE(client.connection.TimerReConnect());
    ASSERT_TRUE(WaitUntil([&] { return client.Count("Socket: DisConnect") == 2; }));
    EXPECT_EQ(client.Count(refused[0]), 2);
    EXPECT_EQ(client.Count("Socket: Connect"), 0);
    EXPECT_EQ(client.state.ReconnectAttempts, 1);
}

TEST(ConnectionLoopback, FastSenderMeetsBackPressureAndEveryPacketArrivesInOrder) {
    test::LoopbackServer server;
    net::QtMainSock sock{net::LinkSecurity{}};
    test::RecordingLogs logs;
    std::vector<char> fills;
    net::PacketReceiver receiver{sock, logs, [&fills](const std::uint8_t* p, int n) {
                                     if (n == 8191) fills.push_back(static_cast<char>(p[3]));
                                 }};
    // The main window's framing timer: woken by a read that gives it work,
    // resting as soon as it has none.
    bool ticking = false;
    QObject::connect(&sock, &net::QtMainSock::ReadyRead, &sock, [&] {
        receiver.MainSockRead();
        ticking = ticking || receiver.HasWork();
    });
    sock.SetAddress("127.0.0.1");
    sock.SetPort(server.Port());
    sock.Open();
    ASSERT_TRUE(server.WaitForClient());
    ASSERT_TRUE(WaitUntil([&] { return sock.Active(); }));

    // About 20 MB, more than the system's socket buffers on both ends hold.
    constexpr int kPackets = 2500;
    for (int i = 0; i < kPackets; ++i) {
        const Bytes packet = net::EncodeCheckList(std::string(8187, static_cast<char>('a' + i % 26))).bytes;
        server.peer->write(reinterpret_cast<const char*>(packet.data()), static_cast<qint64>(packet.size()));
    }
    // No framing tick yet: the client holds its queue and at most the capped
    // buffer, and the rest waits at the sender.
    QTest::qWait(300);
    EXPECT_TRUE(ticking);
    EXPECT_LE(sock.BytesWaiting(), net::QtMainSock::kReadBufferCap);
    EXPECT_EQ(receiver.Queue().Size(), 8191);
    EXPECT_GT(server.peer->bytesToWrite(), 0);

    QDeadlineTimer deadline(60000);
    while (static_cast<int>(fills.size()) < kPackets && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        if (!ticking) continue;
        receiver.TimerProcess();
        ticking = receiver.HasWork();
    }
    ASSERT_EQ(static_cast<int>(fills.size()), kPackets);
    for (int i = 0; i < kPackets; ++i) ASSERT_EQ(fills[i], static_cast<char>('a' + i % 26)) << i;
    EXPECT_EQ(receiver.Queue().Size(), 0);
    EXPECT_TRUE(logs.debug.empty());
}

} // namespace
