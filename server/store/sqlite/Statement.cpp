#include "Statement.h"

#include <sqlite3.h>

namespace quorlan::server {

Statement::Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, std::string_view bytes) {
    if (stmt_ && sqlite3_bind_blob64(stmt_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT) != SQLITE_OK)
        bindFailed_ = true;
    return *this;
}

Statement& Statement::Bind(int index, std::int64_t value) {
    if (stmt_ && sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK) bindFailed_ = true;
    return *this;
}

bool Statement::Step() {
    if (!stmt_ || bindFailed_) return false;
    const int rc = sqlite3_step(stmt_);
    done_ = rc == SQLITE_DONE;
    return rc == SQLITE_ROW;
}

bool Statement::Run() {
    while (Step()) {
    }
    return done_;
}

std::string Statement::Bytes(int column) const {
    const void* data = sqlite3_column_blob(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    if (!data || size <= 0) return {};
    return std::string(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Statement::Error() const {
    if (!stmt_) return std::string("prepare failed: ") + sqlite3_errmsg(db_);
    if (bindFailed_) return "bind failed";
    return sqlite3_errmsg(db_);
}

} // namespace quorlan::server
