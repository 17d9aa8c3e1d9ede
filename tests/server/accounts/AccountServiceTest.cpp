// Login, sign-up and password change on their own loop, with a hasher whose
// backlog a test can fill.
#include "ManualClock.h"
#include "RunLoopUntil.h"
#include "RunningServer.h"
#include "server/accounts/AccountService.h"
#include "server/store/sqlite/SqliteStore.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace quorlan::server {
namespace {

constexpr const char* kPhone = "01012345678";

class AccountServiceTest : public ::testing::Test {
protected:
    static constexpr std::size_t kBacklog = 2;

    AccountServiceTest()
        : config_(test::TestConfig(dir_.File("accounts.db"))), db_(Database::Open(config_.databasePath).db),
          store_(*db_), worker_(loop_, SqliteStore::Open(config_.databasePath, config_.Replay()).store),
          hasher_(loop_, config_.hashOpsLimit, config_.hashMemLimit, kBacklog), rules_(config_.trust),
          accounts_(loop_, worker_, hasher_, rules_, clock_, metrics_, config_.Accounts()) {
        const auto hash = PasswordHasher::HashNow("secret", config_.hashOpsLimit, config_.hashMemLimit);
        EXPECT_TRUE(hash && store_.Create(kPhone, *hash, 0));
    }

    // Takes one place in the hasher's backlog until the loop runs.
    void OccupyHasher() {
        ++pending_;
        hasher_.Verify("", "x", alive_, [this](PasswordHasher::Verdict) { --pending_; });
    }
    // Logs in, each time from another address so that only the service's
    // own rules decide; the answer (true: logged in) is appended to `answers_`.
    void Login(const std::string& phone, const std::string& password) {
        ++pending_;
        accounts_.Login(phone, password, NextSource(), [this](std::optional<Account> account) {
            answers_.push_back(account.has_value());
            --pending_;
        });
    }
    // Returns once the accounts of every call made so far have been read: the
    // hasher is asked in the order of the calls as soon as the loop runs.
    void AccountsRead() { test::WaitForStore(worker_); }
    // Runs the loop until every call made so far has been answered.
    void Settle() {
        ASSERT_TRUE(test::RunLoopUntil(loop_, [this] { return pending_ == 0; })) << "answers missing";
    }
    Account Stored() { return store_.Find(kPhone).value_or(Account{}); }
    AccountService::Source NextSource() { return {"127.0.1." + std::to_string(++sources_), alive_}; }

    test::TempDir dir_;
    test::ManualClock clock_;
    ServerConfig config_;
    asio::io_context loop_;
    std::unique_ptr<Database> db_;
    AccountStore store_; // the test's own connection to the file
    StoreWorker worker_;
    Metrics metrics_;
    PasswordHasher hasher_;
    TrustRules rules_;
    AccountService accounts_;
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
    int sources_ = 0;
    int pending_ = 0;
    std::vector<bool> answers_;
};

TEST_F(AccountServiceTest, AFullHasherRefusesWithoutCountingFailures) {
    for (int i = 0; i < 6; ++i) Login(kPhone, "wrong"); // enough to lock, were they checked
    std::optional<std::uint32_t> changed;
    ++pending_;
    accounts_.ChangePassword(kPhone, "secret", "next", NextSource(), [&](std::uint32_t code) {
        changed = code;
        --pending_;
    });
    AccountsRead();
    for (std::size_t i = 0; i < kBacklog; ++i) OccupyHasher(); // before the loop hands the passwords over
    Settle();
    EXPECT_EQ(answers_, std::vector<bool>(6, false));
    EXPECT_EQ(changed, 0u);
    EXPECT_EQ(Stored().failedLogins, 0);
    EXPECT_EQ(Stored().lockedUntilMs, 0);

    Login(kPhone, "secret"); // neither locked nor changed
    Settle();
    EXPECT_TRUE(answers_.back());
}

TEST_F(AccountServiceTest, ALockSetWhileThePasswordIsCheckedRefusesTheRightOne) {
    Login(kPhone, "secret");
    // Guesses on other connections lock the account meanwhile.
    const std::int64_t lockedUntil = clock_.NowMs() + 30'000;
    ASSERT_TRUE(store_.RecordLoginFailure(kPhone, 5, lockedUntil));
    Settle();
    EXPECT_EQ(answers_, std::vector<bool>{false});
    EXPECT_EQ(Stored().failedLogins, 5); // not counted
    EXPECT_EQ(Stored().lockedUntilMs, lockedUntil); // not lifted

    clock_.Advance(30'001);
    Login(kPhone, "secret");
    Settle();
    EXPECT_TRUE(answers_.back());
    EXPECT_EQ(Stored().failedLogins, 0);
}

// An unknown phone and a locked account are answered after a hash like a real
// check: each takes a place in the backlog, so a right password behind them
// finds it full. They record nothing.
TEST_F(AccountServiceTest, UnknownPhonesAndLockedAccountsCostAHashAndRecordNothing) {
    const auto hash = PasswordHasher::HashNow("other", config_.hashOpsLimit, config_.hashMemLimit);
    ASSERT_TRUE(hash && store_.Create("01011112222", *hash, 0));
    const std::int64_t lockedUntil = clock_.NowMs() + 30'000;
    ASSERT_TRUE(store_.RecordLoginFailure(kPhone, 5, lockedUntil));
    Login("01099998888", "secret");
    Login(kPhone, "secret");
    Login("01011112222", "other");
    AccountsRead();
    Settle();
    EXPECT_EQ(answers_, (std::vector<bool>{false, false, false}));
    EXPECT_FALSE(store_.Find("01099998888"));
    EXPECT_EQ(Stored().failedLogins, 5);
    EXPECT_EQ(Stored().lockedUntilMs, lockedUntil);

    Login("01011112222", "other");
    Settle();
    EXPECT_TRUE(answers_.back());
}

} // namespace
} // namespace quorlan::server
