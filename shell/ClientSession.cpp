#include "shell/ClientSession.h"

#include <filesystem>

namespace quorlan::shell {

ClientSession::ClientSession(std::string settingsPath, net::ISocket& socket, base::ITimer& timerProcess,
                             base::IMessageBox& messageBox, base::IClock& clock, base::IRandomSource& random,
                             net::IClientActions& actions)
    : settingsPath_(std::move(settingsPath)), messageBox_(messageBox),
      history_(std::filesystem::path(settingsPath_).replace_filename(kHistoryFileName).string(), logs_),
      sender_(socket, logs_, messageBox),
      receiver_(socket, logs_,
                [this](const std::uint8_t* packet, int length) { dispatcher_.DispatchPacket(packet, length); }),
      connection_(socket, logs_, state_, sender_, actions, clock, random),
      dispatcher_(logs_, state_, sender_, actions, clock), timerProcess_(timerProcess) {}

void ClientSession::Reset() {
    state_.FSearching = false;
    state_.FBoardURL.clear();
    state_.FLoggedIn = false;
    state_.FBoardSet = false;
}

void ClientSession::MainSockRead() {
    receiver_.MainSockRead();
    if (receiver_.HasWork() && !timerProcess_.IsActive()) timerProcess_.Start();
}

void ClientSession::TimerProcessTimer() {
    (void)receiver_.TimerProcess();
    if (!receiver_.HasWork()) timerProcess_.Stop();
}

void ClientSession::MainSockDisconnect() {
    connection_.MainSockDisconnect();
    receiver_.DropUnfinishedPacket();
}

WindowPlacement ClientSession::LoadSettings() {
    return shell::LoadSettings(settingsPath_, state_, logs_);
}

void ClientSession::SaveSettings(WindowPlacement placement) {
    if (!shell::SaveSettings(settingsPath_, state_, placement, logs_).ok) {
        messageBox_.ShowMessage("Unable to write to " + settingsPath_);
    }
}

} // namespace quorlan::shell
