// The hub's choice of relay, with connections that can be closed at will: a
// connection closes before the hub hears of it, and nothing may be counted as
// relayed through it.
#include "ManualClock.h"
#include "RunLoopUntil.h"
#include "RunningServer.h"
#include "server/Hub.h"
#include "server/boards/BoardRegistry.h"
#include "server/cluster/LocalCluster.h"
#include "server/store/sqlite/SqliteStore.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorlan::server {
namespace {

class FakePeer final : public IPeer {
public:
    explicit FakePeer(SessionId id) : id_(id) {}
    SessionId Id() const override { return id_; }
    std::string Remote() const override { return "fake"; }
    const std::string& Address() const override { return address_; }
    bool Send(SharedPacket packet) override {
        if (!open) return false;
        received.push_back(net::DecodeServerMessage(packet->data(), packet->size()));
        return true;
    }
    void Close(std::string_view) override { open = false; }
    void Resume() override {}

    std::size_t Count(std::uint8_t type) const {
        std::size_t n = 0;
        for (const auto& m : received) n += m.type == type;
        return n;
    }

    bool open = true;
    std::vector<net::ServerMessage> received;

private:
    SessionId id_;
    std::string address_ = "127.0.0.9";
};

constexpr const char* kBoard = "http://127.0.0.1/bbs/zboard.php?id=hub";

class HubRelayTest : public ::testing::Test {
protected:
    HubRelayTest()
        : config_(test::TestConfig(dir_.File("hub.db"))), db_(Database::Open(config_.databasePath).db),
          store_(*db_), worker_(loop_, SqliteStore::Open(config_.databasePath, config_.Replay()).store),
          hasher_(loop_, config_.hashOpsLimit, config_.hashMemLimit),
          boards_(worker_, clock_, BoardRegistry::Limits{},
                  [this](const std::string& url) { checks_.BoardChanged(url); }),
          cluster_(loop_, clock_), checks_(loop_, clock_, boards_, clients_, metrics_, Scheduler::Options{}, cluster_),
          rules_(config_.trust), accounts_(loop_, worker_, hasher_, rules_, clock_, metrics_, config_.Accounts()),
          relay_(clients_, accounts_, cluster_, metrics_, config_.trust.logIdentNumbers),
          hub_(clients_, boards_, checks_, worker_, relay_, accounts_, rules_, config_.trust, clock_, metrics_,
               config_.minInterval, cluster_) {}

    // A connection logged in to a new account.
    std::shared_ptr<FakePeer> LoggedIn(const std::string& phone, bool relay) {
        const auto hash = PasswordHasher::HashNow("pw", config_.hashOpsLimit, config_.hashMemLimit);
        EXPECT_TRUE(hash && store_.Create(phone, *hash, 0));
        if (relay) {
            EXPECT_TRUE(store_.SetRelay(phone, true) && store_.SetRobotMode(phone, true));
        }
        auto peer = std::make_shared<FakePeer>(++lastId_);
        hub_.OnOpened(peer);
        Request(*peer, net::EncodeLogin(phone, "pw"));
        EXPECT_TRUE(test::RunLoopUntil(loop_, [&] { return peer->Count(net::LoginResult) > 0; }));
        EXPECT_EQ(peer->received.back().code, 1u);
        return peer;
    }
    void Request(FakePeer& peer, const net::Encoded& packet) {
        ASSERT_TRUE(packet.ok());
        const auto decoded = net::DecodeClientRequest(packet.bytes.data(), packet.bytes.size());
        ASSERT_TRUE(decoded.request) << decoded.error;
        hub_.OnRequest(peer.Id(), *decoded.request);
    }
    // Puts the user on kBoard as if `lines` had been forwarded to it.
    void OnBoardThatWasSent(FakePeer& user, std::initializer_list<const char*> lines) {
        boards_.Join(user.Id(), kBoard, std::chrono::minutes(1), false);
        for (const char* line : lines) ASSERT_TRUE(boards_.FirstSighting(kBoard, line));
    }
    std::optional<std::uint32_t> AskAlert(FakePeer& user, const std::string& line) {
        Request(user, net::EncodeRequestPhone(line));
        test::RunUntilIdle(loop_, worker_);
        if (user.received.empty() || user.received.back().type != net::RequestPhoneResult) return std::nullopt;
        return user.received.back().code;
    }

    test::TempDir dir_;
    test::ManualClock clock_;
    ServerConfig config_;
    asio::io_context loop_;
    std::unique_ptr<Database> db_;
    AccountStore store_; // the test's own connection to the file
    StoreWorker worker_;
    Metrics metrics_;
    PasswordHasher hasher_;
    ClientDirectory clients_;
    BoardRegistry boards_;
    LocalCluster cluster_;
    CheckLoop checks_;
    TrustRules rules_;
    AccountService accounts_;
    AlertRelay relay_;
    Hub hub_;
    SessionId lastId_ = 0;
};

TEST_F(HubRelayTest, AClosedRelayIsPassedOverAndARefusedAlertIsNotCounted) {
    auto first = LoggedIn("01099990001", true);
    auto second = LoggedIn("01099990002", true);
    auto user = LoggedIn("01011110000", false);
    OnBoardThatWasSent(*user, {"bike", "desk"});

    first->open = false; // closed; the hub has not heard yet
    EXPECT_EQ(AskAlert(*user, "bike"), 1u);
    EXPECT_EQ(second->Count(net::RequestSMS), 1u);

    second->open = false;
    EXPECT_EQ(AskAlert(*user, "desk"), 0u);
    // The refused line was not counted against the account: a relay that
    // comes later takes it.
    auto third = LoggedIn("01099990003", true);
    EXPECT_EQ(AskAlert(*user, "desk"), 1u);
    ASSERT_EQ(third->Count(net::RequestSMS), 1u);
    EXPECT_EQ(third->received.back().text, "desk");
    EXPECT_EQ(metrics_.smsRelayed.load(), 2u);
    EXPECT_EQ(metrics_.smsRefused.load(), 1u);
}

TEST_F(HubRelayTest, AnIdentificationNumberForAClosedRelayIsLoggedInstead) {
    auto relay = LoggedIn("01099990001", true);
    relay->open = false;
    auto newcomer = std::make_shared<FakePeer>(++lastId_);
    hub_.OnOpened(newcomer);
    Request(*newcomer, net::EncodeRequestIdentNumber("01055550001", "pw"));
    test::RunUntilIdle(loop_, worker_);
    EXPECT_TRUE(store_.FindIdent("01055550001")); // issued, and written to the log
    EXPECT_EQ(metrics_.smsRelayed.load(), 0u);
}

} // namespace
} // namespace quorlan::server
