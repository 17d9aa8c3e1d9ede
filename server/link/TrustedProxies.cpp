#include "TrustedProxies.h"

#include <algorithm>
#include <string_view>

namespace quorlan::server {

std::optional<TrustedProxies> TrustedProxies::Parse(const std::string& list, std::string& error) {
    TrustedProxies proxies;
    std::string_view rest = list;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        std::string entry(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        std::erase(entry, ' ');
        if (entry.empty()) continue;
        std::error_code ec;
        const bool v6 = entry.find(':') != std::string::npos;
        if (entry.find('/') == std::string::npos) entry += v6 ? "/128" : "/32";
        if (v6) {
            const auto network = asio::ip::make_network_v6(entry, ec);
            if (!ec) proxies.v6_.push_back(network);
        } else {
            const auto network = asio::ip::make_network_v4(entry, ec);
            if (!ec) proxies.v4_.push_back(network);
        }
        if (ec) {
            error = "--proxy-from: not an address or network: " + entry;
            return std::nullopt;
        }
    }
    return proxies;
}

bool TrustedProxies::Contains(const asio::ip::address& address) const {
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return Contains(asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()));
    if (address.is_v4()) {
        const auto host = address.to_v4();
        return std::any_of(v4_.begin(), v4_.end(), [&](const auto& network) {
            return (host.to_uint() & network.netmask().to_uint()) == network.network().to_uint();
        });
    }
    const auto host = asio::ip::network_v6(address.to_v6(), 128);
    return std::any_of(v6_.begin(), v6_.end(), [&](const auto& network) {
        return host == network || host.is_subnet_of(network);
    });
}

} // namespace quorlan::server
