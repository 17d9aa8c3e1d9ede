// What an account missed while away from its board, with a hand-set time.
#include "server/store/ReplayBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorlan::server {
namespace {

using Lines = std::vector<std::string>;
constexpr const char* kBoard = "http://b/1";
constexpr const char* kOther = "http://b/2";
constexpr std::int64_t kMinute = 60'000;

TEST(ReplayBuffer, GivesWhatWasMissedOnTheBoardOnceOldestFirst) {
    ReplayBuffer replay(ReplayBuffer::Limits{});
    replay.Forwarded(kBoard, "before leaving", 0);
    replay.Away("01011112222", kBoard, 1'000);
    replay.Forwarded(kBoard, "first", 2'000);
    replay.Forwarded(kOther, "elsewhere", 2'500);
    replay.Forwarded(kBoard, "second", 3'000);
    EXPECT_EQ(replay.Returned("01033334444", kBoard, 4'000), Lines{}); // never away
    EXPECT_EQ(replay.Returned("01011112222", kBoard, 4'000), (Lines{"first", "second"}));
    EXPECT_EQ(replay.Returned("01011112222", kBoard, 4'500), Lines{}); // not twice
    replay.Forwarded(kBoard, "while back", 5'000);
    EXPECT_EQ(replay.Returned("01011112222", kBoard, 6'000), Lines{});
    EXPECT_EQ(replay.AccountsAway(), 0u);
}

TEST(ReplayBuffer, AccountsAwayFromOneBoardEachGetWhatCameAfterTheyLeft) {
    ReplayBuffer replay(ReplayBuffer::Limits{});
    replay.Away("01011112222", kBoard, 0);
    replay.Forwarded(kBoard, "one", 1'000);
    replay.Away("01033334444", kBoard, 2'000);
    replay.Forwarded(kBoard, "two", 3'000);
    EXPECT_EQ(replay.Returned("01033334444", kBoard, 4'000), (Lines{"two"}));
    replay.Forwarded(kBoard, "three", 5'000);
    EXPECT_EQ(replay.Returned("01011112222", kBoard, 6'000), (Lines{"one", "two", "three"}));
    EXPECT_EQ(replay.AccountsAway(), 0u);
}

TEST(ReplayBuffer, ReturningToAnotherBoardDropsWhatWasMissed) {
    ReplayBuffer replay(ReplayBuffer::Limits{});
    replay.Away("01011112222", kBoard, 0);
    replay.Forwarded(kBoard, "missed", 1'000);
    EXPECT_EQ(replay.Returned("01011112222", kOther, 2'000), Lines{});
    EXPECT_EQ(replay.Returned("01011112222", kBoard, 3'000), Lines{});
}

TEST(ReplayBuffer, KeepsTheNewestFiftyLinesOfTheLastThirtyMinutes) {
    struct Case {
        const char* name;
        int lines;              // forwarded one per step from the first step on
        std::int64_t stepMs;
        std::int64_t returnMin; // when the account comes back
        Lines expectedEnds;     // first and last line given, or nothing
        std::size_t count;
    } cases[] = {
        {"a few, soon back", 3, kMinute, 4, {"line1", "line3"}, 3},
        {"over fifty", 60, 10'000, 11, {"line11", "line60"}, 50},
        {"older than thirty minutes", 10, kMinute, 40, {"line10", "line10"}, 1},
        {"all too old", 5, kMinute, 60, {}, 0},
    };
    for (const auto& c : cases) {
        ReplayBuffer replay(ReplayBuffer::Limits{});
        replay.Away("01011112222", kBoard, 0);
        for (int i = 1; i <= c.lines; ++i) replay.Forwarded(kBoard, "line" + std::to_string(i), i * c.stepMs);
        const Lines got = replay.Returned("01011112222", kBoard, c.returnMin * kMinute);
        ASSERT_EQ(got.size(), c.count) << c.name;
        if (c.count == 0) continue;
        EXPECT_EQ(got.front(), c.expectedEnds[0]) << c.name;
        EXPECT_EQ(got.back(), c.expectedEnds[1]) << c.name;
    }
}

TEST(ReplayBuffer, AnAccountAwayLongerThanThirtyMinutesStaysWhileLinesKeepComing) {
    ReplayBuffer replay(ReplayBuffer::Limits{});
    replay.Away("01011112222", kBoard, 0);
    for (std::int64_t minute : {10, 35, 60}) replay.Forwarded(kBoard, "at " + std::to_string(minute), minute * kMinute);
    EXPECT_EQ(replay.Returned("01011112222", kBoard, 62 * kMinute), (Lines{"at 35", "at 60"}));
}

TEST(ReplayBuffer, ForgetsTheAccountsAwayLongestBeyondItsLimitOrWithNothingLeft) {
    ReplayBuffer replay(ReplayBuffer::Limits{30 * kMinute, 50, 2});
    replay.Away("a", kBoard, 0);
    replay.Away("b", kBoard, 1);
    replay.Away("c", kBoard, 2); // "a" goes
    replay.Forwarded(kBoard, "x", 3);
    EXPECT_EQ(replay.AccountsAway(), 2u);
    EXPECT_EQ(replay.Returned("a", kBoard, 4), Lines{});
    EXPECT_EQ(replay.Returned("c", kBoard, 4), Lines{"x"});
    replay.Away("d", kOther, 31 * kMinute + 10); // "b" has nothing of use left
    EXPECT_EQ(replay.AccountsAway(), 1u);
}

} // namespace
} // namespace quorlan::server
