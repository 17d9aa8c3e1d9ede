#include "PgTest.h"
#include "server/cluster/pg/NotifyBus.h"

namespace quorlan::test {
namespace {

using server::pg::NotifyBus;
using server::pg::PgConnection;
using server::pg::PgReply;

struct Heard {
    std::string bus;
    std::string channel;
    std::string payload;
    bool operator==(const Heard&) const = default;
};

// Two instances, each listening on its own session.
class NotifyBusTest : public PgTest {
protected:
    void SetUp() override {
        PgTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        dbA_ = Connect();
        dbB_ = Connect();
        a_ = std::make_unique<NotifyBus>(*dbA_);
        b_ = std::make_unique<NotifyBus>(*dbB_);
        a_->AddListener([this](const std::string& c, const std::string& p) { heard_.push_back({"a", c, p}); });
        b_->AddListener([this](const std::string& c, const std::string& p) { heard_.push_back({"b", c, p}); });
    }
    void Publish(NotifyBus& bus, const std::string& channel, const std::string& payload) {
        std::optional<PgReply> sent;
        ASSERT_TRUE(bus.Publish(channel, payload, [&](PgReply reply) { sent = std::move(reply); }));
        ASSERT_TRUE(RunLoopUntil(loop_, [&] { return sent.has_value(); }));
        ASSERT_TRUE(sent->ok) << sent->error;
    }
    void Settle() {
        ASSERT_TRUE(RunLoopUntil(loop_, [&] { return dbA_->Queued() == 0 && dbB_->Queued() == 0; }));
    }

    std::unique_ptr<PgConnection> dbA_, dbB_;
    std::unique_ptr<NotifyBus> a_, b_;
    std::vector<Heard> heard_;
};

// A forwarded post line in cp949, NUL byte included.
const std::string kPostLine("\xC1\xF7\xB0\xC5\xB7\xA1\0|42|writer", 17);

TEST_F(NotifyBusTest, EveryListeningInstanceHearsEachMessageOnce) {
    ASSERT_TRUE(a_->Listen(NotifyBus::kPostsChannel));
    ASSERT_TRUE(b_->Listen(NotifyBus::kPostsChannel));
    ASSERT_TRUE(b_->Listen(NotifyBus::NodeChannel("node_b")));
    Settle();
    Publish(*a_, NotifyBus::kPostsChannel, kPostLine);
    Publish(*a_, NotifyBus::NodeChannel("node_b"), "check order");
    Publish(*b_, NotifyBus::kNoticesChannel, "nobody listens");
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return heard_.size() >= 3; }));
    Settle();
    std::sort(heard_.begin(), heard_.end(),
              [](const Heard& x, const Heard& y) { return std::tie(x.channel, x.bus) < std::tie(y.channel, y.bus); });
    EXPECT_EQ(heard_, (std::vector<Heard>{{"b", "quorlan_node_node_b", "check order"},
                                          {"a", "quorlan_posts", kPostLine},
                                          {"b", "quorlan_posts", kPostLine}}));
}

TEST_F(NotifyBusTest, RefusesBadChannelsAndOversizedPayloads) {
    for (const char* channel : {"", "Posts", "posts; NOTIFY x", "a\"b", "quorlan_posts ",
                                "c123456789012345678901234567890123456789012345678901234567890123"})
        EXPECT_FALSE(a_->Listen(channel)) << channel;
    EXPECT_EQ(NotifyBus::NodeChannel("Node-1"), "");
    EXPECT_FALSE(a_->Publish("bad name", "x"));
    EXPECT_FALSE(a_->Publish(NotifyBus::kSmsChannel, std::string(NotifyBus::kMaxPayload + 1, 'x')));

    ASSERT_TRUE(b_->Listen(NotifyBus::kSmsChannel));
    Settle();
    const std::string largest(NotifyBus::kMaxPayload, '\xB0');
    Publish(*a_, NotifyBus::kSmsChannel, largest);
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return heard_.size() == 1; }));
    EXPECT_EQ(heard_[0].payload, largest);
}

// After its session is lost the bus listens again on the new one.
TEST_F(NotifyBusTest, ListensAgainAfterReconnecting) {
    ASSERT_TRUE(b_->Listen(NotifyBus::kPostsChannel));
    Settle();
    Terminate(dbB_->BackendPid());
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return dbB_->LinksMade() == 2 && dbB_->LinkUp(); }));
    Settle();
    Publish(*a_, NotifyBus::kPostsChannel, "after");
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return !heard_.empty(); }));
    EXPECT_EQ(heard_, (std::vector<Heard>{{"b", "quorlan_posts", "after"}}));
}

TEST_F(NotifyBusTest, UnlistenedChannelsAreSilent) {
    ASSERT_TRUE(b_->Listen(NotifyBus::kNoticesChannel));
    Settle();
    b_->Unlisten(NotifyBus::kNoticesChannel);
    Settle();
    Publish(*a_, NotifyBus::kNoticesChannel, "gone");
    ASSERT_TRUE(b_->Listen(NotifyBus::kPostsChannel));
    Settle();
    Publish(*a_, NotifyBus::kPostsChannel, "marker");
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return !heard_.empty(); }));
    EXPECT_EQ(heard_, (std::vector<Heard>{{"b", "quorlan_posts", "marker"}}));
}

} // namespace
} // namespace quorlan::test
