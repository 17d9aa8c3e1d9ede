// The same store behaviour from both engines: the SQLite file (with the
// in-memory replay) of a single server, and the PostgreSQL database of a
// cluster. Texts of the system are cp949 bytes, never UTF-8.
#include "PgTest.h"
#include "fakes/TempDir.h"
#include "server/ServerConfig.h"
#include "server/store/ReplayBuffer.h"
#include "server/store/pg/PgStore.h"
#include "server/store/sqlite/SqliteStore.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorlan::test {
namespace {

using server::Account;
using server::IAccountStore;
using server::IBoardListStore;
using server::IdentNumber;
using server::IStore;
using server::ReplayBuffer;
using Lines = std::vector<std::string>;
using IssuedBy = IAccountStore::IssuedBy;

constexpr std::int64_t kMinute = 60'000;
const std::string kPhone = "01012345678";
const std::string kBoard("http://b/\xB0\xA1", 11);  // "가" in cp949
const std::string kOther("http://b/\xB0\xA2", 11);  // differs in a byte that is not UTF-8
const std::string kCp949Line("\xB0\xA1\xB3\xAA 1", 6);

enum class Engine { Sqlite, Postgres };

class StoreContract : public PgTest, public ::testing::WithParamInterface<Engine> {
protected:
    void SetUp() override {
        if (GetParam() == Engine::Postgres) PgTest::SetUp();
    }

    std::unique_ptr<IStore> Open(ReplayBuffer::Limits limits = {}) {
        if (GetParam() == Engine::Sqlite) {
            server::ServerConfig config;
            config.replayMaxAgeMs = limits.maxAgeMs;
            config.replayMaxLines = limits.maxLines;
            config.replayMaxAccounts = limits.maxAccounts;
            auto opened = server::SqliteStore::Open(dir_.File("store.db"), config.Replay());
            EXPECT_TRUE(opened.store) << opened.error;
            return std::move(opened.store);
        }
        std::string error;
        auto store = server::pg::PgStore::Open(conninfo_, limits, error);
        EXPECT_TRUE(store) << error;
        return store;
    }

    TempDir dir_;
};

TEST_P(StoreContract, AnAccountIsCreatedOnceForItsPhone) {
    auto store = Open();
    ASSERT_TRUE(store);
    IAccountStore& accounts = store->Accounts();
    EXPECT_FALSE(accounts.Find(kPhone));
    ASSERT_TRUE(accounts.Create(kPhone, "hash-1", 1'000));
    EXPECT_FALSE(accounts.Create(kPhone, "hash-2", 2'000)); // the phone has an account
    const auto found = accounts.Find(kPhone);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->phone, kPhone);
    EXPECT_EQ(found->passwordHash, "hash-1");
    EXPECT_FALSE(found->relay);
    EXPECT_EQ(found->failedLogins, 0);
    EXPECT_EQ(found->lockedUntilMs, 0);
    EXPECT_FALSE(found->robotMode);
    EXPECT_TRUE(accounts.Create("01099998888", "hash-3", 3'000));
}

TEST_P(StoreContract, AccountChangesNeedTheAccountAndAreReadBack) {
    struct Case {
        const char* name;
        std::function<bool(IAccountStore&, const std::string&)> change;
        std::function<bool(const Account&)> holds;
    } cases[] = {
        {"password", [](IAccountStore& s, const std::string& p) { return s.UpdatePassword(p, "new-hash"); },
         [](const Account& a) { return a.passwordHash == "new-hash"; }},
        {"login failure",
         [](IAccountStore& s, const std::string& p) { return s.RecordLoginFailure(p, 5, 1'700'000'000'123); },
         [](const Account& a) { return a.failedLogins == 5 && a.lockedUntilMs == 1'700'000'000'123; }},
        {"failures cleared",
         [](IAccountStore& s, const std::string& p) {
             return s.RecordLoginFailure(p, 5, 9'000) && s.ClearLoginFailures(p);
         },
         [](const Account& a) { return a.failedLogins == 0 && a.lockedUntilMs == 0; }},
        {"relay", [](IAccountStore& s, const std::string& p) { return s.SetRelay(p, true); },
         [](const Account& a) { return a.relay && !a.robotMode; }},
        {"relay withdrawn",
         [](IAccountStore& s, const std::string& p) { return s.SetRelay(p, true) && s.SetRelay(p, false); },
         [](const Account& a) { return !a.relay; }},
        {"robot mode", [](IAccountStore& s, const std::string& p) { return s.SetRobotMode(p, true); },
         [](const Account& a) { return a.robotMode && !a.relay; }},
        {"robot mode withdrawn",
         [](IAccountStore& s, const std::string& p) { return s.SetRobotMode(p, true) && s.SetRobotMode(p, false); },
         [](const Account& a) { return !a.robotMode; }},
    };
    auto store = Open();
    ASSERT_TRUE(store);
    IAccountStore& accounts = store->Accounts();
    int n = 0;
    for (const auto& c : cases) {
        const std::string phone = "0101111000" + std::to_string(n++);
        EXPECT_FALSE(c.change(accounts, phone)) << c.name << ": no such account";
        ASSERT_TRUE(accounts.Create(phone, "hash", 1));
        EXPECT_TRUE(c.change(accounts, phone)) << c.name;
        const auto found = accounts.Find(phone);
        ASSERT_TRUE(found) << c.name;
        EXPECT_TRUE(c.holds(*found)) << c.name;
    }
}

TEST_P(StoreContract, IdentificationNumbersAreReplacedCountedAndExpire) {
    auto store = Open();
    ASSERT_TRUE(store);
    IAccountStore& accounts = store->Accounts();
    EXPECT_FALSE(accounts.FindIdent(kPhone));
    EXPECT_FALSE(accounts.CountWrongIdent(kPhone));
    EXPECT_FALSE(accounts.DeleteIdent(kPhone));

    ASSERT_TRUE(accounts.StoreIdent(kPhone, IdentNumber{"123456", 1'000, 601'000, 2}));
    ASSERT_TRUE(accounts.StoreIdent(kPhone, IdentNumber{"654321", 2'000, 602'000, 0})); // a new number replaces
    ASSERT_TRUE(accounts.CountWrongIdent(kPhone));
    auto ident = accounts.FindIdent(kPhone);
    ASSERT_TRUE(ident);
    EXPECT_EQ(ident->number, "654321");
    EXPECT_EQ(ident->issuedMs, 2'000);
    EXPECT_EQ(ident->expiresMs, 602'000);
    EXPECT_EQ(ident->wrongTries, 1);
    ASSERT_TRUE(accounts.DeleteIdent(kPhone));
    EXPECT_FALSE(accounts.FindIdent(kPhone));

    ASSERT_TRUE(accounts.StoreIdent("01000000001", IdentNumber{"111111", 0, 5'000, 0}));
    ASSERT_TRUE(accounts.StoreIdent("01000000002", IdentNumber{"222222", 0, 5'001, 0}));
    accounts.DeleteExpiredIdents(5'000); // expired at its expiry time
    EXPECT_FALSE(accounts.FindIdent("01000000001"));
    EXPECT_TRUE(accounts.FindIdent("01000000002"));
}

TEST_P(StoreContract, IdentificationNumberIssuesAreCountedByPhoneAddressAndInAll) {
    auto store = Open();
    ASSERT_TRUE(store);
    IAccountStore& accounts = store->Accounts();
    ASSERT_TRUE(accounts.RecordIdentIssue("01000000001", "10.0.0.1", 100));
    ASSERT_TRUE(accounts.RecordIdentIssue("01000000001", "10.0.0.2", 200));
    ASSERT_TRUE(accounts.RecordIdentIssue("01000000002", "10.0.0.1", 300));
    ASSERT_TRUE(accounts.RecordIdentIssue("01000000002", "10.0.0.1", 300)); // two at once count twice
    struct Case {
        IssuedBy by;
        std::string key;
        std::int64_t sinceMs;
        std::size_t count;
    } cases[] = {
        {IssuedBy::Phone, "01000000001", 0, 2},   {IssuedBy::Phone, "01000000001", 100, 1}, // after, not at
        {IssuedBy::Phone, "01000000003", 0, 0},   {IssuedBy::Address, "10.0.0.1", 0, 3},
        {IssuedBy::Address, "10.0.0.1", 299, 2},  {IssuedBy::Address, "10.0.0.9", 0, 0},
        {IssuedBy::Anyone, "", 0, 4},             {IssuedBy::Anyone, "", 199, 3},
        {IssuedBy::Anyone, "", 300, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(accounts.IdentIssuesSince(c.by, c.key, c.sinceMs), c.count)
            << static_cast<int>(c.by) << " " << c.key << " since " << c.sinceMs;
    accounts.DeleteIdentIssuesBefore(200); // before, not at
    EXPECT_EQ(accounts.IdentIssuesSince(IssuedBy::Anyone, "", 0), 3u);
    EXPECT_EQ(accounts.IdentIssuesSince(IssuedBy::Address, "10.0.0.2", 0), 1u);
}

TEST_P(StoreContract, BoardListsKeepTheirBytes) {
    auto store = Open();
    ASSERT_TRUE(store);
    IBoardListStore& lists = store->BoardLists();
    const std::string list("\xB0\xA1\x00\xFF\n2\t\xB3\xAA", 9);
    EXPECT_FALSE(lists.Load(kBoard));
    ASSERT_TRUE(lists.Save(kBoard, list, 1'000));
    ASSERT_TRUE(lists.Save(kOther, "other", 1'000));
    EXPECT_EQ(lists.Load(kBoard), list);
    EXPECT_EQ(lists.Load(kOther), "other");
    ASSERT_TRUE(lists.Save(kBoard, "", 2'000)); // an empty list is a list
    EXPECT_EQ(lists.Load(kBoard), "");
    EXPECT_FALSE(lists.Load("http://b/"));
}

TEST_P(StoreContract, BoardListsAreForgottenWhenStaleOrBeyondTheNewest) {
    auto store = Open();
    ASSERT_TRUE(store);
    IBoardListStore& lists = store->BoardLists();
    const std::int64_t now = 100 * IBoardListStore::kKeepMs;
    const std::int64_t stale = now - IBoardListStore::kKeepMs;
    ASSERT_TRUE(lists.Save("a", "1", stale - 1));
    ASSERT_TRUE(lists.Save(kBoard, "2", stale)); // checked just in time
    ASSERT_TRUE(lists.Save("c", "3", stale + 10));
    ASSERT_TRUE(lists.Save("d", "4", stale + 20));
    ASSERT_TRUE(lists.Save("e", "5", stale + 30));
    EXPECT_EQ(lists.DeleteStale(now), 1u);
    EXPECT_FALSE(lists.Load("a"));
    EXPECT_TRUE(lists.Load(kBoard));
    EXPECT_EQ(lists.DeleteStale(now), 0u);

    EXPECT_EQ(lists.Trim(10), 0u);
    EXPECT_EQ(lists.Trim(2), 2u);
    EXPECT_FALSE(lists.Load(kBoard));
    EXPECT_FALSE(lists.Load("c"));
    EXPECT_EQ(lists.Load("d"), "4");
    EXPECT_EQ(lists.Load("e"), "5");
    EXPECT_EQ(lists.Trim(0), 2u);
    EXPECT_FALSE(lists.Load("e"));
}

TEST_P(StoreContract, ReplayGivesWhatWasMissedOnTheBoardOnceOldestFirst) {
    auto store = Open();
    ASSERT_TRUE(store);
    server::IReplayStore& replay = store->Replay();
    replay.Forwarded(kBoard, "before leaving", 0);
    replay.Away(kPhone, kBoard, 1'000);
    replay.Forwarded(kBoard, kCp949Line, 2'000);
    replay.Forwarded(kOther, "elsewhere", 2'500);
    replay.Forwarded(kBoard, "second", 3'000);
    EXPECT_EQ(replay.Returned("01033334444", kBoard, 4'000), Lines{}); // never away
    EXPECT_EQ(replay.Returned(kPhone, kBoard, 4'000), (Lines{kCp949Line, "second"}));
    EXPECT_EQ(replay.Returned(kPhone, kBoard, 4'500), Lines{}); // not twice
    replay.Forwarded(kBoard, "while back", 5'000);
    EXPECT_EQ(replay.Returned(kPhone, kBoard, 6'000), Lines{});
}

TEST_P(StoreContract, ReplayOfAnotherBoardOrAnEarlierAbsenceIsDropped) {
    auto store = Open();
    ASSERT_TRUE(store);
    server::IReplayStore& replay = store->Replay();
    replay.Away(kPhone, kBoard, 0);
    replay.Forwarded(kBoard, "missed", 1'000);
    EXPECT_EQ(replay.Returned(kPhone, kOther, 2'000), Lines{});
    EXPECT_EQ(replay.Returned(kPhone, kBoard, 3'000), Lines{});

    // Away again elsewhere: only what the new board forwards counts.
    replay.Away(kPhone, kBoard, 4'000);
    replay.Forwarded(kBoard, "first board", 5'000);
    replay.Away(kPhone, kOther, 6'000);
    replay.Forwarded(kBoard, "first board again", 7'000);
    replay.Forwarded(kOther, "second board", 8'000);
    EXPECT_EQ(replay.Returned(kPhone, kOther, 9'000), Lines{"second board"});
}

TEST_P(StoreContract, ReplayKeepsTheNewestLinesWithinTheAgeLimit) {
    struct Case {
        const char* name;
        ReplayBuffer::Limits limits;
        int lines; // forwarded one per step from the first step on
        std::int64_t stepMs;
        std::int64_t returnMs;
        Lines expectedEnds; // first and last line given, or nothing
        std::size_t count;
    } cases[] = {
        {"a few, soon back", {}, 3, kMinute, 4 * kMinute, {"line1", "line3"}, 3},
        {"over fifty", {}, 60, 10'000, 11 * kMinute, {"line11", "line60"}, 50},
        {"over a smaller cap", {30 * kMinute, 3, 10}, 5, 1'000, 6'000, {"line3", "line5"}, 3},
        {"older than thirty minutes", {}, 10, kMinute, 40 * kMinute, {"line10", "line10"}, 1},
        {"just within the age", {}, 1, kMinute, 31 * kMinute, {"line1", "line1"}, 1},
        {"all too old", {}, 5, kMinute, 60 * kMinute, {}, 0},
        {"no lines kept", {30 * kMinute, 0, 10}, 4, 1'000, 5'000, {}, 0},
    };
    for (const auto& c : cases) {
        auto store = Open(c.limits);
        ASSERT_TRUE(store) << c.name;
        server::IReplayStore& replay = store->Replay();
        // Another account's absence on another board changes nothing.
        replay.Away("01055556666", kOther, 0);
        replay.Away(kPhone, kBoard, 0);
        for (int i = 1; i <= c.lines; ++i) replay.Forwarded(kBoard, "line" + std::to_string(i), i * c.stepMs);
        const Lines got = replay.Returned(kPhone, kBoard, c.returnMs);
        (void)replay.Returned("01055556666", kOther, c.returnMs);
        ASSERT_EQ(got.size(), c.count) << c.name;
        if (c.count == 0) continue;
        EXPECT_EQ(got.front(), c.expectedEnds[0]) << c.name;
        EXPECT_EQ(got.back(), c.expectedEnds[1]) << c.name;
    }
}

TEST_P(StoreContract, ReplayKeepsAnAccountAwayLongWhileLinesKeepComing) {
    auto store = Open();
    ASSERT_TRUE(store);
    server::IReplayStore& replay = store->Replay();
    replay.Away(kPhone, kBoard, 0);
    for (std::int64_t minute : {10, 35, 60}) replay.Forwarded(kBoard, "at " + std::to_string(minute), minute * kMinute);
    EXPECT_EQ(replay.Returned(kPhone, kBoard, 62 * kMinute), (Lines{"at 35", "at 60"}));

    // Away longer than the age limit with nothing of use: forgotten, so what
    // comes later is not kept for it.
    replay.Away(kPhone, kBoard, 100 * kMinute);
    replay.Forwarded(kBoard, "too late", 131 * kMinute);
    EXPECT_EQ(replay.Returned(kPhone, kBoard, 132 * kMinute), Lines{});
}

TEST_P(StoreContract, ReplayForgetsTheAccountsAwayLongestBeyondItsLimit) {
    auto store = Open(ReplayBuffer::Limits{30 * kMinute, 50, 2});
    ASSERT_TRUE(store);
    server::IReplayStore& replay = store->Replay();
    replay.Away("a", kBoard, 0);
    replay.Away("b", kBoard, 1);
    replay.Away("b", kBoard, 2); // still one absence
    replay.Away("c", kBoard, 3); // "a" goes
    replay.Forwarded(kBoard, "x", 4);
    EXPECT_EQ(replay.Returned("a", kBoard, 5), Lines{});
    EXPECT_EQ(replay.Returned("b", kBoard, 5), Lines{"x"});
    EXPECT_EQ(replay.Returned("c", kBoard, 5), Lines{"x"});

    // An absence moves up to the time of its newest line once older than the
    // age limit, and so can outlast one that began after it.
    replay.Away("d", kBoard, 1 * kMinute);
    replay.Away("e", kOther, 10 * kMinute);
    replay.Forwarded(kOther, "z", 12 * kMinute);
    replay.Forwarded(kBoard, "y", 15 * kMinute);
    replay.Away("f", kOther, 35 * kMinute); // "d" counts from 15 minutes: "e" goes
    EXPECT_EQ(replay.Returned("e", kOther, 36 * kMinute), Lines{});
    EXPECT_EQ(replay.Returned("d", kBoard, 36 * kMinute), Lines{"y"});
}

INSTANTIATE_TEST_SUITE_P(Engines, StoreContract, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return info.param == Engine::Sqlite ? "Sqlite" : "Postgres"; });

} // namespace
} // namespace quorlan::test
