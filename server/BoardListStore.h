#pragma once
#include "Database.h"

#include <cstddef>
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
    // Forgets the lists of boards nobody has checked for kKeepMs; the number
    // of lists removed (0 on a database error, which is logged).
    std::size_t DeleteStale(std::int64_t nowMs);
    // Keeps the `keep` most recently saved lists, forgetting the others; the
    // number removed.
    std::size_t Trim(std::size_t keep);

    static constexpr std::int64_t kKeepMs = 30LL * 24 * 3'600'000;

private:
    Database& db_;
};

} // namespace quorlan::server
