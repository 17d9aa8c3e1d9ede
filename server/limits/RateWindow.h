#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorlan::server {

// At most `limit` events in any `windowMs` long stretch of time. Asking and
// recording are apart, so that only what was actually done is counted.
// Allocates nothing until the first event.
class RateWindow {
public:
    RateWindow(std::size_t limit, std::int64_t windowMs) : limit_(limit), windowMs_(windowMs) {}

    // True when another event now would pass the limit.
    bool Full(std::int64_t nowMs);
    void Record(std::int64_t nowMs);
    // True when no event is left in the window.
    bool Empty(std::int64_t nowMs);

private:
    void Expire(std::int64_t nowMs);

    std::size_t limit_;
    std::int64_t windowMs_;
    std::vector<std::int64_t> times_; // oldest first
};

} // namespace quorlan::server
