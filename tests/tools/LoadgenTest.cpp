// The load generator's own rules: post numbering, percentiles, RESP parsing.
#include "tools/loadgen/FanoutMeter.h"
#include "tools/loadgen/Resp.h"

#include <gtest/gtest.h>

namespace quorlan::loadgen {
namespace {

TEST(PostLine, NumbersInLettersSurviveDigitRemovalAndReadBack) {
    for (std::uint64_t sequence : {0ull, 1ull, 25ull, 26ull, 123'456ull, 8'031'810'175ull}) {
        const std::string line = PostLine(sequence, 64);
        EXPECT_EQ(line.size(), 64u);
        EXPECT_EQ(line.find_first_of("0123456789"), std::string::npos) << line;
        EXPECT_EQ(SequenceOf(line), static_cast<std::int64_t>(sequence));
    }
    EXPECT_EQ(PostLine(1, 16), "post-aaaaaab xxx");
    EXPECT_EQ(SequenceOf("post-aaA"), -1);
    EXPECT_EQ(SequenceOf("notice"), -1);
}

TEST(Percentile, UsesTheNearestRank) {
    std::vector<double> samples;
    for (int i = 100; i >= 1; --i) samples.push_back(i);
    EXPECT_EQ(Percentile(samples, 50), 50);
    EXPECT_EQ(Percentile(samples, 99), 99);
    EXPECT_EQ(Percentile(samples, 100), 100);
    EXPECT_EQ(Percentile({7}, 99), 7);
    EXPECT_EQ(Percentile({}, 99), 0);
}

TEST(FanoutMeter, CompletesAPostWhenTheLastSubscriberHasIt) {
    std::vector<std::uint64_t> done;
    FanoutMeter meter(3, [&](std::uint64_t sequence, double) { done.push_back(sequence); });
    meter.Sent(0);
    meter.Sent(1);
    for (std::int64_t s : {0, 1, 0, 1, -1, 9, 1}) meter.Received(s);
    EXPECT_EQ(done, std::vector<std::uint64_t>{1});
    EXPECT_EQ(meter.InFlight(), 1u);
    EXPECT_EQ(meter.Deliveries(), 5u);
}

TEST(Resp, BuildsCommandsAndParsesPushMessages) {
    EXPECT_EQ(RespCommand({"PUBLISH", "board", "hi"}), "*3\r\n$7\r\nPUBLISH\r\n$5\r\nboard\r\n$2\r\nhi\r\n");
    const std::string stream = "*3\r\n$7\r\nmessage\r\n$5\r\nboard\r\n$2\r\nhi\r\n:1\r\n";
    const auto* data = reinterpret_cast<const std::uint8_t*>(stream.data());
    std::vector<std::string> items;
    bool bad = false;
    const std::size_t used = ParseResp(data, stream.size(), items, bad);
    EXPECT_EQ(used, stream.size() - 4);
    EXPECT_EQ(items, (std::vector<std::string>{"message", "board", "hi"}));
    for (std::size_t cut = 0; cut < used; ++cut) {
        std::vector<std::string> partial;
        EXPECT_EQ(ParseResp(data, cut, partial, bad), 0u) << cut;
        EXPECT_TRUE(partial.empty());
    }
    EXPECT_FALSE(bad);
    const std::string junk = "?what\r\n";
    EXPECT_EQ(ParseResp(reinterpret_cast<const std::uint8_t*>(junk.data()), junk.size(), items, bad), 0u);
    EXPECT_TRUE(bad);
}

} // namespace
} // namespace quorlan::loadgen
