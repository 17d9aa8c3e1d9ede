#pragma once
#include "PgConnection.h"

#include <functional>
#include <string>

namespace quorlan::server::pg {

class PgSession;

// The server's tables in PostgreSQL, created and brought up to date by the
// server itself at start. Each migration is applied once, in order, and
// recorded in `quorlan_schema`; instances starting together serialise on a
// transaction lock, and a database written by a newer server is refused.
class PgSchema {
public:
    static constexpr int kVersion = 2;

    struct [[nodiscard]] Migrated {
        bool ok = false;
        int version = 0; // the database's version afterwards
        std::string error;
    };
    // Runs on the connection as one transaction; `done` on the loop.
    static void Migrate(PgConnection& connection, std::function<void(Migrated)> done);
    // The same on a blocking session, for the stores and the operator's tools.
    static Migrated Migrate(PgSession& session);

    // The whole migration script (fixed SQL, no outside data).
    static std::string Script();

private:
    static Migrated Outcome(const PgReply& reply);
};

} // namespace quorlan::server::pg
