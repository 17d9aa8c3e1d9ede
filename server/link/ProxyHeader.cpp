#include "ProxyHeader.h"

#include <asio/ip/address.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

namespace quorlan::server {
namespace {

constexpr std::array<std::uint8_t, 12> kV2Signature{0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D,
                                                    0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A};
constexpr std::string_view kV1Word = "PROXY ";
constexpr std::size_t kV2Fixed = 16;
// "PROXY UNKNOWN\r\n", the shortest line there is.
constexpr std::size_t kV1Shortest = 15;
// Both versions are at least this long, so this much can always be read first.
constexpr std::size_t kShortest = std::min(kV1Shortest, kV2Fixed);

bool PrefixOf(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> pattern) {
    const std::size_t n = std::min(bytes.size(), pattern.size());
    return std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n), pattern.begin());
}

std::span<const std::uint8_t> V1Word() {
    return {reinterpret_cast<const std::uint8_t*>(kV1Word.data()), kV1Word.size()};
}

ProxyHeader Invalid(std::string why) {
    ProxyHeader header;
    header.status = ProxyHeader::Status::Invalid;
    header.error = std::move(why);
    return header;
}

ProxyHeader NeedMore(std::size_t want) {
    ProxyHeader header;
    header.want = want;
    return header;
}

ProxyHeader Done(std::size_t length, ProxyHeader::Source source, std::string address = {}, std::uint16_t port = 0) {
    ProxyHeader header;
    header.status = ProxyHeader::Status::Done;
    header.length = length;
    header.source = source;
    header.address = std::move(address);
    header.port = port;
    return header;
}

bool ParsePort(std::string_view text, std::uint16_t& port) {
    if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0')) return false;
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

std::optional<asio::ip::address> ParseAddress(bool v4, std::string_view text) {
    std::error_code ec;
    const asio::ip::address address = v4 ? asio::ip::address(asio::ip::make_address_v4(std::string(text), ec))
                                         : asio::ip::address(asio::ip::make_address_v6(std::string(text), ec));
    if (ec) return std::nullopt;
    return address;
}

std::vector<std::string_view> SplitSpaces(std::string_view line) {
    std::vector<std::string_view> fields;
    while (!line.empty()) {
        const std::size_t space = line.find(' ');
        fields.push_back(line.substr(0, space));
        if (space == std::string_view::npos) break;
        line.remove_prefix(space + 1);
    }
    return fields;
}

ProxyHeader ParseV1(std::span<const std::uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()),
                                std::min(bytes.size(), ProxyHeader::kMaxV1Line));
    const std::size_t end = text.find("\r\n");
    if (end == std::string_view::npos) {
        if (bytes.size() >= ProxyHeader::kMaxV1Line) return Invalid("v1 line without CRLF within 107 bytes");
        return NeedMore(bytes.size() < kV1Shortest ? kV1Shortest - bytes.size() : 1);
    }
    const std::string_view line = text.substr(kV1Word.size(), end - kV1Word.size());
    if (std::any_of(line.begin(), line.end(), [](char c) { return c < 0x20 || c > 0x7E; }))
        return Invalid("v1 line with control or non-ASCII bytes");
    const auto fields = SplitSpaces(line);
    if (!fields.empty() && fields[0] == "UNKNOWN") return Done(end + 2, ProxyHeader::Source::Proxy);
    if (fields.size() != 5 || (fields[0] != "TCP4" && fields[0] != "TCP6"))
        return Invalid("v1 line is not TCP4/TCP6 with two addresses and two ports");
    const bool v4 = fields[0] == "TCP4";
    const auto source = ParseAddress(v4, fields[1]);
    if (!source) return Invalid("v1 source address is not " + std::string(fields[0]));
    if (!ParseAddress(v4, fields[2])) return Invalid("v1 destination address is not " + std::string(fields[0]));
    std::uint16_t sourcePort = 0, destinationPort = 0;
    if (!ParsePort(fields[3], sourcePort) || !ParsePort(fields[4], destinationPort))
        return Invalid("v1 port is not a number from 0 to 65535");
    return Done(end + 2, ProxyHeader::Source::Client, source->to_string(), sourcePort);
}

ProxyHeader ParseV2(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kV2Fixed) return NeedMore(kV2Fixed - bytes.size());
    const std::uint8_t versionCommand = bytes[12];
    const std::uint8_t family = bytes[13];
    const std::size_t body = static_cast<std::size_t>(bytes[14]) << 8 | bytes[15];
    if (versionCommand >> 4 != 2) return Invalid("v2 header of another version");
    const std::uint8_t command = versionCommand & 0x0F;
    if (command > 1) return Invalid("v2 command is neither LOCAL nor PROXY");
    if (body > ProxyHeader::kMaxV2Body) return Invalid("v2 header longer than 1024 bytes");
    const std::size_t length = kV2Fixed + body;
    if (bytes.size() < length) return NeedMore(length - bytes.size());
    // LOCAL: the proxy speaking for itself; whatever addresses follow are not a client's.
    if (command == 0 || family == 0x00) return Done(length, ProxyHeader::Source::Proxy);
    const std::uint8_t* address = bytes.data() + kV2Fixed;
    if (family == 0x11) {
        if (body < 12) return Invalid("v2 TCP over IPv4 with fewer than 12 address bytes");
        asio::ip::address_v4::bytes_type ip;
        std::copy_n(address, ip.size(), ip.begin());
        const auto port = static_cast<std::uint16_t>(address[8] << 8 | address[9]);
        return Done(length, ProxyHeader::Source::Client, asio::ip::address_v4(ip).to_string(), port);
    }
    if (family == 0x21) {
        if (body < 36) return Invalid("v2 TCP over IPv6 with fewer than 36 address bytes");
        asio::ip::address_v6::bytes_type ip;
        std::copy_n(address, ip.size(), ip.begin());
        const auto port = static_cast<std::uint16_t>(address[32] << 8 | address[33]);
        return Done(length, ProxyHeader::Source::Client, asio::ip::address_v6(ip).to_string(), port);
    }
    return Invalid("v2 header for neither TCP over IPv4 nor TCP over IPv6");
}

} // namespace

ProxyHeader ProxyHeader::Parse(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return NeedMore(kShortest);
    if (PrefixOf(bytes, kV2Signature)) return bytes.size() < kV2Signature.size() ? NeedMore(kV2Fixed - bytes.size())
                                                                               : ParseV2(bytes);
    if (PrefixOf(bytes, V1Word())) return bytes.size() < kV1Word.size() ? NeedMore(kV1Shortest - bytes.size())
                                                                        : ParseV1(bytes);
    return Invalid("no PROXY protocol header");
}

bool ProxyHeader::Starts(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kEnough = 5;
    return (bytes.size() >= kEnough && PrefixOf(bytes, kV2Signature)) ||
           (bytes.size() >= kEnough && PrefixOf(bytes, V1Word().first(kEnough)));
}

} // namespace quorlan::server
