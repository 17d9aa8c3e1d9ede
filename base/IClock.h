#pragma once
#include <cstdint>
#include <string>

namespace quorlan::base {

// Millisecond tick and time of day. The real clock reads the system; tests
// set both by hand.
class IClock {
public:
    virtual ~IClock() = default;
    // Monotonic millisecond tick; wraps at 2^32 like the platform's.
    virtual std::uint32_t TickMs() const = 0;
    // Current time of day in the system's long time format, cp949.
    virtual std::string LongTimeNow() const = 0;
};

} // namespace quorlan::base
