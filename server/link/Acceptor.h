#pragma once
#include "Session.h"
#include "server/common/IPeer.h"
#include "server/common/Metrics.h"
#include "server/limits/TrustRules.h"
#include "TrustedProxies.h"

#include <asio/ssl/context.hpp>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <cstddef>
#include <memory>
#include <string>

namespace quorlan::server {

// Accepts client connections up to the connection limit and the limit per
// address; a connection over either is closed at once. A connection from a
// trusted proxy counts for the client its PROXY header names, once the header
// is read (Intake); any other counts for its peer from the start. Each
// admitted socket becomes a Session handed to the hub, speaking TLS when the
// acceptor has a TLS context.
class Acceptor {
public:
    struct Options {
        std::size_t maxConnections = 10'000;
        int socketSendBuffer = 0;
        SessionLimits limits;
        TrustedProxies proxies;
        // Null: plain TCP.
        std::shared_ptr<asio::ssl::context> tls;
    };
    Acceptor(asio::io_context& loop, ISessionHandler& handler, TrustRules& rules, Metrics& metrics, Options options);

    // Binds and listens; false with the reason on failure.
    bool Listen(const std::string& host, std::uint16_t port, std::string& error);
    std::uint16_t Port() const;
    void Stop();
    // New connections use this context from now on; open ones keep theirs.
    void SetTls(std::shared_ptr<asio::ssl::context> tls) { options_.tls = std::move(tls); }

private:
    void Accept();
    void Admit(asio::ip::tcp::socket socket, const asio::ip::address& peer);
    void StartSession(asio::ip::tcp::socket socket, Session::Origin origin);

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
    // Connections still in their Intake, counted against the connection limit.
    std::size_t intakes_ = 0;
};

} // namespace quorlan::server
