#include "Database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorlan::server {
namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS accounts (
    phone TEXT PRIMARY KEY,
    password_hash TEXT NOT NULL,
    relay INTEGER NOT NULL DEFAULT 0,
    failed_logins INTEGER NOT NULL DEFAULT 0,
    locked_until INTEGER NOT NULL DEFAULT 0,
    created_ms INTEGER NOT NULL,
    robot_mode INTEGER NOT NULL DEFAULT 0
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

// Columns added after the first release, for files created before them.
struct AddedColumn {
    const char* probe;
    const char* add;
} constexpr kAddedColumns[] = {
    {"SELECT robot_mode FROM accounts LIMIT 0",
     "ALTER TABLE accounts ADD COLUMN robot_mode INTEGER NOT NULL DEFAULT 0"},
};

bool HasColumn(sqlite3* db, const char* probe) {
    sqlite3_stmt* stmt = nullptr;
    const bool ok = sqlite3_prepare_v2(db, probe, -1, &stmt, nullptr) == SQLITE_OK;
    sqlite3_finalize(stmt);
    return ok;
}

// The file holds phone numbers and password hashes: readable by the server's
// user only. SQLite gives its -wal and -shm files the same mode.
bool CreatePrivateFile(const std::string& path, std::string& error) {
    if (path.empty() || path == ":memory:" || path.rfind("file:", 0) == 0) return true;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno == EEXIST) return true;
    error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
}

} // namespace

Database::Opened Database::Open(const std::string& path) {
    std::string created;
    if (!CreatePrivateFile(path, created)) return Opened{nullptr, created};
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
    for (const auto& column : kAddedColumns)
        if (!HasColumn(raw, column.probe) && !db->Exec(column.add, &error)) return Opened{nullptr, path + ": " + error};
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
