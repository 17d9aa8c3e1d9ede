#pragma once
#include "IReplayStore.h"

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

// Accounts and issued identification numbers. Every call is one statement (or
// one transaction), so the store is consistent after any crash. Failures are
// returned as false / nothing and logged. An engine is used by one thread at
// a time: the store worker's, never the network loop's.
class IAccountStore {
public:
    virtual ~IAccountStore() = default;

    virtual std::optional<Account> Find(const std::string& phone) = 0;
    // False when the phone already has an account (or on a database error).
    virtual bool Create(const std::string& phone, const std::string& passwordHash, std::int64_t nowMs) = 0;
    virtual bool UpdatePassword(const std::string& phone, const std::string& passwordHash) = 0;
    virtual bool RecordLoginFailure(const std::string& phone, int failedLogins, std::int64_t lockedUntilMs) = 0;
    virtual bool ClearLoginFailures(const std::string& phone) = 0;
    // False when there is no such account.
    virtual bool SetRelay(const std::string& phone, bool relay) = 0;
    virtual bool SetRobotMode(const std::string& phone, bool on) = 0;

    virtual std::optional<IdentNumber> FindIdent(const std::string& phone) = 0;
    virtual bool StoreIdent(const std::string& phone, const IdentNumber& ident) = 0;
    virtual bool CountWrongIdent(const std::string& phone) = 0;
    virtual bool DeleteIdent(const std::string& phone) = 0;
    virtual void DeleteExpiredIdents(std::int64_t nowMs) = 0;

    // Every identification number issued, by phone and requesting address,
    // so that the caps on them survive a restart and hold for every instance.
    virtual bool RecordIdentIssue(const std::string& phone, const std::string& address, std::int64_t nowMs) = 0;
    enum class IssuedBy { Phone, Address, Anyone };
    // Numbers issued after `sinceMs` for this phone, to this address, or in all.
    virtual std::size_t IdentIssuesSince(IssuedBy by, const std::string& key, std::int64_t sinceMs) = 0;
    virtual void DeleteIdentIssuesBefore(std::int64_t ms) = 0;
};

// The last post list of every board, kept across restarts (and shared by the
// instances of a cluster) so that a board that already has a list is never
// re-bootstrapped.
class IBoardListStore {
public:
    virtual ~IBoardListStore() = default;

    virtual std::optional<std::string> Load(const std::string& url) = 0;
    virtual bool Save(const std::string& url, const std::string& list, std::int64_t nowMs) = 0;
    // Forgets the lists of boards nobody has checked for kKeepMs; the number
    // of lists removed (0 on a database error, which is logged).
    virtual std::size_t DeleteStale(std::int64_t nowMs) = 0;
    // Keeps the `keep` most recently saved lists, forgetting the others; the
    // number removed.
    virtual std::size_t Trim(std::size_t keep) = 0;

    static constexpr std::int64_t kKeepMs = 30LL * 24 * 3'600'000;
};

// Everything durable, in one engine: the embedded SQLite file of a single
// process, or the PostgreSQL database every instance of a cluster shares.
class IStore {
public:
    virtual ~IStore() = default;

    virtual IAccountStore& Accounts() = 0;
    virtual IBoardListStore& BoardLists() = 0;
    virtual IReplayStore& Replay() = 0;
};

} // namespace quorlan::server
