// The turn rules played through with a hand-set clock: asks answered at
// once unless a client is silent, time moved to each moment the scheduler
// names, membership changed at given times.
#include "server/boards/Scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quorlan::server {
namespace {

using TimeMs = Scheduler::TimeMs;
constexpr const char* kBoard = "http://site.example/bbs?id=a";
constexpr const char* kHost = "site.example";

struct Ask {
    TimeMs at;
    std::string url;
    SessionId id;
    Scheduler::Kind kind;
};

class Simulation {
public:
    explicit Simulation(Scheduler::Options options) : scheduler(options) {}

    // The board's monitoring clients from `at` on.
    void SetCrowd(TimeMs at, std::string url, std::string host, std::vector<Scheduler::Checker> crowd) {
        events_.emplace(at, [this, url, host, crowd](TimeMs now) {
            std::set<SessionId> staying;
            for (const auto& c : crowd) staying.insert(c.id);
            for (SessionId id : members_[url])
                if (!staying.count(id)) scheduler.Left(url, id);
            members_[url] = staying;
            scheduler.Update(url, host, crowd, true, now);
        });
    }
    void Silence(SessionId id) { silent_.insert(id); }

    void Run(TimeMs until) {
        TimeMs now = 0;
        while (now <= until) {
            while (!events_.empty() && events_.begin()->first <= now) {
                events_.begin()->second(now);
                events_.erase(events_.begin());
            }
            const Scheduler::Step step = scheduler.Advance(now);
            for (const auto& a : step.asks) {
                asks.push_back({now, a.url, a.id, a.kind});
                if (!silent_.count(a.id)) {
                    EXPECT_TRUE(scheduler.Answered(a.url, a.id, a.kind, true));
                }
            }
            if (!step.asks.empty()) continue; // an answer may make another board ready
            TimeMs next = step.wakeAt.value_or(until + 1);
            if (!events_.empty()) next = std::min(next, events_.begin()->first);
            ASSERT_GT(next, now) << "no progress at " << now;
            now = next;
        }
    }

    std::vector<TimeMs> Times(const std::function<bool(const Ask&)>& which) const {
        std::vector<TimeMs> times;
        for (const auto& a : asks)
            if (which(a)) times.push_back(a.at);
        return times;
    }
    std::vector<TimeMs> OfClient(SessionId id) const {
        return Times([id](const Ask& a) { return a.id == id; });
    }
    std::vector<TimeMs> OfBoard(const std::string& url) const {
        return Times([&url](const Ask& a) { return a.url == url; });
    }

    Scheduler scheduler;
    std::vector<Ask> asks;

private:
    std::multimap<TimeMs, std::function<void(TimeMs)>> events_;
    std::map<std::string, std::set<SessionId>> members_;
    std::set<SessionId> silent_;
};

std::vector<TimeMs> Gaps(const std::vector<TimeMs>& times) {
    std::vector<TimeMs> gaps;
    for (std::size_t i = 1; i < times.size(); ++i) gaps.push_back(times[i] - times[i - 1]);
    return gaps;
}

std::vector<Scheduler::Checker> Crowd(std::vector<TimeMs> intervals) {
    std::vector<Scheduler::Checker> crowd;
    for (std::size_t i = 0; i < intervals.size(); ++i) crowd.push_back({i + 1, intervals[i]});
    return crowd;
}

std::vector<TimeMs> Same(std::size_t n, TimeMs interval) { return std::vector<TimeMs>(n, interval); }

struct CrowdCase {
    const char* name;
    TimeMs floorMs;
    std::vector<TimeMs> intervals;
    // The gap between checks of the board that the budgets together allow,
    // or the floor when that is longer: no gap is shorter.
    TimeMs gapMs;
    // How much longer the mean gap may be: clients with unequal intervals
    // cannot always fill every slot, since none is asked before its time.
    TimeMs slackMs;
};

class CrowdRule : public ::testing::TestWithParam<CrowdCase> {};

TEST_P(CrowdRule, TheBoardIsCheckedAsOftenAsTheBudgetsAllowAndNoClientMoreOftenThanItsOwn) {
    const CrowdCase& c = GetParam();
    Simulation sim({c.floorMs, c.floorMs, 30'000});
    sim.SetCrowd(0, kBoard, kHost, Crowd(c.intervals));
    const TimeMs horizon = 20 * *std::max_element(c.intervals.begin(), c.intervals.end());
    sim.Run(horizon);

    const auto board = sim.OfBoard(kBoard);
    ASSERT_GE(board.size(), 10u);
    const auto gaps = Gaps(board);
    // Never more often than the floor; spread evenly, no bursts.
    EXPECT_GE(*std::min_element(gaps.begin(), gaps.end()), c.gapMs);
    const double mean = static_cast<double>(board.back() - board.front()) / static_cast<double>(gaps.size());
    EXPECT_LE(mean, static_cast<double>(c.gapMs + c.slackMs));
    for (std::size_t i = 0; i < c.intervals.size(); ++i) {
        const auto mine = sim.OfClient(i + 1);
        ASSERT_FALSE(mine.empty()) << "client " << i + 1 << " never asked";
        for (TimeMs gap : Gaps(mine)) EXPECT_GE(gap, c.intervals[i]) << "client " << i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Crowds, CrowdRule,
    ::testing::Values(
        CrowdCase{"OneClient", 60'000, Same(1, 600'000), 600'000, 0},
        CrowdCase{"TwoEqual", 60'000, Same(2, 600'000), 300'000, 0},
        CrowdCase{"TenEqualReachTheFloor", 60'000, Same(10, 600'000), 60'000, 0},
        CrowdCase{"HundredEqualHeldAtTheFloor", 60'000, Same(100, 600'000), 60'000, 0},
        CrowdCase{"FourAtEightSecondsFloorOne", 1'000, Same(4, 8'000), 2'000, 0},
        // 1/(1/120 + 1/600) = 100 s
        CrowdCase{"TwoUnequal", 10'000, {120'000, 600'000}, 100'000, 15'000},
        // 1/(4/600 + 6/1200) = 85.7 s
        CrowdCase{"TenUnequal", 10'000, {600'000, 600'000, 600'000, 600'000, 1'200'000, 1'200'000, 1'200'000,
                                         1'200'000, 1'200'000, 1'200'000},
                  85'714, 10'000},
        CrowdCase{"HundredUnequalHeldAtTheFloor", 60'000,
                  [] {
                      std::vector<TimeMs> v;
                      for (int i = 0; i < 100; ++i) v.push_back(600'000 + 60'000 * (i % 10));
                      return v;
                  }(),
                  60'000, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Scheduler, ChangesToldOneClientAtATimeScheduleAsTheWholeCrowdDoes) {
    struct Change {
        TimeMs at;
        SessionId id;
        TimeMs intervalMs; // 0: stops monitoring
        bool leaves;
    };
    const std::vector<Change> changes = {
        {0, 1, 600'000, false},       {0, 2, 300'000, false},         {100'000, 3, 120'000, false},
        {400'000, 2, 0, false},       {700'000, 2, 300'000, false},   {900'000, 1, 200'000, false},
        {1'200'000, 3, 0, true},      {1'500'000, 4, 90'000, false},  {2'000'000, 4, 0, false},
    };
    const Scheduler::Options options{60'000, 60'000, 30'000};
    Scheduler whole(options), each(options);
    each.Update(kBoard, kHost, {}, true, 0); // the board's list is known
    std::map<SessionId, Scheduler::Checker> crowd;
    std::vector<std::pair<TimeMs, SessionId>> wholeAsks, eachAsks;
    std::size_t next = 0;
    for (TimeMs now = 0; now <= 3'000'000; now += 5'000) {
        for (; next < changes.size() && changes[next].at <= now; ++next) {
            const Change& c = changes[next];
            if (c.leaves) {
                crowd.erase(c.id);
                whole.Left(kBoard, c.id);
                each.Left(kBoard, c.id);
            } else if (c.intervalMs == 0) {
                crowd.erase(c.id);
                each.Pause(kBoard, c.id);
            } else {
                crowd[c.id] = {c.id, c.intervalMs};
                each.Set(kBoard, kHost, {c.id, c.intervalMs}, now);
            }
            std::vector<Scheduler::Checker> list;
            for (const auto& entry : crowd) list.push_back(entry.second);
            whole.Update(kBoard, kHost, list, true, now);
        }
        for (auto [scheduler, asks] : {std::pair{&whole, &wholeAsks}, std::pair{&each, &eachAsks}}) {
            for (const auto& ask : scheduler->Advance(now).asks) {
                asks->emplace_back(now, ask.id);
                EXPECT_TRUE(scheduler->Answered(ask.url, ask.id, ask.kind, true));
            }
        }
    }
    EXPECT_GE(eachAsks.size(), 15u);
    EXPECT_EQ(eachAsks, wholeAsks);
    EXPECT_EQ(each.BoardFigures(kBoard)->intervalMs, whole.BoardFigures(kBoard)->intervalMs);
}

TEST(Scheduler, ABaselineIsAskedAgainOnlyAtTheFloor) {
    Scheduler scheduler({1'000, 1'000, 500});
    scheduler.Update(kBoard, kHost, {{1, 5'000}, {2, 5'000}}, false, 0);
    ASSERT_EQ(scheduler.Advance(0).asks.size(), 1u);
    // Answered with nothing (no page shown): still no list.
    ASSERT_TRUE(scheduler.Answered(kBoard, 1, Scheduler::Kind::Baseline, false));
    auto step = scheduler.Advance(0);
    EXPECT_TRUE(step.asks.empty());
    EXPECT_EQ(step.wakeAt, 1'000);
    step = scheduler.Advance(1'000);
    ASSERT_EQ(step.asks.size(), 1u);
    EXPECT_EQ(step.asks[0].kind, Scheduler::Kind::Baseline);
}

TEST(Scheduler, TheFirstAskOfABoardWithoutAListIsABaselineAndOnlyChecksHoldTheBoard) {
    Scheduler scheduler({1'000, 1'000, 500});
    scheduler.Update(kBoard, kHost, {{1, 1'000}}, false, 0);
    auto step = scheduler.Advance(0);
    ASSERT_EQ(step.asks.size(), 1u);
    EXPECT_EQ(step.asks[0].kind, Scheduler::Kind::Baseline);
    EXPECT_FALSE(scheduler.HoldsCheck(kBoard, 1));
    EXPECT_FALSE(scheduler.Answered(kBoard, 1, Scheduler::Kind::Check, true)); // not what was asked
    EXPECT_TRUE(scheduler.Answered(kBoard, 1, Scheduler::Kind::Baseline, true));
    EXPECT_FALSE(scheduler.Answered(kBoard, 1, Scheduler::Kind::Baseline, true)); // answered once
    EXPECT_EQ(step.wakeAt, 500); // the answer's deadline
    // The baseline loaded nothing: the first check follows at once.
    step = scheduler.Advance(10);
    ASSERT_EQ(step.asks.size(), 1u);
    EXPECT_EQ(step.asks[0].kind, Scheduler::Kind::Check);
    EXPECT_TRUE(scheduler.HoldsCheck(kBoard, 1));
    // Its posts follow its report, when the next check may already be asked.
    scheduler.Update(kBoard, kHost, {{1, 1'000}, {2, 1'000}}, true, 20);
    ASSERT_TRUE(scheduler.Answered(kBoard, 1, Scheduler::Kind::Check, true));
    step = scheduler.Advance(1'010);
    ASSERT_EQ(step.asks.size(), 1u);
    EXPECT_EQ(step.asks[0].id, 2u);
    EXPECT_TRUE(scheduler.HoldsCheck(kBoard, 1));
    EXPECT_TRUE(scheduler.HoldsCheck(kBoard, 2));
    // Until the next report: then only the new reporter.
    ASSERT_TRUE(scheduler.Answered(kBoard, 2, Scheduler::Kind::Check, true));
    EXPECT_FALSE(scheduler.HoldsCheck(kBoard, 1));
    EXPECT_TRUE(scheduler.HoldsCheck(kBoard, 2));
    scheduler.Left(kBoard, 2);
    EXPECT_FALSE(scheduler.HoldsCheck(kBoard, 2));
}

TEST(Scheduler, ClientsJoiningAndLeavingChangeThePaceWithoutABurst) {
    Simulation sim({10'000, 10'000, 5'000});
    sim.SetCrowd(0, kBoard, kHost, Crowd({600'000}));
    sim.SetCrowd(1'000'000, kBoard, kHost, Crowd({600'000, 600'000}));
    sim.SetCrowd(2'500'000, kBoard, kHost, Crowd({600'000})); // client 2 leaves
    sim.Run(3'700'000);
    const std::vector<TimeMs> expected = {0,         600'000,   1'000'000, 1'300'000, 1'600'000, 1'900'000,
                                          2'200'000, 2'800'000, 3'400'000};
    EXPECT_EQ(sim.OfBoard(kBoard), expected);
    EXPECT_EQ(sim.OfClient(2), (std::vector<TimeMs>{1'000'000, 1'600'000, 2'200'000}));
}

TEST(Scheduler, PausingMonitoringKeepsTheClientsBudgetSpent) {
    Scheduler scheduler({10'000, 10'000, 5'000});
    scheduler.Update(kBoard, kHost, {{1, 600'000}}, true, 0);
    auto step = scheduler.Advance(0);
    ASSERT_EQ(step.asks.size(), 1u);
    ASSERT_TRUE(scheduler.Answered(kBoard, 1, Scheduler::Kind::Check, true));
    scheduler.Update(kBoard, kHost, {}, true, 500);             // client 1 pauses
    scheduler.Update(kBoard, kHost, {{1, 600'000}}, true, 600); // and resumes
    scheduler.Update(kBoard, kHost, Crowd({600'000, 600'000}), true, 1'000);
    // Board every 300 s now; client 1 spent its budget at 0, so client 2 it is.
    step = scheduler.Advance(300'000);
    ASSERT_EQ(step.asks.size(), 1u);
    EXPECT_EQ(step.asks[0].id, 2u);
    ASSERT_TRUE(scheduler.Answered(kBoard, 2, Scheduler::Kind::Check, true));
    step = scheduler.Advance(599'999);
    EXPECT_TRUE(step.asks.empty());
    EXPECT_EQ(step.wakeAt, 600'000);
    step = scheduler.Advance(600'000);
    ASSERT_EQ(step.asks.size(), 1u);
    EXPECT_EQ(step.asks[0].id, 1u);
}

TEST(Scheduler, BoardsOnOneHostShareTheSiteInterval) {
    struct Case {
        TimeMs siteMs;
        std::vector<TimeMs> boardA, boardB, elsewhere;
    } cases[] = {
        // Floor 60 s, clients at 60 s: the host allows one check per 30 s,
        // so the second board comes 30 s after the first.
        {30'000, {0, 60'000, 120'000, 180'000}, {30'000, 90'000, 150'000}, {0, 60'000, 120'000, 180'000}},
        // One check per 60 s for the host: each board every 120 s.
        {60'000, {0, 120'000}, {60'000, 180'000}, {0, 60'000, 120'000, 180'000}},
    };
    for (const auto& c : cases) {
        Simulation sim({60'000, c.siteMs, 10'000});
        sim.SetCrowd(0, "http://site.example/a", kHost, {{1, 60'000}});
        sim.SetCrowd(0, "http://site.example:81/b", kHost, {{2, 60'000}});
        sim.SetCrowd(0, "http://other.example/c", "other.example", {{3, 60'000}});
        sim.Run(180'000);
        EXPECT_EQ(sim.OfBoard("http://site.example/a"), c.boardA) << c.siteMs;
        EXPECT_EQ(sim.OfBoard("http://site.example:81/b"), c.boardB) << c.siteMs;
        EXPECT_EQ(sim.OfBoard("http://other.example/c"), c.elsewhere) << c.siteMs;
    }
}

TEST(Scheduler, ASilentClientLosesItsTurnsAndIsPassedOverAfterThreeInARow) {
    // Two clients at 600 s (board every 300 s), floor 60 s, 30 s to answer.
    Simulation sim({60'000, 60'000, 30'000});
    sim.SetCrowd(0, kBoard, kHost, Crowd({600'000, 600'000}));
    sim.Silence(2);
    sim.Run(3'000'000);
    // Client 2 is asked at 300, 900 and 1500 s and never answers; each time
    // client 1 gets the board once its own budget allows. After the third
    // silence only client 1's budget counts.
    EXPECT_EQ(sim.OfClient(2), (std::vector<TimeMs>{300'000, 900'000, 1'500'000}));
    EXPECT_EQ(sim.OfClient(1), (std::vector<TimeMs>{0, 600'000, 1'200'000, 1'800'000, 2'400'000, 3'000'000}));
    for (TimeMs gap : Gaps(sim.OfBoard(kBoard))) EXPECT_GE(gap, 60'000);

    // With nobody else left, the silent client is asked again in its turn.
    Scheduler& scheduler = sim.scheduler;
    scheduler.Left(kBoard, 1);
    scheduler.Update(kBoard, kHost, {{2, 600'000}}, true, 3'000'001);
    const auto step = scheduler.Advance(3'000'001);
    EXPECT_TRUE(step.asks.empty()); // one client at 600 s: the board 600 s after its last check
    EXPECT_EQ(step.wakeAt, 3'600'000);
    const auto again = scheduler.Advance(3'600'000);
    ASSERT_EQ(again.asks.size(), 1u);
    EXPECT_EQ(again.asks[0].id, 2u);
}

TEST(Scheduler, AnUnansweredAskIsRetriedWithAnotherClientAtTheFloor) {
    Scheduler scheduler({60'000, 60'000, 30'000});
    scheduler.Update(kBoard, kHost, Crowd({600'000, 600'000}), true, 0);
    ASSERT_EQ(scheduler.Advance(0).asks.size(), 1u); // client 1, stays silent
    auto step = scheduler.Advance(30'000);
    ASSERT_EQ(step.timedOut.size(), 1u);
    EXPECT_EQ(step.timedOut[0].id, 1u);
    EXPECT_TRUE(step.asks.empty());
    EXPECT_EQ(step.wakeAt, 60'000);
    step = scheduler.Advance(60'000);
    ASSERT_EQ(step.asks.size(), 1u);
    EXPECT_EQ(step.asks[0].id, 2u);
    EXPECT_FALSE(scheduler.Answered(kBoard, 1, Scheduler::Kind::Check, true)); // too late
}

TEST(Scheduler, AClientThatLeavesDuringItsAskMakesWayAtTheFloor) {
    Scheduler scheduler({60'000, 60'000, 30'000});
    scheduler.Update(kBoard, kHost, Crowd({600'000, 600'000}), true, 0);
    ASSERT_EQ(scheduler.Advance(0).asks[0].id, 1u);
    scheduler.Left(kBoard, 1);
    scheduler.Update(kBoard, kHost, {{2, 600'000}}, true, 5'000);
    const auto step = scheduler.Advance(5'000);
    EXPECT_TRUE(step.asks.empty());
    EXPECT_EQ(step.wakeAt, 60'000);
    const auto figures = scheduler.BoardFigures(kBoard);
    ASSERT_TRUE(figures);
    EXPECT_EQ(figures->checkers, 1u);
    EXPECT_EQ(figures->intervalMs, 600'000);
}

TEST(Scheduler, AClientAskedByAnotherSchedulerWaitsUntilItIsDue) {
    // Client 1 was asked elsewhere a while ago and is due at 400'000; client
    // 2 comes with no time and may be asked at once.
    Scheduler scheduler({60'000, 60'000, 30'000});
    scheduler.Update(kBoard, kHost, {{1, 600'000, 400'000}, {2, 600'000}}, true, 0);
    auto step = scheduler.Advance(0);
    ASSERT_EQ(step.asks.size(), 1u);
    EXPECT_EQ(step.asks[0].id, 2u);
    ASSERT_TRUE(scheduler.Answered(kBoard, 2, Scheduler::Kind::Check, true));
    step = scheduler.Advance(300'000); // the crowd's pace allows a check, client 1's budget not yet
    EXPECT_TRUE(step.asks.empty());
    EXPECT_EQ(step.wakeAt, 400'000);
    // A time given for a client already known changes nothing.
    scheduler.Update(kBoard, kHost, {{1, 600'000, 900'000}, {2, 600'000}}, true, 300'000);
    step = scheduler.Advance(400'000);
    ASSERT_EQ(step.asks.size(), 1u);
    EXPECT_EQ(step.asks[0].id, 1u);
}

} // namespace
} // namespace quorlan::server
