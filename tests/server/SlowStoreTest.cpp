// The real server over a store that answers only when the test lets it: the
// loop goes on serving everyone while a store call is under way.
#include "ManualClock.h"
#include "RunningServer.h"
#include "TestClient.h"
#include "server/accounts/PasswordHasher.h"
#include "server/store/sqlite/SqliteStore.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace quorlan::test {
namespace {

constexpr const char* kBoard = "http://127.0.0.1:8080/bbs/zboard.php?id=slow";
constexpr const char* kPhone = "01012345678";

// Holds the store's callers while closed.
class Gate {
public:
    void Close() {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    void Pass() {
        std::unique_lock lock(mutex_);
        ++held_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
        --held_;
    }
    // True once a caller is held (within a generous bound).
    bool Holding() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return held_ > 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
    int held_ = 0;
};

// The SQLite engine, with account lookups and list reads behind gates.
class SlowStore final : public server::IStore, server::IAccountStore, server::IBoardListStore {
public:
    SlowStore(std::unique_ptr<server::SqliteStore> inner, Gate& finds, Gate& loads)
        : inner_(std::move(inner)), accounts_(inner_->Accounts()), lists_(inner_->BoardLists()), finds_(finds),
          loads_(loads) {}

    server::IAccountStore& Accounts() override { return *this; }
    server::IBoardListStore& BoardLists() override { return *this; }
    server::IReplayStore& Replay() override { return inner_->Replay(); }

    std::optional<server::Account> Find(const std::string& phone) override {
        finds_.Pass();
        return accounts_.Find(phone);
    }
    std::optional<std::string> Load(const std::string& url) override {
        loads_.Pass();
        return lists_.Load(url);
    }

    bool Create(const std::string& phone, const std::string& hash, std::int64_t nowMs) override {
        return accounts_.Create(phone, hash, nowMs);
    }
    bool UpdatePassword(const std::string& phone, const std::string& hash) override {
        return accounts_.UpdatePassword(phone, hash);
    }
    bool RecordLoginFailure(const std::string& phone, int failed, std::int64_t lockedUntilMs) override {
        return accounts_.RecordLoginFailure(phone, failed, lockedUntilMs);
    }
    bool ClearLoginFailures(const std::string& phone) override { return accounts_.ClearLoginFailures(phone); }
    bool SetRelay(const std::string& phone, bool relay) override { return accounts_.SetRelay(phone, relay); }
    bool SetRobotMode(const std::string& phone, bool on) override { return accounts_.SetRobotMode(phone, on); }
    std::optional<server::IdentNumber> FindIdent(const std::string& phone) override {
        return accounts_.FindIdent(phone);
    }
    bool StoreIdent(const std::string& phone, const server::IdentNumber& ident) override {
        return accounts_.StoreIdent(phone, ident);
    }
    bool CountWrongIdent(const std::string& phone) override { return accounts_.CountWrongIdent(phone); }
    bool DeleteIdent(const std::string& phone) override { return accounts_.DeleteIdent(phone); }
    void DeleteExpiredIdents(std::int64_t nowMs) override { accounts_.DeleteExpiredIdents(nowMs); }
    bool RecordIdentIssue(const std::string& phone, const std::string& address, std::int64_t nowMs) override {
        return accounts_.RecordIdentIssue(phone, address, nowMs);
    }
    std::size_t IdentIssuesSince(IssuedBy by, const std::string& key, std::int64_t sinceMs) override {
        return accounts_.IdentIssuesSince(by, key, sinceMs);
    }
    void DeleteIdentIssuesBefore(std::int64_t ms) override { accounts_.DeleteIdentIssuesBefore(ms); }

    bool Save(const std::string& url, const std::string& list, std::int64_t nowMs) override {
        return lists_.Save(url, list, nowMs);
    }
    std::size_t DeleteStale(std::int64_t nowMs) override { return lists_.DeleteStale(nowMs); }
    std::size_t Trim(std::size_t keep) override { return lists_.Trim(keep); }

private:
    std::unique_ptr<server::SqliteStore> inner_;
    server::IAccountStore& accounts_;
    server::IBoardListStore& lists_;
    Gate& finds_;
    Gate& loads_;
};

class SlowStoreTest : public ::testing::Test {
protected:
    SlowStoreTest() : config_(TestConfig(dir_.File("quorlan.db"))) {}
    // A test that failed with a call held lets it go, or the server's worker
    // would never finish.
    ~SlowStoreTest() override {
        finds_.Open();
        loads_.Open();
    }

    // What the test writes before the server starts, on its own connection.
    server::IStore& Prepared() {
        if (!prepared_) prepared_ = server::SqliteStore::Open(config_.databasePath, config_.Replay()).store;
        return *prepared_;
    }
    void Start() {
        server_ = std::make_unique<RunningServer>(
            config_, clock_, server::Server::ClusterFactory{},
            [this](std::string& error) -> std::unique_ptr<server::IStore> {
                auto opened = server::SqliteStore::Open(config_.databasePath, config_.Replay());
                error = opened.error;
                if (!opened.store) return nullptr;
                return std::make_unique<SlowStore>(std::move(opened.store), finds_, loads_);
            });
        ASSERT_TRUE(server_->Ok()) << server_->Error();
    }
    std::unique_ptr<TestClient> Connect() {
        auto client = std::make_unique<TestClient>(server_->Port());
        EXPECT_TRUE(client->Connected());
        return client;
    }

    TempDir dir_;
    ManualClock clock_;
    server::ServerConfig config_;
    std::unique_ptr<server::SqliteStore> prepared_;
    Gate finds_;
    Gate loads_;
    std::unique_ptr<RunningServer> server_; // last: stopped before the gates go
};

TEST_F(SlowStoreTest, AClientIsServedWhileAnotherClientsLoginWaitsForTheStore) {
    const auto hash = server::PasswordHasher::HashNow("secret", config_.hashOpsLimit, config_.hashMemLimit);
    ASSERT_TRUE(hash && Prepared().Accounts().Create(kPhone, *hash, 0));
    Start();
    finds_.Close();
    auto waiting = Connect();
    ASSERT_TRUE(waiting->Send(net::EncodeLogin(kPhone, "secret")));
    ASSERT_TRUE(finds_.Holding()); // the account lookup is under way

    auto other = Connect();
    ASSERT_TRUE(other->Send(net::EncodeVersion()));
    EXPECT_EQ(other->Result(net::VersionResult), 1u);
    EXPECT_TRUE(other->Watch(kBoard, 60));

    finds_.Open();
    EXPECT_EQ(waiting->Result(net::LoginResult), 1u);
    EXPECT_EQ(server_->Metrics().loginsSucceeded.load(), 1u);
    EXPECT_EQ(server_->Metrics().loginsFailed.load(), 0u);
}

// A board whose stored list is still being read is neither bootstrapped nor
// checked; once the list is in, its first check carries it.
TEST_F(SlowStoreTest, ABoardIsAskedNothingUntilItsStoredListIsRead) {
    ASSERT_TRUE(Prepared().BoardLists().Save(kBoard, "old\r\n", clock_.NowMs()));
    Start();
    loads_.Close();
    auto checker = Connect();
    ASSERT_TRUE(checker->Watch(kBoard, 1));
    ASSERT_TRUE(loads_.Holding());
    clock_.Advance(10'000);
    server_->TimeChanged();
    // Whatever the server had sent comes before this answer.
    ASSERT_TRUE(checker->Send(net::EncodeVersion()));
    const auto first = checker->Next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->type, net::VersionResult);

    loads_.Open();
    const auto ask = checker->Next();
    ASSERT_TRUE(ask);
    EXPECT_EQ(ask->type, net::CheckList);
    EXPECT_EQ(ask->text, "old\r\n");
    EXPECT_EQ(server_->Metrics().baselinesRequested.load(), 0u);
}

} // namespace
} // namespace quorlan::test
