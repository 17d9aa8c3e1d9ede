#pragma once
#include "net/IClock.h"

namespace quorlan::shell::ui {

// The real clock: a monotonic millisecond tick that wraps at 2^32, and the
// local time of day as "HH:MM:SS".
class SystemClock : public net::IClock {
public:
    std::uint32_t TickMs() const override;
    std::string LongTimeNow() const override;
};

} // namespace quorlan::shell::ui
