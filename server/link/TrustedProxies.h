#pragma once
#include <asio/ip/address.hpp>
#include <asio/ip/network_v4.hpp>
#include <asio/ip/network_v6.hpp>

#include <optional>
#include <string>
#include <vector>

namespace quorlan::server {

// The load balancers whose connections carry a PROXY header naming the real
// client: a list of networks, none by default.
class TrustedProxies {
public:
    // "10.0.0.0/8,127.0.0.1,::1/128": networks or single addresses, comma
    // separated; nothing (and why) for a malformed entry.
    static std::optional<TrustedProxies> Parse(const std::string& list, std::string& error);

    bool Contains(const asio::ip::address& address) const;
    bool Empty() const { return v4_.empty() && v6_.empty(); }

private:
    std::vector<asio::ip::network_v4> v4_;
    std::vector<asio::ip::network_v6> v6_;
};

} // namespace quorlan::server
