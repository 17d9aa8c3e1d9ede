#pragma once
#include <string>
#include <string_view>

namespace quorlan::board {

// Percent-encodes one query value: the RFC 3986 unreserved bytes
// (A-Z a-z 0-9 - . _ ~) stay, every other byte (cp949 Korean included)
// becomes %XX in upper-case hex.
std::string PercentEncodeQueryValue(std::string_view value);

// The SMS gateway's GET address:
// <base>/MSG/send/web_admin_send.htm?userid=..&passwd=..&sender=..&receiver=..&encode=1&message=Quorlan: <text>
// sender and receiver are the phone text with every "-" left out. Each value
// is percent-encoded, so a "&", "=", "#" or "+" in a value can never end it or
// add a key; the gateway gets back exactly the bytes given (cp949). One "/" at
// the end of base is dropped so the path is not doubled.
std::string BuildSmsGatewayUrl(std::string_view baseUrl, std::string_view smsId, std::string_view smsPassword,
                               std::string_view phone, std::string_view message);

} // namespace quorlan::board
