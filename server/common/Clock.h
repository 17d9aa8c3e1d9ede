#pragma once
#include <chrono>
#include <cstdint>

namespace quorlan::server {

// The server's two times. Wall-clock milliseconds (`NowMs`) for what is
// stored or shared and must mean the same after a restart (identification
// numbers, account locks, sign-up counts, board lists, replay memory). Steady
// milliseconds (`SteadyMs`) for every rate limit and lock kept in memory and
// for the checking turns, so that a clock step cannot lift, extend or move
// them. Timers of the event loop run on the steady clock.
class IClock {
public:
    virtual ~IClock() = default;
    virtual std::int64_t NowMs() const = 0;
    virtual std::int64_t SteadyMs() const = 0;
};

class SystemClock final : public IClock {
public:
    std::int64_t NowMs() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
    std::int64_t SteadyMs() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

} // namespace quorlan::server
