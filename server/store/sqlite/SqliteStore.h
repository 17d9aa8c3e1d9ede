#pragma once
#include "AccountStore.h"
#include "BoardListStore.h"
#include "Database.h"
#include "server/store/ReplayBuffer.h"
#include "server/store/Store.h"

#include <memory>
#include <string>

namespace quorlan::server {

// The engine of a single process: accounts and board lists in the SQLite
// file (created private to its owner), missed lines in memory.
class SqliteStore final : public IStore {
public:
    struct [[nodiscard]] Opened {
        std::unique_ptr<SqliteStore> store;
        std::string error;
    };
    static Opened Open(const std::string& path, ReplayBuffer::Limits replayLimits);

    IAccountStore& Accounts() override { return accounts_; }
    IBoardListStore& BoardLists() override { return lists_; }
    IReplayStore& Replay() override { return replay_; }

private:
    SqliteStore(std::unique_ptr<Database> db, ReplayBuffer::Limits replayLimits);

    std::unique_ptr<Database> db_;
    AccountStore accounts_;
    BoardListStore lists_;
    ReplayBuffer replay_;
};

} // namespace quorlan::server
