#pragma once
#include "server/postgres/PgSession.h"
#include "server/store/ReplayBuffer.h"

namespace quorlan::server::pg {

// The missed lines of a cluster in its database, so that an account gets
// them whichever instance it comes back to. Bounded like ReplayBuffer, with
// the same limits and the same answers: a board's lines are kept while
// someone is away from it, its `maxLines` newest within `maxAgeMs`.
class PgReplayStore final : public IReplayStore {
public:
    PgReplayStore(PgSession& db, ReplayBuffer::Limits limits) : db_(db), limits_(limits) {}

    void Away(const std::string& account, const std::string& board, std::int64_t nowMs) override;
    void Forwarded(const std::string& board, const std::string& line, std::int64_t nowMs) override;
    std::vector<std::string> Returned(const std::string& account, const std::string& board,
                                      std::int64_t nowMs) override;

private:
    // Inside a transaction: false (logged as `what`) when it failed.
    bool Step(const char* what, const char* sql, std::vector<PgParam> params, PgReply* reply = nullptr);
    // Forgets the accounts away so long that nothing they could be given is
    // left, and the lines too old to be given.
    bool Expire(std::int64_t nowMs);

    PgSession& db_;
    ReplayBuffer::Limits limits_;
};

} // namespace quorlan::server::pg
