#include "LoopbackServer.h"
#include "net/qt/QtMainSock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace quorlan;
using test::WaitUntil;
using testing::ElementsAre;
using testing::IsEmpty;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Records the adapter's events in order, as the main window's handlers see them.
struct Events {
    explicit Events(net::QtMainSock& sock) {
        QObject::connect(&sock, &net::QtMainSock::Connected, &sock, [this] { seen.push_back("connect"); });
        QObject::connect(&sock, &net::QtMainSock::Disconnected, &sock, [this] { seen.push_back("disconnect"); });
        QObject::connect(&sock, &net::QtMainSock::ReadyRead, &sock, [this] { ++reads; });
        QObject::connect(&sock, &net::QtMainSock::Written, &sock, [this] { seen.push_back("write"); });
        QObject::connect(&sock, &net::QtMainSock::ErrorOccurred, &sock,
                         [this](int code) { seen.push_back("error " + std::to_string(code)); });
    }
    bool Has(const std::string& name) const { return std::find(seen.begin(), seen.end(), name) != seen.end(); }
    std::vector<std::string> seen;
    int reads = 0;
};

struct Client {
    explicit Client(std::uint16_t port) {
        sock.SetAddress("127.0.0.1");
        sock.SetPort(port);
    }
    // Until the link is connected and has become writable.
    bool Connect() {
        sock.Open();
        return WaitUntil([this] { return events.Has("write"); });
    }
    net::QtMainSock sock;
    Events events{sock};
};

TEST(QtMainSock, ConnectsThenWritesAndReadsBytes) {
    test::LoopbackServer server;
    Client client(server.Port());
    const std::uint8_t version[] = {7, 0, 'd', 3, 0, 0, 0};
    EXPECT_EQ(client.sock.Write(version, 7), 0); // nothing opened yet

    client.sock.Open();
    EXPECT_TRUE(client.sock.Connecting());
    EXPECT_FALSE(client.sock.Active());
    EXPECT_EQ(client.sock.Write(version, 7), 0); // attempt still under way
    EXPECT_THAT(client.events.seen, IsEmpty());  // the outcome never arrives inside Open

    ASSERT_TRUE(WaitUntil([&] { return client.events.Has("connect"); }));
    EXPECT_TRUE(client.sock.Active());
    EXPECT_FALSE(client.sock.Connecting());
    ASSERT_TRUE(server.WaitForClient());

    EXPECT_EQ(client.sock.Write(version, 7), 7);
    EXPECT_EQ(server.Receive(7), (Bytes{7, 0, 'd', 3, 0, 0, 0}));

    server.Send({4, 0, 'p', 0});
    ASSERT_TRUE(WaitUntil([&] { return client.sock.BytesWaiting() == 4; }));
    EXPECT_GE(client.events.reads, 1);
    std::uint8_t got[8] = {};
    EXPECT_EQ(client.sock.Read(got, 8), 4);
    EXPECT_EQ(Bytes(got, got + 4), (Bytes{4, 0, 'p', 0}));
    EXPECT_EQ(client.sock.Read(got, 8), 0);
    // Writable once, after the connect event; writing raises no further event.
    EXPECT_THAT(client.events.seen, ElementsAre("connect", "write"));
}

// Whether or not the error handler closes the link itself, a refused attempt
// ends with the error and then exactly one disconnect.
class RefusedAttempt : public testing::TestWithParam<bool> {};

TEST_P(RefusedAttempt, GivesErrorTenThousandSixtyOneThenOneDisconnect) {
    Client client(test::RefusingPort());
    if (GetParam())
        QObject::connect(&client.sock, &net::QtMainSock::ErrorOccurred, &client.sock, [&] { client.sock.Close(); });
    client.sock.Open();
    ASSERT_TRUE(WaitUntil([&] { return client.events.Has("disconnect"); }));
    QTest::qWait(20); // a late second event would show here
    EXPECT_THAT(client.events.seen, ElementsAre("error 10061", "disconnect"));
    EXPECT_FALSE(client.sock.Active());
    EXPECT_FALSE(client.sock.Connecting());
}
INSTANTIATE_TEST_SUITE_P(QtMainSock, RefusedAttempt, testing::Bool(),
                         [](const auto& info) { return info.param ? "HandlerCloses" : "HandlerLeavesIt"; });

TEST(QtMainSock, CloseRaisesDisconnectOnceAndOnlyWhenASocketExisted) {
    test::LoopbackServer server;
    Client client(server.Port());
    client.sock.Close(); // never opened
    EXPECT_THAT(client.events.seen, IsEmpty());

    ASSERT_TRUE(client.Connect());
    client.sock.Close();
    client.sock.Close();
    QTest::qWait(20);
    EXPECT_THAT(client.events.seen, ElementsAre("connect", "write", "disconnect"));
    EXPECT_FALSE(client.sock.Active());
    const std::uint8_t byte = 0;
    EXPECT_EQ(client.sock.Write(&byte, 1), 0);
}

TEST(QtMainSock, AttemptClosedBeforeItConnectsNeverConnects) {
    test::LoopbackServer server;
    Client client(server.Port());
    client.sock.Open();
    client.sock.Close();
    QTest::qWait(50);
    EXPECT_THAT(client.events.seen, ElementsAre("disconnect"));
    EXPECT_FALSE(server.server.hasPendingConnections());

    // A fresh attempt afterwards works.
    ASSERT_TRUE(client.Connect());
}

TEST(QtMainSock, ServerClosingRaisesOneDisconnectAndNoError) {
    test::LoopbackServer server;
    Client client(server.Port());
    ASSERT_TRUE(client.Connect());
    ASSERT_TRUE(server.WaitForClient());
    server.peer->close();
    ASSERT_TRUE(WaitUntil([&] { return client.events.Has("disconnect"); }));
    QTest::qWait(20);
    EXPECT_THAT(client.events.seen, ElementsAre("connect", "write", "disconnect"));
    EXPECT_FALSE(client.sock.Active());
}

TEST(QtMainSock, ServerResettingRaisesTheResetErrorThenOneDisconnect) {
    test::LoopbackServer server;
    Client client(server.Port());
    ASSERT_TRUE(client.Connect());
    ASSERT_TRUE(server.WaitForClient());
    server.Reset();
    ASSERT_TRUE(WaitUntil([&] { return client.events.Has("disconnect"); }));
    QTest::qWait(20);
    EXPECT_THAT(client.events.seen, ElementsAre("connect", "write", "error 10054", "disconnect"));
    EXPECT_FALSE(client.sock.Active());

    // The next link closed by the server is no reset.
    server.peer = nullptr;
    client.events.seen.clear();
    ASSERT_TRUE(client.Connect());
    ASSERT_TRUE(server.WaitForClient());
    server.peer->close();
    ASSERT_TRUE(WaitUntil([&] { return client.events.Has("disconnect"); }));
    QTest::qWait(20);
    EXPECT_THAT(client.events.seen, ElementsAre("connect", "write", "disconnect"));
}

TEST(QtMainSock, OpenWhileAnAttemptExistsStartsNoSecondOne) {
    test::LoopbackServer server;
    Client client(server.Port());
    client.sock.Open();
    client.sock.Open();
    ASSERT_TRUE(WaitUntil([&] { return client.events.Has("connect"); }));
    QTest::qWait(20);
    EXPECT_THAT(client.events.seen, ElementsAre("connect", "write"));
}

struct CodeCase {
    QAbstractSocket::SocketError error;
    int code;
};
class WinsockCodes : public testing::TestWithParam<CodeCase> {};

TEST_P(WinsockCodes, MapQtErrorsToPlatformNumbers) {
    EXPECT_EQ(net::QtMainSock::WinsockErrorCode(GetParam().error), GetParam().code);
}
INSTANTIATE_TEST_SUITE_P(
    QtMainSock, WinsockCodes,
    testing::Values(CodeCase{QAbstractSocket::ConnectionRefusedError, 10061},
                    CodeCase{QAbstractSocket::HostNotFoundError, 11001},
                    CodeCase{QAbstractSocket::SocketTimeoutError, 10060},
                    CodeCase{QAbstractSocket::NetworkError, 10050},
                    CodeCase{QAbstractSocket::SocketAccessError, 10013},
                    CodeCase{QAbstractSocket::AddressInUseError, 10048},
                    CodeCase{QAbstractSocket::UnknownSocketError, 19999},
                    CodeCase{QAbstractSocket::ProxyConnectionRefusedError, 20014}));

} // namespace
