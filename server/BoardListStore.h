#pragma once
#include "Database.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quorlan::server {

// The last post list of every board, kept across restarts so that a board
// that already has a list is never re-bootstrapped.
class BoardListStore {
public:
    explicit BoardListStore(Database& db) : db_(db) {}
    std::optional<std::string> Load(const std::string& url);
    bool Save(const std::string& url, const std::string& list, std::int64_t nowMs);

private:
    Database& db_;
};

} // namespace quorlan::server
