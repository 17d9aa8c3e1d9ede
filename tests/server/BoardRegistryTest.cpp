#include "ManualClock.h"
#include "RunningServer.h"
#include "server/BoardRegistry.h"

#include <gtest/gtest.h>

namespace quorlan::server {
namespace {

using std::chrono::milliseconds;

class BoardRegistryTest : public ::testing::Test {
protected:
    BoardRegistryTest() : db_(Database::Open(dir_.File("boards.db")).db), lists_(*db_) {}
    BoardRegistry Make() { return BoardRegistry(lists_, clock_, BoardRegistry::Limits{milliseconds(60'000), 16, 1000}); }

    test::TempDir dir_;
    test::ManualClock clock_;
    std::unique_ptr<Database> db_;
    BoardListStore lists_;
};

TEST_F(BoardRegistryTest, PeriodIsTheSmallestIntervalAskedButNotBelowTheMinimum) {
    auto boards = Make();
    const std::string url = "http://b/1";
    struct Step {
        SessionId id;
        std::int64_t askedMs;
        std::int64_t periodMs;
    } steps[] = {{1, 600'000, 600'000}, {2, 120'000, 120'000}, {3, 300'000, 120'000}, {4, 1'000, 60'000}};
    for (const auto& s : steps) {
        boards.Join(s.id, url, milliseconds(s.askedMs), false);
        EXPECT_EQ(boards.Period(url), milliseconds(s.periodMs)) << "after client " << s.id;
    }
    boards.Leave(4);
    boards.Leave(2);
    EXPECT_EQ(boards.Period(url), milliseconds(300'000));
}

TEST_F(BoardRegistryTest, TurnsGoRoundTheMonitoringClientsOnly) {
    auto boards = Make();
    const std::string url = "http://b/1";
    boards.Join(1, url, milliseconds(1), true);
    boards.Join(2, url, milliseconds(1), false);
    boards.Join(3, url, milliseconds(1), true);
    EXPECT_EQ(boards.NextMonitoring(url, 0), 1u);
    EXPECT_EQ(boards.NextMonitoring(url, 1), 3u);
    EXPECT_EQ(boards.NextMonitoring(url, 3), 1u);
    boards.SetMonitoring(2, true);
    EXPECT_EQ(boards.NextMonitoring(url, 1), 2u);
    EXPECT_EQ(boards.MonitoringCount(url), 3u);
}

TEST_F(BoardRegistryTest, JoiningAnotherBoardLeavesTheFirstAndAnEmptyBoardDisappears) {
    auto boards = Make();
    boards.Join(1, "http://b/1", milliseconds(1), true);
    EXPECT_EQ(boards.Join(1, "http://b/2", milliseconds(1), true), "http://b/1");
    EXPECT_FALSE(boards.Exists("http://b/1"));
    EXPECT_EQ(boards.BoardOf(1), "http://b/2");
    EXPECT_EQ(boards.Leave(1), "http://b/2");
    EXPECT_EQ(boards.BoardCount(), 0u);
}

TEST_F(BoardRegistryTest, ListsOutliveTheBoardAndTheRegistry) {
    {
        auto boards = Make();
        boards.Join(1, "http://b/1", milliseconds(1), true);
        EXPECT_EQ(boards.LastList("http://b/1"), std::nullopt);
        boards.StoreList("http://b/1", "a\r\nb\r\n");
        boards.Leave(1);
    }
    auto boards = Make();
    boards.Join(7, "http://b/1", milliseconds(1), false);
    EXPECT_EQ(boards.LastList("http://b/1"), "a\r\nb\r\n");
}

} // namespace
} // namespace quorlan::server
