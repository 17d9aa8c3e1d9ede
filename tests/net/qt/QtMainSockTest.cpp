#include "LoopbackServer.h"
#include "net/qt/QtMainSock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

using namespace quorlan;
using test::WaitUntil;
using testing::ElementsAre;
using testing::HasSubstr;
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
        QObject::connect(&sock, &net::QtMainSock::TlsRefused, &sock,
                         [this](const std::string& reason) { tlsRefusals.push_back(reason); });
    }
    bool Has(const std::string& name) const { return std::find(seen.begin(), seen.end(), name) != seen.end(); }
    std::vector<std::string> seen;
    std::vector<std::string> tlsRefusals;
    int reads = 0;
};

struct Client {
    explicit Client(std::uint16_t port, net::LinkSecurity security = {}, const std::string& address = "127.0.0.1")
        : sock(std::move(security)) {
        sock.SetAddress(address);
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
    EXPECT_FALSE(server.server->hasPendingConnections());

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

// The link over TLS. The test keys and certificates are in tests/net/qt/tls;
// the pins were computed from the keys with the openssl tool.
constexpr const char* kPinnedKeyPin = "zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA=";
constexpr const char* kOtherKeyPin = "Xrbmnj19jivQDHM5iA9BS0wiK0W5MuS8K5lI0Sw2aZ4=";
const Bytes kVersion{7, 0, 'd', 3, 0, 0, 0};

net::LinkSecurity Tls(const std::string& pins, const std::string& builtName = "") {
    return net::LinkSecurityOfBuild(true, pins, builtName);
}

// Stands in for the system's trusted authorities while it lives: the test
// authority alone.
class TrustTestAuthority {
public:
    TrustTestAuthority() : saved_(QSslConfiguration::defaultConfiguration()) {
        QSslConfiguration trusting = saved_;
        trusting.setCaCertificates(QSslCertificate::fromData(test::TlsTestFile("ca.crt")));
        QSslConfiguration::setDefaultConfiguration(trusting);
    }
    ~TrustTestAuthority() { QSslConfiguration::setDefaultConfiguration(saved_); }
    TrustTestAuthority(const TrustTestAuthority&) = delete;
    TrustTestAuthority& operator=(const TrustTestAuthority&) = delete;

private:
    QSslConfiguration saved_;
};

// Opens, then tries to send a Version packet at every turn of the loop until
// the attempt has ended; returns how many bytes the socket took.
int TryToSendUntilTheEnd(Client& client) {
    int taken = 0;
    client.sock.Open();
    WaitUntil([&] {
        taken += client.sock.Write(kVersion.data(), static_cast<int>(kVersion.size()));
        return client.events.Has("disconnect");
    });
    return taken;
}

bool Contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

TEST(QtMainSockTls, PinnedKeyConnectsAndBytesFlowBothWays) {
    test::LoopbackServer server(test::TlsTestPeer("pinned"));
    Client client(server.Port(), Tls(kPinnedKeyPin));
    ASSERT_TRUE(client.Connect());
    EXPECT_TRUE(client.sock.Active());
    ASSERT_TRUE(server.WaitForClient());

    EXPECT_EQ(client.sock.Write(kVersion.data(), 7), 7);
    EXPECT_EQ(server.Receive(7), kVersion);
    server.Send({4, 0, 'p', 0});
    ASSERT_TRUE(WaitUntil([&] { return client.sock.BytesWaiting() == 4; }));
    std::uint8_t got[8] = {};
    EXPECT_EQ(client.sock.Read(got, 8), 4);
    EXPECT_EQ(Bytes(got, got + 4), (Bytes{4, 0, 'p', 0}));
    EXPECT_THAT(client.events.seen, ElementsAre("connect", "write"));
    EXPECT_THAT(client.events.tlsRefusals, IsEmpty());
    auto* tls = qobject_cast<QSslSocket*>(server.peer);
    ASSERT_NE(tls, nullptr);
    EXPECT_TRUE(tls->sessionProtocol() == QSsl::TlsV1_3 || tls->sessionProtocol() == QSsl::TlsV1_2);
}

struct ServerCase {
    const char* name;
    const char* peer; // the server's key and certificate
    const char* pins; // the client's built-in pin list
    bool trustTestAuthority;
    const char* address; // where the server listens and the client connects
    const char* builtName; // the server name the client was built for
    const char* refusal; // part of the reason; nullptr when the link is accepted
};
class TlsServers : public testing::TestWithParam<ServerCase> {};

TEST_P(TlsServers, AcceptOnlyAPinnedKeyOrWithoutPinsACertificateForTheAddress) {
    const ServerCase& c = GetParam();
    std::optional<TrustTestAuthority> trust;
    if (c.trustTestAuthority) trust.emplace();
    test::LoopbackServer server(test::TlsTestPeer(c.peer), QHostAddress(QString::fromLatin1(c.address)));
    Client client(server.Port(), Tls(c.pins, c.builtName), c.address);

    if (!c.refusal) {
        ASSERT_TRUE(client.Connect());
        ASSERT_TRUE(server.WaitForClient());
        EXPECT_EQ(client.sock.Write(kVersion.data(), 7), 7);
        EXPECT_EQ(server.Receive(7), kVersion);
        EXPECT_THAT(client.events.tlsRefusals, IsEmpty());
        return;
    }
    EXPECT_EQ(TryToSendUntilTheEnd(client), 0);
    QTest::qWait(20);
    EXPECT_THAT(client.events.seen, ElementsAre("error 20013", "disconnect"));
    ASSERT_EQ(client.events.tlsRefusals.size(), 1u);
    EXPECT_THAT(client.events.tlsRefusals[0], HasSubstr(c.refusal));
    // The server may have finished its side of the handshake; it never got a byte inside.
    if (server.WaitForClient(100)) {
        EXPECT_TRUE(server.peer->readAll().isEmpty());
    }
    EXPECT_FALSE(client.sock.Active());
    EXPECT_FALSE(client.sock.Connecting());
}
INSTANTIATE_TEST_SUITE_P(
    QtMainSock, TlsServers,
    testing::Values(
        ServerCase{"SecondPinDuringAKeyChange", "pinned", "Xrbmnj19jivQDHM5iA9BS0wiK0W5MuS8K5lI0Sw2aZ4= ; "
                                                          "zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA=",
                   false, "127.0.0.1", "", nullptr},
        ServerCase{"NoPinAuthorityVouchesForTheAddress", "other", "", true, "127.0.0.1", "", nullptr},
        ServerCase{"NoPinAuthorityVouchesForTheBuiltNameAtAnotherAddress", "other", "", true, "127.0.0.2", "127.0.0.1",
                   nullptr},
        ServerCase{"KeyNotPinned", "pinned", kOtherKeyPin, false, "127.0.0.1", "",
                   "the server's key zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA= matches no pinned key"},
        ServerCase{"KeyNotPinnedThoughTheAuthorityVouches", "other", kPinnedKeyPin, true, "127.0.0.1", "",
                   "the server's key Xrbmnj19jivQDHM5iA9BS0wiK0W5MuS8K5lI0Sw2aZ4= matches no pinned key"},
        ServerCase{"NoPinSelfSignedCertificate", "pinned", "", false, "127.0.0.1", "", "self-signed"},
        ServerCase{"NoPinCertificateForAnotherAddress", "other", "", true, "127.0.0.2", "", "host name did not match"},
        // A patch list that moves the link to a server with a valid
        // certificate of its own does not move the trust with it.
        ServerCase{"NoPinCertificateForTheAddressButNotTheBuiltName", "other", "", true, "127.0.0.1", "127.0.0.2",
                   "host name did not match"}),
    [](const auto& info) { return std::string(info.param.name); });

// A server that speaks no TLS gets the client's hello and nothing else,
// whether it answers in clear or closes.
class PlainServer : public testing::TestWithParam<bool> {};

TEST_P(PlainServer, IsRefusedAndSeesNoProtocolByte) {
    const bool answers = GetParam();
    test::LoopbackServer server;
    Client client(server.Port(), Tls(kPinnedKeyPin));
    client.sock.Open();
    ASSERT_TRUE(server.WaitForClient());
    const Bytes hello = server.Receive(5);
    EXPECT_EQ(hello[0], 0x16); // a TLS handshake record
    EXPECT_EQ(hello[1], 0x03);
    if (answers) {
        server.Send({7, 0, 'd', 1, 0, 0, 0}); // a VersionResult in clear
    } else {
        server.peer->close();
    }
    int taken = 0;
    ASSERT_TRUE(WaitUntil([&] {
        taken += client.sock.Write(kVersion.data(), 7);
        return client.events.Has("disconnect");
    }));
    QTest::qWait(20);
    EXPECT_EQ(taken, 0);
    EXPECT_THAT(client.events.seen, ElementsAre("error 20013", "disconnect"));
    ASSERT_EQ(client.events.tlsRefusals.size(), 1u);
    EXPECT_THAT(client.events.tlsRefusals[0], HasSubstr("handshake failed"));
    EXPECT_FALSE(Contains(server.Receive(0), kVersion));
}
INSTANTIATE_TEST_SUITE_P(QtMainSock, PlainServer, testing::Bool(),
                         [](const auto& info) { return info.param ? "AnswersInClear" : "Closes"; });

TEST(QtMainSockTls, UnreadablePinListRefusesEveryAttemptWithoutConnecting) {
    test::LoopbackServer server;
    Client client(server.Port(), net::LinkSecurityOfBuild(false, "zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA"));
    EXPECT_EQ(TryToSendUntilTheEnd(client), 0);
    EXPECT_THAT(client.events.seen, ElementsAre("error 20013", "disconnect"));
    ASSERT_EQ(client.events.tlsRefusals.size(), 1u);
    EXPECT_THAT(client.events.tlsRefusals[0], HasSubstr("pin 1 (\"zQBk7ruCF6cqW9KBHDskVyAQY+jKsk8c+o3VAizJWYA\")"));
    EXPECT_FALSE(server.WaitForClient(100));
}

} // namespace
