#pragma once
#include "net/Codec.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace quorlan::test {

// A second client of the server built on the wire codec alone: blocking
// writes, and a reader thread that stamps every server message as it arrives.
// It takes its checking turns like a client whose board page has not changed
// since the list it was given: a CheckList is answered at once by a
// ListReport of that same list, a ListRequest by the last list it was given.
// So it never reports a post itself, and every new post reaches the board
// through the other clients.
class PeerClient {
public:
    struct Received {
        net::ServerMessage message;
        std::chrono::steady_clock::time_point at;
    };

    explicit PeerClient(std::uint16_t port);
    ~PeerClient();
    PeerClient(const PeerClient&) = delete;
    PeerClient& operator=(const PeerClient&) = delete;

    bool Connected() const { return fd_ >= 0; }
    bool Send(const net::Encoded& packet);

    // Everything received so far, in arrival order.
    std::vector<Received> Messages() const;
    std::size_t Count() const;
    // The first message of this type at or after index `from`, waiting up to
    // `wait` on the calling thread (which therefore runs no event loop meanwhile).
    std::optional<Received> WaitFor(std::uint8_t type, std::size_t from, std::chrono::milliseconds wait) const;
    // Without waiting.
    std::optional<Received> Find(std::uint8_t type, std::size_t from) const;

private:
    void Read();
    void Answer(const net::ServerMessage& message);

    int fd_ = -1;
    int wake_[2] = {-1, -1};
    std::thread reader_;
    std::mutex writeMutex_;
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<Received> received_;
    std::string lastList_;
};

} // namespace quorlan::test
