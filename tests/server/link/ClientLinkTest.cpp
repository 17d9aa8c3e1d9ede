// The client port as the network reaches it: connections from a trusted load
// balancer that name their client in a PROXY header, peers that must not
// send one, and TLS. Different loopback source addresses act as different
// machines; 127.0.0.9 is the load balancer.
#include "ServerFixture.h"
#include "TlsTestPeer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorlan::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kProxy = "127.0.0.9";

std::vector<std::uint8_t> V1(const std::string& client) {
    const std::string line = "PROXY TCP4 " + client + " 127.0.0.1 40000 3000\r\n";
    return {line.begin(), line.end()};
}

std::vector<std::uint8_t> V2(std::uint8_t command, const std::vector<std::uint8_t>& client = {}) {
    std::vector<std::uint8_t> bytes{0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D, 0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A,
                                    static_cast<std::uint8_t>(0x20 | command)};
    if (client.empty()) {
        bytes.insert(bytes.end(), {0x00, 0x00, 0x00});
        return bytes;
    }
    bytes.insert(bytes.end(), {0x11, 0x00, 0x0C});
    bytes.insert(bytes.end(), client.begin(), client.end());
    bytes.insert(bytes.end(), {127, 0, 0, 1, 0x9C, 0x40, 0x0B, 0xB8});
    return bytes;
}

class ClientLinkTest : public ServerFixture {
protected:
    // A connection through the load balancer for `client` (v2), answered.
    std::unique_ptr<TestClient> Through(const std::vector<std::uint8_t>& header) {
        auto client = Connect(0, kProxy);
        EXPECT_TRUE(client->SendBytes(header));
        return client;
    }
    static std::optional<std::uint32_t> Version(TestClient& client) {
        if (!client.Send(net::EncodeVersion())) return std::nullopt;
        return client.Result(net::VersionResult, 2s);
    }
};

// Every per-address rule counts the client the header names: connections per
// address, and the failed logins that stop an address.
TEST_F(ClientLinkTest, ATrustedProxysClientsAreCountedByTheirOwnAddress) {
    CreateAccount("01012345678", "secret");
    config_.proxyFrom = "10.0.0.0/8, 127.0.0.9";
    config_.trust.maxPerAddress = 2;
    Start();
    auto first = Through(V2(1, {192, 0, 2, 10}));
    auto second = Through(V1("192.0.2.10"));
    EXPECT_EQ(Version(*first), 1u);
    EXPECT_EQ(Version(*second), 1u);
    EXPECT_TRUE(Through(V2(1, {192, 0, 2, 10}))->ClosedByServer()); // a third from 192.0.2.10
    auto other = Through(V2(1, {192, 0, 2, 11}));
    EXPECT_EQ(Version(*other), 1u);
    EXPECT_EQ(server_->Metrics().connectionsRejectedPerAddress.load(), 1u);

    for (int i = 0; i < 30; ++i) EXPECT_EQ(first->LogIn("0105555" + std::to_string(1000 + i), "guess"), 0u);
    EXPECT_EQ(first->LogIn("01012345678", "secret"), 0u); // 192.0.2.10 is stopped
    EXPECT_EQ(other->LogIn("01012345678", "secret"), 1u); // through the same proxy, another machine
}

TEST_F(ClientLinkTest, AHeaderIsRequiredFromATrustedProxyAndRefusedFromAnyoneElse) {
    config_.proxyFrom = kProxy;
    config_.packetTimeout = 300ms;
    Start();
    struct Case {
        const char* name;
        const char* source;
        std::vector<std::uint8_t> bytes;
        bool answered;
    };
    const auto version = net::EncodeVersion().bytes;
    auto then = [&](std::vector<std::uint8_t> header) {
        header.insert(header.end(), version.begin(), version.end());
        return header;
    };
    const std::vector<Case> cases = {
        {"proxy without header", kProxy, version, false},
        {"proxy with garbage", kProxy, then({'G', 'E', 'T', ' ', '/', '\r', '\n'}), false},
        {"proxy with LOCAL: the proxy itself", kProxy, then(V2(0)), true},
        {"proxy with v1", kProxy, then(V1("192.0.2.20")), true},
        {"stranger with v1", "127.0.0.2", then(V1("192.0.2.20")), false},
        {"stranger with v2", "127.0.0.3", then(V2(1, {192, 0, 2, 20})), false},
        {"stranger without", "127.0.0.4", version, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto client = Connect(0, c.source);
        ASSERT_TRUE(client->SendBytes(c.bytes));
        if (c.answered) {
            EXPECT_EQ(client->Result(net::VersionResult, 2s), 1u);
        } else {
            EXPECT_TRUE(client->ClosedByServer(1s));
        }
    }
    // Silence from the proxy is closed at the packet timeout.
    EXPECT_TRUE(Connect(0, kProxy)->ClosedByServer(2s));
    EXPECT_EQ(server_->Metrics().proxyHeaderMissing.load(), 3u);
    EXPECT_EQ(server_->Metrics().proxyHeaderUnexpected.load(), 2u);
}

class TlsLinkTest : public ClientLinkTest {
protected:
    void SetUp() override {
        config_.tlsCertificate = dir_.File("server.crt");
        config_.tlsKey = dir_.File("server.key");
        ASSERT_TRUE(WriteSelfSignedCertificate(config_.tlsCertificate, config_.tlsKey));
    }
};

TEST_F(TlsLinkTest, TheClientPortSpeaksTlsOnly) {
    config_.packetTimeout = 300ms;
    Start();
    TlsTestClient tls(server_->Port(), "127.0.0.2");
    ASSERT_TRUE(tls.Ready()) << tls.Error();
    EXPECT_EQ(tls.Version(), 1u);

    auto plain = Connect(0, "127.0.0.3");
    ASSERT_TRUE(plain->Send(net::EncodeVersion()));
    EXPECT_FALSE(plain->Next(200ms)); // no answer in clear
    EXPECT_TRUE(plain->ClosedByServer(2s));

    // A handshake begun and never finished costs no more than the packet timeout.
    auto slow = Connect(0, "127.0.0.4");
    ASSERT_TRUE(slow->SendBytes({0x16, 0x03, 0x01, 0x00, 0xF0, 0x01}));
    EXPECT_TRUE(slow->ClosedByServer(2s));
    EXPECT_GE(server_->Metrics().tlsHandshakesFailed.load(), 2u);
    EXPECT_EQ(tls.Version(), 1u);
}

// As HAProxy passes TLS through: the PROXY header in clear, then the handshake.
TEST_F(TlsLinkTest, TlsGoesBehindTheProxyHeader) {
    config_.proxyFrom = kProxy;
    config_.trust.maxPerAddress = 1;
    Start();
    TlsTestClient proxied(server_->Port(), kProxy, V2(1, {192, 0, 2, 30}));
    ASSERT_TRUE(proxied.Ready()) << proxied.Error();
    EXPECT_EQ(proxied.Version(), 1u);
    // 192.0.2.30 holds its one connection; another machine through the proxy does not.
    EXPECT_FALSE(TlsTestClient(server_->Port(), kProxy, V2(1, {192, 0, 2, 30})).Version(1s));
    TlsTestClient other(server_->Port(), kProxy, V2(1, {192, 0, 2, 31}));
    EXPECT_EQ(other.Version(), 1u);
    EXPECT_EQ(server_->Metrics().connectionsRejectedPerAddress.load(), 1u);
}

TEST_F(TlsLinkTest, AReloadedCertificateServesNewConnectionsAndKeepsOpenOnes) {
    Start();
    TlsTestClient before(server_->Port(), "127.0.0.2");
    ASSERT_TRUE(before.Ready()) << before.Error();
    ASSERT_TRUE(WriteSelfSignedCertificate(config_.tlsCertificate, config_.tlsKey));
    server_->ReloadTls();
    TlsTestClient after(server_->Port(), "127.0.0.3");
    ASSERT_TRUE(after.Ready()) << after.Error();
    EXPECT_NE(after.ServerKey(), before.ServerKey());
    EXPECT_EQ(before.Version(), 1u);
    EXPECT_EQ(after.Version(), 1u);

    // A broken file is refused and the current certificate stays.
    std::ofstream(config_.tlsKey) << "not a key";
    server_->ReloadTls();
    TlsTestClient third(server_->Port(), "127.0.0.4");
    ASSERT_TRUE(third.Ready()) << third.Error();
    EXPECT_EQ(third.ServerKey(), after.ServerKey());
}

} // namespace
} // namespace quorlan::test
