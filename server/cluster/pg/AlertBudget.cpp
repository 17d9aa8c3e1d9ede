#include "AlertBudget.h"

#include <sodium.h>
#include <spdlog/spdlog.h>

namespace quorlan::server::pg {
namespace {

// First key of every account's alert lock ("QRLO"); the second is a hash of
// the phone number.
constexpr const char* kLockClass = "1364347983";

// rate_counters rows: one per admitted alert under the account (scope 'sms'),
// and one per line under the account and a digest of the line ('sms_line').
std::string LineKey(const std::string& phone, const std::string& line) {
    unsigned char digest[16];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(line.data()), line.size(), nullptr,
                       0);
    char hex[sizeof digest * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return phone + ":" + hex;
}

} // namespace

void AlertBudget::Admit(const std::string& phone, const std::string& line, std::int64_t nowMs, Done done) {
    const std::string lineKey = LineKey(phone, line);
    std::vector<PgStatement> statements;
    statements.push_back({std::string("SELECT pg_advisory_xact_lock(") + kLockClass + ", hashtext($1))",
                          {PgParam::Text(phone)}});
    statements.push_back({"DELETE FROM rate_counters WHERE expires_ms <= $2::bigint AND ((scope = 'sms' AND key = $1) "
                          "OR (scope = 'sms_line' AND left(key, length($1::text) + 1) = $1::text || ':'))",
                          {PgParam::Text(phone), PgParam::Int(nowMs)}});
    // 0 admitted (and counted), 1 the same line, 2 over the hourly limit.
    statements.push_back(
        {"WITH verdict AS (SELECT CASE "
         "WHEN EXISTS (SELECT 1 FROM rate_counters WHERE scope = 'sms_line' AND key = $2::text) THEN 1 "
         "WHEN (SELECT coalesce(sum(count), 0) FROM rate_counters WHERE scope = 'sms' AND key = $1::text) "
         ">= $4::bigint THEN 2 ELSE 0 END AS v), "
         "line AS (INSERT INTO rate_counters (scope, key, window_start_ms, count, expires_ms) "
         "SELECT 'sms_line', $2::text, $3::bigint, 1, $3::bigint + $5::bigint FROM verdict WHERE v = 0), "
         "sent AS (INSERT INTO rate_counters (scope, key, window_start_ms, count, expires_ms) "
         "SELECT 'sms', $1::text, $3::bigint, 1, $3::bigint + $5::bigint FROM verdict WHERE v = 0 "
         "ON CONFLICT (scope, key, window_start_ms) DO UPDATE SET count = rate_counters.count + 1) "
         "SELECT v FROM verdict",
         {PgParam::Text(phone), PgParam::Text(lineKey), PgParam::Int(nowMs),
          PgParam::Int(static_cast<std::int64_t>(SmsLimiter::kPerHour)), PgParam::Int(SmsLimiter::kWindowMs)}});
    connection_.Transaction(std::move(statements), [done = std::move(done)](PgReply reply) {
        const auto verdict = reply.Int(0, 0);
        if (!reply.ok || !verdict) {
            spdlog::warn("alert limits not counted: {}", reply.error);
            return done(std::nullopt);
        }
        switch (*verdict) {
        case 0:
            return done(SmsLimiter::Verdict::Admitted);
        case 1:
            return done(SmsLimiter::Verdict::SameLine);
        default:
            return done(SmsLimiter::Verdict::OverHourlyLimit);
        }
    });
}

void AlertBudget::Release(const std::string& phone, const std::string& line, std::int64_t nowMs) {
    std::vector<PgStatement> statements;
    statements.push_back({"DELETE FROM rate_counters WHERE scope = 'sms_line' AND key = $1 AND window_start_ms = $2",
                          {PgParam::Text(LineKey(phone, line)), PgParam::Int(nowMs)}});
    statements.push_back({"UPDATE rate_counters SET count = count - 1 WHERE scope = 'sms' AND key = $1 AND "
                          "window_start_ms = $2",
                          {PgParam::Text(phone), PgParam::Int(nowMs)}});
    connection_.Transaction(std::move(statements), [](PgReply reply) {
        if (!reply.ok) spdlog::warn("alert not given back to its account's limits: {}", reply.error);
    });
}

} // namespace quorlan::server::pg
