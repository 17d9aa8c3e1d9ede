#include "board/SmsGatewayUrl.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace quorlan;

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1; // lower-case hex is not produced
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            EXPECT_LE(i + 2, text.size() - 1);
            const int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
            EXPECT_GE(hi, 0);
            EXPECT_GE(lo, 0);
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The query as a gateway splits it: at "&", then at the first "=".
std::vector<std::pair<std::string, std::string>> QueryPairs(const std::string& url) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::string_view query(url);
    query.remove_prefix(url.find('?') + 1);
    while (true) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t eq = pair.find('=');
        pairs.emplace_back(pair.substr(0, eq), eq == std::string_view::npos ? "" : PercentDecode(pair.substr(eq + 1)));
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return pairs;
}

} // namespace

TEST(BuildSmsGatewayUrl, PlainValues) {
    EXPECT_EQ(board::BuildSmsGatewayUrl("http://sms.example", "id", "pw", "000-0000-0000", "abc"),
              "http://sms.example/MSG/send/web_admin_send.htm?userid=id&passwd=pw&sender=00000000000"
              "&receiver=00000000000&encode=1&message=Quorlan%3A%20abc");
    EXPECT_EQ(board::BuildSmsGatewayUrl("http://sms.example/", "", "", "---", ""),
              "http://sms.example/MSG/send/web_admin_send.htm?userid=&passwd=&sender=&receiver=&encode=1"
              "&message=Quorlan%3A%20");
}

TEST(BuildSmsGatewayUrl, EveryValueDecodesBackExactly) {
    const std::string message = "a&b=c+d#e%f g?h/\xC7\xD1\xB1\xDB"; // ends in "한글" (cp949)
    const std::string url = board::BuildSmsGatewayUrl("http://sms.example", "me&x=1", "p w#", "010-12-34", message);
    EXPECT_EQ(url.find('#'), std::string::npos);
    EXPECT_EQ(url.find(' '), std::string::npos);
    EXPECT_NE(url.find("%C7%D1%B1%DB"), std::string::npos);
    const std::vector<std::pair<std::string, std::string>> expected{
        {"userid", "me&x=1"},   {"passwd", "p w#"}, {"sender", "0101234"},
        {"receiver", "0101234"}, {"encode", "1"},   {"message", "Quorlan: " + message},
    };
    EXPECT_EQ(QueryPairs(url), expected);
}

TEST(PercentEncodeQueryValue, UnreservedStayOthersUpperHex) {
    EXPECT_EQ(board::PercentEncodeQueryValue("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(board::PercentEncodeQueryValue(std::string("\x00\x7F\xFF+", 4)), "%00%7F%FF%2B");
}
