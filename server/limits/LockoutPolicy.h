#pragma once
#include <cstdint>

namespace quorlan::server {

// How long an account stays locked, for every address, after its n-th
// consecutive failed login. One address alone is stopped by the limits per
// address (TrustRules) before it reaches kFreeFailures, so the account-wide
// lock needs many addresses failing together; it doubles from kFirstDelayMs
// and never passes kMaxDelayMs, so nobody can lock an owner out for good.
// Operators can lift it at once (`quorlan-server unlock PHONE`).
struct LockoutPolicy {
    static constexpr int kFreeFailures = 20;
    static constexpr std::int64_t kFirstDelayMs = 30'000;
    static constexpr std::int64_t kMaxDelayMs = 15 * 60'000;

    // Milliseconds of lock after the given count of consecutive failures.
    static std::int64_t DelayAfter(int consecutiveFailures);
    // The time the lock ends (nowMs for none).
    static std::int64_t LockedUntil(int consecutiveFailures, std::int64_t nowMs);
};

} // namespace quorlan::server
