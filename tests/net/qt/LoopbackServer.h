#pragma once
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <sys/socket.h>

#include <cstdint>
#include <functional>
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

// A loopback server on a port of the system's choice that keeps the one
// connection it accepts and collects what arrives on it.
class LoopbackServer {
public:
    LoopbackServer() { server.listen(QHostAddress::LocalHost, 0); }
    std::uint16_t Port() const { return server.serverPort(); }

    bool WaitForClient() {
        return WaitUntil([this] {
            if (!peer && server.hasPendingConnections()) peer = server.nextPendingConnection();
            return peer != nullptr;
        });
    }
    // Waits until at least count bytes have arrived; returns all received so far.
    std::vector<std::uint8_t> Receive(std::size_t count) {
        WaitUntil([&] {
            if (peer) {
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

    QTcpServer server;
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
