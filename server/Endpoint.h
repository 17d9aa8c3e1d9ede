#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorlan::server {

// "host:port" as given on the command line; "[::1]:3000" for IPv6 literals.
struct Endpoint {
    std::string host;
    std::uint16_t port = 0;
};
std::optional<Endpoint> ParseEndpoint(std::string_view text);
// The admin endpoint has no authentication, so it may only listen on loopback.
bool IsLoopbackHost(std::string_view host);

} // namespace quorlan::server
