#pragma once
#include <memory>
#include <string>

struct sqlite3;

namespace quorlan::server {

// The server's SQLite file: accounts, identification numbers, relay flags and
// the last post list of every board. Opened by the server and by the operator
// subcommands; SQLite's locking lets both work on the file at the same time.
class Database {
public:
    struct [[nodiscard]] Opened {
        std::unique_ptr<Database> db;
        std::string error;
    };
    static Opened Open(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    sqlite3* Handle() const { return db_; }
    // Runs statements that return no rows; false with the reason on failure.
    bool Exec(const char* sql, std::string* error = nullptr);

private:
    explicit Database(sqlite3* db) : db_(db) {}
    sqlite3* db_;
};

} // namespace quorlan::server
