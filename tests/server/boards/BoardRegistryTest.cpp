#include "ManualClock.h"
#include "RunLoopUntil.h"
#include "RunningServer.h"
#include "server/boards/BoardRegistry.h"
#include "server/store/sqlite/SqliteStore.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorlan::server {
namespace {

using std::chrono::milliseconds;

class BoardRegistryTest : public ::testing::Test {
protected:
    BoardRegistryTest() : worker_(loop_, SqliteStore::Open(dir_.File("boards.db"), ReplayBuffer::Limits{}).store) {}
    BoardRegistry Make() {
        return BoardRegistry(worker_, clock_, BoardRegistry::Limits{16, 1000},
                             [this](const std::string& url) { loaded_.push_back(url); });
    }
    void Settle() { test::RunUntilIdle(loop_, worker_); }

    test::TempDir dir_;
    test::ManualClock clock_;
    asio::io_context loop_;
    StoreWorker worker_;
    std::vector<std::string> loaded_;
};

TEST_F(BoardRegistryTest, KeepsEachClientsIntervalAndWhoMonitors) {
    auto boards = Make();
    const std::string url = "http://b/1";
    boards.Join(1, url, milliseconds(600'000), true);
    boards.Join(2, url, milliseconds(120'000), false);
    boards.Join(1, url, milliseconds(300'000), true); // a new SetBoard replaces the interval
    EXPECT_EQ(boards.Interval(url, 1), milliseconds(300'000));
    EXPECT_EQ(boards.Interval(url, 2), milliseconds(120'000));
    EXPECT_EQ(boards.Interval(url, 3), milliseconds(0));
    EXPECT_EQ(boards.MonitoringCount(url), 1u);
    boards.SetMonitoring(2, true);
    std::vector<SessionId> monitoring;
    boards.ForEachMonitoring(url, [&](SessionId id) { monitoring.push_back(id); });
    EXPECT_EQ(monitoring, (std::vector<SessionId>{1, 2}));
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
        Settle();
        EXPECT_FALSE(boards.ListLoading("http://b/1"));
        EXPECT_EQ(boards.LastList("http://b/1"), std::nullopt);
        boards.StoreList("http://b/1", "a\r\nb\r\n");
        boards.Leave(1);
    }
    auto boards = Make();
    boards.Join(7, "http://b/1", milliseconds(1), false);
    Settle();
    EXPECT_EQ(boards.LastList("http://b/1"), "a\r\nb\r\n");
    EXPECT_EQ(loaded_, (std::vector<std::string>{"http://b/1", "http://b/1"}));
}

} // namespace
} // namespace quorlan::server
