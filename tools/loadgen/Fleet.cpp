#include "Fleet.h"

#include <asio/connect.hpp>

namespace quorlan::loadgen {

asio::ip::address_v4 Fleet::SourceFor(std::size_t index) {
    // 127.0.0.2 onwards, a few clients each, as from many machines.
    const std::size_t source = index / kClientsPerSource;
    return asio::ip::address_v4(static_cast<asio::ip::address_v4::uint_type>(
        (127u << 24) | (static_cast<unsigned>(source / 250) << 8) | static_cast<unsigned>(source % 250 + 2)));
}

bool Fleet::ConnectLink(std::uint16_t port, std::string& error) {
    auto link = std::make_unique<Link>(loop_);
    std::error_code ec;
    link->socket.open(asio::ip::tcp::v4(), ec);
    if (!ec) link->socket.bind({SourceFor(links_.size()), 0}, ec);
    if (!ec) link->socket.connect({asio::ip::address_v4::loopback(), port}, ec);
    if (ec) {
        error = std::string(Name()) + ": connection " + std::to_string(links_.size() + 1) + ": " + ec.message();
        return false;
    }
    link->socket.set_option(asio::ip::tcp::no_delay(true), ec);
    links_.push_back(std::move(link));
    return true;
}

void Fleet::StartReading(FanoutMeter& meter) {
    meter_ = &meter;
    for (auto& link : links_) Read(*link);
}

void Fleet::Read(Link& link) {
    link.socket.async_read_some(asio::buffer(link.chunk), [this, &link](const std::error_code& ec, std::size_t n) {
        if (ec) return;
        link.pending.insert(link.pending.end(), link.chunk.begin(), link.chunk.begin() + static_cast<long>(n));
        const bool ok = Extract(link, [this](std::string_view line) {
            if (meter_) meter_->Received(SequenceOf(line));
        });
        if (ok) Read(link);
    });
}

void Fleet::Close() {
    std::error_code ignored;
    for (auto& link : links_) link->socket.close(ignored);
    links_.clear();
}

} // namespace quorlan::loadgen
