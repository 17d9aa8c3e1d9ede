#pragma once
#include "Database.h"
#include "server/store/Store.h"

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
    std::size_t DeleteStale(std::int64_t nowMs) override;
    std::size_t Trim(std::size_t keep) override;

private:
    Database& db_;
};

} // namespace quorlan::server
