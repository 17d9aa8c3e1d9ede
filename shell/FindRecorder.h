#pragma once
#include "client/ClientState.h"
#include "shell/FindHistory.h"
#include "base/IAlertSound.h"

#include <functional>
#include <string>

namespace quorlan::shell {

// What a search hit leaves besides the alert: a row in the history (the time,
// the board watched, the line and the condition that matched) and, with the sound
// switched on (FSound), the alert sound.
class FindRecorder {
public:
    // The local time as the history shows it; the system's unless given.
    using Now = std::function<std::string()>;

    FindRecorder(const client::ClientState& state, FindHistory& history, base::IAlertSound& sound, Now now = {});

    void Found(const std::string& line, const std::string& condition);

private:
    const client::ClientState& state_;
    FindHistory& history_;
    base::IAlertSound& sound_;
    Now now_;
};

} // namespace quorlan::shell
