#pragma once
#include "base/IClock.h"

#include <cstdint>
#include <string>

namespace quorlan::test {

// A clock the test sets by hand.
class FakeClock : public base::IClock {
public:
    std::uint32_t TickMs() const override { return tick; }
    std::string LongTimeNow() const override { return longTime; }

    std::uint32_t tick = 0;
    std::string longTime = "12:34:56";
};

} // namespace quorlan::test
