#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace quorlan::server {

// One prepared SQLite statement. Texts are bound and read as blobs: every
// text of the system is a cp949 byte string, not UTF-8.
class Statement {
public:
    Statement(sqlite3* db, const char* sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Prepared() const { return stmt_ != nullptr; }
    Statement& Bind(int index, std::string_view bytes);
    Statement& Bind(int index, std::int64_t value);

    // True while a row is available; Done() tells a clean end from an error.
    bool Step();
    bool Done() const { return done_; }
    // Runs a statement that returns no rows; true on success.
    bool Run();

    std::string Bytes(int column) const;
    std::int64_t Int(int column) const;
    std::string Error() const;

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    bool bindFailed_ = false;
    bool done_ = false;
};

} // namespace quorlan::server
