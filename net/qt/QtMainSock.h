#pragma once
#include "net/ISocket.h"
#include "net/ServerKeyPins.h"

#include <QAbstractSocket>
#include <QList>
#include <QObject>
#include <QSslError>
#include <QSslSocket>
#include <QTcpSocket>

#include <cstdint>
#include <memory>
#include <string>

namespace quorlan::net {

// The client's link to the coordination server (MainSock) over QSslSocket,
// plain TCP or TLS as the link security given at construction says, with the
// behaviour the session logic relies on:
// - Open only starts an attempt; its outcome (Connected, or ErrorOccurred and
//   then Disconnected) always arrives later from the event loop, never inside
//   Open, so a handler that opens can finish its own work first.
// - Active is true from Connected until Disconnected; Connecting while an
//   attempt is under way.
// - Every link or attempt ends with exactly one Disconnected: Close raises it
//   when a socket existed, and a failed attempt raises it after ErrorOccurred
//   (at the latest when the error handler has not closed the link itself).
// - Write takes what QTcpSocket buffers (all of it) while connected, else 0.
// - Written comes once per link, after Connected (the link became writable).
// Error codes are Winsock numbers, see WinsockErrorCode. The server closing
// the link raises Disconnected alone; the server resetting it raises
// ErrorOccurred(10054) first.
// With TLS the link is connected (Connected, Active, writable) only once the
// handshake has completed and the server's key has passed the check: a pin
// when there are pins, else the system's trusted authorities for the built-in
// server name (or, without one, the address connected to). Nothing is written before, so no protocol byte ever leaves in
// clear. A handshake that fails or a server that is refused raises TlsRefused
// with the reason, then ErrorOccurred(kTlsRefusedCode) and Disconnected, as
// a failed connect does.
// Received bytes wait in a buffer of at most kReadBufferCap bytes (with TLS,
// one such buffer of records not yet decrypted and one of decrypted bytes);
// beyond it they stay in the system's socket buffer, so a sender faster than
// the framing tick meets TCP's flow control instead of growing this process.
class QtMainSock : public QObject, public ISocket {
    Q_OBJECT
public:
    explicit QtMainSock(LinkSecurity security, QObject* parent = nullptr);
    ~QtMainSock() override;

    // Dotted IPv4 literal (a host name is looked up too).
    void SetAddress(const std::string& address) { address_ = address; }
    const std::string& Address() const { return address_; }
    void SetPort(std::uint16_t port) { port_ = port; }
    std::uint16_t Port() const { return port_; }

    int Write(const std::uint8_t* data, int count) override;
    int BytesWaiting() override;
    int Read(std::uint8_t* data, int count) override;
    void Close() override;
    bool Active() const override { return active_; }
    // Does nothing while a link or an attempt exists; close it first.
    void Open() override;
    bool Connecting() const override { return live_ && !active_; }

    // The platform's socket error number for a Qt socket error.
    static int WinsockErrorCode(QAbstractSocket::SocketError error);
    // WSAECONNRESET: the server reset the link.
    static constexpr int kConnectionResetCode = 10054;
    // The handshake failed or the server's key was refused.
    static constexpr int kTlsRefusedCode = 20000 + QAbstractSocket::SslHandshakeFailedError;
    static constexpr qint64 kReadBufferCap = 64 * 1024;

signals:
    void Connected();
    void Disconnected();
    void ReadyRead();
    void Written();
    void ErrorOccurred(int code);
    // Why a TLS link was refused, in words (ASCII), before its ErrorOccurred.
    void TlsRefused(const std::string& reason);

private:
    void StartAttempt(quint64 attempt);
    void OnTcpConnected();
    void OnSslErrors(const QList<QSslError>& errors);
    void OnConnected();
    void RefuseTls(const std::string& reason);
    // The server's DER SubjectPublicKeyInfo; empty when it presented none.
    std::vector<std::uint8_t> PeerPublicKey() const;
    void OnDisconnected();
    void OnError(QAbstractSocket::SocketError error);
    void EndLink();
    // Whether the link that just ended was reset by the server.
    bool PeerReset() const;
    void ForgetPeerWatch();

    const LinkSecurity security_;
    std::unique_ptr<QTcpSocket> socket_;
    QSslSocket* tls_; // the same socket when the link uses TLS, else null
    std::string address_;
    std::uint16_t port_ = 3000;
    bool live_ = false;   // an attempt or a link exists
    bool active_ = false; // connected
    bool handshaking_ = false; // TLS: connected over TCP, handshake under way
    // Why the server's certificate was not accepted, for the failure Qt
    // reports next.
    std::string certificateProblem_;
    // Tells a deferred start which attempt it belongs to, so an attempt closed
    // before it started is never started.
    quint64 attempt_ = 0;
    // A second descriptor of the connected socket: QTcpSocket closes its own
    // before it reports the end of the link, and this one keeps the link's
    // final state readable until the link is ended here.
    int peerWatch_ = -1;
};

} // namespace quorlan::net
