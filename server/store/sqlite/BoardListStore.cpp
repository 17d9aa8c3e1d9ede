#include "BoardListStore.h"

#include "Statement.h"

#include <spdlog/spdlog.h>
#include <sqlite3.h>

namespace quorlan::server {

std::optional<std::string> BoardListStore::Load(const std::string& url) {
    Statement s(db_.Handle(), "SELECT list FROM board_lists WHERE url = ?");
    s.Bind(1, url);
    if (!s.Step()) {
        if (!s.Done()) spdlog::error("board list lookup failed: {}", s.Error());
        return std::nullopt;
    }
    return s.Bytes(0);
}

bool BoardListStore::Save(const std::string& url, const std::string& list, std::int64_t nowMs) {
    Statement s(db_.Handle(), "INSERT OR REPLACE INTO board_lists (url, list, updated_ms) VALUES (?, ?, ?)");
    s.Bind(1, url).Bind(2, list).Bind(3, nowMs);
    if (!s.Run()) {
        spdlog::error("board list not saved: {}", s.Error());
        return false;
    }
    return true;
}

std::size_t BoardListStore::DeleteStale(std::int64_t nowMs) {
    Statement s(db_.Handle(), "DELETE FROM board_lists WHERE updated_ms < ?");
    s.Bind(1, nowMs - kKeepMs);
    if (!s.Run()) {
        spdlog::error("stale board lists not removed: {}", s.Error());
        return 0;
    }
    return static_cast<std::size_t>(sqlite3_changes(db_.Handle()));
}

std::size_t BoardListStore::Trim(std::size_t keep) {
    Statement s(db_.Handle(), "DELETE FROM board_lists WHERE url NOT IN "
                              "(SELECT url FROM board_lists ORDER BY updated_ms DESC LIMIT ?)");
    s.Bind(1, static_cast<std::int64_t>(keep));
    if (!s.Run()) {
        spdlog::error("board lists not trimmed: {}", s.Error());
        return 0;
    }
    return static_cast<std::size_t>(sqlite3_changes(db_.Handle()));
}

} // namespace quorlan::server
