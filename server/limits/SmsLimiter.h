#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorlan::server {

// Per-account limits on text-message alerts, over a sliding hour: the same
// line is messaged at most once, and at most 30 messages in all. Asking and
// recording are apart: only alerts actually handed to a relay are counted.
class SmsLimiter {
public:
    static constexpr std::size_t kPerHour = 30;
    static constexpr std::int64_t kWindowMs = 3'600'000;
    // Every this many checks, accounts whose hour has run out are forgotten.
    static constexpr std::size_t kSweepEvery = 1024;

    enum class Verdict { Admitted, SameLine, OverHourlyLimit };
    Verdict Check(const std::string& phone, std::string_view line, std::int64_t nowMs);
    void Record(const std::string& phone, std::string_view line, std::int64_t nowMs);
    // Check, and Record when admitted.
    Verdict Admit(const std::string& phone, std::string_view line, std::int64_t nowMs);
    // Forgets the alert recorded at `atMs` (no relay took it after all).
    void Release(const std::string& phone, std::string_view line, std::int64_t atMs);

    // Accounts remembered (for tests and figures).
    std::size_t Accounts() const { return sent_.size(); }

private:
    struct Sent {
        std::int64_t atMs;
        std::string line;
    };
    static void Expire(std::deque<Sent>& history, std::int64_t nowMs);
    void Sweep(std::int64_t nowMs);

    std::unordered_map<std::string, std::deque<Sent>> sent_;
    std::size_t checks_ = 0;
};

} // namespace quorlan::server
