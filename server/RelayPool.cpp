#include "RelayPool.h"

namespace quorlan::server {

std::optional<SessionId> RelayPool::Next() {
    if (relays_.empty()) return std::nullopt;
    auto it = relays_.upper_bound(last_);
    if (it == relays_.end()) it = relays_.begin();
    last_ = *it;
    return last_;
}

RelayPool::Order RelayPool::OrderAlert(const std::string& phone, std::string_view line, std::int64_t nowMs) {
    if (relays_.empty()) return Order{std::nullopt, Refusal::NoRelay};
    switch (limiter_.Admit(phone, line, nowMs)) {
    case SmsLimiter::Verdict::SameLine:
        return Order{std::nullopt, Refusal::SameLine};
    case SmsLimiter::Verdict::OverHourlyLimit:
        return Order{std::nullopt, Refusal::OverHourlyLimit};
    case SmsLimiter::Verdict::Admitted:
        break;
    }
    return Order{Next(), Refusal::None};
}

} // namespace quorlan::server
