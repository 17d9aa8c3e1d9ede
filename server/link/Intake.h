#pragma once
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorlan::server {

// What a new connection is before it becomes a session: the wait for its
// first bytes, which must be a PROXY header when the peer is a trusted proxy
// and must not be one otherwise. Only the header's own bytes are taken from
// the socket (what follows is the session's), and all of it is bounded by the
// packet timeout.
class Intake : public std::enable_shared_from_this<Intake> {
public:
    enum class Outcome { Admitted, HeaderMissing, HeaderUnexpected, Gone };
    struct Result {
        Outcome outcome = Outcome::Gone;
        // Admitted: who the connection speaks for (the client named by the
        // header, or the peer itself), and what went wrong otherwise.
        std::string address;
        std::uint16_t port = 0;
        std::string error;
    };
    // Given the socket whatever the outcome: one not admitted closes as it
    // goes out of scope, after its outcome has been counted.
    using Done = std::function<void(asio::ip::tcp::socket socket, Result result)>;

    Intake(asio::ip::tcp::socket socket, bool trustedProxy, std::chrono::milliseconds timeout, Done done);
    void Start();

private:
    void WaitReadable();
    void OnReadable();
    void ReadHeader();
    void CheckNoHeader();
    void Finish(Result result);

    asio::ip::tcp::socket socket_;
    asio::steady_timer deadline_;
    bool trustedProxy_;
    std::chrono::milliseconds timeout_;
    Done done_;
    std::string peerAddress_;
    std::uint16_t peerPort_ = 0;
    std::vector<std::uint8_t> header_;
    bool finished_ = false;
};

} // namespace quorlan::server
