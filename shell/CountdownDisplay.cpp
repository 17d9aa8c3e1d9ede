#include "shell/CountdownDisplay.h"

#include "base/Cp949.h"

namespace quorlan::shell {

CountdownDisplay::CountdownDisplay(const client::ClientState& state, const base::IClock& clock)
    : state_(state), clock_(clock) {}

std::string CountdownDisplay::CountdownText(std::int32_t repeatSeconds, std::uint32_t elapsedSeconds) {
    // Signed 64-bit difference: a 32-bit period minus an unsigned 32-bit
    // elapsed count can neither wrap nor overflow here.
    const std::int64_t remaining = static_cast<std::int64_t>(repeatSeconds) - static_cast<std::int64_t>(elapsedSeconds);
    return QUORLAN_CP949("검색예정 ") + std::to_string(remaining) + QUORLAN_CP949("초 남았습니다.");
}

CountdownDisplay::Tick CountdownDisplay::TimerDisplayTimer() {
    Tick tick;
    tick.closeWindow = state_.FUpdateInstalled;
    // Counting wraps like the 32-bit counter it stands for instead of
    // overflowing after about seven years of ticks.
    displayTicks_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(displayTicks_) + 1U);
    // Cut off from the server no check is coming: the link's text stays.
    if (state_.FSearching && !state_.FServerCutOff && displayTicks_ % kTicksPerUpdate == 0) {
        // The tick wraps at 2^32, and unsigned subtraction gives the right
        // elapsed time across the wrap.
        const std::uint32_t elapsed = (clock_.TickMs() - state_.CycleStartTime) / 1000U;
        tick.panelChanged = true;
        tick.panelText = CountdownText(state_.FRepeat, elapsed);
    }
    return tick;
}

} // namespace quorlan::shell
