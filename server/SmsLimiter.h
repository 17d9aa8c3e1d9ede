#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorlan::server {

// Per-account limits on text-message alerts, over a sliding hour: the same
// line is messaged at most once, and at most 30 messages in all. Only admitted
// requests are counted.
class SmsLimiter {
public:
    static constexpr std::size_t kPerHour = 30;
    static constexpr std::int64_t kWindowMs = 3'600'000;

    enum class Verdict { Admitted, SameLine, OverHourlyLimit };
    Verdict Admit(const std::string& phone, std::string_view line, std::int64_t nowMs);

private:
    struct Sent {
        std::int64_t atMs;
        std::string line;
    };
    std::unordered_map<std::string, std::deque<Sent>> sent_;
};

} // namespace quorlan::server
