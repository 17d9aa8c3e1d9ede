#pragma once
#include "server/postgres/PgSession.h"
#include "server/store/Store.h"

namespace quorlan::server::pg {

// The last post list of every board, shared by the instances of a cluster.
class PgBoardListStore final : public IBoardListStore {
public:
    explicit PgBoardListStore(PgSession& db) : db_(db) {}

    std::optional<std::string> Load(const std::string& url) override;
    bool Save(const std::string& url, const std::string& list, std::int64_t nowMs) override;
    std::size_t DeleteStale(std::int64_t nowMs) override;
    std::size_t Trim(std::size_t keep) override;

private:
    PgSession& db_;
};

} // namespace quorlan::server::pg
