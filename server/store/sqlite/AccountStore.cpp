#include "AccountStore.h"

#include "Statement.h"

#include <spdlog/spdlog.h>
#include <sqlite3.h>

namespace quorlan::server {

std::optional<Account> AccountStore::Find(const std::string& phone) {
    Statement s(db_.Handle(),
                "SELECT phone, password_hash, relay, failed_logins, locked_until, robot_mode FROM accounts "
                "WHERE phone = ?");
    s.Bind(1, phone);
    if (!s.Step()) {
        if (!s.Done()) spdlog::error("account lookup failed: {}", s.Error());
        return std::nullopt;
    }
    return Account{s.Bytes(0), s.Bytes(1), s.Int(2) != 0, static_cast<int>(s.Int(3)), s.Int(4), s.Int(5) != 0};
}

bool AccountStore::Create(const std::string& phone, const std::string& passwordHash, std::int64_t nowMs) {
    Statement s(db_.Handle(), "INSERT OR IGNORE INTO accounts (phone, password_hash, created_ms) VALUES (?, ?, ?)");
    s.Bind(1, phone).Bind(2, passwordHash).Bind(3, nowMs);
    if (!s.Run()) {
        spdlog::error("account creation failed: {}", s.Error());
        return false;
    }
    return sqlite3_changes(db_.Handle()) == 1;
}

bool AccountStore::UpdatePassword(const std::string& phone, const std::string& passwordHash) {
    Statement s(db_.Handle(), "UPDATE accounts SET password_hash = ? WHERE phone = ?");
    s.Bind(1, passwordHash).Bind(2, phone);
    if (!s.Run()) {
        spdlog::error("password update failed: {}", s.Error());
        return false;
    }
    return sqlite3_changes(db_.Handle()) == 1;
}

bool AccountStore::Changed(const char* sql, const std::string& phone, std::optional<std::int64_t> a,
                           std::optional<std::int64_t> b) {
    Statement s(db_.Handle(), sql);
    int index = 1;
    if (a) s.Bind(index++, *a);
    if (b) s.Bind(index++, *b);
    s.Bind(index, phone);
    if (!s.Run()) {
        spdlog::error("database update failed: {}", s.Error());
        return false;
    }
    return sqlite3_changes(db_.Handle()) == 1;
}

bool AccountStore::RecordLoginFailure(const std::string& phone, int failedLogins, std::int64_t lockedUntilMs) {
    return Changed("UPDATE accounts SET failed_logins = ?, locked_until = ? WHERE phone = ?", phone, failedLogins,
                   lockedUntilMs);
}

bool AccountStore::ClearLoginFailures(const std::string& phone) {
    return Changed("UPDATE accounts SET failed_logins = 0, locked_until = 0 WHERE phone = ?", phone);
}

bool AccountStore::SetRelay(const std::string& phone, bool relay) {
    return Changed("UPDATE accounts SET relay = ? WHERE phone = ?", phone, relay ? 1 : 0);
}

bool AccountStore::SetRobotMode(const std::string& phone, bool on) {
    return Changed("UPDATE accounts SET robot_mode = ? WHERE phone = ?", phone, on ? 1 : 0);
}

std::optional<IdentNumber> AccountStore::FindIdent(const std::string& phone) {
    Statement s(db_.Handle(),
                "SELECT number, issued_ms, expires_ms, wrong_tries FROM ident_numbers WHERE phone = ?");
    s.Bind(1, phone);
    if (!s.Step()) {
        if (!s.Done()) spdlog::error("identification number lookup failed: {}", s.Error());
        return std::nullopt;
    }
    return IdentNumber{s.Bytes(0), s.Int(1), s.Int(2), static_cast<int>(s.Int(3))};
}

bool AccountStore::StoreIdent(const std::string& phone, const IdentNumber& ident) {
    Statement s(db_.Handle(), "INSERT OR REPLACE INTO ident_numbers (phone, number, issued_ms, expires_ms, wrong_tries) "
                              "VALUES (?, ?, ?, ?, ?)");
    s.Bind(1, phone).Bind(2, ident.number).Bind(3, ident.issuedMs).Bind(4, ident.expiresMs);
    s.Bind(5, static_cast<std::int64_t>(ident.wrongTries));
    if (!s.Run()) {
        spdlog::error("identification number not stored: {}", s.Error());
        return false;
    }
    return true;
}

bool AccountStore::CountWrongIdent(const std::string& phone) {
    return Changed("UPDATE ident_numbers SET wrong_tries = wrong_tries + 1 WHERE phone = ?", phone);
}

bool AccountStore::DeleteIdent(const std::string& phone) {
    return Changed("DELETE FROM ident_numbers WHERE phone = ?", phone);
}

void AccountStore::DeleteExpiredIdents(std::int64_t nowMs) {
    Statement s(db_.Handle(), "DELETE FROM ident_numbers WHERE expires_ms <= ?");
    s.Bind(1, nowMs);
    if (!s.Run()) spdlog::error("expired identification numbers not removed: {}", s.Error());
}

bool AccountStore::RecordIdentIssue(const std::string& phone, const std::string& address, std::int64_t nowMs) {
    Statement s(db_.Handle(), "INSERT INTO ident_issues (phone, address, issued_ms) VALUES (?, ?, ?)");
    s.Bind(1, phone).Bind(2, address).Bind(3, nowMs);
    if (!s.Run()) {
        spdlog::error("identification number issue not recorded: {}", s.Error());
        return false;
    }
    return true;
}

std::size_t AccountStore::IdentIssuesSince(IssuedBy by, const std::string& key, std::int64_t sinceMs) {
    const char* sql = by == IssuedBy::Phone     ? "SELECT COUNT(*) FROM ident_issues WHERE phone = ? AND issued_ms > ?"
                      : by == IssuedBy::Address ? "SELECT COUNT(*) FROM ident_issues WHERE address = ? AND issued_ms > ?"
                                                : "SELECT COUNT(*) FROM ident_issues WHERE issued_ms > ?";
    Statement s(db_.Handle(), sql);
    if (by == IssuedBy::Anyone) {
        s.Bind(1, sinceMs);
    } else {
        s.Bind(1, key).Bind(2, sinceMs);
    }
    if (!s.Step()) {
        spdlog::error("identification number count failed: {}", s.Error());
        return SIZE_MAX; // counted as over every cap
    }
    return static_cast<std::size_t>(s.Int(0));
}

void AccountStore::DeleteIdentIssuesBefore(std::int64_t ms) {
    Statement s(db_.Handle(), "DELETE FROM ident_issues WHERE issued_ms < ?");
    s.Bind(1, ms);
    if (!s.Run()) spdlog::error("old identification number issues not removed: {}", s.Error());
}

} // namespace quorlan::server
