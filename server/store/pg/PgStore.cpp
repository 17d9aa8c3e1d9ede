#include "PgStore.h"

#include "server/postgres/PgSchema.h"

namespace quorlan::server::pg {

std::unique_ptr<PgStore> PgStore::Open(const std::string& conninfo, ReplayBuffer::Limits replayLimits,
                                       std::string& error) {
    auto session = PgSession::Connect(conninfo, error);
    if (!session) return nullptr;
    const auto migrated = PgSchema::Migrate(*session);
    if (!migrated.ok) {
        error = migrated.error;
        return nullptr;
    }
    return std::unique_ptr<PgStore>(new PgStore(std::move(session), replayLimits));
}

std::unique_ptr<PgStore> PgStore::OpenForInstance(const std::string& conninfo, ReplayBuffer::Limits replayLimits,
                                                  std::string& error) {
    auto session = PgSession::Eventually(conninfo);
    if (!session) {
        error = "out of memory for a database connection";
        return nullptr;
    }
    return std::unique_ptr<PgStore>(new PgStore(std::move(session), replayLimits));
}

} // namespace quorlan::server::pg
