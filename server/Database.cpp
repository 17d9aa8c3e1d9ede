#include "Database.h"

#include <sqlite3.h>

namespace quorlan::server {
namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS accounts (
    phone TEXT PRIMARY KEY,
    password_hash TEXT NOT NULL,
    relay INTEGER NOT NULL DEFAULT 0,
    failed_logins INTEGER NOT NULL DEFAULT 0,
    locked_until INTEGER NOT NULL DEFAULT 0,
    created_ms INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS ident_numbers (
    phone TEXT PRIMARY KEY,
    number TEXT NOT NULL,
    issued_ms INTEGER NOT NULL,
    expires_ms INTEGER NOT NULL,
    wrong_tries INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS board_lists (
    url BLOB PRIMARY KEY,
    list BLOB NOT NULL,
    updated_ms INTEGER NOT NULL
);
)sql";

} // namespace

Database::Opened Database::Open(const std::string& path) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<Database> db(new Database(raw));
    if (rc != SQLITE_OK) return Opened{nullptr, std::string("cannot open ") + path + ": " + sqlite3_errmsg(raw)};
    sqlite3_busy_timeout(raw, 5000);
    std::string error;
    // WAL keeps readers and the operator's subcommands from blocking the loop;
    // NORMAL sync is durable across a process crash, which is what matters here.
    if (!db->Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", &error) || !db->Exec(kSchema, &error))
        return Opened{nullptr, path + ": " + error};
    return Opened{std::move(db), {}};
}

Database::~Database() { sqlite3_close(db_); }

bool Database::Exec(const char* sql, std::string* error) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    if (error) *error = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return false;
}

} // namespace quorlan::server
