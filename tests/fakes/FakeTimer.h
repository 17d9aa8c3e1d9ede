#pragma once
#include "base/ITimer.h"

namespace quorlan::test {

// A timer the test fires by calling the owner's handler; records starts/stops.
class FakeTimer : public base::ITimer {
public:
    void Start() override {
        active = true;
        ++starts;
    }
    void Stop() override {
        active = false;
        ++stops;
    }
    bool IsActive() const override { return active; }

    bool active = false;
    int starts = 0;
    int stops = 0;
};

} // namespace quorlan::test
