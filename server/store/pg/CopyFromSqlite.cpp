#include "CopyFromSqlite.h"

#include "server/common/LogText.h"
#include "server/postgres/PgSchema.h"
#include "server/postgres/PgSession.h"
#include "server/store/sqlite/Database.h"
#include "server/store/sqlite/Statement.h"

#include <filesystem>
#include <system_error>

namespace quorlan::server::pg {
namespace {

enum class Column { Text, Bytes, Int };

struct Table {
    const char* name;
    // Reads the SQLite rows; the columns are the parameters of `insert`.
    const char* select;
    // Adds one row unless PostgreSQL has its key.
    const char* insert;
    std::vector<Column> columns;
    // The last column tells how many alike rows the row stands for (a table
    // without a key); otherwise each row is one.
    bool grouped = false;
};

const Table kTables[] = {
    {"accounts",
     "SELECT phone, password_hash, relay, failed_logins, locked_until, created_ms, robot_mode FROM accounts "
     "ORDER BY phone",
     "INSERT INTO accounts (phone, password_hash, relay, failed_logins, locked_until, created_ms, robot_mode) "
     "VALUES ($1, $2, $3::bigint <> 0, $4, $5, $6, $7::bigint <> 0) ON CONFLICT (phone) DO NOTHING",
     {Column::Text, Column::Text, Column::Int, Column::Int, Column::Int, Column::Int, Column::Int}},
    {"identification numbers",
     "SELECT phone, number, issued_ms, expires_ms, wrong_tries FROM ident_numbers ORDER BY phone",
     "INSERT INTO ident_numbers (phone, number, issued_ms, expires_ms, wrong_tries) VALUES ($1, $2, $3, $4, $5) "
     "ON CONFLICT (phone) DO NOTHING",
     {Column::Text, Column::Text, Column::Int, Column::Int, Column::Int}},
    // Issues have no key: a row counts as there as often as PostgreSQL has
    // the same phone, address and time.
    {"identification number issues",
     "SELECT phone, address, issued_ms, count(*) FROM ident_issues GROUP BY phone, address, issued_ms "
     "ORDER BY issued_ms, phone, address",
     "INSERT INTO ident_issues (phone, address, issued_ms) SELECT $1, $2, $3 FROM generate_series(1, $4::bigint - "
     "(SELECT count(*) FROM ident_issues WHERE phone = $1 AND address = $2 AND issued_ms = $3::bigint))",
     {Column::Text, Column::Text, Column::Int, Column::Int}, true},
    {"board lists", "SELECT url, list, updated_ms FROM board_lists ORDER BY url",
     "INSERT INTO board_lists (url, list, updated_ms) VALUES ($1, $2, $3) ON CONFLICT (url) DO NOTHING",
     {Column::Bytes, Column::Bytes, Column::Int}},
};

// Copies one table; false with `error` set on the first failure.
bool CopyTable(Database& sqlite, PgSession& pg, const Table& table, CopiedTable& copied, std::string& error) {
    Statement rows(sqlite.Handle(), table.select);
    std::vector<PgParam> params(table.columns.size());
    while (rows.Step()) {
        for (std::size_t i = 0; i < table.columns.size(); ++i) {
            const int column = static_cast<int>(i);
            params[i] = table.columns[i] == Column::Int   ? PgParam::Int(rows.Int(column))
                        : table.columns[i] == Column::Text ? PgParam::Text(rows.Bytes(column))
                                                           : PgParam::Bytes(rows.Bytes(column));
        }
        const PgReply reply = pg.Exec(table.insert, params);
        if (!reply.ok) {
            error = table.name + std::string(" of ") + LogText(rows.Bytes(0)) + ": " + reply.error;
            return false;
        }
        const auto alike = table.grouped ? static_cast<std::size_t>(rows.Int(static_cast<int>(params.size()) - 1)) : 1;
        const auto added = static_cast<std::size_t>(reply.affected);
        copied.copied += added;
        copied.kept += alike > added ? alike - added : 0;
    }
    if (!rows.Done()) {
        error = std::string("reading the ") + table.name + ": " + rows.Error();
        return false;
    }
    return true;
}

} // namespace

CopiedFromSqlite CopyFromSqlite(const std::string& sqlitePath, const std::string& conninfo) {
    CopiedFromSqlite result;
    std::error_code ec;
    // Opening would create a missing file; an empty copy is never what was meant.
    if (!std::filesystem::is_regular_file(sqlitePath, ec)) {
        result.error = "no database file " + sqlitePath;
        return result;
    }
    auto opened = Database::Open(sqlitePath);
    if (!opened.db) {
        result.error = opened.error;
        return result;
    }
    auto session = PgSession::Connect(conninfo, result.error);
    if (!session) return result;
    const auto migrated = PgSchema::Migrate(*session);
    if (!migrated.ok) {
        result.error = migrated.error;
        return result;
    }
    std::string error;
    result.ok = session->Transaction([&] {
        result.tables.clear();
        error.clear();
        for (const Table& table : kTables) {
            CopiedTable& copied = result.tables.emplace_back();
            copied.name = table.name;
            if (!CopyTable(*opened.db, *session, table, copied, error)) return false;
        }
        return true;
    });
    if (!result.ok) {
        result.error = error.empty() ? "the copy could not be committed" : error;
        result.tables.clear();
    }
    return result;
}

} // namespace quorlan::server::pg
