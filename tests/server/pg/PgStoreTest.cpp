// What the PostgreSQL store adds to the behaviour both engines share: every
// instance of a cluster sees the same state, a broken link is mended on the
// next call, and a failing statement is an answer, never a crash.
#include "PgTest.h"
#include "server/store/pg/PgStore.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

namespace quorlan::test {
namespace {

using server::IStore;
using server::ReplayBuffer;
using server::pg::PgStore;
using IssuedBy = server::IAccountStore::IssuedBy;
using Lines = std::vector<std::string>;

const std::string kPhone = "01012345678";
const std::string kBoard("http://b/\xB0\xA1", 11);

class PgStoreTest : public PgTest {
protected:
    std::unique_ptr<PgStore> Open(const std::string& conninfo = {}) {
        std::string error;
        auto store = PgStore::Open(conninfo.empty() ? conninfo_ : conninfo, ReplayBuffer::Limits{}, error);
        EXPECT_TRUE(store) << error;
        return store;
    }

    // Ends every other session on the test's database, as a restart of
    // PostgreSQL or a dropped link would, and waits until they are gone.
    void EndOtherSessions() {
        auto admin = Connect();
        const char* others = "FROM pg_stat_activity WHERE datname = current_database() AND pid <> pg_backend_pid()";
        ASSERT_TRUE(Run(*admin, std::string("SELECT pg_terminate_backend(pid) ") + others).ok);
        for (int i = 0; i < 1000; ++i) {
            if (Run(*admin, std::string("SELECT count(*) ") + others).Int(0, 0) == 0) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        FAIL() << "sessions still there";
    }
};

TEST_F(PgStoreTest, EveryInstanceSeesTheSameState) {
    auto one = Open(), two = Open();
    ASSERT_TRUE(one && two);
    ASSERT_TRUE(one->Accounts().Create(kPhone, "hash", 1));
    EXPECT_FALSE(two->Accounts().Create(kPhone, "other", 2));
    ASSERT_TRUE(one->Accounts().RecordLoginFailure(kPhone, 5, 99'000));
    ASSERT_TRUE(one->Accounts().SetRelay(kPhone, true));
    ASSERT_TRUE(one->Accounts().SetRobotMode(kPhone, true));
    const auto seen = two->Accounts().Find(kPhone);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->passwordHash, "hash");
    EXPECT_EQ(seen->failedLogins, 5);
    EXPECT_EQ(seen->lockedUntilMs, 99'000);
    EXPECT_TRUE(seen->relay);
    EXPECT_TRUE(seen->robotMode);

    ASSERT_TRUE(one->Accounts().RecordIdentIssue(kPhone, "10.0.0.1", 10));
    ASSERT_TRUE(two->Accounts().RecordIdentIssue("01099998888", "10.0.0.1", 20));
    EXPECT_EQ(one->Accounts().IdentIssuesSince(IssuedBy::Address, "10.0.0.1", 0), 2u);
    EXPECT_EQ(two->Accounts().IdentIssuesSince(IssuedBy::Anyone, "", 0), 2u);

    ASSERT_TRUE(one->BoardLists().Save(kBoard, "list", 5));
    EXPECT_EQ(two->BoardLists().Load(kBoard), "list");

    // Away from one instance, back on the other.
    one->Replay().Away(kPhone, kBoard, 100);
    two->Replay().Forwarded(kBoard, "missed", 200);
    EXPECT_EQ(two->Replay().Returned(kPhone, kBoard, 300), Lines{"missed"});
    EXPECT_EQ(one->Replay().Returned(kPhone, kBoard, 400), Lines{});
}

TEST_F(PgStoreTest, ABrokenLinkIsMendedByTheNextCall) {
    auto store = Open();
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->Accounts().Create(kPhone, "hash", 1));
    ASSERT_NO_FATAL_FAILURE(EndOtherSessions());
    EXPECT_TRUE(store->Accounts().SetRelay(kPhone, true)); // a single statement
    store->Replay().Away(kPhone, kBoard, 100);
    ASSERT_NO_FATAL_FAILURE(EndOtherSessions());
    store->Replay().Forwarded(kBoard, "missed", 200); // a transaction
    ASSERT_NO_FATAL_FAILURE(EndOtherSessions());
    EXPECT_EQ(store->Replay().Returned(kPhone, kBoard, 300), Lines{"missed"});
    const auto found = store->Accounts().Find(kPhone);
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->relay);
}

TEST_F(PgStoreTest, AFailingStatementIsAnAnswer) {
    struct Case {
        const char* broken;
        std::function<bool(IStore&)> answers;
    } cases[] = {
        {"DROP TABLE accounts",
         [](IStore& s) {
             return !s.Accounts().Find(kPhone) && !s.Accounts().Create(kPhone, "h", 1) &&
                    !s.Accounts().SetRelay(kPhone, true) && !s.Accounts().RecordLoginFailure(kPhone, 1, 2);
         }},
        {"DROP TABLE ident_issues",
         [](IStore& s) {
             s.Accounts().DeleteIdentIssuesBefore(5);
             return !s.Accounts().RecordIdentIssue(kPhone, "10.0.0.1", 1) &&
                    s.Accounts().IdentIssuesSince(IssuedBy::Anyone, "", 0) == SIZE_MAX; // over every cap
         }},
        {"DROP TABLE board_lists",
         [](IStore& s) {
             return !s.BoardLists().Save(kBoard, "x", 1) && !s.BoardLists().Load(kBoard) &&
                    s.BoardLists().DeleteStale(1) == 0 && s.BoardLists().Trim(1) == 0;
         }},
        {"DROP TABLE replay_lines",
         [](IStore& s) {
             s.Replay().Away(kPhone, kBoard, 1);
             s.Replay().Forwarded(kBoard, "x", 2);
             return s.Replay().Returned(kPhone, kBoard, 3).empty();
         }},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::string conninfo = server_->CreateDatabase(error);
        ASSERT_FALSE(conninfo.empty()) << error;
        auto store = Open(conninfo);
        ASSERT_TRUE(store);
        auto admin = Connect(conninfo);
        ASSERT_TRUE(Run(*admin, c.broken).ok) << c.broken;
        EXPECT_TRUE(c.answers(*store)) << c.broken;
    }
}

TEST_F(PgStoreTest, OpeningTellsWhyItFailed) {
    std::string error;
    EXPECT_FALSE(PgStore::Open("host=127.0.0.1 port=1 connect_timeout=5", ReplayBuffer::Limits{}, error));
    EXPECT_NE(error.find("cannot connect"), std::string::npos) << error;

    auto admin = Connect();
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Run(*admin, "INSERT INTO quorlan_schema VALUES (1000)").ok);
    error.clear();
    EXPECT_FALSE(PgStore::Open(conninfo_, ReplayBuffer::Limits{}, error));
    EXPECT_NE(error.find("newer than this server"), std::string::npos) << error;
}

} // namespace
} // namespace quorlan::test
