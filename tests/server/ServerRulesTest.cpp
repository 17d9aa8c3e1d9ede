// The server's pure rules: framing, phone numbers, lockout, duplicates, SMS
// limits, board addresses, endpoints, metrics text.
#include "server/accounts/PhoneNumber.h"
#include "server/boards/BoardUrl.h"
#include "server/boards/DuplicateFilter.h"
#include "server/common/Endpoint.h"
#include "server/common/Metrics.h"
#include "server/limits/LockoutPolicy.h"
#include "server/limits/RateWindow.h"
#include "server/limits/SmsLimiter.h"
#include "server/link/FrameDecoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorlan::server {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = FrameDecoder::Frame::Kind;

TEST(FrameDecoder, DecodesRequestsSplitAtAnyByte) {
    // SearchState 1, then NewPost "ab": 07 00 6D 01 00 00 00 | 06 00 6B 61 62 00
    const Bytes stream = {0x07, 0x00, 0x6D, 0x01, 0x00, 0x00, 0x00, 0x06, 0x00, 0x6B, 0x61, 0x62, 0x00};
    for (std::size_t split = 0; split <= stream.size(); ++split) {
        FrameDecoder decoder;
        std::vector<FrameDecoder::Frame> frames;
        auto drain = [&] {
            for (auto f = decoder.Next(); f.kind == Kind::Request; f = decoder.Next()) frames.push_back(f);
        };
        decoder.Feed(stream.data(), split);
        drain();
        decoder.Feed(stream.data() + split, stream.size() - split);
        drain();
        ASSERT_EQ(frames.size(), 2u) << "split at " << split;
        EXPECT_EQ(frames[0].request.type, 'm');
        EXPECT_EQ(frames[0].request.value, 1u);
        EXPECT_EQ(frames[1].request.type, 'k');
        EXPECT_EQ(frames[1].request.text, "ab");
        EXPECT_EQ(decoder.Buffered(), 0u);
    }
}

struct BadStream {
    const char* what;
    Bytes bytes;
};

class FrameDecoderRejects : public ::testing::TestWithParam<BadStream> {};

TEST_P(FrameDecoderRejects, ReportsAnErrorAndStaysFailed) {
    FrameDecoder decoder;
    decoder.Feed(GetParam().bytes.data(), GetParam().bytes.size());
    EXPECT_EQ(decoder.Next().kind, Kind::Error);
    EXPECT_TRUE(decoder.Failed());
    const Bytes good = {0x07, 0x00, 0x64, 0x03, 0x00, 0x00, 0x00};
    decoder.Feed(good.data(), good.size());
    EXPECT_EQ(decoder.Next().kind, Kind::Error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameDecoderRejects,
    ::testing::Values(
        // Judged on the header alone, before any payload arrives.
        BadStream{"length 2", {0x02, 0x00, 0x64}}, BadStream{"length 0", {0x00, 0x00, 0x64}},
        BadStream{"length 8192", {0x00, 0x20, 0x6B}}, BadStream{"length 65535", {0xFF, 0xFF, 0x6B}},
        BadStream{"unknown type 'p'", {0x07, 0x00, 0x70, 0x01, 0x00, 0x00, 0x00}},
        BadStream{"Version of 6 bytes", {0x06, 0x00, 0x64, 0x03, 0x00, 0x00}},
        BadStream{"NewPost without NUL", {0x05, 0x00, 0x6B, 0x61, 0x62}},
        BadStream{"Login field without NUL",
                  [] {
                      Bytes b(69, 'x');
                      b[0] = 69;
                      b[1] = 0;
                      b[2] = 0x65;
                      return b;
                  }()}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST(FrameDecoder, WaitsForTheRestOfALargeValidPacket) {
    // ListReport of 6143 text bytes: 6147 bytes in all (03 18 6A ...).
    Bytes packet(6147, 'a');
    packet[0] = 0x03;
    packet[1] = 0x18;
    packet[2] = 0x6A;
    packet.back() = 0;
    FrameDecoder decoder;
    decoder.Feed(packet.data(), 100);
    EXPECT_EQ(decoder.Next().kind, Kind::NeedMore);
    decoder.Feed(packet.data() + 100, packet.size() - 100);
    const auto frame = decoder.Next();
    ASSERT_EQ(frame.kind, Kind::Request);
    EXPECT_EQ(frame.request.text.size(), 6143u);
}

TEST(CanonicalPhone, AcceptsTenOrElevenDigitsWithDashes) {
    struct Case {
        const char* typed;
        const char* canonical; // nullptr: refused
    } cases[] = {
        {"010-1234-5678", "01012345678"}, {"01012345678", "01012345678"}, {"011-123-4567", "0111234567"},
        {"0101234567", "0101234567"},     {"010123456", nullptr},         {"010123456789", nullptr},
        {"010 1234 5678", nullptr},       {"010-1234-567a", nullptr},     {"-01012345678", nullptr},
        {"010--12345678", nullptr},       {"", nullptr},                  {"01012345678-", nullptr},
    };
    for (const auto& c : cases) {
        const auto phone = CanonicalPhone(c.typed);
        if (c.canonical) {
            ASSERT_TRUE(phone) << c.typed;
            EXPECT_EQ(*phone, c.canonical);
        } else {
            EXPECT_FALSE(phone) << c.typed;
        }
    }
}

TEST(LockoutPolicy, GrowsPastTheFreeFailuresAndStopsAtFifteenMinutes) {
    struct Case {
        int failures;
        std::int64_t delayMs;
    } cases[] = {{1, 0},        {20, 0},       {21, 30'000},  {22, 60'000},   {23, 120'000},
                 {25, 480'000}, {26, 900'000}, {100, 900'000}, {100'000, 900'000}};
    for (const auto& c : cases) EXPECT_EQ(LockoutPolicy::DelayAfter(c.failures), c.delayMs) << c.failures;
    EXPECT_EQ(LockoutPolicy::LockedUntil(21, 1000), 31'000);
    EXPECT_EQ(LockoutPolicy::LockedUntil(5, 1000), 1000);
}

TEST(DuplicateFilter, ComparesLinesWithoutDigitsAndSpaces) {
    DuplicateFilter filter(8, 60'000);
    EXPECT_TRUE(filter.FirstSighting("bike 10,000 won (3)", 0));
    EXPECT_FALSE(filter.FirstSighting("bike 12,000won (7)", 1));
    EXPECT_TRUE(filter.FirstSighting("bike 10,000 won (3) sold", 2));
}

TEST(DuplicateFilter, ForgetsByAgeAndByCount) {
    DuplicateFilter filter(2, 1'000);
    EXPECT_TRUE(filter.FirstSighting("a", 0));
    EXPECT_FALSE(filter.FirstSighting("a", 1'000));
    EXPECT_TRUE(filter.FirstSighting("a", 2'001)); // aged out
    EXPECT_TRUE(filter.FirstSighting("b", 2'002));
    EXPECT_TRUE(filter.FirstSighting("c", 2'003)); // pushes "a" out
    EXPECT_TRUE(filter.FirstSighting("a", 2'004));
    EXPECT_EQ(filter.Size(), 2u);
}

TEST(DuplicateFilter, KeepsTheNewestLinesAsItsMemoryWrapsAround) {
    DuplicateFilter filter(3, 60'000);
    for (std::int64_t i = 0; i < 8; ++i)
        ASSERT_TRUE(filter.FirstSighting(std::string(1, static_cast<char>('a' + i)) + " line", i));
    EXPECT_EQ(filter.Size(), 3u);
    for (const char* kept : {"f line", "g line", "h line"}) EXPECT_TRUE(filter.ForwardedSince(kept, 0)) << kept;
    for (const char* gone : {"a line", "e line"}) EXPECT_FALSE(filter.ForwardedSince(gone, 0)) << gone;
    EXPECT_FALSE(filter.FirstSighting("g line 2", 10));
    EXPECT_TRUE(filter.FirstSighting("e line", 11)); // forgotten, so new again; "f" makes way
    EXPECT_FALSE(filter.ForwardedSince("f line", 0));
    EXPECT_TRUE(filter.ForwardedSince("e line", 11));
    EXPECT_TRUE(filter.ForwardedSince("g line", 0));
}

TEST(SmsLimiter, RefusesTheSameLineAndMoreThanThirtyAnHour) {
    SmsLimiter limiter;
    EXPECT_EQ(limiter.Admit("010", "line", 0), SmsLimiter::Verdict::Admitted);
    EXPECT_EQ(limiter.Admit("010", "line", 10), SmsLimiter::Verdict::SameLine);
    EXPECT_EQ(limiter.Admit("011", "line", 10), SmsLimiter::Verdict::Admitted); // other account
    for (int i = 1; i < 30; ++i)
        EXPECT_EQ(limiter.Admit("010", "line " + std::to_string(i), 100 + i), SmsLimiter::Verdict::Admitted);
    EXPECT_EQ(limiter.Admit("010", "one more", 200), SmsLimiter::Verdict::OverHourlyLimit);
    // An hour after the first, its slot (and its line) are free again.
    EXPECT_EQ(limiter.Admit("010", "line", SmsLimiter::kWindowMs), SmsLimiter::Verdict::Admitted);
    EXPECT_EQ(limiter.Admit("010", "another", SmsLimiter::kWindowMs), SmsLimiter::Verdict::OverHourlyLimit);
}

TEST(SmsLimiter, ChecksCountNothingUntilRecorded) {
    SmsLimiter limiter;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(limiter.Check("010", "line", i), SmsLimiter::Verdict::Admitted);
    EXPECT_EQ(limiter.Accounts(), 0u);
    limiter.Record("010", "line", 5);
    EXPECT_EQ(limiter.Check("010", "line", 6), SmsLimiter::Verdict::SameLine);
}

TEST(SmsLimiter, AnAlertGivenBackCountsNoMore) {
    SmsLimiter limiter;
    for (std::size_t i = 0; i < SmsLimiter::kPerHour; ++i) limiter.Admit("010", "line " + std::to_string(i), 10);
    limiter.Release("010", "line 3", 11); // not the time it was admitted at
    EXPECT_EQ(limiter.Admit("010", "one more", 12), SmsLimiter::Verdict::OverHourlyLimit);
    limiter.Release("010", "line 3", 10);
    EXPECT_EQ(limiter.Admit("010", "line 3", 12), SmsLimiter::Verdict::Admitted);
    limiter.Release("010", "line 3", 12);
    limiter.Release("011", "line", 12); // nothing admitted for it
    EXPECT_EQ(limiter.Admit("010", "one more", 13), SmsLimiter::Verdict::Admitted);
}

TEST(SmsLimiter, ForgetsAccountsWhoseHourRanOutAtTheNextSweep) {
    SmsLimiter limiter;
    for (int i = 0; i < 10; ++i) limiter.Admit("010000000" + std::to_string(i), "line", 0);
    const std::int64_t later = SmsLimiter::kWindowMs;
    // Between sweeps, a check expires only its own account's history.
    EXPECT_EQ(limiter.Admit("0100000000", "line", later), SmsLimiter::Verdict::Admitted);
    EXPECT_EQ(limiter.Accounts(), 10u);
    for (std::size_t i = 0; i < SmsLimiter::kSweepEvery; ++i) limiter.Check("0100000000", "line", later);
    EXPECT_EQ(limiter.Accounts(), 1u);
}

TEST(RateWindow, AllowsTheLimitWithinTheWindowAndFreesSlotsAsTheyAge) {
    RateWindow window(3, 1000);
    for (std::int64_t at : {0, 100, 200}) {
        EXPECT_FALSE(window.Full(at)) << at;
        window.Record(at);
    }
    EXPECT_TRUE(window.Full(999));
    EXPECT_FALSE(window.Full(1000)); // the first has aged out
    window.Record(1000);
    EXPECT_TRUE(window.Full(1099));
}

TEST(BoardUrl, AcceptsHttpAndHttpsAddressesOnly) {
    struct Case {
        const char* url;
        bool ok;
    } cases[] = {{"http://example.com/bbs/zboard.php?id=share", true},
                 {"HTTPS://example.com", true},
                 {"http://127.0.0.1:8080/bbs", true},
                 {"http://example.com/\xB0\xA1", true},
                 {"", false},
                 {"http://", false},
                 {"http:///path", false},
                 {"ftp://example.com", false},
                 {"example.com", false},
                 {"http://exa mple.com", false},
                 {"http://example.com/\n", false}};
    for (const auto& c : cases) EXPECT_EQ(IsBoardUrl(c.url), c.ok) << c.url;
}

TEST(BoardUrl, TheHostIsTheSiteWithoutUserOrPortInLowerCase) {
    struct Case {
        const char* url;
        const char* host;
    } cases[] = {{"http://Example.COM/bbs/zboard.php?id=share", "example.com"},
                 {"https://user:pw@example.com:8443/x", "example.com"},
                 {"http://127.0.0.1:8080/bbs", "127.0.0.1"},
                 {"http://example.com?id=1", "example.com"},
                 {"http://[::1]:81/b", "[::1]"},
                 {"ftp://example.com/", ""}};
    for (const auto& c : cases) EXPECT_EQ(BoardHost(c.url), c.host) << c.url;
}

TEST(Endpoint, ParsesHostAndPort) {
    struct Case {
        const char* text;
        const char* host; // nullptr: refused
        std::uint16_t port;
    } cases[] = {{"127.0.0.1:3000", "127.0.0.1", 3000},
                 {"[::1]:0", "::1", 0},
                 {"0.0.0.0:65535", "0.0.0.0", 65535},
                 {"127.0.0.1", nullptr, 0},
                 {"127.0.0.1:65536", nullptr, 0},
                 {"127.0.0.1:", nullptr, 0},
                 {"::1:3000", nullptr, 0},
                 {":3000", nullptr, 0},
                 {"127.0.0.1:30x", nullptr, 0}};
    for (const auto& c : cases) {
        const auto endpoint = ParseEndpoint(c.text);
        if (!c.host) {
            EXPECT_FALSE(endpoint) << c.text;
            continue;
        }
        ASSERT_TRUE(endpoint) << c.text;
        EXPECT_EQ(endpoint->host, c.host);
        EXPECT_EQ(endpoint->port, c.port);
    }
}

// Checked on the address, not the text: a name is resolved first (only names
// the hosts file answers are used here, no name server is asked).
TEST(Endpoint, TheAdminAddressMustBeLoopbackNumerically) {
    EXPECT_EQ(LoopbackAddress("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(LoopbackAddress("127.3.4.5"), "127.3.4.5");
    EXPECT_EQ(LoopbackAddress("::1"), "::1");
    const auto local = LoopbackAddress("localhost");
    ASSERT_TRUE(local);
    EXPECT_TRUE(*local == "127.0.0.1" || *local == "::1") << *local;
    for (const char* host : {"0.0.0.0", "192.168.0.1", "::", "::ffff:192.168.0.1"})
        EXPECT_FALSE(LoopbackAddress(host)) << host;
}

TEST(Metrics, RendersPrometheusText) {
    Metrics metrics;
    metrics.connections = 3;
    metrics.duplicatesDropped = 7;
    const std::string text = metrics.Render();
    EXPECT_NE(text.find("# TYPE quorlan_connections gauge\nquorlan_connections 3\n"), std::string::npos);
    EXPECT_NE(text.find("# TYPE quorlan_duplicates_dropped_total counter\nquorlan_duplicates_dropped_total 7\n"),
              std::string::npos);
    for (const char* name : {"quorlan_boards", "quorlan_checks_started_total", "quorlan_checks_completed_total",
                             "quorlan_checks_timed_out_total", "quorlan_posts_forwarded_total",
                             "quorlan_sms_relayed_total", "quorlan_sms_refused_total", "quorlan_logins_failed_total",
                             "quorlan_bytes_in_total", "quorlan_bytes_out_total"})
        EXPECT_NE(text.find(std::string("\n") + name + " 0\n"), std::string::npos) << name;
}

TEST(Metrics, LabelsBoardsAndHostsEscapedAndBounded) {
    Metrics metrics;
    // "게" in cp949 is B0 D4; in UTF-8 EA B2 8C.
    metrics.SetBoardFigures("http://h/a?q=\"\xB0\xD4\\", 2'500, 4);
    metrics.SetBoardFigures("http://h/gone", 60'000, 1);
    metrics.ForgetBoard("http://h/gone");
    for (std::size_t i = 0; i < Metrics::kMaxHostSeries + 5; ++i) metrics.CountHostCheck("h" + std::to_string(i));
    metrics.CountHostCheck("h0");
    const std::string text = metrics.Render();
    EXPECT_NE(text.find("\nquorlan_board_check_interval_seconds{board=\"http://h/a?q=\\\"\xEA\xB2\x8C\\\\\"} 2.500\n"),
              std::string::npos)
        << text.substr(0, 2000);
    EXPECT_NE(text.find("\nquorlan_board_monitoring_clients{board=\"http://h/a?q=\\\"\xEA\xB2\x8C\\\\\"} 4\n"),
              std::string::npos);
    EXPECT_EQ(text.find("http://h/gone"), std::string::npos);
    EXPECT_NE(text.find("\nquorlan_host_checks_total{host=\"h0\"} 2\n"), std::string::npos);
    EXPECT_NE(text.find("\nquorlan_host_checks_total{host=\"(other)\"} 5\n"), std::string::npos);
    EXPECT_EQ(text.find("{host=\"h1004\"}"), std::string::npos);
}

} // namespace
} // namespace quorlan::server
