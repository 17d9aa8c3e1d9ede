// Real server instances on one private PostgreSQL, each with its own clients
// of one board: one instance at a time schedules the board, with the clients
// of all as checkers, a post found by a checker reaches the clients of every instance
// once, an operator's notice too, another instance takes the board over when
// its owner goes, and an alert accepted where no relay is reaches one relay
// elsewhere.
#include "PgTest.h"
#include "server/RunningServer.h"
#include "server/TestClient.h"
#include "server/accounts/PasswordHasher.h"
#include "server/cluster/pg/Cluster.h"
#include "server/store/ReplayBuffer.h"
#include "server/store/pg/PgStore.h"

#include <vector>
#include <httplib.h>

#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <thread>

namespace quorlan::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kBoard = "http://127.0.0.1/bbs/zboard.php?id=cluster";

class ClusterTest : public PgTest {
protected:
    // An instance, returned once its database link is up and it listens to
    // the others (its /health says so).
    std::unique_ptr<RunningServer> Instance(const std::string& node) {
        auto instance = Started(node, conninfo_);
        if (!instance->Ok()) return instance;
        httplib::Client probe("127.0.0.1", instance->AdminPort());
        std::string health;
        for (int i = 0; i < 200 && health != "ok\ndatabase up\n"; ++i) {
            if (auto got = probe.Get("/health")) health = got->body;
            if (health != "ok\ndatabase up\n") std::this_thread::sleep_for(50ms);
        }
        EXPECT_EQ(health, "ok\ndatabase up\n");
        return instance;
    }

    std::unique_ptr<RunningServer> Started(const std::string& node, const std::string& conninfo) {
        server::ServerConfig config = TestConfig(dir_.File(node + ".db"));
        config.postgres = conninfo;
        config.nodeId = node;
        config.takeoverMs = 7'000;
        // A turn asked of another instance's client goes through the database twice.
        config.checkTimeout = 3000ms;
        auto instance = std::make_unique<RunningServer>(
            config, clock_,
            [config](asio::io_context& loop, const server::IClock& clock,
                     server::ICluster::Events events) -> std::unique_ptr<server::ICluster> {
                return std::make_unique<server::pg::Cluster>(
                    loop, clock, server::pg::Cluster::Options{config.postgres, config.nodeId, config.takeoverMs},
                    std::move(events));
            },
            [config](std::string& error) -> std::unique_ptr<server::IStore> {
                return server::pg::PgStore::OpenForInstance(config.postgres, ReplayLimits(config), error);
            });
        EXPECT_TRUE(instance->Ok()) << instance->Error();
        return instance;
    }

    // The first of `clients` the cluster asks for the board's page within
    // `wait`, and what it asked.
    static std::optional<std::pair<std::size_t, net::ServerMessage>> FirstAsked(
        const std::vector<TestClient*>& clients, std::chrono::milliseconds wait = 7500ms) {
        const std::int64_t rounds = wait / (50ms * static_cast<std::int64_t>(clients.size()));
        for (std::int64_t round = 0; round < rounds; ++round) {
            for (std::size_t i = 0; i < clients.size(); ++i) {
                auto message = clients[i]->Next(50ms);
                if (message && (message->type == net::ListRequest || message->type == net::CheckList))
                    return std::make_pair(i, *message);
            }
        }
        return std::nullopt;
    }

    // Three instances, each up.
    std::vector<std::unique_ptr<RunningServer>> Three() {
        std::vector<std::unique_ptr<RunningServer>> instances;
        for (const char* node : {"node_a", "node_b", "node_c"}) instances.push_back(Instance(node));
        return instances;
    }

    static server::ReplayBuffer::Limits ReplayLimits(const server::ServerConfig& config) {
        return {config.replayMaxAgeMs, config.replayMaxLines, config.replayMaxAccounts};
    }

    // An account in the database every instance shares.
    void CreateAccount(const std::string& phone, const std::string& password, bool relay = false) {
        const server::ServerConfig config = TestConfig(dir_.File("unused.db"));
        std::string error;
        auto store = server::pg::PgStore::Open(conninfo_, ReplayLimits(config), error);
        ASSERT_TRUE(store) << error;
        const auto hash = server::PasswordHasher::HashNow(password, config.hashOpsLimit, config.hashMemLimit);
        ASSERT_TRUE(hash && store->Accounts().Create(phone, *hash, 0));
        if (relay) {
            ASSERT_TRUE(store->Accounts().SetRelay(phone, true));
        }
    }

    // The board's only checker is asked for a baseline and a check, and
    // reports `line` as new; the line comes back to it forwarded.
    static void FindPost(TestClient& checker, const std::string& line) {
        ASSERT_TRUE(checker.NextOf(net::ListRequest, 10s));
        ASSERT_TRUE(checker.Send(net::EncodeListReply("old\r\n")));
        ASSERT_TRUE(checker.NextOf(net::CheckList, 10s));
        ASSERT_TRUE(checker.Send(net::EncodeListReport(line + "\r\nold\r\n")));
        ASSERT_TRUE(checker.Send(net::EncodeNewPost(line)));
        ASSERT_TRUE(checker.NextOf(net::ServerNewPost));
    }

    // Polls the shared database until the query's first value is `expected`.
    bool CountReaches(const std::string& sql, std::int64_t expected) {
        auto db = Connect();
        for (int i = 0; i < 200; ++i) {
            if (Run(*db, sql).Int(0, 0) == expected) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    TempDir dir_;
    server::SystemClock clock_;
};

TEST_F(ClusterTest, ACheckersPostReachesTheClientsOfBothInstancesOnce) {
    auto a = Instance("node_a");
    auto b = Instance("node_b");
    ASSERT_TRUE(a->Ok() && b->Ok());
    TestClient onA(a->Port());
    TestClient onB(b->Port(), 0, "127.0.0.2");
    ASSERT_TRUE(onA.Watch(kBoard));
    ASSERT_TRUE(onB.Watch(kBoard));
    const std::vector<TestClient*> clients{&onA, &onB};

    // A baseline, then the first check, each to a client of either instance.
    const auto baseline = FirstAsked(clients);
    ASSERT_TRUE(baseline) << "no instance took the board";
    ASSERT_EQ(baseline->second.type, net::ListRequest);
    ASSERT_TRUE(clients[baseline->first]->Send(net::EncodeListReply("old post\r\n")));
    const auto check = FirstAsked(clients);
    ASSERT_TRUE(check);
    ASSERT_EQ(check->second.type, net::CheckList);
    EXPECT_EQ(check->second.text, "old post\r\n");
    TestClient& checker = *clients[check->first];
    ASSERT_TRUE(checker.Send(net::EncodeListReport("new post\r\nold post\r\n")));
    ASSERT_TRUE(checker.Send(net::EncodeNewPost("new post")));

    for (TestClient* client : clients) {
        const auto post = client->NextOf(net::ServerNewPost);
        ASSERT_TRUE(post);
        EXPECT_EQ(post->text, "new post");
    }
    for (TestClient* client : clients) EXPECT_FALSE(client->NextOf(net::ServerNewPost, 500ms)); // once
}

TEST_F(ClusterTest, WhenTheOwnerGoesAnotherInstanceChecksTheBoardWithinTheTakeoverTime) {
    std::vector<std::unique_ptr<RunningServer>> instances;
    instances.push_back(Instance("node_a"));
    instances.push_back(Instance("node_b"));
    ASSERT_TRUE(instances[0]->Ok() && instances[1]->Ok());
    TestClient onA(instances[0]->Port());
    TestClient onB(instances[1]->Port(), 0, "127.0.0.2");
    ASSERT_TRUE(onA.Watch(kBoard));
    ASSERT_TRUE(onB.Watch(kBoard));
    const auto first = FirstAsked({&onA, &onB});
    ASSERT_TRUE(first) << "no instance took the board";

    // The owner ends, and its database session with it: its lock is free.
    const std::size_t survivor = 1 - first->first;
    instances[first->first].reset();
    TestClient& left = survivor == 0 ? onA : onB;
    const auto taken = FirstAsked({&left}, 7000ms + 2000ms);
    ASSERT_TRUE(taken) << "the board was not taken over";
    EXPECT_TRUE(taken->second.type == net::ListRequest || taken->second.type == net::CheckList);
}

TEST_F(ClusterTest, ANoticeSentOnOneInstanceReachesTheClientsOfAll) {
    auto a = Instance("node_a");
    auto b = Instance("node_b");
    ASSERT_TRUE(a->Ok() && b->Ok());
    TestClient onA(a->Port());
    TestClient onB(b->Port(), 0, "127.0.0.2");
    ASSERT_TRUE(onA.Watch(kBoard));
    ASSERT_TRUE(onB.Watch(kBoard));

    httplib::Client http("127.0.0.1", a->AdminPort());
    std::ifstream tokenFile(dir_.File("node_a.db.admin-token"));
    std::string token;
    tokenFile >> token;
    const auto sent = http.Post("/notice", {{"Authorization", "Bearer " + token}}, "maintenance at noon",
                                "text/plain; charset=utf-8");
    ASSERT_TRUE(sent);
    ASSERT_EQ(sent->status, 200) << sent->body;

    for (TestClient* client : {&onA, &onB}) {
        const auto notice = client->NextOf(net::System);
        ASSERT_TRUE(notice);
        EXPECT_EQ(notice->text, "maintenance at noon");
        EXPECT_FALSE(client->NextOf(net::System, 300ms)); // once
    }
}

TEST_F(ClusterTest, WithoutItsDatabaseAnInstanceIsUnhealthyAndRefusesLogins) {
    // Nothing listens on port 1 of loopback.
    auto lonely = Started("node_c", "host=127.0.0.1 port=1 dbname=quorlan connect_timeout=1");
    ASSERT_TRUE(lonely->Ok());
    httplib::Client probe("127.0.0.1", lonely->AdminPort());
    const auto health = probe.Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 503);
    EXPECT_EQ(health->body.rfind("database down: ", 0), 0u) << health->body;

    TestClient client(lonely->Port());
    EXPECT_EQ(client.LogIn("010-1234-5678", "secret"), 0u);
}

TEST_F(ClusterTest, AnAlertAcceptedWhereNoRelayIsReachesOneRelayOfAnotherInstanceOnce) {
    const std::string user = "01011110000";
    const std::string relay = "01099990000";
    CreateAccount(user, "user");
    CreateAccount(relay, "relay", true);
    auto instances = Three();
    ASSERT_TRUE(instances[0]->Ok() && instances[1]->Ok() && instances[2]->Ok());

    std::vector<std::unique_ptr<TestClient>> relays;
    for (std::size_t i : {1u, 2u}) {
        relays.push_back(std::make_unique<TestClient>(instances[i]->Port(), 0, "127.0.0." + std::to_string(i + 1)));
        ASSERT_EQ(relays.back()->LogIn(relay, "relay"), 1u);
        ASSERT_TRUE(relays.back()->Send(net::EncodeRobotMode(1)));
    }
    ASSERT_TRUE(CountReaches("SELECT count(*) FROM cluster_relays", 2));

    // The user is the board's only checker, on an instance without a relay;
    // the same account also sits on the board on an instance with one.
    TestClient onA(instances[0]->Port());
    ASSERT_EQ(onA.LogIn(user, "user"), 1u);
    TestClient onC(instances[2]->Port(), 0, "127.0.0.3");
    ASSERT_EQ(onC.LogIn(user, "user"), 1u);
    ASSERT_TRUE(onC.Watch(kBoard, 0, false));
    ASSERT_TRUE(onA.Watch(kBoard));
    FindPost(onA, "bike");

    ASSERT_TRUE(onA.Send(net::EncodeRequestPhone("bike")));
    EXPECT_EQ(onA.Result(net::RequestPhoneResult), 1u);
    std::size_t orders = 0;
    for (auto& client : relays) {
        for (auto order = client->NextOf(net::RequestSMS, 1500ms); order; order = client->NextOf(net::RequestSMS, 500ms)) {
            ++orders;
            EXPECT_EQ(order->phone, user);
            EXPECT_EQ(order->text, "bike");
        }
    }
    EXPECT_EQ(orders, 1u);

    // The line was messaged for the account: refused on any instance, and
    // no relay hears of it.
    ASSERT_TRUE(onC.Send(net::EncodeRequestPhone("bike")));
    EXPECT_EQ(onC.Result(net::RequestPhoneResult), 0u);
    for (auto& client : relays) EXPECT_FALSE(client->NextOf(net::RequestSMS, 500ms));
}

TEST_F(ClusterTest, AnAlertOrderedToAnInstanceThatHasGoneIsRefused) {
    const std::string user = "01011110000";
    CreateAccount(user, "user");
    CreateAccount("01099990000", "relay", true);
    auto a = Instance("node_a");
    auto b = Instance("node_b");
    ASSERT_TRUE(a->Ok() && b->Ok());
    {
        TestClient relay(b->Port(), 0, "127.0.0.2");
        ASSERT_EQ(relay.LogIn("01099990000", "relay"), 1u);
        ASSERT_TRUE(relay.Send(net::EncodeRobotMode(1)));
        ASSERT_TRUE(CountReaches("SELECT count(*) FROM cluster_relays", 1));
        b.reset(); // its rows stay until its heartbeat is old
    }
    TestClient onA(a->Port());
    ASSERT_EQ(onA.LogIn(user, "user"), 1u);
    ASSERT_TRUE(onA.Watch(kBoard));
    FindPost(onA, "bike");
    ASSERT_TRUE(onA.Send(net::EncodeRequestPhone("bike")));
    EXPECT_EQ(onA.Result(net::RequestPhoneResult, 15s), 0u);
}

TEST_F(ClusterTest, ClientsOfEveryInstanceTakeTurnsOneAtATimeAndEachPostReachesEveryClientOnce) {
    auto instances = Three();
    ASSERT_TRUE(instances[0]->Ok() && instances[1]->Ok() && instances[2]->Ok());
    constexpr std::size_t kPerInstance = 2;
    std::vector<std::unique_ptr<TestClient>> clients;
    std::vector<std::size_t> instanceOf;
    for (std::size_t i = 0; i < instances.size(); ++i) {
        for (std::size_t k = 0; k < kPerInstance; ++k) {
            clients.push_back(std::make_unique<TestClient>(instances[i]->Port(), 0,
                                                           "127.0.0." + std::to_string(clients.size() + 1)));
            instanceOf.push_back(i);
            ASSERT_TRUE(clients.back()->Watch(kBoard));
        }
    }

    std::set<std::size_t> checkedOn; // instances whose clients made a check
    std::vector<std::string> posted;
    std::vector<std::map<std::string, int>> received(clients.size());
    const auto take = [&](std::size_t i, const net::ServerMessage& message) {
        if (message.type == net::ServerNewPost) ++received[i][message.text];
    };
    // Every message of every client, polled in turn; an ask is held a while
    // before its answer, and no other ask may come meanwhile.
    const auto askOf = [&](std::size_t i) -> std::optional<net::ServerMessage> {
        auto message = clients[i]->Next(10ms);
        if (!message) return std::nullopt;
        if (message->type == net::ListRequest || message->type == net::CheckList) return message;
        take(i, *message);
        return std::nullopt;
    };
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline && (checkedOn.size() < instances.size() || posted.size() < 8)) {
        for (std::size_t i = 0; i < clients.size(); ++i) {
            const auto ask = askOf(i);
            if (!ask) continue;
            const auto heldUntil = std::chrono::steady_clock::now() + 300ms;
            while (std::chrono::steady_clock::now() < heldUntil) {
                for (std::size_t j = 0; j < clients.size(); ++j) {
                    if (j == i) continue;
                    if (const auto other = askOf(j))
                        ADD_FAILURE() << "client " << j << " asked while client " << i << " holds the check";
                }
            }
            if (ask->type == net::ListRequest) {
                ASSERT_TRUE(clients[i]->Send(net::EncodeListReply("start\r\n")));
                continue;
            }
            // Digits do not tell posts apart: letters do.
            const std::string line = "item " + std::string(3, static_cast<char>('a' + posted.size()));
            ASSERT_TRUE(clients[i]->Send(net::EncodeListReport(line + "\r\n" + ask->text)));
            ASSERT_TRUE(clients[i]->Send(net::EncodeNewPost(line)));
            posted.push_back(line);
            checkedOn.insert(instanceOf[i]);
        }
    }
    EXPECT_EQ(checkedOn.size(), instances.size()) << "checks made by clients of too few instances";
    ASSERT_FALSE(posted.empty());

    // Each post reaches every client once.
    for (std::size_t i = 0; i < clients.size(); ++i) {
        const auto until = std::chrono::steady_clock::now() + 5s;
        while (received[i].size() < posted.size() && std::chrono::steady_clock::now() < until)
            if (auto message = clients[i]->Next(50ms)) take(i, *message);
    }
    for (std::size_t i = 0; i < clients.size(); ++i) {
        for (auto message = clients[i]->Next(300ms); message; message = clients[i]->Next(50ms)) take(i, *message);
        for (const auto& line : posted) EXPECT_EQ(received[i][line], 1) << "client " << i << ", " << line;
        EXPECT_EQ(received[i].size(), posted.size()) << "client " << i;
    }
}

} // namespace
} // namespace quorlan::test
