#pragma once
#include "FanoutMeter.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorlan::loadgen {

// One simulated subscriber connection of either system.
struct Link {
    explicit Link(asio::io_context& loop) : socket(loop) {}
    asio::ip::tcp::socket socket;
    std::vector<std::uint8_t> pending;
    std::array<std::uint8_t, 2048> chunk{};
};

// N subscribers and one publisher of one fan-out system, all on one loop.
// The subscribers come from many loopback addresses, a few from each, as real
// clients would, so that limits per address see an ordinary load.
class Fleet {
public:
    static constexpr std::size_t kClientsPerSource = 8;
    // The source address of the index-th link.
    static asio::ip::address_v4 SourceFor(std::size_t index);

    explicit Fleet(asio::io_context& loop) : loop_(loop) {}
    virtual ~Fleet() = default;
    virtual const char* Name() const = 0;
    // Connects and registers every subscriber; false with the reason.
    virtual bool Setup(std::uint16_t port, std::size_t subscribers, std::string& error) = 0;
    virtual void Publish(std::uint64_t sequence, const std::string& line) = 0;

    // Starts reading every link; each post line arriving goes to the meter.
    void StartReading(FanoutMeter& meter);
    void Close();

protected:
    // Takes whole messages from the link's pending bytes, calling `line` for
    // each post line; false on a protocol error.
    virtual bool Extract(Link& link, const std::function<void(std::string_view)>& line) = 0;
    // Connects the next link from its source address (SourceFor).
    bool ConnectLink(std::uint16_t port, std::string& error);
    void Read(Link& link);

    asio::io_context& loop_;
    std::vector<std::unique_ptr<Link>> links_;
    FanoutMeter* meter_ = nullptr;
};

} // namespace quorlan::loadgen
