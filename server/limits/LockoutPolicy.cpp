#include "LockoutPolicy.h"

namespace quorlan::server {

std::int64_t LockoutPolicy::DelayAfter(int consecutiveFailures) {
    if (consecutiveFailures <= kFreeFailures) return 0;
    std::int64_t delay = kFirstDelayMs;
    for (int n = kFreeFailures + 1; n < consecutiveFailures && delay < kMaxDelayMs; ++n) delay *= 2;
    return delay < kMaxDelayMs ? delay : kMaxDelayMs;
}

std::int64_t LockoutPolicy::LockedUntil(int consecutiveFailures, std::int64_t nowMs) {
    return nowMs + DelayAfter(consecutiveFailures);
}

} // namespace quorlan::server
