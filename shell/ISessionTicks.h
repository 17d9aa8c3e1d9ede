#pragma once

namespace quorlan::shell {

// The session's two timed duties, as the main window's timers drive them.
class ISessionTicks {
public:
    virtual ~ISessionTicks() = default;
    // The 10 ms framing tick; true when a packet was dispatched.
    virtual bool TimerProcess() = 0;
    // The reconnect tick; false once the reconnect timer is to stop.
    virtual bool TimerReConnect() = 0;
};

} // namespace quorlan::shell
