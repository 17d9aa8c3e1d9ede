#pragma once
#include "Database.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quorlan::server {

struct Account {
    std::string phone; // canonical digits
    std::string passwordHash;
    bool relay = false;
    int failedLogins = 0;
    std::int64_t lockedUntilMs = 0;
    bool robotMode = false; // a relay account asked for robot mode and has not withdrawn it
};

struct IdentNumber {
    std::string number;
    std::int64_t issuedMs = 0;
    std::int64_t expiresMs = 0;
    int wrongTries = 0;
};

// Accounts and issued identification numbers in the database. Every call is a
// single statement, so the file is consistent after any crash. Failures are
// returned as false / nothing and logged.
class AccountStore {
public:
    explicit AccountStore(Database& db) : db_(db) {}

    std::optional<Account> Find(const std::string& phone);
    // False when the phone already has an account (or on a database error).
    bool Create(const std::string& phone, const std::string& passwordHash, std::int64_t nowMs);
    bool UpdatePassword(const std::string& phone, const std::string& passwordHash);
    bool RecordLoginFailure(const std::string& phone, int failedLogins, std::int64_t lockedUntilMs);
    bool ClearLoginFailures(const std::string& phone);
    // False when there is no such account.
    bool SetRelay(const std::string& phone, bool relay);
    bool SetRobotMode(const std::string& phone, bool on);

    std::optional<IdentNumber> FindIdent(const std::string& phone);
    bool StoreIdent(const std::string& phone, const IdentNumber& ident);
    bool CountWrongIdent(const std::string& phone);
    bool DeleteIdent(const std::string& phone);
    void DeleteExpiredIdents(std::int64_t nowMs);

    // Every identification number issued, by phone and requesting address,
    // so that the caps on them survive a restart.
    bool RecordIdentIssue(const std::string& phone, const std::string& address, std::int64_t nowMs);
    enum class IssuedBy { Phone, Address, Anyone };
    // Numbers issued after `sinceMs` for this phone, to this address, or in all.
    std::size_t IdentIssuesSince(IssuedBy by, const std::string& key, std::int64_t sinceMs);
    void DeleteIdentIssuesBefore(std::int64_t ms);

private:
    bool Changed(const char* sql, const std::string& phone, std::optional<std::int64_t> a = {},
                 std::optional<std::int64_t> b = {});
    Database& db_;
};

} // namespace quorlan::server
