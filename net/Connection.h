#pragma once
#include "IClientActions.h"
#include "ISocket.h"
#include "LinkState.h"
#include "Sender.h"
#include "base/ILineLogs.h"

namespace quorlan::net {

// The life of the link to the coordination server: first attempt, version
// handshake on connect, loss, and the reconnect timer (TimerReConnect, every
// 10,000 ms). The owner forwards the socket's events and the timer's ticks to
// the handlers below; connection texts go to the debug log and to
// ShowConnectionState.
class Connection {
public:
    static constexpr int kReconnectIntervalMs = 10000;
    // The tick that takes ReconnectAttempts past this value disables the timer,
    // after starting its own attempt: at most 101 timer attempts per run.
    static constexpr int kMaxReconnectAttempts = 100;

    Connection(ISocket& socket, base::ILineLogs& logs, LinkState& state, Sender& sender, IClientActions& actions);

    // Start-up attempt (address and port already applied); not counted in
    // ReconnectAttempts.
    void Start();

    void MainSockConnect();
    void MainSockDisconnect();
    // Any socket error: logs the code, marks it handled (sets it to 0) and
    // closes the link, which raises the disconnect event.
    void MainSockError(int& errorCode);
    void MainSockWrite();

    // Reconnect tick. Returns whether the timer stays enabled; once it has
    // returned false every later tick does nothing.
    bool TimerReConnect();
    bool ReconnectEnabled() const { return reconnectEnabled_; }

private:
    ISocket& socket_;
    base::ILineLogs& logs_;
    LinkState& state_;
    Sender& sender_;
    IClientActions& actions_;
    bool reconnectEnabled_ = true;
};

} // namespace quorlan::net
