#include "shell/FindHistory.h"
#include "shell/FindRecorder.h"

#include "fakes/FakeAlertSound.h"
#include "fakes/RecordingLogs.h"
#include "fakes/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using quorlan::client::ClientState;
using quorlan::shell::Find;
using quorlan::shell::FindHistory;
using quorlan::shell::FindRecorder;
using quorlan::test::FakeAlertSound;
using quorlan::test::RecordingLogs;
using quorlan::test::TempDir;

const std::string kCantSave = "\xB0\xCB\xBB\xF6\xB1\xE2\xB7\xCF\xC0\xBB \xC0\xFA\xC0\xE5\xC7\xD2 \xBC\xF6 "
                              "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9."; // 검색기록을 저장할 수 없습니다.

class FindHistoryTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.File("QuorlanHistory.db");
    RecordingLogs logs;
};

TEST_F(FindHistoryTest, FindsSurviveARestartNewestFirstAndTheFileIsTheOwnersOnly) {
    {
        FindHistory history(path, logs);
        history.Add({"2026-12-10 12:00:00", "http://127.0.0.1:8080/bbs/zboard.php?id=share",
                     "first \xC1\xF7\xB0\xC5\xB7\xA1 12", "\xC1\xF7\xB0\xC5\xB7\xA1"});
        history.Add({"2026-12-10 12:00:05", "http://b/", "second", "sec"});
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    FindHistory reopened(path, logs);
    const std::vector<Find> finds = reopened.Newest();
    ASSERT_EQ(finds.size(), 2u);
    EXPECT_EQ(finds[0].line, "second");
    EXPECT_EQ(finds[1].time, "2026-12-10 12:00:00");
    EXPECT_EQ(finds[1].boardUrl, "http://127.0.0.1:8080/bbs/zboard.php?id=share");
    EXPECT_EQ(finds[1].line, "first \xC1\xF7\xB0\xC5\xB7\xA1 12");
    EXPECT_EQ(finds[1].condition, "\xC1\xF7\xB0\xC5\xB7\xA1");
    EXPECT_TRUE(logs.messages.empty());
    EXPECT_TRUE(logs.debug.empty());
}

TEST_F(FindHistoryTest, OnlyTheNewestTenThousandAreKept) {
    FindHistory history(path, logs);
    for (std::size_t i = 0; i < FindHistory::kKeep + 3; ++i) history.Add({"t", "b", "line " + std::to_string(i), "c"});
    const std::vector<Find> finds = history.Newest();
    ASSERT_EQ(finds.size(), 10000u);
    EXPECT_EQ(finds.front().line, "line 10002");
    EXPECT_EQ(finds.back().line, "line 3");
}

TEST_F(FindHistoryTest, FilterMatchesLineConditionOrBoardBytes) {
    FindHistory history(path, logs);
    history.Add({"t1", "http://a/board", "\xC1\xF7\xB0\xC5\xB7\xA1 monitor", "\xC1\xF7\xB0\xC5\xB7\xA1"});
    history.Add({"t2", "http://b/other", "keyboard sale", "keyboard"});
    history.Add({"t3", "http://a/board", "mouse", "mouse"});

    struct Case {
        std::string filter;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {"mouse", "keyboard sale", "\xC1\xF7\xB0\xC5\xB7\xA1 monitor"}},
        {"\xC1\xF7\xB0\xC5", {"\xC1\xF7\xB0\xC5\xB7\xA1 monitor"}},                // part of a Hangul word
        {"board", {"mouse", "keyboard sale", "\xC1\xF7\xB0\xC5\xB7\xA1 monitor"}}, // board address or line
        {"other", {"keyboard sale"}},
        {"Mouse", {}}, // bytes as they are
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines;
        for (const Find& find : history.Newest(c.filter)) lines.push_back(find.line);
        EXPECT_EQ(lines, c.lines) << c.filter;
    }
}

TEST_F(FindHistoryTest, UnwritableFileIsToldOnceAndEveryAlertStillSounds) {
    std::filesystem::create_directory(path); // a directory where the file should be
    FindHistory history(path, logs);
    ClientState state;
    FakeAlertSound sound;
    FindRecorder recorder(state, history, sound);
    recorder.Found("one", "o");
    recorder.Found("two", "o");
    EXPECT_TRUE(history.Newest().empty());

    EXPECT_EQ(sound.plays, 2);
    EXPECT_EQ(logs.messages, std::vector<std::string>{kCantSave});
    EXPECT_FALSE(logs.debug.empty());
}

TEST_F(FindHistoryTest, RecorderKeepsBoardAndTheConditionThatMatchedAndSoundsOnlyWhenSwitchedOn) {
    FindHistory history(path, logs);
    ClientState state;
    state.FBoardURL = "http://127.0.0.1:8080/bbs/zboard.php?id=share";
    state.FSearchCondition = "lamp";
    FakeAlertSound sound;
    FindRecorder recorder(state, history, sound, [] { return std::string("2026-12-10 12:34:56"); });

    recorder.Found("desk lamp 3", "desk&3"); // a watch-list condition, not the main one
    EXPECT_EQ(sound.plays, 1);
    state.FSound = false;
    recorder.Found("lamp shade", "lamp");
    EXPECT_EQ(sound.plays, 1);

    const std::vector<Find> finds = history.Newest();
    ASSERT_EQ(finds.size(), 2u);
    EXPECT_EQ(finds[1].time, "2026-12-10 12:34:56");
    EXPECT_EQ(finds[1].boardUrl, state.FBoardURL);
    EXPECT_EQ(finds[1].line, "desk lamp 3");
    EXPECT_EQ(finds[1].condition, "desk&3");
    EXPECT_EQ(finds[0].condition, "lamp");
}

} // namespace
