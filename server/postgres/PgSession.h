#pragma once
#include "PgConnection.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorlan::server::pg {

// A blocking PostgreSQL session, for the one thread that owns it: the store
// worker's, or an operator subcommand's. When the link has broken, a statement
// resets it and runs once more; a transaction runs again as a whole. Nothing
// throws: failures come back in the reply.
class PgSession {
public:
    // The session, or nothing with `error` set.
    static std::unique_ptr<PgSession> Connect(const std::string& conninfo, std::string& error);
    // The session even when the database cannot be reached yet: its first
    // statements connect again (nothing only when out of memory).
    static std::unique_ptr<PgSession> Eventually(const std::string& conninfo);
    ~PgSession();
    PgSession(const PgSession&) = delete;
    PgSession& operator=(const PgSession&) = delete;

    // One statement with $1.. parameters.
    PgReply Exec(const std::string& sql, const std::vector<PgParam>& params = {});
    // Several ';'-separated statements of fixed SQL, as one implicit transaction.
    PgReply Script(const std::string& sql);
    // Runs `body` between BEGIN and COMMIT; `body` returns false to roll back.
    // True once committed. `body` may run twice, so it starts its results afresh.
    bool Transaction(const std::function<bool()>& body);

    int BackendPid() const;

private:
    explicit PgSession(PGconn* conn) : conn_(conn) {}
    PgReply RunOnce(const std::string& sql, const std::vector<PgParam>* params);
    PgReply Run(const std::string& sql, const std::vector<PgParam>* params);
    // True when the link had broken and is up again.
    bool Reconnected();

    PGconn* conn_;
    bool inTransaction_ = false;
};

} // namespace quorlan::server::pg
