#pragma once
#include "IClientActions.h"
#include "ISocket.h"
#include "LinkState.h"
#include "Sender.h"
#include "base/IClock.h"
#include "base/ILineLogs.h"
#include "base/IRandomSource.h"

#include <cstdint>
#include <string>

namespace quorlan::net {

// The life of the link to the coordination server: first attempt, version
// handshake on connect, loss, and the reconnect timer (TimerReConnect). The
// owner forwards the socket's events and the timer's ticks to the handlers
// below; connection texts go to the debug log and to ShowConnectionState.
//
// The reconnect timer never gives up. The first kFastAttempts attempts of an
// outage come every kReconnectIntervalMs; later ones every kSlowIntervalMs,
// give or take up to kSlowJitterMs drawn afresh for each, so that a crowd of
// clients waiting out a long server outage does not come back in one wave.
// A connection ends the outage and starts the next one's count afresh.
class Connection {
public:
    static constexpr int kReconnectIntervalMs = 10000;
    static constexpr int kFastAttempts = 100;
    static constexpr int kSlowIntervalMs = 60000;
    static constexpr int kSlowJitterMs = 15000;

    Connection(ISocket& socket, base::ILineLogs& logs, LinkState& state, Sender& sender, IClientActions& actions,
               const base::IClock& clock, base::IRandomSource& random);

    // Start-up attempt (address and port already applied); not counted in
    // ReconnectAttempts. The link is down from here until it connects.
    void Start();

    void MainSockConnect();
    void MainSockDisconnect();
    // Any socket error: logs the code, marks it handled (sets it to 0) and
    // closes the link, which raises the disconnect event.
    void MainSockError(int& errorCode);
    void MainSockWrite();

    // Reconnect tick, also run at once when the machine resumes or the
    // network comes back. Returns the milliseconds until the next tick.
    int TimerReConnect();

    // Second status panel and tray tip once a tick finds the link down for
    // more than one reconnect period, until it connects again.
    static std::string CutOffText();

private:
    ISocket& socket_;
    base::ILineLogs& logs_;
    LinkState& state_;
    Sender& sender_;
    IClientActions& actions_;
    const base::IClock& clock_;
    base::IRandomSource& random_;
    // The link's last connect event is not yet followed by a disconnect.
    bool linkUp_ = false;
    // Tick at which the present outage began (the start-up counts as one).
    std::uint32_t downSince_ = 0;
};

} // namespace quorlan::net
