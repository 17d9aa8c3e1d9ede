#pragma once
#include "Database.h"
#include "server/store/Store.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quorlan::server {

// Accounts and issued identification numbers in the SQLite file.
class AccountStore final : public IAccountStore {
public:
    explicit AccountStore(Database& db) : db_(db) {}

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
    bool Changed(const char* sql, const std::string& phone, std::optional<std::int64_t> a = {},
                 std::optional<std::int64_t> b = {});
    Database& db_;
};

} // namespace quorlan::server
