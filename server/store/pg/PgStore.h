#pragma once
#include "PgAccountStore.h"
#include "PgBoardListStore.h"
#include "PgReplayStore.h"
#include "server/postgres/PgSession.h"
#include "server/store/ReplayBuffer.h"
#include "server/store/Store.h"

#include <memory>
#include <string>

namespace quorlan::server::pg {

// Everything durable in the PostgreSQL database every instance of a cluster
// shares, over one blocking session: the store worker's thread is its only
// user.
class PgStore final : public IStore {
public:
    // Connects and brings the schema up to date; nothing, with `error` set,
    // when either fails.
    static std::unique_ptr<PgStore> Open(const std::string& conninfo, ReplayBuffer::Limits replayLimits,
                                         std::string& error);
    // A running instance's store: it starts while the database is down and
    // reconnects as it comes back. The instance's cluster link migrates the
    // schema and keeps the instance from serving until it is current.
    static std::unique_ptr<PgStore> OpenForInstance(const std::string& conninfo, ReplayBuffer::Limits replayLimits,
                                                    std::string& error);

    IAccountStore& Accounts() override { return accounts_; }
    IBoardListStore& BoardLists() override { return boardLists_; }
    IReplayStore& Replay() override { return replay_; }

private:
    PgStore(std::unique_ptr<PgSession> session, ReplayBuffer::Limits replayLimits)
        : session_(std::move(session)), accounts_(*session_), boardLists_(*session_), replay_(*session_, replayLimits) {}

    std::unique_ptr<PgSession> session_;
    PgAccountStore accounts_;
    PgBoardListStore boardLists_;
    PgReplayStore replay_;
};

} // namespace quorlan::server::pg
