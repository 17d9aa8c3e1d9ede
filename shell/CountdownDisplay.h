#pragma once
#include "base/IClock.h"
#include "client/ClientState.h"

#include <cstdint>
#include <string>

namespace quorlan::shell {

// TimerDisplay (every 100 ms): the close after an installed update and, while
// monitoring and not cut off from the server, the countdown to the next check
// in status panel 1 once a second.
class CountdownDisplay {
public:
    static constexpr int kIntervalMs = 100;
    static constexpr int kTicksPerUpdate = 10;

    struct Tick {
        bool closeWindow = false;
        bool panelChanged = false;
        std::string panelText; // cp949, for status panel 1
    };

    CountdownDisplay(const client::ClientState& state, const base::IClock& clock);

    // One tick. The countdown is not clamped: without a new post list from the
    // server it goes on below zero.
    Tick TimerDisplayTimer();
    // Whether a tick has anything to do (the close, or the countdown); while
    // it has not, the timer rests.
    bool HasWork() const { return state_.FUpdateInstalled || state_.FSearching; }

    // "검색예정 " N "초 남았습니다." with N = repeat - elapsedSeconds.
    static std::string CountdownText(std::int32_t repeatSeconds, std::uint32_t elapsedSeconds);

    std::int32_t DisplayTicks() const { return displayTicks_; }

private:
    const client::ClientState& state_;
    const base::IClock& clock_;
    std::int32_t displayTicks_ = 0;
};

} // namespace quorlan::shell
