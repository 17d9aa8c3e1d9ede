#include "SmsGatewayUrl.h"

namespace quorlan::board {
namespace {

bool Unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

} // namespace

std::string PercentEncodeQueryValue(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size() * 3);
    for (char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (Unreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string BuildSmsGatewayUrl(std::string_view baseUrl, std::string_view smsId, std::string_view smsPassword,
                               std::string_view phone, std::string_view message) {
    if (!baseUrl.empty() && baseUrl.back() == '/') baseUrl.remove_suffix(1);
    std::string digits;
    for (char c : phone) {
        if (c != '-') digits += c;
    }
    const std::string encodedDigits = PercentEncodeQueryValue(digits);
    std::string url(baseUrl);
    url += "/MSG/send/web_admin_send.htm?userid=";
    url += PercentEncodeQueryValue(smsId);
    url += "&passwd=";
    url += PercentEncodeQueryValue(smsPassword);
    url += "&sender=";
    url += encodedDigits;
    url += "&receiver=";
    url += encodedDigits;
    url += "&encode=1&message=";
    url += PercentEncodeQueryValue(std::string("Quorlan: ").append(message));
    return url;
}

} // namespace quorlan::board
