#include "PgBoardListStore.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace quorlan::server::pg {

std::optional<std::string> PgBoardListStore::Load(const std::string& url) {
    const PgReply reply = db_.Exec("SELECT list FROM board_lists WHERE url = $1", {PgParam::Bytes(url)});
    if (!reply.ok) {
        spdlog::error("board list lookup failed: {}", reply.error);
        return std::nullopt;
    }
    if (reply.rows.empty()) return std::nullopt;
    return reply.rows[0][0].value_or("");
}

bool PgBoardListStore::Save(const std::string& url, const std::string& list, std::int64_t nowMs) {
    const PgReply reply = db_.Exec("INSERT INTO board_lists (url, list, updated_ms) VALUES ($1, $2, $3) "
                                   "ON CONFLICT (url) DO UPDATE SET list = excluded.list, updated_ms = excluded.updated_ms",
                                   {PgParam::Bytes(url), PgParam::Bytes(list), PgParam::Int(nowMs)});
    if (!reply.ok) spdlog::error("board list not saved: {}", reply.error);
    return reply.ok;
}

std::size_t PgBoardListStore::DeleteStale(std::int64_t nowMs) {
    const PgReply reply =
        db_.Exec("DELETE FROM board_lists WHERE updated_ms < $1", {PgParam::Int(nowMs - kKeepMs)});
    if (!reply.ok) {
        spdlog::error("stale board lists not removed: {}", reply.error);
        return 0;
    }
    return static_cast<std::size_t>(reply.affected);
}

std::size_t PgBoardListStore::Trim(std::size_t keep) {
    const auto limit = static_cast<std::int64_t>(
        std::min<std::size_t>(keep, static_cast<std::size_t>(std::numeric_limits<std::int64_t>::max())));
    const PgReply reply = db_.Exec("DELETE FROM board_lists WHERE url NOT IN "
                                   "(SELECT url FROM board_lists ORDER BY updated_ms DESC LIMIT $1)",
                                   {PgParam::Int(limit)});
    if (!reply.ok) {
        spdlog::error("board lists not trimmed: {}", reply.error);
        return 0;
    }
    return static_cast<std::size_t>(reply.affected);
}

} // namespace quorlan::server::pg
