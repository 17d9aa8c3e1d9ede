#include "LockoutPolicy.h"

namespace quorlan::server {

std::int64_t LockoutPolicy::DelayAfter(int consecutiveFailures) {
    if (consecutiveFailures <= kFreeFailures) return 0;
    if (consecutiveFailures >= kPermanentAfter) return kForever;
    std::int64_t delay = kFirstDelayMs;
    for (int n = kFreeFailures + 1; n < consecutiveFailures && delay < kMaxDelayMs; ++n) delay *= 2;
    return delay < kMaxDelayMs ? delay : kMaxDelayMs;
}

std::int64_t LockoutPolicy::LockedUntil(int consecutiveFailures, std::int64_t nowMs) {
    const std::int64_t delay = DelayAfter(consecutiveFailures);
    if (delay == kForever) return kForever;
    return nowMs + delay;
}

} // namespace quorlan::server
