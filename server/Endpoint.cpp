#include "Endpoint.h"

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

bool IsLoopbackHost(std::string_view host) {
    return host == "localhost" || host == "::1" || host.substr(0, 4) == "127.";
}

} // namespace quorlan::server
