// The cluster as it is deployed: three quorlan-server processes on one
// private PostgreSQL, HAProxy in front with the shipped configuration
// (scripts/cluster/haproxy.cfg), clients of one board connected through
// HAProxy only. A post the checking client reports reaches every client once;
// when the instance that schedules the board is killed, its clients come back
// through HAProxy, another instance checks the board within the takeover
// time, and no client is sent a line twice.
#include "PgTest.h"
#include "server/RunningServer.h"
#include "server/TestClient.h"
#include "server/accounts/PasswordHasher.h"
#include "tools/loadgen/ChildProcess.h"

#include <httplib.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>
#include <vector>

namespace quorlan::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kBoard = "http://127.0.0.1/bbs/zboard.php?id=haproxy";
constexpr std::size_t kClients = 6;
constexpr int kTakeoverSeconds = 7;
// Room for a loaded machine on top of every wait the cluster itself has.
constexpr auto kMargin = 10s;

std::filesystem::path FindHaproxy() {
    for (const char* dir : {"/usr/sbin", "/usr/local/sbin", "/usr/bin"}) {
        const std::filesystem::path program = std::filesystem::path(dir) / "haproxy";
        if (::access(program.c_str(), X_OK) == 0) return program;
    }
    return {};
}

std::string Address(std::uint16_t port) { return "127.0.0.1:" + std::to_string(port); }

// One quorlan-server process with its client and admin ports.
struct Instance {
    std::string node;
    std::uint16_t port = 0;
    std::uint16_t admin = 0;
    loadgen::ChildProcess process;

    // quorlan_connections from /metrics; -1 when the instance does not answer.
    int Connections() const {
        httplib::Client http("127.0.0.1", admin);
        const auto got = http.Get("/metrics");
        if (!got || got->status != 200) return -1;
        const std::string key = "\nquorlan_connections ";
        const auto at = got->body.find(key);
        return at == std::string::npos ? -1 : std::atoi(got->body.c_str() + at + key.size());
    }
};

// A client of the board, through HAProxy, and every post line it was sent
// (kept across its reconnections).
struct Member {
    std::unique_ptr<TestClient> link;
    std::map<std::string, int> received;
};

// What the board's page shows the test's clients: `page` is what a reload
// shows now, `fresh` the lines the next check finds new on it.
struct Page {
    std::string page = "old post\r\n";
    std::vector<std::string> fresh;
};

class HaproxyClusterTest : public PgTest {
protected:
    void SetUp() override {
        PgTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        haproxy_ = FindHaproxy();
        if (haproxy_.empty()) GTEST_SKIP() << "HAProxy is not installed (scripts/deps.sh installs it)";
        for (std::size_t i = 0; i < instances_.size(); ++i) {
            Instance& instance = instances_[i];
            instance.node = "node_" + std::to_string(i + 1);
            instance.port = loadgen::FreePort();
            instance.admin = loadgen::FreePort();
            std::string error;
            ASSERT_TRUE(instance.process.Start(
                {QUORLAN_SERVER_PROGRAM, "--listen", Address(instance.port), "--admin", Address(instance.admin),
                 "--db", dir_.File(instance.node + ".db"), "--postgres", conninfo_, "--node-id", instance.node,
                 "--takeover-seconds", std::to_string(kTakeoverSeconds), "--min-interval", "0.2",
                 "--check-timeout", "10", "--proxy-from", "127.0.0.1", "--log-level", "warn"},
                false, error))
                << error;
        }
        for (const Instance& instance : instances_) ASSERT_TRUE(Healthy(instance)) << instance.node;

        front_ = loadgen::FreePort();
        ::setenv("QUORLAN_FRONT", Address(front_).c_str(), 1);
        for (std::size_t i = 0; i < instances_.size(); ++i) {
            const std::string name = "QUORLAN_NODE" + std::to_string(i + 1);
            ::setenv(name.c_str(), Address(instances_[i].port).c_str(), 1);
            ::setenv((name + "_ADMIN_PORT").c_str(), std::to_string(instances_[i].admin).c_str(), 1);
        }
        std::string error;
        ASSERT_TRUE(haproxyProcess_.Start(
            {haproxy_.string(), "-db", "-f", QUORLAN_SOURCE_DIR "/scripts/cluster/haproxy.cfg"}, true, error))
            << error;
    }

    // True once the instance's /health says its database link is up.
    static bool Healthy(const Instance& instance) {
        httplib::Client probe("127.0.0.1", instance.admin);
        probe.set_connection_timeout(1s);
        const auto end = Clock::now() + 20s + kMargin;
        while (Clock::now() < end) {
            const auto got = probe.Get("/health");
            if (got && got->status == 200 && got->body == "ok\ndatabase up\n") return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    // A client through HAProxy watching the board; tries again while HAProxy
    // has no instance for it (it is starting, or one just died).
    std::unique_ptr<TestClient> Join() {
        const auto end = Clock::now() + 20s + kMargin;
        while (Clock::now() < end) {
            auto link = std::make_unique<TestClient>(front_);
            if (link->Connected() && link->Watch(kBoard)) return link;
            std::this_thread::sleep_for(100ms);
        }
        return nullptr;
    }

    // Reads what each member was sent, answering the board's checks as a
    // client that loads `page` would, until `done` or the time is up; false
    // on timeout. `asked_` counts the checks (ListRequest and CheckList).
    template <typename Done> bool Serve(Page& page, Done done, Clock::duration limit) {
        const auto end = Clock::now() + limit;
        while (!done()) {
            if (Clock::now() >= end) return false;
            for (Member& member : members_) {
                if (member.link->Closed()) continue;
                const auto message = member.link->Next(10ms);
                if (!message) continue;
                if (message->type == net::ServerNewPost) {
                    ++member.received[message->text];
                } else if (message->type == net::ListRequest) {
                    ++asked_;
                    EXPECT_TRUE(member.link->Send(net::EncodeListReply(page.page)));
                } else if (message->type == net::CheckList) {
                    ++asked_;
                    std::string report;
                    for (const std::string& line : page.fresh) report += line + "\r\n";
                    page.page = report + page.page;
                    EXPECT_TRUE(member.link->Send(net::EncodeListReport(page.page)));
                    for (const std::string& line : page.fresh) EXPECT_TRUE(member.link->Send(net::EncodeNewPost(line)));
                    page.fresh.clear();
                }
            }
        }
        return true;
    }

    bool EveryoneGot(const std::string& line) const {
        for (const Member& member : members_)
            if (member.received.count(line) == 0) return false;
        return true;
    }

    // The board's owner and fencing epoch as the database has them.
    std::pair<std::string, std::string> Owner() {
        auto db = Connect();
        const auto reply = Run(*db, "SELECT owner_node, epoch FROM cluster_boards");
        EXPECT_TRUE(reply.ok) << reply.error;
        if (reply.rows.size() != 1 || !reply.rows[0][0] || !reply.rows[0][1]) return {};
        return {*reply.rows[0][0], *reply.rows[0][1]};
    }

    TempDir dir_;
    std::filesystem::path haproxy_;
    std::array<Instance, 3> instances_;
    std::uint16_t front_ = 0;
    loadgen::ChildProcess haproxyProcess_;
    std::vector<Member> members_;
    std::size_t asked_ = 0;
};

// One machine fails 60 logins through HAProxy; the owner logging in from
// another machine through the same HAProxy gets in, in well under a second,
// while the attacker's own address is stopped on every instance.
TEST_F(HaproxyClusterTest, ALoginAttackThroughHaproxyStopsTheAttackerOnly) {
    {
        auto db = Connect();
        const auto hash = server::PasswordHasher::HashNow("secret", crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                                          crypto_pwhash_MEMLIMIT_INTERACTIVE);
        ASSERT_TRUE(hash);
        const auto created = Run(*db, "INSERT INTO accounts (phone, password_hash, created_ms) VALUES "
                                      "('01012345678', '" + *hash + "', 0)");
        ASSERT_TRUE(created.ok) << created.error;
    }
    std::vector<std::unique_ptr<TestClient>> attack;
    for (int c = 0; c < 6; ++c) {
        attack.push_back(std::make_unique<TestClient>(front_, 0, "127.0.0.2"));
        ASSERT_TRUE(attack.back()->Connected());
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(attack.back()->LogIn("0105555" + std::to_string(1000 + 10 * c + i), "guess"), 0u);
    }
    const auto start = Clock::now();
    EXPECT_EQ(TestClient(front_, 0, "127.0.0.3").LogIn("01012345678", "secret"), 1u);
    EXPECT_LT(Clock::now() - start, 2s);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(TestClient(front_, 0, "127.0.0.2").LogIn("01012345678", "secret"), 0u);
}

TEST_F(HaproxyClusterTest, KillingTheBoardsOwnerMovesItsClientsAndTheBoardWithoutRepeatingALine) {
    for (std::size_t i = 0; i < kClients; ++i) {
        members_.push_back({Join(), {}});
        ASSERT_TRUE(members_.back().link) << "client " << i << " could not join through HAProxy";
    }
    // HAProxy spread the clients over every instance.
    std::array<int, 3> connections{};
    for (std::size_t i = 0; i < instances_.size(); ++i) {
        connections[i] = instances_[i].Connections();
        EXPECT_GE(connections[i], 1) << instances_[i].node;
    }

    // A post the checker reports reaches every client once.
    Page page;
    page.fresh = {"new post"};
    ASSERT_TRUE(Serve(page, [&] { return EveryoneGot("new post"); }, 20s + kMargin))
        << "checks asked: " << asked_ << "; the post did not reach every client";
    EXPECT_TRUE(page.fresh.empty());
    Serve(page, [] { return false; }, 1s);

    const auto [owner, epoch] = Owner();
    std::size_t killed = instances_.size();
    for (std::size_t i = 0; i < instances_.size(); ++i)
        if (instances_[i].node == owner) killed = i;
    ASSERT_LT(killed, instances_.size()) << "owner in the database: '" << owner << "'";

    // The owner dies as in a crash; HAProxy closes its clients' connections.
    // From now on the clients show a stale page, without the line already
    // forwarded, so that the next checks find it new once more.
    instances_[killed].process.Kill();
    const auto killedAt = Clock::now();
    const std::size_t askedBefore = asked_;
    page.page = "old post\r\n";
    const auto closed = [&] {
        int count = 0;
        for (const Member& member : members_) count += member.link->Closed() ? 1 : 0;
        return count;
    };
    ASSERT_TRUE(Serve(page, [&] { return closed() == connections[killed]; }, 10s + kMargin))
        << closed() << " connections closed, the killed instance had " << connections[killed];
    for (Member& member : members_) {
        if (!member.link->Closed()) continue;
        member.link = Join();
        ASSERT_TRUE(member.link) << "a client of the killed instance could not come back through HAProxy";
    }
    int survivors = 0;
    for (std::size_t i = 0; i < instances_.size(); ++i)
        if (i != killed) survivors += instances_[i].Connections();
    EXPECT_EQ(survivors, static_cast<int>(kClients));

    // Another instance checks the board within the takeover time; then a
    // check reports the new line and, again, the one forwarded before.
    ASSERT_TRUE(Serve(page, [&] { return asked_ > askedBefore; },
                      std::chrono::seconds(kTakeoverSeconds) + kMargin - (Clock::now() - killedAt)))
        << "no instance checked the board within the takeover time";
    page.fresh = {"second post", "new post"};
    ASSERT_TRUE(Serve(page, [&] { return EveryoneGot("second post"); }, 10s + kMargin))
        << "the post after the takeover did not reach every client";
    Serve(page, [] { return false; }, 1s);

    const std::map<std::string, int> once{{"new post", 1}, {"second post", 1}};
    for (std::size_t i = 0; i < members_.size(); ++i) EXPECT_EQ(members_[i].received, once) << "client " << i;
    const auto [newOwner, newEpoch] = Owner();
    EXPECT_NE(newOwner, owner);
    EXPECT_FALSE(newOwner.empty());
    EXPECT_GT(std::atoll(newEpoch.c_str()), std::atoll(epoch.c_str()));
}

} // namespace
} // namespace quorlan::test
