#pragma once
#include "Session.h"
#include "server/common/IPeer.h"
#include "server/common/Metrics.h"
#include "server/limits/TrustRules.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <cstddef>
#include <string>

namespace quorlan::server {

// Accepts client connections up to the connection limit and the limit per
// address; a connection over either is closed at once. Each accepted socket becomes a Session handed
// to the hub.
class Acceptor {
public:
    struct Options {
        std::size_t maxConnections = 10'000;
        int socketSendBuffer = 0;
        SessionLimits limits;
    };
    Acceptor(asio::io_context& loop, ISessionHandler& handler, TrustRules& rules, Metrics& metrics, Options options);

    // Binds and listens; false with the reason on failure.
    bool Listen(const std::string& host, std::uint16_t port, std::string& error);
    std::uint16_t Port() const;
    void Stop();

private:
    void Accept();

    asio::io_context& loop_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer retry_;
    ISessionHandler& handler_;
    TrustRules& rules_;
    Metrics& metrics_;
    Options options_;
    ReadScratch scratch_{};
    WriteBatcher batcher_;
    SessionId nextId_ = 1;
};

} // namespace quorlan::server
