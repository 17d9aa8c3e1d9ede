// Moving a single server's SQLite file into the database of a cluster.
#include "PgTest.h"
#include "fakes/TempDir.h"
#include "server/store/pg/CopyFromSqlite.h"
#include "server/store/pg/PgStore.h"
#include "server/store/sqlite/AccountStore.h"
#include "server/store/sqlite/BoardListStore.h"
#include "server/store/sqlite/Database.h"
#include "server/store/sqlite/Statement.h"

namespace quorlan::test {
namespace {

using server::pg::CopiedFromSqlite;
using server::pg::CopyFromSqlite;
using server::pg::PgStore;
using IssuedBy = server::IAccountStore::IssuedBy;

const std::string kRelay = "01011112222";
const std::string kPlain = "01033334444";
const std::string kBoard("http://b/\xB0\xA1", 11);
const std::string kList("\xB0\xA1\x00\xFF 1", 6);

// Table name -> {copied, kept}.
std::map<std::string, std::pair<std::size_t, std::size_t>> Counts(const CopiedFromSqlite& copied) {
    std::map<std::string, std::pair<std::size_t, std::size_t>> counts;
    for (const auto& table : copied.tables) counts[table.name] = {table.copied, table.kept};
    return counts;
}

class CopyFromSqliteTest : public PgTest {
protected:
    // A small file of a single server: a relay account in robot mode with a
    // login lock, a plain one, a pending identification number, three issues
    // (two alike), and a board list of cp949 bytes.
    void SetUp() override {
        PgTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        auto opened = server::Database::Open(file_);
        ASSERT_TRUE(opened.db) << opened.error;
        server::AccountStore accounts(*opened.db);
        ASSERT_TRUE(accounts.Create(kRelay, "relay-hash", 1'000));
        ASSERT_TRUE(accounts.SetRelay(kRelay, true));
        ASSERT_TRUE(accounts.SetRobotMode(kRelay, true));
        ASSERT_TRUE(accounts.RecordLoginFailure(kRelay, 4, 1'700'000'000'000));
        ASSERT_TRUE(accounts.Create(kPlain, "plain-hash", 2'000));
        ASSERT_TRUE(accounts.StoreIdent(kPlain, server::IdentNumber{"123456", 3'000, 603'000, 1}));
        ASSERT_TRUE(accounts.RecordIdentIssue(kPlain, "10.0.0.1", 3'000));
        ASSERT_TRUE(accounts.RecordIdentIssue(kPlain, "10.0.0.1", 3'000));
        ASSERT_TRUE(accounts.RecordIdentIssue(kRelay, "10.0.0.2", 4'000));
        ASSERT_TRUE(server::BoardListStore(*opened.db).Save(kBoard, kList, 5'000));
    }

    std::unique_ptr<PgStore> OpenPg() {
        std::string error;
        auto store = PgStore::Open(conninfo_, server::ReplayBuffer::Limits{}, error);
        EXPECT_TRUE(store) << error;
        return store;
    }

    TempDir dir_;
    std::string file_ = dir_.File("single.db");
};

TEST_F(CopyFromSqliteTest, CopiesEverythingOnceAndKeepsWhatIsThere) {
    auto pg = OpenPg();
    ASSERT_TRUE(pg);
    ASSERT_TRUE(pg->Accounts().Create(kPlain, "cluster-hash", 9)); // signed up on the cluster meanwhile

    const auto first = CopyFromSqlite(file_, conninfo_);
    ASSERT_TRUE(first.ok) << first.error;
    using Pair = std::pair<std::size_t, std::size_t>;
    EXPECT_EQ(Counts(first), (std::map<std::string, Pair>{{"accounts", {1, 1}},
                                                          {"identification numbers", {1, 0}},
                                                          {"identification number issues", {3, 0}},
                                                          {"board lists", {1, 0}}}));

    const auto relay = pg->Accounts().Find(kRelay);
    ASSERT_TRUE(relay);
    EXPECT_EQ(relay->passwordHash, "relay-hash");
    EXPECT_TRUE(relay->relay);
    EXPECT_TRUE(relay->robotMode);
    EXPECT_EQ(relay->failedLogins, 4);
    EXPECT_EQ(relay->lockedUntilMs, 1'700'000'000'000);
    EXPECT_EQ(pg->Accounts().Find(kPlain)->passwordHash, "cluster-hash");
    const auto ident = pg->Accounts().FindIdent(kPlain);
    ASSERT_TRUE(ident);
    EXPECT_EQ(ident->number, "123456");
    EXPECT_EQ(ident->expiresMs, 603'000);
    EXPECT_EQ(ident->wrongTries, 1);
    EXPECT_EQ(pg->Accounts().IdentIssuesSince(IssuedBy::Phone, kPlain, 0), 2u);
    EXPECT_EQ(pg->Accounts().IdentIssuesSince(IssuedBy::Anyone, "", 0), 3u);
    EXPECT_EQ(pg->BoardLists().Load(kBoard), kList);

    const auto second = CopyFromSqlite(file_, conninfo_);
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_EQ(Counts(second), (std::map<std::string, Pair>{{"accounts", {0, 2}},
                                                           {"identification numbers", {0, 1}},
                                                           {"identification number issues", {0, 3}},
                                                           {"board lists", {0, 1}}}));
    EXPECT_EQ(pg->Accounts().IdentIssuesSince(IssuedBy::Anyone, "", 0), 3u);
}

TEST_F(CopyFromSqliteTest, AFailureCopiesNothing) {
    {
        // A phone PostgreSQL refuses as text, after rows that would go in.
        auto opened = server::Database::Open(file_);
        ASSERT_TRUE(opened.db) << opened.error;
        server::Statement bad(opened.db->Handle(),
                              "INSERT INTO accounts (phone, password_hash, created_ms) VALUES (?, 'h', 1)");
        bad.Bind(1, std::string_view("0109\xB0\xA1", 6));
        ASSERT_TRUE(bad.Run());
    }
    struct Case {
        const char* name;
        std::string file;
        std::string conninfo;
        const char* says;
    } cases[] = {
        {"refused row", file_, conninfo_, "accounts of 0109"},
        {"missing file", dir_.File("absent.db"), conninfo_, "no database file"},
        {"no database", file_, "host=127.0.0.1 port=1 connect_timeout=5", "cannot connect"},
    };
    for (const auto& c : cases) {
        const auto copied = CopyFromSqlite(c.file, c.conninfo);
        EXPECT_FALSE(copied.ok) << c.name;
        EXPECT_NE(copied.error.find(c.says), std::string::npos) << c.name << ": " << copied.error;
        EXPECT_TRUE(copied.tables.empty()) << c.name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.File("absent.db")));
    auto pg = OpenPg();
    ASSERT_TRUE(pg);
    EXPECT_FALSE(pg->Accounts().Find(kRelay));
    EXPECT_FALSE(pg->BoardLists().Load(kBoard));
    EXPECT_EQ(pg->Accounts().IdentIssuesSince(IssuedBy::Anyone, "", 0), 0u);
}

} // namespace
} // namespace quorlan::test
