#include "WireTap.h"

#include "net/Codec.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorlan::test {
namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void NoDelay(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool SendAll(int fd, const std::uint8_t* data, std::size_t size) {
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

WireTap::WireTap(std::uint16_t serverPort) : serverPort_(serverPort) {}

WireTap::~WireTap() {
    if (thread_.joinable()) {
        const char stop = 1;
        (void)::write(wake_[1], &stop, 1);
        thread_.join();
    }
    for (Link& link : links_) {
        ::close(link.client);
        ::close(link.server);
    }
    for (int fd : {listener_, wake_[0], wake_[1]})
        if (fd >= 0) ::close(fd);
}

std::string WireTap::Start() {
    if (::pipe(wake_) != 0) return std::string("pipe: ") + std::strerror(errno);
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener_ < 0) return std::string("socket: ") + std::strerror(errno);
    sockaddr_in address = Loopback(0);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 8) != 0)
        return std::string("bind/listen: ") + std::strerror(errno);
    socklen_t size = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
    return {};
}

std::vector<TappedPacket> WireTap::Packets() const {
    std::lock_guard lock(mutex_);
    return packets_;
}

void WireTap::Run() {
    while (true) {
        std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        for (const Link& link : links_) {
            fds.push_back({link.client, POLLIN, 0});
            fds.push_back({link.server, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        std::vector<Link> kept;
        for (std::size_t i = 0; i < links_.size(); ++i) {
            Link& link = links_[i];
            bool open = true;
            if (fds[2 + 2 * i].revents) open = Pump(link.client, link.server, link.up, true);
            if (open && fds[3 + 2 * i].revents) open = Pump(link.server, link.client, link.down, false);
            if (open) {
                kept.push_back(std::move(link));
            } else {
                ::close(link.client);
                ::close(link.server);
            }
        }
        links_ = std::move(kept);
        if (fds[1].revents & POLLIN) Accept();
    }
}

void WireTap::Accept() {
    const int client = ::accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(serverPort_);
    if (server < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        // The client sees its connection close, as it would with the server down.
        if (server >= 0) ::close(server);
        ::close(client);
        return;
    }
    NoDelay(client);
    NoDelay(server);
    Link link;
    link.client = client;
    link.server = server;
    links_.push_back(std::move(link));
}

bool WireTap::Pump(int from, int to, Stream& stream, bool fromClient) {
    std::uint8_t chunk[16384];
    const ssize_t n = ::recv(from, chunk, sizeof chunk, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (n <= 0) return false;
    const auto at = std::chrono::steady_clock::now();
    if (!SendAll(to, chunk, static_cast<std::size_t>(n))) return false;
    if (stream.framing) {
        stream.framer.Feed(chunk, static_cast<std::size_t>(n));
        Frame(stream, fromClient, at);
    }
    return true;
}

void WireTap::Frame(Stream& stream, bool fromClient, std::chrono::steady_clock::time_point at) {
    std::lock_guard lock(mutex_);
    while (true) {
        const net::StreamFramer::Frame frame = stream.framer.Next();
        if (frame.kind == net::StreamFramer::Frame::Kind::NeedMore) return;
        if (frame.kind == net::StreamFramer::Frame::Kind::Error) {
            stream.framing = false;
            stream.framer = net::StreamFramer(net::kAnyLength); // forget what it held
            return;
        }
        packets_.push_back({fromClient, at, std::vector<std::uint8_t>(frame.data, frame.data + frame.size)});
    }
}

} // namespace quorlan::test
