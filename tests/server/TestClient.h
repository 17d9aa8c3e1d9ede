#pragma once
#include "net/Codec.h"
#include "net/StreamFramer.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorlan::test {

// A blocking loopback client that speaks the wire codec, for driving a real
// server. Every wait is bounded; nothing sleeps.
class TestClient {
public:
    // `source`: the loopback address to connect from ("" for the default).
    explicit TestClient(std::uint16_t port, int receiveBuffer = 0, const std::string& source = "");
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool Connected() const { return fd_ >= 0; }
    // True once a read found the connection closed by the other end.
    bool Closed() const { return eof_; }
    bool SendBytes(const std::vector<std::uint8_t>& bytes);
    bool Send(const net::Encoded& packet) { return packet.ok() && SendBytes(packet.bytes); }

    // The next whole message, or nothing when none arrives in time.
    std::optional<net::ServerMessage> Next(std::chrono::milliseconds wait = std::chrono::seconds(5));
    // The next message of the given type, skipping others; nothing on timeout.
    std::optional<net::ServerMessage> NextOf(std::uint8_t type,
                                             std::chrono::milliseconds wait = std::chrono::seconds(5));
    // The result code of the next result message of this type (nullopt on timeout).
    std::optional<std::uint32_t> Result(std::uint8_t type, std::chrono::milliseconds wait = std::chrono::seconds(10));
    // True when the server closes the connection within the wait.
    bool ClosedByServer(std::chrono::milliseconds wait = std::chrono::seconds(5));

    // Version, then Login; the login result code.
    std::optional<std::uint32_t> LogIn(const std::string& id, const std::string& password);
    // SetBoard and SearchState 1; true when the board was accepted.
    bool Watch(const std::string& url, std::int32_t interval = 0, bool monitoring = true);

private:
    // Reads what is there (waiting up to `wait` for the first bytes); false on close.
    bool Fill(std::chrono::milliseconds wait);
    std::optional<net::ServerMessage> TakeBuffered();

    int fd_ = -1;
    bool eof_ = false;
    net::StreamFramer framer_{net::kAnyLength};
};

} // namespace quorlan::test
