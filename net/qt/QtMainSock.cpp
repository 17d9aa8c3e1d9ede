#include "QtMainSock.h"

#include <QString>
#include <QTimer>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorlan::net {

QtMainSock::QtMainSock(QObject* parent) : QObject(parent) {
    socket_.setReadBufferSize(kReadBufferCap);
    connect(&socket_, &QTcpSocket::connected, this, &QtMainSock::OnConnected);
    connect(&socket_, &QTcpSocket::disconnected, this, &QtMainSock::OnDisconnected);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &QtMainSock::OnError);
    connect(&socket_, &QTcpSocket::readyRead, this, &QtMainSock::ReadyRead);
}

QtMainSock::~QtMainSock() {
    // The owner's handlers may be gone already: leave without events.
    QObject::disconnect(&socket_, nullptr, this, nullptr);
    socket_.abort();
    ForgetPeerWatch();
}

int QtMainSock::Write(const std::uint8_t* data, int count) {
    if (!active_ || data == nullptr || count <= 0) return 0;
    const qint64 taken = socket_.write(reinterpret_cast<const char*>(data), count);
    return taken < 0 ? 0 : static_cast<int>(taken);
}

int QtMainSock::BytesWaiting() { return live_ ? static_cast<int>(socket_.bytesAvailable()) : 0; }

int QtMainSock::Read(std::uint8_t* data, int count) {
    if (!live_ || data == nullptr || count <= 0) return 0;
    const qint64 got = socket_.read(reinterpret_cast<char*>(data), count);
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
    socket_.connectToHost(QString::fromStdString(address_), port_);
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
    ++attempt_;
    socket_.abort();
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

void QtMainSock::OnConnected() {
    if (!live_) return;
    active_ = true;
    ForgetPeerWatch();
    peerWatch_ = ::fcntl(static_cast<int>(socket_.socketDescriptor()), F_DUPFD_CLOEXEC, 0);
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

void QtMainSock::OnError(QAbstractSocket::SocketError error) {
    if (!live_) return;
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
    if (live_ && socket_.state() == QAbstractSocket::UnconnectedState) EndLink();
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
