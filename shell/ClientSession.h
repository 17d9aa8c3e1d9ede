#pragma once
#include "base/IClock.h"
#include "base/IMessageBox.h"
#include "base/IRandomSource.h"
#include "base/ITimer.h"
#include "client/ClientState.h"
#include "net/Connection.h"
#include "net/Dispatcher.h"
#include "net/IClientActions.h"
#include "net/ISocket.h"
#include "net/PacketReceiver.h"
#include "net/Sender.h"
#include "shell/FindHistory.h"
#include "shell/ISessionTicks.h"
#include "shell/LineLogs.h"
#include "shell/Settings.h"

#include <string>

namespace quorlan::shell {

// The client's session with the coordination server, without any window: the
// settings and session fields, the two line logs, the history of search hits
// (beside the settings file) and the link (receive queue,
// senders, connection, dispatcher) over a socket it is given. The socket's
// owner forwards its events to the MainSock handlers. The session keeps the
// receive pace itself: its framing timer (TimerProcess) runs while received
// bytes wait and frames one packet a tick, with or without any window. The
// main window's reconnect timer forwards its ticks to TimerReConnect.
class ClientSession : public ISessionTicks {
public:
    static constexpr int kProcessIntervalMs = 10;

    // timerProcess: a stopped repeating timer of kProcessIntervalMs whose
    // tick calls TimerProcessTimer.
    ClientSession(std::string settingsPath, net::ISocket& socket, base::ITimer& timerProcess,
                  base::IMessageBox& messageBox, base::IClock& clock, base::IRandomSource& random,
                  net::IClientActions& actions);

    client::ClientState& State() { return state_; }
    LineLogs& Logs() { return logs_; }
    FindHistory& History() { return history_; }
    net::Sender& Sender() { return sender_; }

    // Start-up, in this order: the update check's verdict, the first
    // connection attempt, the session reset, the settings.
    void SetUpdateInstalled(bool installed) { state_.FUpdateInstalled = installed; }
    void Connect() { connection_.Start(); }
    void Reset();
    WindowPlacement LoadSettings();
    // Shutdown: the fields as the windows left them, with the main window's
    // place. A save that fails is told to the user: the debug log is gone at exit.
    void SaveSettings(WindowPlacement placement);

    // Socket events.
    void MainSockConnect() { connection_.MainSockConnect(); }
    void MainSockDisconnect();
    void MainSockRead();
    void MainSockWrite() { connection_.MainSockWrite(); }
    void MainSockError(int& errorCode) { connection_.MainSockError(errorCode); }

    // The framing tick: dispatches at most one whole packet; the timer rests
    // once nothing waits.
    void TimerProcessTimer();
    const base::ITimer& TimerProcess() const { return timerProcess_; }
    // The reconnect tick; the milliseconds until the next one.
    int TimerReConnect() override { return connection_.TimerReConnect(); }

private:
    std::string settingsPath_;
    base::IMessageBox& messageBox_;
    LineLogs logs_;
    FindHistory history_;
    client::ClientState state_;
    net::Sender sender_;
    net::PacketReceiver receiver_;
    net::Connection connection_;
    net::Dispatcher dispatcher_;
    base::ITimer& timerProcess_;
};

} // namespace quorlan::shell
