#pragma once
#include <cstdint>

namespace quorlan::server {

// How long an account stays locked after its n-th consecutive failed login.
// The first four failures cost nothing; from the fifth on each failure locks
// the account for a delay that doubles up to a cap; the hundredth in a row
// locks it until the operator lifts the lock (`quorlan-server unlock PHONE`).
struct LockoutPolicy {
    static constexpr int kFreeFailures = 4;
    static constexpr int kPermanentAfter = 100;
    static constexpr std::int64_t kFirstDelayMs = 30'000;
    static constexpr std::int64_t kMaxDelayMs = 3'600'000;
    // Stored as the lock end of an account locked for good.
    static constexpr std::int64_t kForever = INT64_MAX;

    // Milliseconds of lock after the given count of consecutive failures.
    static std::int64_t DelayAfter(int consecutiveFailures);
    // The time the lock ends (kForever for a permanent lock, nowMs for none).
    static std::int64_t LockedUntil(int consecutiveFailures, std::int64_t nowMs);
};

} // namespace quorlan::server
