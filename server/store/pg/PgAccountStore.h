#pragma once
#include "server/postgres/PgSession.h"
#include "server/store/Store.h"

namespace quorlan::server::pg {

// Accounts, identification numbers and their issues in the PostgreSQL
// database of a cluster, so that lockouts, relay and robot-mode marks and the
// caps on identification numbers hold for every instance.
class PgAccountStore final : public IAccountStore {
public:
    explicit PgAccountStore(PgSession& db) : db_(db) {}

    std::optional<Account> Find(const std::string& phone) override;
    bool Create(const std::string& phone, const std::string& passwordHash, std::int64_t nowMs) override;
    bool UpdatePassword(const std::string& phone, const std::string& passwordHash) override;
    bool RecordLoginFailure(const std::string& phone, int failedLogins, std::int64_t lockedUntilMs) override;
    bool ClearLoginFailures(const std::string& phone) override;
    bool SetRelay(const std::string& phone, bool relay) override;
    bool SetRobotMode(const std::string& phone, bool on) override;

    std::optional<IdentNumber> FindIdent(const std::string& phone) override;
    bool StoreIdent(const std::string& phone, const IdentNumber& ident) override;
    bool CountWrongIdent(const std::string& phone) override;
    bool DeleteIdent(const std::string& phone) override;
    void DeleteExpiredIdents(std::int64_t nowMs) override;

    bool RecordIdentIssue(const std::string& phone, const std::string& address, std::int64_t nowMs) override;
    std::size_t IdentIssuesSince(IssuedBy by, const std::string& key, std::int64_t sinceMs) override;
    void DeleteIdentIssuesBefore(std::int64_t ms) override;

private:
    // Runs a statement changing rows; false on an error, which is logged as `what`.
    bool Run(const char* what, const char* sql, std::vector<PgParam> params, std::int64_t* affected = nullptr);
    // A statement changing the row of one phone: true when it did.
    bool ChangedOne(const char* what, const char* sql, std::vector<PgParam> params);

    PgSession& db_;
};

} // namespace quorlan::server::pg
