#pragma once
#include "server/Clock.h"

#include <atomic>
#include <cstdint>

namespace quorlan::test {

// Wall clock set by the test; read by the server's loop thread.
class ManualClock final : public server::IClock {
public:
    std::int64_t NowMs() const override { return now_.load(); }
    void Advance(std::int64_t ms) { now_ += ms; }

private:
    std::atomic<std::int64_t> now_{1'700'000'000'000};
};

} // namespace quorlan::test
