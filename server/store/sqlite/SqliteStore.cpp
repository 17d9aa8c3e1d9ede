#include "SqliteStore.h"

namespace quorlan::server {

SqliteStore::Opened SqliteStore::Open(const std::string& path, const ServerConfig& config) {
    auto opened = Database::Open(path);
    if (!opened.db) return Opened{nullptr, opened.error};
    return Opened{std::unique_ptr<SqliteStore>(new SqliteStore(std::move(opened.db), config)), {}};
}

SqliteStore::SqliteStore(std::unique_ptr<Database> db, const ServerConfig& config)
    : db_(std::move(db)), accounts_(*db_), lists_(*db_),
      replay_(ReplayBuffer::Limits{config.replayMaxAgeMs, config.replayMaxLines, config.replayMaxAccounts}) {}

} // namespace quorlan::server
