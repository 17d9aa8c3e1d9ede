// The messages between the instances of a cluster: each order comes back as
// it was sent, the bytes on the wire stay what running instances expect, and
// a payload that is not an order is refused whole.
#include "server/cluster/pg/ClusterMessages.h"

#include <gtest/gtest.h>

#include <limits>

namespace quorlan::server::pg {
namespace {

constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();
const std::string kAnyBytes("12:a\0b\xB0\xA1:3:", 11);

TEST(ClusterMessages, EveryOrderComesBackAsSent) {
    const Order orders[] = {
        AskOrder{"node1", 9'223'372'036'854'775'809u, "http://h/b?id=1", 42, false, kAnyBytes},
        AskOrder{"node1", 7, "http://h/b?id=1", 42, true, std::nullopt},
        AskOrder{"node1", 7, "http://h/b?id=1", 42, false, ""},
        OutcomeOrder{7, "http://h/b?id=1", false, true, kAnyBytes},
        OutcomeOrder{7, "http://h/b?id=1", true, false, std::nullopt},
        SmsOrder{"node2", 3, "01012345678", kAnyBytes},
        SmsTakenOrder{3, true},
    };
    for (const Order& order : orders) {
        const auto decoded = DecodeOrder(EncodeOrder(order, kNoLimit));
        ASSERT_TRUE(decoded) << order.index();
        EXPECT_EQ(*decoded, order) << order.index();
    }
}

TEST(ClusterMessages, TheBytesOnTheWireAreLengthPrefixedFields) {
    EXPECT_EQ(EncodeOrder(AskOrder{"n1", 5, "b", 6, true, "x:y"}, kNoLimit), "3:ask2:n11:51:b1:61:13:x:y");
    EXPECT_EQ(EncodeOrder(SmsTakenOrder{12, false}, kNoLimit), "9:sms_taken2:121:0");
}

TEST(ClusterMessages, AListThatDoesNotFitStaysBehind) {
    const OutcomeOrder order{7, "b", false, true, std::string(100, 'x')};
    const std::string whole = EncodeOrder(order, kNoLimit);
    EXPECT_EQ(EncodeOrder(order, whole.size()), whole);
    const auto shortened = DecodeOrder(EncodeOrder(order, whole.size() - 1));
    ASSERT_TRUE(shortened);
    EXPECT_EQ(std::get<OutcomeOrder>(*shortened).list, std::nullopt);
    EXPECT_EQ(std::get<OutcomeOrder>(*shortened).answered, true);
}

TEST(ClusterMessages, APayloadThatIsNotAnOrderIsRefused) {
    const std::string cases[] = {
        "",
        "5:hello",                               // no such order
        "9:sms_taken2:12",                       // a field missing
        "9:sms_taken2:121:01:1",                 // one left over
        "9:sms_taken2:x21:1",                    // not a number
        "9:sms_taken3:-121:1",                   // not a number
        "9:sms_taken2:121:2",                    // not a flag
        "9:sms_taken0:1:1",                      // an empty number
        "9:sms_taken2:121:",                     // a length past the end
        "9:sms_taken:12",                        // no length
        "9:sms_taken2:1299:1",                   // a length longer than what is left
        "000009:sms_taken2:121:1",               // a length of six digits
        "9:sms_taken21:123456789012345678901:1", // a number too large
    };
    for (const std::string& payload : cases) EXPECT_FALSE(DecodeOrder(payload)) << payload;
}

TEST(ClusterMessages, BroadcastsCarrySenderBoardAndText) {
    const Broadcast message{"node1", "http://h/b?id=1", std::string("line\0more", 9)};
    EXPECT_EQ(DecodeBroadcast(EncodeBroadcast(message)), message);
    EXPECT_EQ(DecodeBroadcast(std::string("node1\0board\0", 12)), (Broadcast{"node1", "board", ""}));
    EXPECT_FALSE(DecodeBroadcast("node1"));
    EXPECT_FALSE(DecodeBroadcast(std::string("node1\0board", 11)));
}

} // namespace
} // namespace quorlan::server::pg
