#include "PgStore.h"

#include "PgSchema.h"

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

} // namespace quorlan::server::pg
