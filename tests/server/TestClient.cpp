#include "TestClient.h"

#include "fakes/LoopbackSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace quorlan::test {

TestClient::TestClient(std::uint16_t port, int receiveBuffer, const std::string& source) {
    fd_ = ConnectLoopback(port, receiveBuffer, false, source.empty() ? nullptr : source.c_str());
}

TestClient::~TestClient() {
    if (fd_ >= 0) ::close(fd_);
}

bool TestClient::SendBytes(const std::vector<std::uint8_t>& bytes) {
    return SendAll(fd_, bytes);
}

bool TestClient::Fill(std::chrono::milliseconds wait) {
    if (fd_ < 0 || eof_) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) return true;
    std::uint8_t chunk[65536];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
        eof_ = true;
        return false;
    }
    framer_.Feed(chunk, static_cast<std::size_t>(n));
    return true;
}

std::optional<net::ServerMessage> TestClient::TakeBuffered() {
    const net::StreamFramer::Frame frame = framer_.Next();
    if (frame.kind != net::StreamFramer::Frame::Kind::Packet) return std::nullopt;
    return net::DecodeServerMessage(frame.data, frame.size);
}

std::optional<net::ServerMessage> TestClient::Next(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (true) {
        if (auto message = TakeBuffered()) return message;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !Fill(left)) return std::nullopt;
    }
}

std::optional<net::ServerMessage> TestClient::NextOf(std::uint8_t type, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        auto message = Next(left);
        if (!message) return std::nullopt;
        if (message->type == type) return message;
    }
}

std::optional<std::uint32_t> TestClient::Result(std::uint8_t type, std::chrono::milliseconds wait) {
    auto message = NextOf(type, wait);
    if (!message || !message->code) return std::nullopt;
    return message->code;
}

bool TestClient::ClosedByServer(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < deadline) {
        framer_ = net::StreamFramer(net::kAnyLength);
        if (!Fill(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())))
            return eof_;
    }
    return false;
}

std::optional<std::uint32_t> TestClient::LogIn(const std::string& id, const std::string& password) {
    if (!Send(net::EncodeVersion()) || Result(net::VersionResult) != 1u) return std::nullopt;
    if (!Send(net::EncodeLogin(id, password))) return std::nullopt;
    return Result(net::LoginResult);
}

bool TestClient::Watch(const std::string& url, std::int32_t interval, bool monitoring) {
    if (!Send(net::EncodeSetBoard(interval, url)) || Result(net::SetBoardResult) != 1u) return false;
    return !monitoring || Send(net::EncodeSearchState(1));
}

} // namespace quorlan::test
