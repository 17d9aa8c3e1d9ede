#include "SmsLimiter.h"

namespace quorlan::server {

SmsLimiter::Verdict SmsLimiter::Admit(const std::string& phone, std::string_view line, std::int64_t nowMs) {
    // Forget accounts whose window has emptied, so the map does not grow with
    // every account that ever asked.
    for (auto it = sent_.begin(); it != sent_.end();) {
        auto& q = it->second;
        while (!q.empty() && nowMs - q.front().atMs >= kWindowMs) q.pop_front();
        it = q.empty() ? sent_.erase(it) : std::next(it);
    }
    auto& history = sent_[phone];
    for (const auto& s : history)
        if (s.line == line) return Verdict::SameLine;
    if (history.size() >= kPerHour) return Verdict::OverHourlyLimit;
    history.push_back(Sent{nowMs, std::string(line)});
    return Verdict::Admitted;
}

} // namespace quorlan::server
