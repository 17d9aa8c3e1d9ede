#include "PgAccountStore.h"

#include <spdlog/spdlog.h>

namespace quorlan::server::pg {
namespace {

std::int64_t IntOr(const PgReply& reply, std::size_t column, std::int64_t fallback = 0) {
    return reply.Int(0, column).value_or(fallback);
}

} // namespace

bool PgAccountStore::Run(const char* what, const char* sql, std::vector<PgParam> params, std::int64_t* affected) {
    const PgReply reply = db_.Exec(sql, params);
    if (!reply.ok) {
        spdlog::error("{} failed: {}", what, reply.error);
        return false;
    }
    if (affected) *affected = reply.affected;
    return true;
}

bool PgAccountStore::ChangedOne(const char* what, const char* sql, std::vector<PgParam> params) {
    std::int64_t affected = 0;
    return Run(what, sql, std::move(params), &affected) && affected == 1;
}

std::optional<Account> PgAccountStore::Find(const std::string& phone) {
    const PgReply reply = db_.Exec("SELECT phone, password_hash, relay::int, failed_logins, locked_until, "
                                   "robot_mode::int FROM accounts WHERE phone = $1",
                                   {PgParam::Text(phone)});
    if (!reply.ok) {
        spdlog::error("account lookup failed: {}", reply.error);
        return std::nullopt;
    }
    if (reply.rows.empty()) return std::nullopt;
    const PgRow& row = reply.rows[0];
    return Account{row[0].value_or(""), row[1].value_or(""), IntOr(reply, 2) != 0,
                   static_cast<int>(IntOr(reply, 3)), IntOr(reply, 4), IntOr(reply, 5) != 0};
}

bool PgAccountStore::Create(const std::string& phone, const std::string& passwordHash, std::int64_t nowMs) {
    return ChangedOne("account creation",
                      "INSERT INTO accounts (phone, password_hash, created_ms) VALUES ($1, $2, $3) "
                      "ON CONFLICT (phone) DO NOTHING",
                      {PgParam::Text(phone), PgParam::Text(passwordHash), PgParam::Int(nowMs)});
}

bool PgAccountStore::UpdatePassword(const std::string& phone, const std::string& passwordHash) {
    return ChangedOne("password update", "UPDATE accounts SET password_hash = $2 WHERE phone = $1",
                      {PgParam::Text(phone), PgParam::Text(passwordHash)});
}

bool PgAccountStore::RecordLoginFailure(const std::string& phone, int failedLogins, std::int64_t lockedUntilMs) {
    return ChangedOne("login failure update", "UPDATE accounts SET failed_logins = $2, locked_until = $3 WHERE phone = $1",
                      {PgParam::Text(phone), PgParam::Int(failedLogins), PgParam::Int(lockedUntilMs)});
}

bool PgAccountStore::ClearLoginFailures(const std::string& phone) {
    return ChangedOne("login failure reset", "UPDATE accounts SET failed_logins = 0, locked_until = 0 WHERE phone = $1",
                      {PgParam::Text(phone)});
}

bool PgAccountStore::SetRelay(const std::string& phone, bool relay) {
    return ChangedOne("relay mark", "UPDATE accounts SET relay = $2 WHERE phone = $1",
                      {PgParam::Text(phone), PgParam::Text(relay ? "true" : "false")});
}

bool PgAccountStore::SetRobotMode(const std::string& phone, bool on) {
    return ChangedOne("robot mode mark", "UPDATE accounts SET robot_mode = $2 WHERE phone = $1",
                      {PgParam::Text(phone), PgParam::Text(on ? "true" : "false")});
}

std::optional<IdentNumber> PgAccountStore::FindIdent(const std::string& phone) {
    const PgReply reply = db_.Exec(
        "SELECT number, issued_ms, expires_ms, wrong_tries FROM ident_numbers WHERE phone = $1", {PgParam::Text(phone)});
    if (!reply.ok) {
        spdlog::error("identification number lookup failed: {}", reply.error);
        return std::nullopt;
    }
    if (reply.rows.empty()) return std::nullopt;
    return IdentNumber{reply.rows[0][0].value_or(""), IntOr(reply, 1), IntOr(reply, 2),
                       static_cast<int>(IntOr(reply, 3))};
}

bool PgAccountStore::StoreIdent(const std::string& phone, const IdentNumber& ident) {
    return Run("identification number storage",
               "INSERT INTO ident_numbers (phone, number, issued_ms, expires_ms, wrong_tries) "
               "VALUES ($1, $2, $3, $4, $5) ON CONFLICT (phone) DO UPDATE SET number = excluded.number, "
               "issued_ms = excluded.issued_ms, expires_ms = excluded.expires_ms, wrong_tries = excluded.wrong_tries",
               {PgParam::Text(phone), PgParam::Text(ident.number), PgParam::Int(ident.issuedMs),
                PgParam::Int(ident.expiresMs), PgParam::Int(ident.wrongTries)});
}

bool PgAccountStore::CountWrongIdent(const std::string& phone) {
    return ChangedOne("wrong identification number count",
                      "UPDATE ident_numbers SET wrong_tries = wrong_tries + 1 WHERE phone = $1", {PgParam::Text(phone)});
}

bool PgAccountStore::DeleteIdent(const std::string& phone) {
    return ChangedOne("identification number removal", "DELETE FROM ident_numbers WHERE phone = $1",
                      {PgParam::Text(phone)});
}

void PgAccountStore::DeleteExpiredIdents(std::int64_t nowMs) {
    (void)Run("expired identification number removal", "DELETE FROM ident_numbers WHERE expires_ms <= $1",
              {PgParam::Int(nowMs)});
}

bool PgAccountStore::RecordIdentIssue(const std::string& phone, const std::string& address, std::int64_t nowMs) {
    return Run("identification number issue record",
               "INSERT INTO ident_issues (phone, address, issued_ms) VALUES ($1, $2, $3)",
               {PgParam::Text(phone), PgParam::Text(address), PgParam::Int(nowMs)});
}

std::size_t PgAccountStore::IdentIssuesSince(IssuedBy by, const std::string& key, std::int64_t sinceMs) {
    const PgReply reply =
        by == IssuedBy::Phone ? db_.Exec("SELECT count(*) FROM ident_issues WHERE phone = $1 AND issued_ms > $2",
                                         {PgParam::Text(key), PgParam::Int(sinceMs)})
        : by == IssuedBy::Address
            ? db_.Exec("SELECT count(*) FROM ident_issues WHERE address = $1 AND issued_ms > $2",
                       {PgParam::Text(key), PgParam::Int(sinceMs)})
            : db_.Exec("SELECT count(*) FROM ident_issues WHERE issued_ms > $1", {PgParam::Int(sinceMs)});
    const auto count = reply.Int(0, 0);
    if (!reply.ok || !count) {
        spdlog::error("identification number count failed: {}", reply.error);
        return SIZE_MAX; // counted as over every cap
    }
    return static_cast<std::size_t>(*count);
}

void PgAccountStore::DeleteIdentIssuesBefore(std::int64_t ms) {
    (void)Run("old identification number issue removal", "DELETE FROM ident_issues WHERE issued_ms < $1",
              {PgParam::Int(ms)});
}

} // namespace quorlan::server::pg
