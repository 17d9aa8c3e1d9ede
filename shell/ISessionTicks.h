#pragma once
#include "net/Connection.h"

namespace quorlan::shell {

// The session's reconnect duty, as the main window's timer drives it.
class ISessionTicks {
public:
    static constexpr int kReconnectIntervalMs = net::Connection::kReconnectIntervalMs;

    virtual ~ISessionTicks() = default;
    // The reconnect tick; the milliseconds until the next one.
    virtual int TimerReConnect() = 0;
};

} // namespace quorlan::shell
