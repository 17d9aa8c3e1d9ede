#include "shell/LineLog.h"

#include <gtest/gtest.h>

using quorlan::shell::LineLog;

TEST(LineLog, SettlesAt1001LinesDroppingTheOldest) {
    LineLog log;
    int drops = 0;
    log.SetObserver([&](bool dropped, const std::string&) { drops += dropped; });
    for (int i = 0; i < 1000; ++i) log.Append(std::to_string(i));
    log.Append("1000"); // 1,000 held: nothing removed
    EXPECT_EQ(log.Size(), 1001u);
    EXPECT_EQ(drops, 0);
    log.Append("1001"); // 1,001 held: the oldest goes
    EXPECT_EQ(log.Size(), 1001u);
    EXPECT_EQ(drops, 1);
    EXPECT_EQ(log.Lines().front(), "1");
    EXPECT_EQ(log.Lines().back(), "1001");
}
