#include "SmsLimiter.h"

namespace quorlan::server {

void SmsLimiter::Expire(std::deque<Sent>& history, std::int64_t nowMs) {
    while (!history.empty() && nowMs - history.front().atMs >= kWindowMs) history.pop_front();
}

void SmsLimiter::Sweep(std::int64_t nowMs) {
    for (auto it = sent_.begin(); it != sent_.end();) {
        Expire(it->second, nowMs);
        it = it->second.empty() ? sent_.erase(it) : std::next(it);
    }
}

SmsLimiter::Verdict SmsLimiter::Check(const std::string& phone, std::string_view line, std::int64_t nowMs) {
    // Only the caller's own history is walked on each request; the map as a
    // whole is swept now and then, so it does not keep every account that
    // ever asked.
    if (++checks_ % kSweepEvery == 0) Sweep(nowMs);
    auto it = sent_.find(phone);
    if (it == sent_.end()) return Verdict::Admitted;
    Expire(it->second, nowMs);
    if (it->second.empty()) {
        sent_.erase(it);
        return Verdict::Admitted;
    }
    for (const auto& s : it->second)
        if (s.line == line) return Verdict::SameLine;
    return it->second.size() >= kPerHour ? Verdict::OverHourlyLimit : Verdict::Admitted;
}

void SmsLimiter::Record(const std::string& phone, std::string_view line, std::int64_t nowMs) {
    auto& history = sent_[phone];
    Expire(history, nowMs);
    history.push_back(Sent{nowMs, std::string(line)});
}

SmsLimiter::Verdict SmsLimiter::Admit(const std::string& phone, std::string_view line, std::int64_t nowMs) {
    const Verdict verdict = Check(phone, line, nowMs);
    if (verdict == Verdict::Admitted) Record(phone, line, nowMs);
    return verdict;
}

void SmsLimiter::Release(const std::string& phone, std::string_view line, std::int64_t atMs) {
    const auto it = sent_.find(phone);
    if (it == sent_.end()) return;
    auto& history = it->second;
    for (auto sent = history.begin(); sent != history.end(); ++sent) {
        if (sent->atMs == atMs && sent->line == line) {
            history.erase(sent);
            break;
        }
    }
    if (history.empty()) sent_.erase(it);
}

} // namespace quorlan::server
