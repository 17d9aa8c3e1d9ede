#pragma once
#include "server/common/Clock.h"

#include <atomic>
#include <cstdint>

namespace quorlan::test {

// Wall and steady clock set by the test, moving together; read by the
// server's loop thread.
class ManualClock final : public server::IClock {
public:
    std::int64_t NowMs() const override { return now_.load(); }
    std::int64_t SteadyMs() const override { return now_.load() - kWallStart + kSteadyStart; }
    void Advance(std::int64_t ms) { now_ += ms; }

private:
    static constexpr std::int64_t kWallStart = 1'700'000'000'000;
    static constexpr std::int64_t kSteadyStart = 5'000'000;
    std::atomic<std::int64_t> now_{kWallStart};
};

} // namespace quorlan::test
