#include "PgTest.h"

#include <asio/post.hpp>

namespace quorlan::test {
namespace {

using server::pg::PgConnection;
using server::pg::PgParam;
using server::pg::PgReply;

class PgConnectionTest : public PgTest {};

// cp949 text with every awkward byte: NUL, high bytes, quote, backslash.
const std::string kCp949Line("\xC1\xF7\xB0\xC5\xB7\xA1 '\\\0x", 11);

TEST_F(PgConnectionTest, ParametersRoundTripByteForByte) {
    auto db = Connect();
    ASSERT_TRUE(Run(*db, "CREATE TABLE t (k text, b bytea, n bigint, z text)").ok);
    const auto insert = Run(*db, "INSERT INTO t VALUES ($1, $2, $3, $4)",
                            {PgParam::Text("01012345678'; DROP TABLE t; --"), PgParam::Bytes(kCp949Line),
                             PgParam::Int(-9'007'199'254'740'993), PgParam::Null()});
    ASSERT_TRUE(insert.ok) << insert.error;
    EXPECT_EQ(insert.affected, 1);

    const auto row = Run(*db, "SELECT k, b, n, z FROM t");
    ASSERT_TRUE(row.ok) << row.error;
    ASSERT_EQ(row.rows.size(), 1u);
    EXPECT_EQ(row.rows[0][0], "01012345678'; DROP TABLE t; --");
    EXPECT_EQ(row.rows[0][1], kCp949Line);
    EXPECT_EQ(row.Int(0, 2), -9'007'199'254'740'993);
    EXPECT_FALSE(row.rows[0][3].has_value());
}

TEST_F(PgConnectionTest, ErrorsComeBackAsValuesAndTheSessionGoesOn) {
    auto db = Connect();
    struct Case {
        const char* sql;
        std::vector<PgParam> params;
        const char* sqlState; // empty: refused before reaching the server
    } const cases[] = {
        {"SELECT * FROM missing_table", {}, "42P01"},
        {"SELECT 1/0", {}, "22012"},
        {"SELECT $1::integer", {PgParam::Text("twelve")}, "22P02"},
        {"SELECT $1", {PgParam::Text(std::string("a\0b", 3))}, ""},
    };
    for (const auto& c : cases) {
        const auto reply = Run(*db, c.sql, c.params);
        EXPECT_FALSE(reply.ok) << c.sql;
        EXPECT_FALSE(reply.error.empty()) << c.sql;
        EXPECT_EQ(reply.sqlState, c.sqlState) << c.sql;
        EXPECT_TRUE(reply.rows.empty()) << c.sql;
    }
    const auto after = Run(*db, "SELECT 41 + 1");
    ASSERT_TRUE(after.ok) << after.error;
    EXPECT_EQ(after.Int(0, 0), 42);
}

// Answers come back in the order asked, each to its own callback.
TEST_F(PgConnectionTest, QueriesRunInOrder) {
    auto db = Connect();
    std::vector<std::int64_t> answers;
    for (int i = 0; i < 200; ++i)
        db->Query("SELECT $1::bigint * 2", {PgParam::Int(i)},
                  [&](PgReply reply) { answers.push_back(reply.Int(0, 0).value_or(-1)); });
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return answers.size() == 200; }));
    for (int i = 0; i < 200; ++i) EXPECT_EQ(answers[i], i * 2);
}

// A script is one transaction: a failing statement leaves nothing behind.
TEST_F(PgConnectionTest, ScriptIsAllOrNothing) {
    auto db = Connect();
    std::optional<PgReply> failed;
    db->Script("CREATE TABLE s (n integer); INSERT INTO s VALUES (1); SELECT 1/0;",
               [&](PgReply reply) { failed = std::move(reply); });
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return failed.has_value(); }));
    EXPECT_FALSE(failed->ok);
    EXPECT_EQ(Run(*db, "SELECT count(*) FROM s").sqlState, "42P01");

    std::optional<PgReply> done;
    db->Script("CREATE TABLE s (n integer); INSERT INTO s VALUES (1), (2); SELECT sum(n) FROM s;",
               [&](PgReply reply) { done = std::move(reply); });
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return done.has_value(); }));
    ASSERT_TRUE(done->ok) << done->error;
    EXPECT_EQ(done->Int(0, 0), 3); // the rows of the last statement
}

// The loop keeps serving other work while a query waits on the server.
TEST_F(PgConnectionTest, ASlowQueryDoesNotHoldTheLoop) {
    auto db = Connect();
    std::optional<PgReply> slow;
    db->Query("SELECT pg_sleep(1)", {}, [&](PgReply reply) { slow = std::move(reply); });
    bool otherWorkRan = false;
    asio::post(loop_, [&] { otherWorkRan = true; });
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return otherWorkRan; }));
    EXPECT_FALSE(slow.has_value());
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return slow.has_value(); }));
    EXPECT_TRUE(slow->ok) << slow->error;
}

// When the server ends the session, the query in flight and the waiting ones
// fail, the link reports down, and a new session follows by itself.
TEST_F(PgConnectionTest, ReconnectsAfterTheSessionIsKilled) {
    auto db = Connect();
    std::vector<bool> links;
    db->AddLinkListener([&](bool up) { links.push_back(up); });
    const int firstPid = db->BackendPid();
    ASSERT_NE(firstPid, 0);

    std::vector<PgReply> replies;
    db->Query("SELECT pg_sleep(30)", {}, [&](PgReply reply) { replies.push_back(std::move(reply)); });
    db->Query("SELECT 1", {}, [&](PgReply reply) { replies.push_back(std::move(reply)); });
    Terminate(firstPid);
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return replies.size() == 2; }));
    for (const auto& reply : replies) {
        EXPECT_FALSE(reply.ok);
        EXPECT_FALSE(reply.error.empty());
    }
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return db->LinkUp(); })) << db->LastError();
    EXPECT_EQ(links, (std::vector<bool>{false, true}));
    EXPECT_NE(db->BackendPid(), firstPid);
    EXPECT_EQ(db->LinksMade(), 2u);
    EXPECT_EQ(Run(*db, "SELECT 7").Int(0, 0), 7);
}

// No server at the address: the loop is never held, every query is refused
// with a reason, and attempts go on.
TEST_F(PgConnectionTest, UnreachableServerRefusesQueriesAtOnce) {
    PgConnection::Options options;
    options.conninfo = "host=127.0.0.1 port=1 user=postgres dbname=none";
    options.minBackoff = std::chrono::milliseconds(10);
    options.maxBackoff = std::chrono::milliseconds(20);
    PgConnection db(loop_, options);
    db.Start();
    std::optional<PgReply> refused;
    db.Query("SELECT 1", {}, [&](PgReply reply) { refused = std::move(reply); });
    EXPECT_FALSE(refused.has_value()); // never answered from inside Query
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return refused.has_value() && !db.LastError().empty(); }));
    EXPECT_FALSE(refused->ok);
    EXPECT_EQ(refused->error, "database link is down");
    EXPECT_FALSE(db.LinkUp());
    EXPECT_EQ(db.LinksMade(), 0u);
}

TEST_F(PgConnectionTest, BoundedQueue) {
    PgConnection::Options options;
    options.conninfo = conninfo_;
    options.maxQueued = 3;
    PgConnection db(loop_, options);
    db.Start();
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return db.LinkUp(); })) << db.LastError();
    std::vector<std::string> errors;
    for (int i = 0; i < 5; ++i) db.Query("SELECT 1", {}, [&](PgReply reply) { errors.push_back(reply.error); });
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return errors.size() == 5; }));
    EXPECT_EQ(std::count(errors.begin(), errors.end(), "database queue is full"), 2);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), ""), 3);
}

} // namespace
} // namespace quorlan::test
