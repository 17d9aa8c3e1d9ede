#include "QtMainSock.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorlan::net {

namespace {

// Certificate errors that only say who vouches for the key or which names it
// was issued to: with a pinned key the key alone decides.
bool AboutIssuerOrName(QSslError::SslError error) {
    switch (error) {
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
    case QSslError::HostNameMismatch:
        return true;
    default:
        return false;
    }
}

std::string Ascii(const QString& text) { return text.toLatin1().toStdString(); }

std::string KeyRefusal(const std::vector<std::uint8_t>& key) {
    return "the server's key " + (key.empty() ? std::string("(none readable)") : PinText(PinOfKey(key))) +
           " matches no pinned key";
}

} // namespace

QtMainSock::QtMainSock(LinkSecurity security, QObject* parent)
    : QObject(parent), security_(std::move(security)),
      // A plain link keeps to QTcpSocket: QSslSocket would hold received
      // bytes in a second buffer of its own even without TLS.
      socket_(security_.tls ? std::unique_ptr<QTcpSocket>(std::make_unique<QSslSocket>()) : std::make_unique<QTcpSocket>()),
      tls_(qobject_cast<QSslSocket*>(socket_.get())) {
    socket_->setReadBufferSize(kReadBufferCap);
    if (tls_) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setProtocol(QSsl::TlsV1_2OrLater);
        tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
        tls_->setSslConfiguration(tls);
        connect(tls_, &QSslSocket::connected, this, &QtMainSock::OnTcpConnected);
        connect(tls_, &QSslSocket::sslErrors, this, &QtMainSock::OnSslErrors);
        connect(tls_, &QSslSocket::encrypted, this, &QtMainSock::OnConnected);
    } else {
        connect(socket_.get(), &QTcpSocket::connected, this, &QtMainSock::OnConnected);
    }
    connect(socket_.get(), &QTcpSocket::disconnected, this, &QtMainSock::OnDisconnected);
    connect(socket_.get(), &QTcpSocket::errorOccurred, this, &QtMainSock::OnError);
    connect(socket_.get(), &QTcpSocket::readyRead, this, &QtMainSock::ReadyRead);
}

QtMainSock::~QtMainSock() {
    // The owner's handlers may be gone already: leave without events.
    QObject::disconnect(socket_.get(), nullptr, this, nullptr);
    socket_->abort();
    ForgetPeerWatch();
}

int QtMainSock::Write(const std::uint8_t* data, int count) {
    if (!active_ || data == nullptr || count <= 0) return 0;
    const qint64 taken = socket_->write(reinterpret_cast<const char*>(data), count);
    return taken < 0 ? 0 : static_cast<int>(taken);
}

int QtMainSock::BytesWaiting() { return live_ ? static_cast<int>(socket_->bytesAvailable()) : 0; }

int QtMainSock::Read(std::uint8_t* data, int count) {
    if (!live_ || data == nullptr || count <= 0) return 0;
    const qint64 got = socket_->read(reinterpret_cast<char*>(data), count);
    return got < 0 ? 0 : static_cast<int>(got);
}

void QtMainSock::Open() {
    if (live_) return;
    live_ = true;
    active_ = false;
    const quint64 attempt = ++attempt_;
    // QTcpSocket may connect or fail inside connectToHost (an IP literal on
    // loopback does): start on the next turn of the loop instead, so that every
    // outcome is an event of its own.
    QTimer::singleShot(0, this, [this, attempt] { StartAttempt(attempt); });
}

void QtMainSock::StartAttempt(quint64 attempt) {
    if (!live_ || attempt != attempt_) return; // closed before it started
    const QString host = QString::fromStdString(address_);
    if (!security_.misconfiguration.empty()) {
        RefuseTls(security_.misconfiguration);
    } else if (tls_) {
        tls_->connectToHostEncrypted(host, port_,
                                     security_.serverName.empty() ? host
                                                                  : QString::fromStdString(security_.serverName));
    } else {
        socket_->connectToHost(host, port_);
    }
}

void QtMainSock::Close() {
    if (!live_) return;
    // Flags first: the abort may emit QTcpSocket::disconnected, which must not
    // raise a second event.
    EndLink();
}

void QtMainSock::EndLink() {
    live_ = false;
    active_ = false;
    handshaking_ = false;
    certificateProblem_.clear();
    ++attempt_;
    socket_->abort();
    ForgetPeerWatch();
    emit Disconnected();
}

void QtMainSock::ForgetPeerWatch() {
    if (peerWatch_ >= 0) ::close(peerWatch_);
    peerWatch_ = -1;
}

bool QtMainSock::PeerReset() const {
    if (peerWatch_ < 0) return false;
    tcp_info info{};
    socklen_t size = sizeof(info);
    if (::getsockopt(peerWatch_, IPPROTO_TCP, TCP_INFO, &info, &size) != 0) return false;
    // A close by the server leaves the link half-open (CLOSE_WAIT) until this
    // side closes too; a reset ends it at once.
    return info.tcpi_state == TCP_CLOSE;
}

void QtMainSock::OnTcpConnected() {
    if (live_) handshaking_ = true;
}

std::vector<std::uint8_t> QtMainSock::PeerPublicKey() const {
    const QByteArray der = tls_->peerCertificate().toDer();
    return PublicKeyOfCertificate(
               std::span(reinterpret_cast<const std::uint8_t*>(der.constData()), static_cast<std::size_t>(der.size())))
        .value_or(std::vector<std::uint8_t>{});
}

void QtMainSock::OnSslErrors(const QList<QSslError>& errors) {
    if (!live_) return;
    // Not ignoring the errors ends the handshake; Qt then reports the failure.
    std::string problems;
    for (const QSslError& error : errors) problems += (problems.empty() ? "" : "; ") + Ascii(error.errorString());
    certificateProblem_ = "the server's certificate is refused: " + problems;
    if (security_.pins.empty()) return;
    const std::vector<std::uint8_t> key = PeerPublicKey();
    if (!KeyMatchesPin(key, security_.pins)) {
        certificateProblem_ = KeyRefusal(key);
        return;
    }
    if (!std::all_of(errors.begin(), errors.end(), [](const QSslError& e) { return AboutIssuerOrName(e.error()); }))
        return;
    certificateProblem_.clear();
    tls_->ignoreSslErrors(errors);
}

void QtMainSock::OnConnected() {
    if (!live_) return;
    if (tls_ && !security_.pins.empty()) {
        // Also when the certificate raised no error at all: a certificate an
        // authority vouches for still needs the pinned key.
        const std::vector<std::uint8_t> key = PeerPublicKey();
        if (!KeyMatchesPin(key, security_.pins)) {
            RefuseTls(KeyRefusal(key));
            return;
        }
    }
    handshaking_ = false;
    active_ = true;
    ForgetPeerWatch();
    peerWatch_ = ::fcntl(static_cast<int>(socket_->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    emit Connected();
    // A fresh link is writable once, after the connect event has been handled.
    // QTcpSocket buffers every write whole, so the link never becomes
    // writable again in the platform's sense: no later write event.
    const quint64 attempt = attempt_;
    QTimer::singleShot(0, this, [this, attempt] {
        if (active_ && attempt == attempt_) emit Written();
    });
}

void QtMainSock::OnDisconnected() {
    if (live_) EndLink();
}

void QtMainSock::RefuseTls(const std::string& reason) {
    emit TlsRefused(reason);
    if (!live_) return; // the handler closed the link
    emit ErrorOccurred(kTlsRefusedCode);
    if (live_) EndLink();
}

void QtMainSock::OnError(QAbstractSocket::SocketError error) {
    if (!live_) return;
    if (handshaking_) {
        // Whatever ends a TLS link before the handshake is done (a refused
        // certificate, a peer that speaks no TLS, a close) is a failed connect.
        handshaking_ = false;
        RefuseTls(certificateProblem_.empty() ? "the TLS handshake failed: " + Ascii(socket_->errorString())
                                              : certificateProblem_);
        return;
    }
    // The server closing the link is no error, only the disconnect event.
    // QTcpSocket reports a reset by the server under the same value; the
    // state of the link tells the two apart.
    if (error != QAbstractSocket::RemoteHostClosedError) {
        emit ErrorOccurred(WinsockErrorCode(error));
    } else if (PeerReset()) {
        emit ErrorOccurred(kConnectionResetCode);
    }
    // The error handler normally closes the link. When it has not and Qt has
    // given the socket up, end the link here: a failed attempt or a broken
    // link always ends with the disconnect event.
    if (live_ && socket_->state() == QAbstractSocket::UnconnectedState) EndLink();
}

// Qt error -> Winsock number:
//   ConnectionRefused          -> 10061 WSAECONNREFUSED
//   HostNotFound               -> 11001 WSAHOST_NOT_FOUND
//   SocketTimeout              -> 10060 WSAETIMEDOUT
//   Network                    -> 10050 WSAENETDOWN
//   SocketAccess               -> 10013 WSAEACCES
//   SocketResource             -> 10055 WSAENOBUFS
//   AddressInUse               -> 10048 WSAEADDRINUSE
//   SocketAddressNotAvailable  -> 10049 WSAEADDRNOTAVAIL
//   UnsupportedSocketOperation -> 10045 WSAEOPNOTSUPP
//   TemporaryError             -> 10035 WSAEWOULDBLOCK
//   RemoteHostClosed           -> a reset: 10054 WSAECONNRESET; a close: the disconnect event alone, see OnError
//   anything else              -> 20000 + Qt's enum value (UnknownSocketError: 19999), a range Winsock
//                                 does not use, so the number still tells the Qt error apart.
int QtMainSock::WinsockErrorCode(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return 10061;
    case QAbstractSocket::HostNotFoundError: return 11001;
    case QAbstractSocket::SocketTimeoutError: return 10060;
    case QAbstractSocket::NetworkError: return 10050;
    case QAbstractSocket::SocketAccessError: return 10013;
    case QAbstractSocket::SocketResourceError: return 10055;
    case QAbstractSocket::AddressInUseError: return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError: return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError: return 10045;
    case QAbstractSocket::TemporaryError: return 10035;
    default: return 20000 + static_cast<int>(error);
    }
}

} // namespace quorlan::net
