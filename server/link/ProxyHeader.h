#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace quorlan::server {

// The PROXY protocol header a trusted load balancer puts before a client's
// bytes (version 1: one text line; version 2: a binary block), read from the
// front of a connection's bytes. Nothing else is looked at: the caller reads
// at most `want` more bytes while the answer is NeedMore, so not one byte of
// what follows the header is taken from the socket.
struct ProxyHeader {
    enum class Status { NeedMore, Done, Invalid };
    // Client: the address in the header is the client's. Proxy: a v2 LOCAL
    // header (the proxy's own check), v1 UNKNOWN or an unspecified family: the
    // connection is the proxy itself.
    enum class Source { Client, Proxy };

    // Version 2 headers with more address and TLV bytes than this are refused.
    static constexpr std::size_t kMaxV2Body = 1024;
    // A version 1 line, CRLF included, is never longer.
    static constexpr std::size_t kMaxV1Line = 107;

    Status status = Status::NeedMore;
    std::size_t want = 0;   // NeedMore: bytes that may be read before asking again
    std::size_t length = 0; // Done: bytes of the header
    Source source = Source::Proxy;
    std::string address;    // Done, Client: the client's address, as Asio prints it
    std::uint16_t port = 0;
    std::string error;      // Invalid: why

    static ProxyHeader Parse(std::span<const std::uint8_t> bytes);
    // Whether bytes at the start of a connection are the beginning of such a
    // header: the whole v1 "PROXY" word or at least five bytes of the v2
    // signature (fewer could be the start of a client's packet).
    static bool Starts(std::span<const std::uint8_t> bytes);
};

} // namespace quorlan::server
