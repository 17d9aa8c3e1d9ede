#include "Connection.h"

#include "Codec.h"
#include "base/Cp949.h"

#include <string>

namespace quorlan::net {

Connection::Connection(ISocket& socket, base::ILineLogs& logs, LinkState& state, Sender& sender, IClientActions& actions)
    : socket_(socket), logs_(logs), state_(state), sender_(sender), actions_(actions) {}

void Connection::Start() { socket_.Open(); }

void Connection::MainSockConnect() {
    // After an installed update the program is about to close: no handshake.
    if (state_.FUpdateInstalled) return;
    logs_.DebugLog("Socket: Connect");
    sender_.Send(EncodeVersion(kClientBuild));
    // The line has always said 1, whatever build number is sent.
    logs_.DebugLog("Event: Send Version 1");
    actions_.ShowConnectionState(QUORLAN_CP949("연결됨"));
}

void Connection::MainSockDisconnect() {
    // Login, board and monitoring state survive a loss; so do queued bytes.
    logs_.DebugLog("Socket: DisConnect");
    actions_.ShowConnectionState(QUORLAN_CP949("연결중지됨"));
}

void Connection::MainSockError(int& errorCode) {
    logs_.DebugLog("Socket: Socket Error: " + std::to_string(errorCode));
    errorCode = 0;
    socket_.Close();
}

void Connection::MainSockWrite() {
    // Nothing is sent from here: unsent requests are never kept.
    logs_.DebugLog("Socket: Socket OnWrite");
}

bool Connection::TimerReConnect() {
    if (!reconnectEnabled_) return false;
    if (socket_.Active()) return true;
    // An attempt still under way after a whole interval is abandoned (its
    // close raises the disconnect event) and a fresh one takes its place, so a
    // silently dropped connect cannot hold the link down for good.
    if (socket_.Connecting()) socket_.Close();
    socket_.Open();
    actions_.ShowConnectionState(QUORLAN_CP949("연결시도중..."));
    // Counted over the whole run, never reset by a successful connect.
    ++state_.ReconnectAttempts;
    if (state_.ReconnectAttempts > kMaxReconnectAttempts) reconnectEnabled_ = false;
    return reconnectEnabled_;
}

} // namespace quorlan::net
