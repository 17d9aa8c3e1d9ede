#include "SocketOptions.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>

namespace quorlan::server {

void ApplyClientSocketOptions(asio::ip::tcp::socket& socket, int sendBuffer) {
    std::error_code ignored;
    socket.set_option(asio::socket_base::keep_alive(true), ignored);
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    const int fd = socket.native_handle();
    const int idle = 60, interval = 10, count = 6;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    if (sendBuffer > 0) socket.set_option(asio::socket_base::send_buffer_size(sendBuffer), ignored);
}

unsigned long RaiseFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return static_cast<unsigned long>(limit.rlim_cur);
}

} // namespace quorlan::server
