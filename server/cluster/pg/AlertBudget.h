#pragma once
#include "server/limits/SmsLimiter.h"
#include "server/postgres/PgConnection.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quorlan::server::pg {

// The per-account limits on text-message alerts (SmsLimiter's rules: the same
// line at most once, at most kPerHour in a sliding hour) counted in
// rate_counters, so that they hold for the whole cluster. Each admission is
// one transaction holding the account's advisory lock: two instances
// admitting for one account at once are taken one after the other, and each
// sees what the other counted. An admitted alert is counted at once; one
// that no relay took is given back.
class AlertBudget {
public:
    using Done = std::function<void(std::optional<SmsLimiter::Verdict>)>;

    explicit AlertBudget(PgConnection& connection) : connection_(connection) {}

    // `nowMs` is wall-clock time; nothing reaches `done` when the database
    // did not answer.
    void Admit(const std::string& phone, const std::string& line, std::int64_t nowMs, Done done);
    // Gives back an alert admitted at `nowMs`.
    void Release(const std::string& phone, const std::string& line, std::int64_t nowMs);

private:
    PgConnection& connection_;
};

} // namespace quorlan::server::pg
