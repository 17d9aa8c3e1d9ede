#include "Endpoint.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include <charconv>

namespace quorlan::server {

std::optional<Endpoint> ParseEndpoint(std::string_view text) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    std::string_view host = text.substr(0, colon);
    const std::string_view portText = text.substr(colon + 1);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return std::nullopt;
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string_view::npos) {
        return std::nullopt;
    }
    unsigned port = 0;
    const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (portText.empty() || ec != std::errc() || end != portText.data() + portText.size() || port > 65535)
        return std::nullopt;
    return Endpoint{std::string(host), static_cast<std::uint16_t>(port)};
}

std::optional<std::string> LoopbackAddress(const std::string& host) {
    std::error_code ec;
    const auto literal = asio::ip::make_address(host, ec);
    if (!ec) return literal.is_loopback() ? std::optional<std::string>(literal.to_string()) : std::nullopt;
    asio::io_context context;
    asio::ip::tcp::resolver resolver(context);
    const auto results = resolver.resolve(host, "", asio::ip::resolver_base::numeric_service, ec);
    if (ec || results.empty()) return std::nullopt;
    for (const auto& entry : results)
        if (!entry.endpoint().address().is_loopback()) return std::nullopt;
    return results.begin()->endpoint().address().to_string();
}

} // namespace quorlan::server
