#include "PgTest.h"
#include "server/postgres/PgSchema.h"

namespace quorlan::test {
namespace {

using server::pg::PgConnection;
using server::pg::PgParam;
using server::pg::PgSchema;

class PgSchemaTest : public PgTest {
protected:
    PgSchema::Migrated Migrate(PgConnection& db) {
        std::optional<PgSchema::Migrated> result;
        PgSchema::Migrate(db, [&](PgSchema::Migrated migrated) { result = std::move(migrated); });
        EXPECT_TRUE(RunLoopUntil(loop_, [&] { return result.has_value(); }));
        return result ? std::move(*result) : PgSchema::Migrated{};
    }
};

TEST_F(PgSchemaTest, CreatesEveryTableOnceAndRecordsTheVersion) {
    auto db = Connect();
    for (int round = 0; round < 2; ++round) {
        const auto migrated = Migrate(*db);
        ASSERT_TRUE(migrated.ok) << migrated.error;
        EXPECT_EQ(migrated.version, PgSchema::kVersion);
    }
    EXPECT_EQ(Run(*db, "SELECT count(*) FROM quorlan_schema").Int(0, 0), PgSchema::kVersion);
    const auto tables = Run(*db, "SELECT table_name FROM information_schema.tables WHERE table_schema = 'public' "
                                 "ORDER BY table_name");
    ASSERT_TRUE(tables.ok) << tables.error;
    std::vector<std::string> names;
    for (const auto& row : tables.rows) names.push_back(row[0].value_or(""));
    EXPECT_EQ(names, (std::vector<std::string>{"accounts", "board_lists", "cluster_boards", "cluster_members",
                                               "cluster_nodes", "cluster_relays", "ident_issues", "ident_numbers",
                                               "quorlan_schema", "rate_counters", "replay_absences",
                                               "replay_lines"}));
}

// Three instances starting together: each one migrates or finds the work done.
TEST_F(PgSchemaTest, InstancesStartingTogetherMigrateOnce) {
    std::vector<std::unique_ptr<PgConnection>> dbs;
    for (int i = 0; i < 3; ++i) dbs.push_back(Connect());
    std::vector<PgSchema::Migrated> results;
    for (auto& db : dbs) PgSchema::Migrate(*db, [&](PgSchema::Migrated migrated) { results.push_back(migrated); });
    ASSERT_TRUE(RunLoopUntil(loop_, [&] { return results.size() == 3; }));
    for (const auto& result : results) EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(Run(*dbs[0], "SELECT count(*) FROM quorlan_schema").Int(0, 0), PgSchema::kVersion);
}

TEST_F(PgSchemaTest, RefusesADatabaseFromANewerServer) {
    auto db = Connect();
    ASSERT_TRUE(Migrate(*db).ok);
    ASSERT_TRUE(Run(*db, "INSERT INTO quorlan_schema VALUES ($1)", {PgParam::Int(PgSchema::kVersion + 1)}).ok);
    const auto migrated = Migrate(*db);
    EXPECT_FALSE(migrated.ok);
    EXPECT_NE(migrated.error.find("newer than this server"), std::string::npos) << migrated.error;
}

// The columns the stores rely on, with their rules: cp949 keys as bytes,
// one row per key, members gone with their instance.
TEST_F(PgSchemaTest, TablesKeepTheirRules) {
    auto db = Connect();
    ASSERT_TRUE(Migrate(*db).ok);
    const std::string board("http://b/\xB0\xD4\xBD\xC3\xC6\xC7", 15);
    ASSERT_TRUE(Run(*db, "INSERT INTO accounts (phone, password_hash, created_ms) VALUES ('01012345678', 'h', 1)").ok);
    EXPECT_EQ(
        Run(*db, "INSERT INTO accounts (phone, password_hash, created_ms) VALUES ('01012345678', 'h', 1)").sqlState,
        "23505");
    ASSERT_TRUE(
        Run(*db, "INSERT INTO board_lists VALUES ($1, $2, 5)", {PgParam::Bytes(board), PgParam::Bytes(board)}).ok);
    EXPECT_EQ(Run(*db, "SELECT list FROM board_lists WHERE url = $1", {PgParam::Bytes(board)}).rows.at(0).at(0), board);

    ASSERT_TRUE(Run(*db, "INSERT INTO cluster_nodes VALUES ('n1', 1, 1)").ok);
    ASSERT_TRUE(Run(*db, "INSERT INTO cluster_members VALUES ('n1', 7, $1, 30000, 2)", {PgParam::Bytes(board)}).ok);
    EXPECT_EQ(Run(*db, "INSERT INTO cluster_members VALUES ('n2', 7, $1, 30000, 2)", {PgParam::Bytes(board)}).sqlState,
              "23503"); // no such instance
    ASSERT_TRUE(Run(*db, "DELETE FROM cluster_nodes WHERE node_id = 'n1'").ok);
    EXPECT_EQ(Run(*db, "SELECT count(*) FROM cluster_members").Int(0, 0), 0);
}

} // namespace
} // namespace quorlan::test
