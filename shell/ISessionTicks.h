#pragma once
#include <functional>

namespace quorlan::shell {

// The session's two timed duties, as the main window's timers drive them.
class ISessionTicks {
public:
    virtual ~ISessionTicks() = default;
    // The 10 ms framing tick; true when a packet was dispatched.
    virtual bool TimerProcess() = 0;
    // Whether the framing tick has work; while it has none, its timer rests.
    virtual bool FramingPending() = 0;
    // Called whenever received bytes give the framing tick work.
    virtual void SetFramingWake(std::function<void()> wake) = 0;
    // The reconnect tick; the milliseconds until the next one.
    virtual int TimerReConnect() = 0;
};

} // namespace quorlan::shell
