#include "RedisFleet.h"

#include "Resp.h"

#include <asio/write.hpp>
#include <poll.h>

namespace quorlan::loadgen {
namespace {

constexpr std::string_view kChannel = "board";
constexpr std::size_t kBatch = 500;

bool Send(Link& link, const std::string& bytes) {
    std::error_code ec;
    asio::write(link.socket, asio::buffer(bytes), ec);
    return !ec;
}

// Blocking wait for one whole reply, 10 s at most.
bool AwaitReply(Link& link, std::vector<std::string>& items) {
    while (true) {
        bool bad = false;
        const std::size_t used = ParseResp(link.pending.data(), link.pending.size(), items, bad);
        if (bad) return false;
        if (used) {
            link.pending.erase(link.pending.begin(), link.pending.begin() + static_cast<long>(used));
            return true;
        }
        pollfd p{link.socket.native_handle(), POLLIN, 0};
        if (::poll(&p, 1, 10'000) <= 0) return false;
        std::error_code ec;
        const std::size_t n = link.socket.read_some(asio::buffer(link.chunk), ec);
        if (ec) return false;
        link.pending.insert(link.pending.end(), link.chunk.begin(), link.chunk.begin() + static_cast<long>(n));
    }
}

} // namespace

bool RedisFleet::Setup(std::uint16_t port, std::size_t subscribers, std::string& error) {
    const std::string subscribe = RespCommand({"SUBSCRIBE", kChannel});
    while (links_.size() < subscribers) {
        const std::size_t first = links_.size();
        const std::size_t last = std::min(subscribers, first + kBatch);
        for (std::size_t i = first; i < last; ++i)
            if (!ConnectLink(port, error) || !Send(*links_.back(), subscribe)) {
                if (error.empty()) error = "redis: write failed during setup";
                return false;
            }
        for (std::size_t i = first; i < last; ++i) {
            std::vector<std::string> items;
            if (!AwaitReply(*links_[i], items) || items.empty() || items[0] != "subscribe") {
                error = "redis: subscriber " + std::to_string(i) + " not subscribed";
                return false;
            }
        }
    }
    // The publisher is not a subscriber; its PUBLISH replies are read and dropped.
    publisher_ = std::make_unique<Link>(loop_);
    std::error_code ec;
    publisher_->socket.connect({asio::ip::address_v4::loopback(), port}, ec);
    if (ec) {
        error = "redis: publisher: " + ec.message();
        return false;
    }
    publisher_->socket.set_option(asio::ip::tcp::no_delay(true), ec);
    Read(*publisher_);
    return true;
}

void RedisFleet::Publish(std::uint64_t, const std::string& line) {
    Send(*publisher_, RespCommand({"PUBLISH", kChannel, line}));
}

bool RedisFleet::Extract(Link& link, const std::function<void(std::string_view)>& line) {
    while (true) {
        std::vector<std::string> items;
        bool bad = false;
        const std::size_t used = ParseResp(link.pending.data(), link.pending.size(), items, bad);
        if (bad) return false;
        if (!used) return true;
        link.pending.erase(link.pending.begin(), link.pending.begin() + static_cast<long>(used));
        if (items.size() == 3 && items[0] == "message") line(items[2]);
    }
}

} // namespace quorlan::loadgen
