// Real server instances on one private PostgreSQL, each with its own clients
// of one board: one instance schedules the board, a post found by its checker
// reaches the clients of every instance once, an operator's notice too, and
// another instance takes the board over when its owner goes.
#include "PgTest.h"
#include "server/RunningServer.h"
#include "server/TestClient.h"
#include "server/pg/Cluster.h"

#include <vector>
#include <httplib.h>

#include <chrono>
#include <fstream>
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
        auto instance = std::make_unique<RunningServer>(
            config, clock_,
            [config](asio::io_context& loop, const server::IClock& clock,
                     server::ICluster::Events events) -> std::unique_ptr<server::ICluster> {
                return std::make_unique<server::pg::Cluster>(
                    loop, clock, server::pg::Cluster::Options{config.postgres, config.nodeId, config.takeoverMs},
                    std::move(events));
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

    TempDir dir_;
    server::SystemClock clock_;
};

TEST_F(ClusterTest, OneInstanceChecksTheBoardAndItsPostsReachTheClientsOfBoth) {
    auto a = Instance("node_a");
    auto b = Instance("node_b");
    ASSERT_TRUE(a->Ok() && b->Ok());
    TestClient onA(a->Port());
    TestClient onB(b->Port(), 0, "127.0.0.2");
    ASSERT_TRUE(onA.Watch(kBoard));
    ASSERT_TRUE(onB.Watch(kBoard));
    const std::vector<TestClient*> clients{&onA, &onB};

    // A baseline, then the first check, both from the owner to its client.
    const auto baseline = FirstAsked(clients);
    ASSERT_TRUE(baseline) << "no instance took the board";
    ASSERT_EQ(baseline->second.type, net::ListRequest);
    TestClient& checker = *clients[baseline->first];
    TestClient& other = *clients[1 - baseline->first];
    ASSERT_TRUE(checker.Send(net::EncodeListReply("old post\r\n")));
    const auto check = checker.NextOf(net::CheckList);
    ASSERT_TRUE(check);
    EXPECT_EQ(check->text, "old post\r\n");
    ASSERT_TRUE(checker.Send(net::EncodeListReport("new post\r\nold post\r\n")));
    ASSERT_TRUE(checker.Send(net::EncodeNewPost("new post")));

    for (TestClient* client : clients) {
        const auto post = client->NextOf(net::ServerNewPost);
        ASSERT_TRUE(post);
        EXPECT_EQ(post->text, "new post");
    }
    // Once each, and the other instance never asked its client anything.
    for (TestClient* client : clients) {
        for (auto message = client->Next(500ms); message; message = client->Next(100ms)) {
            EXPECT_NE(message->type, net::ServerNewPost);
            if (client == &other) {
                EXPECT_NE(message->type, net::CheckList);
                EXPECT_NE(message->type, net::ListRequest);
            }
        }
    }
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

} // namespace
} // namespace quorlan::test
