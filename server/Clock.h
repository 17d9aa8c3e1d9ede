#pragma once
#include <chrono>
#include <cstdint>

namespace quorlan::server {

// Wall-clock milliseconds for everything the server stores or limits by time
// (identification numbers, lockouts, SMS limits, duplicate memory). Timers of
// the event loop run on the steady clock and take their lengths from the
// configuration instead.
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

} // namespace quorlan::server
