#pragma once
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quorlan::test {

// Runs the event loop until the condition holds or the deadline passes.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(2);
    }
    return true;
}

// The contents of a file of the TLS test peers (tests/net/qt/tls).
inline QByteArray TlsTestFile(const char* name) {
    QFile file(QStringLiteral(QUORLAN_TLS_TEST_DIR "/") + QString::fromLatin1(name));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// A TLS server's side with the test key and certificate NAME (.key, .crt).
inline QSslConfiguration TlsTestPeer(const char* name) {
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(TlsTestFile((std::string(name) + ".crt").c_str())));
    tls.setPrivateKey(QSslKey(TlsTestFile((std::string(name) + ".key").c_str()), QSsl::Ec));
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    return tls;
}

inline std::unique_ptr<QTcpServer> MakeServer(const std::optional<QSslConfiguration>& tls) {
    if (!tls) return std::make_unique<QTcpServer>();
    auto server = std::make_unique<QSslServer>();
    server->setSslConfiguration(*tls);
    return server;
}

// A loopback server on a port of the system's choice that keeps the one
// connection it accepts and collects what arrives on it: plain TCP, or TLS
// with the given configuration (a connection counts once its handshake is
// done; what arrives is what the client sent inside TLS).
class LoopbackServer {
public:
    explicit LoopbackServer(std::optional<QSslConfiguration> tls = std::nullopt,
                            const QHostAddress& address = QHostAddress::LocalHost)
        : server(MakeServer(tls)) {
        server->listen(address, 0);
    }
    std::uint16_t Port() const { return server->serverPort(); }

    bool WaitForClient(int timeoutMs = 5000) {
        return WaitUntil(
            [this] {
                if (!peer && server->hasPendingConnections()) peer = server->nextPendingConnection();
                return peer != nullptr;
            },
            timeoutMs);
    }
    // Waits until at least count bytes have arrived; returns all received so far.
    std::vector<std::uint8_t> Receive(std::size_t count) {
        WaitUntil([&] {
            if (peer && peer->isOpen()) {
                const QByteArray got = peer->readAll();
                received.insert(received.end(), got.begin(), got.end());
            }
            return received.size() >= count;
        });
        return received;
    }
    void Send(const std::vector<std::uint8_t>& bytes) {
        peer->write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        peer->flush();
    }

    // Ends the connection with a reset (RST) instead of a close (FIN).
    void Reset() {
        const linger abortive{1, 0};
        ::setsockopt(static_cast<int>(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof(abortive));
        peer->abort();
    }

    std::unique_ptr<QTcpServer> server;
    QTcpSocket* peer = nullptr;
    std::vector<std::uint8_t> received;
};

// A loopback port nobody listens on: bound once, then released.
inline std::uint16_t RefusingPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const std::uint16_t port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace quorlan::test
