#include "PgSchema.h"

#include "PgSession.h"

#include <iterator>

namespace quorlan::server::pg {
namespace {

// Taken for the length of the migration transaction, so that instances
// starting at the same moment migrate one after the other.
constexpr const char* kMigrationLock = "7158042001";

// Texts of the system (board addresses, post lists, post lines) are cp949
// bytes and kept as bytea; phone numbers, hashes and node ids are ASCII text.
// Times are wall-clock milliseconds, as in the SQLite file.
struct Migration {
    int version;
    const char* sql;
} constexpr kMigrations[] = {
    {1, R"sql(
CREATE TABLE accounts (
    phone text PRIMARY KEY,
    password_hash text NOT NULL,
    relay boolean NOT NULL DEFAULT false,
    failed_logins integer NOT NULL DEFAULT 0,
    locked_until bigint NOT NULL DEFAULT 0,
    created_ms bigint NOT NULL,
    robot_mode boolean NOT NULL DEFAULT false
);
CREATE TABLE ident_numbers (
    phone text PRIMARY KEY,
    number text NOT NULL,
    issued_ms bigint NOT NULL,
    expires_ms bigint NOT NULL,
    wrong_tries integer NOT NULL DEFAULT 0
);
-- Counters every instance must see alike: per account, per phone, and the
-- server-wide sign-up budget (key ''). One row per window.
CREATE TABLE rate_counters (
    scope text NOT NULL,
    key text NOT NULL,
    window_start_ms bigint NOT NULL,
    count integer NOT NULL DEFAULT 0,
    expires_ms bigint NOT NULL,
    PRIMARY KEY (scope, key, window_start_ms)
);
CREATE INDEX rate_counters_expiry ON rate_counters (expires_ms);
CREATE TABLE board_lists (
    url bytea PRIMARY KEY,
    list bytea NOT NULL,
    updated_ms bigint NOT NULL
);
-- The recent forwarded lines of each board, in the order they were forwarded.
CREATE TABLE replay_lines (
    url bytea NOT NULL,
    seq bigint NOT NULL,
    line bytea NOT NULL,
    posted_ms bigint NOT NULL,
    PRIMARY KEY (url, seq)
);
CREATE INDEX replay_lines_age ON replay_lines (posted_ms);
-- Instances of the cluster; heartbeat_ms tells the living from the dead.
CREATE TABLE cluster_nodes (
    node_id text PRIMARY KEY,
    started_ms bigint NOT NULL,
    heartbeat_ms bigint NOT NULL
);
-- Every monitoring client of every instance, so that a board's owner can
-- pick checkers among all of them and route the turn to their instance.
CREATE TABLE cluster_members (
    node_id text NOT NULL REFERENCES cluster_nodes ON DELETE CASCADE,
    connection_id bigint NOT NULL,
    board bytea NOT NULL,
    interval_ms bigint NOT NULL,
    due_ms bigint NOT NULL,
    PRIMARY KEY (node_id, connection_id)
);
CREATE INDEX cluster_members_board ON cluster_members (board, due_ms);
-- Relay clients in robot mode, wherever they are connected.
CREATE TABLE cluster_relays (
    node_id text NOT NULL REFERENCES cluster_nodes ON DELETE CASCADE,
    connection_id bigint NOT NULL,
    phone text NOT NULL,
    PRIMARY KEY (node_id, connection_id)
);
-- One number per board for its advisory lock, and who holds it: the owner
-- writes its node and a new epoch (the fencing number) on every takeover.
CREATE TABLE cluster_boards (
    id serial PRIMARY KEY,
    url bytea NOT NULL UNIQUE,
    owner_node text,
    epoch bigint NOT NULL DEFAULT 0,
    owned_since_ms bigint
);
)sql"},
    {2, R"sql(
-- Every identification number issued, by phone and requesting address, so
-- that the caps on them (per phone, per address, the server's hourly budget)
-- hold for every instance.
CREATE TABLE ident_issues (
    phone text NOT NULL,
    address text NOT NULL,
    issued_ms bigint NOT NULL
);
CREATE INDEX ident_issues_phone ON ident_issues (phone, issued_ms);
CREATE INDEX ident_issues_address ON ident_issues (address, issued_ms);
CREATE INDEX ident_issues_time ON ident_issues (issued_ms);
CREATE INDEX board_lists_updated ON board_lists (updated_ms);
-- Orders the replay lines and the absences together: an account away since
-- since_seq missed the lines of its board with a greater seq.
CREATE SEQUENCE replay_seq;
-- Accounts away from their board. since_ms orders them for eviction and
-- expiry, and moves up to the time of the newest line still of use.
CREATE TABLE replay_absences (
    account text PRIMARY KEY,
    board bytea NOT NULL,
    since_ms bigint NOT NULL,
    since_seq bigint NOT NULL
);
CREATE INDEX replay_absences_board ON replay_absences (board);
CREATE INDEX replay_absences_since ON replay_absences (since_ms, since_seq);
)sql"},
};

static_assert(std::size(kMigrations) == PgSchema::kVersion &&
                  kMigrations[PgSchema::kVersion - 1].version == PgSchema::kVersion,
              "migrations are numbered 1..kVersion");

} // namespace

std::string PgSchema::Script() {
    const std::string latest = std::to_string(std::prev(std::end(kMigrations))->version);
    std::string script = "SELECT pg_advisory_xact_lock(" + std::string(kMigrationLock) +
                         ");\n"
                         "CREATE TABLE IF NOT EXISTS quorlan_schema (version integer NOT NULL);\n"
                         "DO $migrate$\nDECLARE current integer;\nBEGIN\n"
                         "SELECT coalesce(max(version), 0) INTO current FROM quorlan_schema;\n"
                         "IF current > " +
                         latest + " THEN RAISE EXCEPTION 'database schema version % is newer than this server knows (" +
                         latest + ")', current; END IF;\n";
    for (const auto& migration : kMigrations) {
        const std::string version = std::to_string(migration.version);
        script += "IF current < " + version + " THEN\n" + migration.sql + "INSERT INTO quorlan_schema VALUES (" +
                  version + ");\nEND IF;\n";
    }
    script += "END\n$migrate$;\nSELECT max(version) FROM quorlan_schema;\n";
    return script;
}

PgSchema::Migrated PgSchema::Outcome(const PgReply& reply) {
    Migrated migrated;
    if (!reply.ok) {
        migrated.error = "database schema not migrated: " + reply.error;
        return migrated;
    }
    const auto version = reply.Int(0, 0);
    migrated.version = version ? static_cast<int>(*version) : 0;
    migrated.ok = migrated.version == kVersion;
    if (!migrated.ok) migrated.error = "database schema at version " + std::to_string(migrated.version);
    return migrated;
}

void PgSchema::Migrate(PgConnection& connection, std::function<void(Migrated)> done) {
    connection.Script(Script(), [done = std::move(done)](PgReply reply) { done(Outcome(reply)); });
}

PgSchema::Migrated PgSchema::Migrate(PgSession& session) { return Outcome(session.Script(Script())); }

} // namespace quorlan::server::pg
