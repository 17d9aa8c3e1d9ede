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
// The numeric address to listen on for `host` when it is, or resolves only
// to, loopback addresses ("127.0.0.1", "::1", "localhost"); nothing for any
// other host or one that does not resolve. The admin endpoint listens on
// loopback only, and binds the address checked here, not the name.
std::optional<std::string> LoopbackAddress(const std::string& host);

} // namespace quorlan::server
