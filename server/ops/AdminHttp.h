#pragma once
#include "server/common/Metrics.h"

#include <asio/io_context.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace quorlan::server {

// The operator's HTTP endpoint, on a loopback address only (checked
// numerically after resolving), on its own thread:
//   GET /health        200 "ok" while the event loop answers and the server
//                      is healthy (in a cluster: its database link is up);
//                      503 with the reason otherwise
//   GET /metrics       Prometheus text
//   POST /notice       body: UTF-8 text sent as a `System` notice to every
//                      client, or with ?board=URL to that board's clients;
//                      needs "Authorization: Bearer TOKEN" (401 otherwise)
// Work that touches the server's state is posted into the event loop.
class AdminHttp {
public:
    // Runs on the loop; the count reached, or nothing when the text is too long.
    using NoticeSender = std::function<std::optional<std::size_t>(const std::string& text, const std::string& board)>;
    // Runs on the loop: whether the server is healthy, and a line saying why
    // (empty: nothing to add to "ok").
    struct Health {
        bool ok = true;
        std::string detail;
    };
    using HealthProbe = std::function<Health()>;

    AdminHttp(asio::io_context& loop, const Metrics& metrics, std::string token, NoticeSender sendNotice,
              HealthProbe probe);

    // The token in `path`, or a new random one written there (mode 0600)
    // when the file does not exist; nothing with the reason on failure.
    static std::optional<std::string> LoadOrCreateToken(const std::string& path, std::string& error);
    ~AdminHttp();
    AdminHttp(const AdminHttp&) = delete;
    AdminHttp& operator=(const AdminHttp&) = delete;

    bool Start(const std::string& host, std::uint16_t port, std::string& error);
    std::uint16_t Port() const { return port_; }
    void Stop();

private:
    template <typename T> std::optional<T> OnLoop(std::function<T()> work);

    asio::io_context& loop_;
    bool Authorised(const std::string& header) const;

    const Metrics& metrics_;
    std::string token_;
    NoticeSender sendNotice_;
    HealthProbe probe_;
    std::unique_ptr<httplib::Server> http_;
    std::thread thread_;
    std::uint16_t port_ = 0;
};

} // namespace quorlan::server
