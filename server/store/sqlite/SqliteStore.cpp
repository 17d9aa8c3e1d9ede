#include "SqliteStore.h"

namespace quorlan::server {

SqliteStore::Opened SqliteStore::Open(const std::string& path, ReplayBuffer::Limits replayLimits) {
    auto opened = Database::Open(path);
    if (!opened.db) return Opened{nullptr, opened.error};
    return Opened{std::unique_ptr<SqliteStore>(new SqliteStore(std::move(opened.db), replayLimits)), {}};
}

SqliteStore::SqliteStore(std::unique_ptr<Database> db, ReplayBuffer::Limits replayLimits)
    : db_(std::move(db)), accounts_(*db_), lists_(*db_),
      replay_(replayLimits) {}

} // namespace quorlan::server
