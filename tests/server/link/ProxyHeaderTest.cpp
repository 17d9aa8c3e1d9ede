// The PROXY header parser on the headers a load balancer sends (taken from
// the protocol's own examples) and on what a hostile peer could send instead.
#include "server/link/ProxyHeader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorlan::server {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Status = ProxyHeader::Status;
using Source = ProxyHeader::Source;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

const Bytes kSignature{0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D, 0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A};

Bytes V2(std::uint8_t versionCommand, std::uint8_t family, const Bytes& body) {
    Bytes bytes = kSignature;
    bytes.push_back(versionCommand);
    bytes.push_back(family);
    bytes.push_back(static_cast<std::uint8_t>(body.size() >> 8));
    bytes.push_back(static_cast<std::uint8_t>(body.size() & 0xFF));
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

// 192.0.2.10:51234 -> 198.51.100.1:3000
const Bytes kTcp4Body{192, 0, 2, 10, 198, 51, 100, 1, 0xC8, 0x22, 0x0B, 0xB8};

Bytes Tcp6Body() {
    Bytes body(36, 0);
    body[0] = 0x20, body[1] = 0x01, body[2] = 0x0d, body[3] = 0xb8, body[15] = 0x07; // 2001:db8::7
    body[16] = 0x20, body[17] = 0x01, body[18] = 0x0d, body[19] = 0xb8, body[31] = 0x01;
    body[32] = 0x01, body[33] = 0xBB, body[34] = 0x0B, body[35] = 0xB8; // 443 -> 3000
    return body;
}

Bytes WithTlv(Bytes body) {
    // PP2_TYPE_ALPN "h2" and a NOOP: skipped.
    const Bytes tlvs{0x01, 0x00, 0x02, 'h', '2', 0x04, 0x00, 0x01, 0x00};
    body.insert(body.end(), tlvs.begin(), tlvs.end());
    return body;
}

struct Case {
    const char* name;
    Bytes bytes;
    Status status;
    Source source = Source::Proxy;
    std::string address = {};
    std::uint16_t port = 0;
    std::size_t length = 0;
};

TEST(ProxyHeader, ReadsEveryKindOfHeaderAndRefusesTheRest) {
    const Bytes tcp4 = V2(0x21, 0x11, kTcp4Body);
    const std::vector<Case> cases = {
        {"v1 TCP4", Text("PROXY TCP4 192.0.2.10 198.51.100.1 51234 3000\r\n"), Status::Done, Source::Client,
         "192.0.2.10", 51234, 47},
        {"v1 TCP6", Text("PROXY TCP6 2001:db8::7 2001:db8::1 443 3000\r\n"), Status::Done, Source::Client,
         "2001:db8::7", 443, 45},
        {"v1 UNKNOWN", Text("PROXY UNKNOWN\r\n"), Status::Done, Source::Proxy, "", 0, 15},
        {"v1 UNKNOWN with addresses", Text("PROXY UNKNOWN ffff::1 ffff::2 1 2\r\n"), Status::Done, Source::Proxy, "", 0,
         35},
        {"v2 PROXY TCP4", tcp4, Status::Done, Source::Client, "192.0.2.10", 51234, 28},
        {"v2 PROXY TCP6", V2(0x21, 0x21, Tcp6Body()), Status::Done, Source::Client, "2001:db8::7", 443, 52},
        {"v2 PROXY TCP4 with TLVs", V2(0x21, 0x11, WithTlv(kTcp4Body)), Status::Done, Source::Client, "192.0.2.10",
         51234, 37},
        {"v2 LOCAL", V2(0x20, 0x00, {}), Status::Done, Source::Proxy, "", 0, 16},
        {"v2 LOCAL with addresses", V2(0x20, 0x11, kTcp4Body), Status::Done, Source::Proxy, "", 0, 28},
        {"v2 PROXY unspecified family", V2(0x21, 0x00, {}), Status::Done, Source::Proxy, "", 0, 16},

        {"nothing yet", {}, Status::NeedMore},
        {"v1 half", Text("PROXY TCP4 192.0.2.10 198.51"), Status::NeedMore},
        {"v2 signature only", kSignature, Status::NeedMore},
        {"v2 body cut", Bytes(tcp4.begin(), tcp4.end() - 3), Status::NeedMore},

        {"a client packet", Bytes{0x07, 0x00, 0x01, 0x03, 0x00, 0x00, 0x00}, Status::Invalid},
        {"TLS ClientHello", Bytes{0x16, 0x03, 0x01, 0x02, 0x00, 0x01}, Status::Invalid},
        {"lower-case v1", Text("proxy TCP4 192.0.2.10 198.51.100.1 1 2\r\n"), Status::Invalid},
        {"v1 LF only", Text("PROXY TCP4 192.0.2.10 198.51.100.1 1 2\n\r\n"), Status::Invalid},
        {"v1 without CRLF in 107 bytes", Text("PROXY TCP6 " + std::string(100, 'f')), Status::Invalid},
        {"v1 UDP4", Text("PROXY UDP4 192.0.2.10 198.51.100.1 1 2\r\n"), Status::Invalid},
        {"v1 TCP4 with a v6 address", Text("PROXY TCP4 2001:db8::7 198.51.100.1 1 2\r\n"), Status::Invalid},
        {"v1 bad address", Text("PROXY TCP4 192.0.2.300 198.51.100.1 1 2\r\n"), Status::Invalid},
        {"v1 port too big", Text("PROXY TCP4 192.0.2.10 198.51.100.1 65536 2\r\n"), Status::Invalid},
        {"v1 port with sign", Text("PROXY TCP4 192.0.2.10 198.51.100.1 +1 2\r\n"), Status::Invalid},
        {"v1 missing port", Text("PROXY TCP4 192.0.2.10 198.51.100.1 1\r\n"), Status::Invalid},
        {"v1 double space", Text("PROXY TCP4  192.0.2.10 198.51.100.1 1 2\r\n"), Status::Invalid},
        {"v1 NUL inside", Bytes{'P', 'R', 'O', 'X', 'Y', ' ', 'T', 'C', 'P', '4', 0, '\r', '\n', ' ', ' ', ' '},
         Status::Invalid},
        {"v2 version 1", V2(0x11, 0x11, kTcp4Body), Status::Invalid},
        {"v2 command 2", V2(0x22, 0x11, kTcp4Body), Status::Invalid},
        {"v2 UDP", V2(0x21, 0x12, kTcp4Body), Status::Invalid},
        {"v2 unix socket", V2(0x21, 0x31, Bytes(216, 0)), Status::Invalid},
        {"v2 TCP4 too short", V2(0x21, 0x11, Bytes(kTcp4Body.begin(), kTcp4Body.end() - 1)), Status::Invalid},
        {"v2 TCP6 too short", V2(0x21, 0x21, kTcp4Body), Status::Invalid},
        {"v2 oversized", V2(0x21, 0x11, Bytes(1025, 0)), Status::Invalid},
        {"v2 broken signature", [] { Bytes b = V2(0x21, 0x11, kTcp4Body); b[11] = 0; return b; }(), Status::Invalid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProxyHeader header = ProxyHeader::Parse(c.bytes);
        ASSERT_EQ(header.status, c.status) << header.error;
        if (c.status == Status::Invalid) {
            EXPECT_FALSE(header.error.empty());
        }
        if (c.status == Status::NeedMore) {
            EXPECT_GT(header.want, 0u);
        }
        if (c.status != Status::Done) continue;
        EXPECT_EQ(header.source, c.source);
        EXPECT_EQ(header.address, c.address);
        EXPECT_EQ(header.port, c.port);
        EXPECT_EQ(header.length, c.length);
    }
}

// Read as the server reads it, `want` bytes at a time from a stream where the
// client's first packet follows: the header ends where it should, and no
// byte of the packet has been asked for.
TEST(ProxyHeader, AskingForWantNeverReadsPastTheHeader) {
    const Bytes packet{0x07, 0x00, 0x01, 0x03, 0x00, 0x00, 0x00};
    for (Bytes header : {Text("PROXY TCP4 192.0.2.10 198.51.100.1 51234 3000\r\n"), Text("PROXY UNKNOWN\r\n"),
                         V2(0x21, 0x11, WithTlv(kTcp4Body)), V2(0x20, 0x00, {})}) {
        Bytes stream = header;
        stream.insert(stream.end(), packet.begin(), packet.end());
        Bytes read;
        ProxyHeader parsed;
        while ((parsed = ProxyHeader::Parse(read)).status == Status::NeedMore) {
            ASSERT_LE(read.size() + parsed.want, header.size());
            read.push_back(stream[read.size()]); // a network that gives one byte at a time
        }
        ASSERT_EQ(parsed.status, Status::Done) << parsed.error;
        EXPECT_EQ(parsed.length, header.size());
        EXPECT_EQ(read.size(), header.size());
    }
}

TEST(ProxyHeader, TheStartOfAHeaderIsToldFromAClientPacket) {
    EXPECT_TRUE(ProxyHeader::Starts(Text("PROXY TCP4 ")));
    EXPECT_TRUE(ProxyHeader::Starts(Text("PROXY")));
    EXPECT_TRUE(ProxyHeader::Starts(Bytes(kSignature.begin(), kSignature.begin() + 5)));
    EXPECT_FALSE(ProxyHeader::Starts(Text("PRO")));             // could still be anything
    EXPECT_FALSE(ProxyHeader::Starts(Bytes{0x07, 0x00, 0x01})); // a client's Version
    EXPECT_FALSE(ProxyHeader::Starts(Bytes{0x16, 0x03, 0x01, 0x02, 0x00}));
}

} // namespace
} // namespace quorlan::server
