#include "Acceptor.h"

#include "SocketOptions.h"

#include <spdlog/spdlog.h>

namespace quorlan::server {

Acceptor::Acceptor(asio::io_context& loop, ISessionHandler& handler, TrustRules& rules, Metrics& metrics,
                   Options options)
    : loop_(loop), acceptor_(loop), retry_(loop), handler_(handler), rules_(rules), metrics_(metrics),
      options_(options), batcher_(loop) {}

bool Acceptor::Listen(const std::string& host, std::uint16_t port, std::string& error) {
    std::error_code ec;
    const auto address = asio::ip::make_address(host, ec);
    if (ec) {
        error = "not an IP address: " + host;
        return false;
    }
    const asio::ip::tcp::endpoint endpoint(address, port);
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec) acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "cannot listen on " + host + ":" + std::to_string(port) + ": " + ec.message();
        return false;
    }
    Accept();
    return true;
}

std::uint16_t Acceptor::Port() const {
    std::error_code ec;
    const auto endpoint = acceptor_.local_endpoint(ec);
    return ec ? 0 : endpoint.port();
}

void Acceptor::Stop() {
    std::error_code ignored;
    acceptor_.close(ignored);
    retry_.cancel();
}

void Acceptor::Accept() {
    acceptor_.async_accept([this](const std::error_code& ec, asio::ip::tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
        if (ec) {
            // Out of descriptors and similar: try again shortly instead of spinning.
            spdlog::warn("accept failed: {}", ec.message());
            retry_.expires_after(std::chrono::milliseconds(100));
            retry_.async_wait([this](const std::error_code& waitError) {
                if (!waitError && acceptor_.is_open()) Accept();
            });
            return;
        }
        std::error_code peerError;
        const auto peer = socket.remote_endpoint(peerError);
        const std::string address = peerError ? std::string("?") : peer.address().to_string();
        if (static_cast<std::size_t>(metrics_.connections.load(std::memory_order_relaxed)) >=
            options_.maxConnections) {
            metrics_.connectionsRejected.fetch_add(1, std::memory_order_relaxed);
            std::error_code ignored;
            socket.close(ignored);
        } else if (!rules_.AdmitConnection(address)) {
            metrics_.connectionsRejectedPerAddress.fetch_add(1, std::memory_order_relaxed);
            spdlog::debug("connection from {} refused: {} already open from there", address,
                          rules_.Connections(address));
            std::error_code ignored;
            socket.close(ignored);
        } else {
            metrics_.connectionsAccepted.fetch_add(1, std::memory_order_relaxed);
            ApplyClientSocketOptions(socket, options_.socketSendBuffer);
            auto session = std::make_shared<Session>(std::move(socket), nextId_++, handler_, metrics_,
                                                     options_.limits, scratch_, batcher_);
            handler_.OnOpened(session);
            session->Start();
        }
        Accept();
    });
}

} // namespace quorlan::server
