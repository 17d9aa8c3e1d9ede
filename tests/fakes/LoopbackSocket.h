#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace quorlan::test {

// A blocking TCP connection to 127.0.0.1:port for codec-based test peers;
// -1 when it cannot be made. receiveBuffer > 0 shrinks the socket's receive
// buffer (slow-reader tests). A `source` such as "127.0.0.2" makes the
// connection come from that loopback address, as from another machine.
inline int ConnectLoopback(std::uint16_t port, int receiveBuffer = 0, bool noDelay = false,
                           const char* source = nullptr) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    if (receiveBuffer > 0) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    if (source) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (::inet_pton(AF_INET, source, &local.sin_addr) != 1 ||
            ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            ::close(fd);
            return -1;
        }
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    if (noDelay) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return fd;
}

// Writes every byte (retrying short writes and interruptions); false when the
// connection fails first.
inline bool SendAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t sent = 0;
    while (fd >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return fd >= 0;
}

} // namespace quorlan::test
