// The watch list on the road of a new post, every part real (the full loop's
// rig). The client's settings hold a main condition with a word to leave out
// and a watch list of two (one with its own word to leave out, one switched
// off).
#include "FullLoop.h"

#include "base/Cp949.h"

#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace quorlan::test {
namespace {

using namespace std::chrono_literals;

std::string Cp(const char* utf8) {
    return base::Cp949FromUtf8(utf8);
}

TEST(WatchListLoopTest, EachPostAlertsOnceForTheFirstConditionItMatchesAndNotForWordsLeftOut) {
    // The rig's main condition is "직거래".
    FullLoop loop("Exclude=" + Cp("삽니다") + "\r\nWatch1=" + Cp("맥북&미개봉") + "\r\nWatch1Exclude=" + Cp("고장") +
                  "\r\nWatch2=" + Cp("자전거") + "\r\nWatch2Off=1\r\n");
    loop.Start();
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    app::Program& program = loop.Program();
    ASSERT_EQ(program.Session().State().FWatchList.size(), 2u);

    // Title, and the condition it alerts for ("" for none).
    const std::map<std::string, std::string> posts = {
        {"맥북 미개봉 팝니다", "맥북&미개봉"},
        {"직거래 의자 삽니다", ""},       // the main condition's word to leave out
        {"직거래 맥북 미개봉", "직거래"}, // both match: one alert, for the first
        {"맥북 미개봉 고장", ""},         // the watch entry's own word to leave out
        {"자전거 팝니다", ""},            // switched off
        {"맥북 중고", ""},
    };
    for (const auto& [title, condition] : posts) {
        testweb::NewPost post;
        post.title = Cp(title.c_str());
        post.writer = "e2e";
        loop.Web().board().AddPost(std::move(post));
    }

    const auto& list = program.Session().Logs().messageList;
    const auto rowOf = [&](const std::string& title) {
        const auto& lines = list.Lines();
        const std::string line = " " + Cp(title.c_str());
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].ends_with(line)) return static_cast<int>(i);
        return -1;
    };
    ASSERT_TRUE(WaitFor(
        [&] { return std::all_of(posts.begin(), posts.end(), [&](const auto& p) { return rowOf(p.first) >= 0; }); },
        30s))
        << loop.Server().Log();
    QTest::qWait(100); // a second delivery of any line would come with the first

    std::map<std::string, std::string> found; // line -> condition, from the history
    for (const shell::Find& find : program.Session().History().Newest()) found[find.line] = find.condition;
    int hitLines = 0;
    for (const auto& line : list.Lines()) hitLines += line.starts_with(Cp("└ ")) ? 1 : 0;
    EXPECT_EQ(hitLines, 2);
    EXPECT_EQ(found.size(), 2u);
    for (const auto& [title, condition] : posts) {
        const std::string line = Cp(title.c_str());
        const int row = rowOf(title);
        const auto& lines = list.Lines();
        const bool marked = row + 1 < static_cast<int>(lines.size()) && lines[row + 1].starts_with(Cp("└ "));
        if (condition.empty()) {
            EXPECT_FALSE(marked) << title;
            EXPECT_EQ(found.count(line), 0u) << title;
        } else {
            ASSERT_TRUE(marked) << title;
            EXPECT_EQ(lines[row + 1], Cp(("└ 검색단어 : " + condition).c_str())) << title;
            EXPECT_EQ(found[line], Cp(condition.c_str())) << title;
        }
    }
}

} // namespace
} // namespace quorlan::test
