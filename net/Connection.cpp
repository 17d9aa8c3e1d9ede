#include "Connection.h"

#include "Codec.h"
#include "base/Cp949.h"

#include <string>

namespace quorlan::net {

Connection::Connection(ISocket& socket, base::ILineLogs& logs, LinkState& state, Sender& sender,
                       IClientActions& actions, const base::IClock& clock, base::IRandomSource& random)
    : socket_(socket), logs_(logs), state_(state), sender_(sender), actions_(actions), clock_(clock), random_(random) {}

std::string Connection::CutOffText() {
    return QUORLAN_CP949("서버 연결 끊김 (재접속 시도 중)");
}

void Connection::Start() {
    downSince_ = clock_.TickMs();
    socket_.Open();
}

void Connection::MainSockConnect() {
    // After an installed update the program is about to close: no handshake.
    if (state_.FUpdateInstalled) return;
    logs_.DebugLog("Socket: Connect");
    sender_.Send(EncodeVersion(kClientBuild));
    // The line has always said 1, whatever build number is sent.
    logs_.DebugLog("Event: Send Version 1");
    linkUp_ = true;
    state_.ReconnectAttempts = 0;
    if (state_.FServerCutOff) {
        state_.FServerCutOff = false;
        actions_.ShowTrayStatus({});
        logs_.AddListMessage(QUORLAN_CP949("서버에 다시 연결되었습니다."));
    }
    actions_.ShowConnectionState(QUORLAN_CP949("연결됨"));
}

void Connection::MainSockDisconnect() {
    // Login, board and monitoring state survive a loss; so do queued bytes.
    logs_.DebugLog("Socket: DisConnect");
    if (linkUp_) {
        linkUp_ = false;
        downSince_ = clock_.TickMs();
    }
    // A failed attempt of a long outage leaves the outage's text standing.
    actions_.ShowConnectionState(state_.FServerCutOff ? CutOffText() : QUORLAN_CP949("연결중지됨"));
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

int Connection::TimerReConnect() {
    if (socket_.Active()) return kReconnectIntervalMs;
    // An attempt still under way after a whole interval is abandoned (its
    // close raises the disconnect event) and a fresh one takes its place, so a
    // silently dropped connect cannot hold the link down for good.
    if (socket_.Connecting()) socket_.Close();
    socket_.Open();
    ++state_.ReconnectAttempts;
    // Unsigned difference: right across the tick's wrap.
    if (!state_.FServerCutOff && clock_.TickMs() - downSince_ > static_cast<std::uint32_t>(kReconnectIntervalMs)) {
        state_.FServerCutOff = true;
        actions_.ShowTrayStatus(CutOffText());
    }
    actions_.ShowConnectionState(state_.FServerCutOff ? CutOffText() : QUORLAN_CP949("연결시도중..."));
    if (state_.ReconnectAttempts < kFastAttempts) return kReconnectIntervalMs;
    return kSlowIntervalMs - kSlowJitterMs + random_.Next(2 * kSlowJitterMs + 1);
}

} // namespace quorlan::net
