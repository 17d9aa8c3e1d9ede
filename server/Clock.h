#pragma once
#include <chrono>
#include <cstdint>

namespace quorlan::server {

// Milliseconds of a clock. The wall clock serves everything the server stores
// or limits by date (identification numbers, lockouts, SMS limits, duplicate
// and replay memory); the checking turns run on a monotonic clock, which no
// adjustment of the date moves.
class IClock {
public:
    virtual ~IClock() = default;
    virtual std::int64_t NowMs() const = 0;
};

class SystemClock final : public IClock {
public:
    std::int64_t NowMs() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
};

class SteadyClock final : public IClock {
public:
    std::int64_t NowMs() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

} // namespace quorlan::server
