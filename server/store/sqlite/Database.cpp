#include "Database.h"

#include <fcntl.h>
#include <sys/stat.h>
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
CREATE TABLE IF NOT EXISTS ident_issues (
    phone TEXT NOT NULL,
    address TEXT NOT NULL,
    issued_ms INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS ident_issues_phone ON ident_issues (phone, issued_ms);
CREATE INDEX IF NOT EXISTS ident_issues_address ON ident_issues (address, issued_ms);
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

bool IsFile(const std::string& path) {
    return !(path.empty() || path == ":memory:" || path.rfind("file:", 0) == 0);
}

// The file holds phone numbers and password hashes: readable by the server's
// user only, whatever mode an older file had.
bool CreatePrivateFile(const std::string& path, std::string& error) {
    if (!IsFile(path)) return true;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool privateMode = ::fchmod(fd, 0600) == 0;
    ::close(fd);
    if (!privateMode) {
        error = "cannot make " + path + " private: " + std::strerror(errno);
        return false;
    }
    return true;
}

// SQLite creates -wal and -shm with the database file's mode, but files left
// by an older run keep theirs.
bool MakeCompanionsPrivate(const std::string& path, std::string& error) {
    if (!IsFile(path)) return true;
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string companion = path + suffix;
        if (::chmod(companion.c_str(), 0600) != 0 && errno != ENOENT) {
            error = "cannot make " + companion + " private: " + std::strerror(errno);
            return false;
        }
    }
    return true;
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
    if (!MakeCompanionsPrivate(path, error)) return Opened{nullptr, error};
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
