#pragma once
#include "Database.h"
#include "Store.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quorlan::server {

// The last post list of every board in the SQLite file.
class BoardListStore final : public IBoardListStore {
public:
    explicit BoardListStore(Database& db) : db_(db) {}
    std::optional<std::string> Load(const std::string& url) override;
    bool Save(const std::string& url, const std::string& list, std::int64_t nowMs) override;
    // Forgets the lists of boards nobody has checked for kKeepMs; the number
    // of lists removed (0 on a database error, which is logged).
    std::size_t DeleteStale(std::int64_t nowMs) override;
    // Keeps the `keep` most recently saved lists, forgetting the others; the
    // number removed.
    std::size_t Trim(std::size_t keep) override;

private:
    Database& db_;
};

} // namespace quorlan::server
