#pragma once

namespace quorlan::base {

// A window timer as the logic drives it (TimerCompare, TimerShow, ...). The
// owner connects its tick to the logic's handler; tests call the handler
// directly and look at the state.
class ITimer {
public:
    virtual ~ITimer() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool IsActive() const = 0;
};

} // namespace quorlan::base
