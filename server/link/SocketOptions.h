#pragma once
#include <asio/ip/tcp.hpp>

namespace quorlan::server {

// TCP keepalive tuned to notice a vanished client within about two minutes
// (a client may stay silent for its whole monitoring period), and an optional
// send buffer size (0: leave the system's).
void ApplyClientSocketOptions(asio::ip::tcp::socket& socket, int sendBuffer);

// Raises the open-file limit to the hard limit; returns the limit now in force.
unsigned long RaiseFileLimit();

} // namespace quorlan::server
