#include "shell/CountdownDisplay.h"

#include "base/Cp949.h"
#include "fakes/FakeClock.h"

#include <gtest/gtest.h>

namespace quorlan::shell {
namespace {

class CountdownDisplayTest : public ::testing::Test {
protected:
    // Runs ticks until the next whole-second tick and returns its panel text.
    std::string NextSecond() {
        for (int i = 0; i < CountdownDisplay::kTicksPerUpdate; ++i) {
            const auto tick = display.TimerDisplayTimer();
            if (tick.panelChanged) return base::Utf8FromCp949(tick.panelText);
        }
        ADD_FAILURE() << "no countdown within one second";
        return {};
    }

    client::ClientState state;
    test::FakeClock clock;
    CountdownDisplay display{state, clock};
};

TEST_F(CountdownDisplayTest, TextTable) {
    struct Case {
        std::int32_t repeat;
        std::uint32_t elapsed;
        const char* text;
    } cases[] = {
        {600, 0, "검색예정 600초 남았습니다."},           {600, 599, "검색예정 1초 남았습니다."},
        {600, 600, "검색예정 0초 남았습니다."},           {600, 601, "검색예정 -1초 남았습니다."},
        {0, 4294967, "검색예정 -4294967초 남았습니다."},  {2147483647, 0, "검색예정 2147483647초 남았습니다."},
        {-5, 4294967, "검색예정 -4294972초 남았습니다."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(base::Utf8FromCp949(CountdownDisplay::CountdownText(c.repeat, c.elapsed)), c.text)
            << c.repeat << " " << c.elapsed;
    }
}

TEST_F(CountdownDisplayTest, OnlyEveryTenthTickWhileSearching) {
    state.FSearching = true;
    int changed = 0;
    for (int i = 1; i <= 30; ++i) {
        const auto tick = display.TimerDisplayTimer();
        EXPECT_EQ(tick.panelChanged, i % 10 == 0) << i;
        changed += tick.panelChanged ? 1 : 0;
    }
    EXPECT_EQ(changed, 3);
}

TEST_F(CountdownDisplayTest, StoppedNeverTouchesThePanelButStillCountsTicks) {
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(display.TimerDisplayTimer().panelChanged);
    EXPECT_EQ(display.DisplayTicks(), 20);
}

TEST_F(CountdownDisplayTest, CountsDownFromTheRepeatAndGoesBelowZero) {
    state.FSearching = true;
    state.FRepeat = 600;
    state.CycleStartTime = 1000;
    clock.tick = 1999; // 0.999 s: truncated to 0
    EXPECT_EQ(NextSecond(), "검색예정 600초 남았습니다.");
    clock.tick = 1000 + 600 * 1000;
    EXPECT_EQ(NextSecond(), "검색예정 0초 남았습니다.");
    clock.tick = 1000 + 612 * 1000 + 500;
    EXPECT_EQ(NextSecond(), "검색예정 -12초 남았습니다.");
}

TEST_F(CountdownDisplayTest, ElapsedTimeSurvivesTheTickWrap) {
    state.FSearching = true;
    state.FRepeat = 600;
    state.CycleStartTime = 0xFFFFFC18U; // 1 s before the wrap
    clock.tick = 4000;                  // 5 s later
    EXPECT_EQ(NextSecond(), "검색예정 595초 남았습니다.");
}

TEST_F(CountdownDisplayTest, InstalledUpdateClosesOnEveryTickAndTheCountdownStillRuns) {
    state.FUpdateInstalled = true;
    state.FSearching = true;
    for (int i = 1; i <= 10; ++i) {
        const auto tick = display.TimerDisplayTimer();
        EXPECT_TRUE(tick.closeWindow);
        EXPECT_EQ(tick.panelChanged, i == 10);
    }
    state.FUpdateInstalled = false;
    EXPECT_FALSE(display.TimerDisplayTimer().closeWindow);
}

} // namespace
} // namespace quorlan::shell
