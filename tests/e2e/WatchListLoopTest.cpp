// The watch list on the road of a new post, every part real: the server (a
// child process), the web fixture's board, and the client as the program's
// entry point builds it, the only client of its board, so that it checks the
// board and receives what it found. Its settings file holds a main condition
// with a word to leave out and a watch list of two (one with its own word to
// leave out, one switched off).
#include "ServerProcess.h"

#include "app/Program.h"
#include "base/Cp949.h"
#include "board/ui/TFrmBrowser.h"
#include "fakes/TempDir.h"
#include "shell/ui/TFrmMain.h"
#include "tools/testweb/TestWebServer.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

namespace quorlan::test {
namespace {

using namespace std::chrono_literals;

std::string Cp(const char* utf8) {
    return base::Cp949FromUtf8(utf8);
}

template <typename T> T* Named(QWidget& window, const char* name) {
    T* control = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
}

// Restores the working directory the client was started in.
struct WorkingDirectory {
    explicit WorkingDirectory(const std::string& path) { std::filesystem::current_path(path); }
    ~WorkingDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous, ignored);
    }
    std::filesystem::path previous = std::filesystem::current_path();
};

TEST(WatchListLoopTest, EachPostAlertsOnceForTheFirstConditionItMatchesAndNotForWordsLeftOut) {
    TempDir dir;
    ServerProcess server(QStringLiteral(QUORLAN_SERVER_PROGRAM), QString::fromStdString(dir.File("server.db")));
    ASSERT_EQ(server.Start({QStringLiteral("--admin"), QStringLiteral("off"), QStringLiteral("--min-interval"),
                            QStringLiteral("2"), QStringLiteral("--check-timeout"), QStringLiteral("10")},
                           30s),
              "");
    testweb::TestWebServer web{testweb::TestWebOptions{}};
    const testweb::StartResult started = web.Start("127.0.0.1", 0);
    ASSERT_EQ(started.error, "");
    const std::string boardUrl = "http://127.0.0.1:" + std::to_string(started.port) + "/bbs/zboard.php?id=share";

    WorkingDirectory working(dir.Path());
    TempDir::Write(dir.File("Quorlan.ini"), "[config]\r\nRepeat=2\r\nBoardURL=" + boardUrl +
                                                "\r\nSearchCondition=" + Cp("직거래") + "\r\nExclude=" + Cp("삽니다") +
                                                "\r\nWatch1=" + Cp("맥북&미개봉") + "\r\nWatch1Exclude=" + Cp("고장") +
                                                "\r\nWatch2=" + Cp("자전거") + "\r\nWatch2Off=1\r\n");
    app::Program::Options options;
    const std::uint16_t port = server.Port();
    options.updateCheck = [port](base::ILineLogs&) { return app::StartupNetwork{"127.0.0.1", port, false}; };
    app::Program program(std::move(options));
    shell::ui::TFrmMain& main = program.FrmMain();
    main.show();
    auto& state = program.Session().State();
    ASSERT_EQ(state.FWatchList.size(), 2u);

    // Choose the board once its page is in, and start.
    bool loaded = false;
    auto* view = Named<QWebEngineView>(program.FrmBrowser(), "WebBrowser1");
    QObject::connect(view, &QWebEngineView::loadFinished, view, [&](bool ok) { loaded = loaded || ok; });
    Named<QPushButton>(main, "BtnSetBoard")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded; }, 30000));
    Named<QPushButton>(program.FrmBrowser(), "BtnSeleteBoard")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return state.FBoardSet; }, 20000)) << server.Log();
    Named<QPushButton>(main, "BtnStart")->click();
    ASSERT_TRUE(state.FSearching);

    // The first check of the board: the page as it stood is the reference.
    const auto& debug = program.Session().Logs().debugLog;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto& lines = debug.Lines();
            return std::find(lines.begin(), lines.end(), "WebBrowser: " + boardUrl) != lines.end();
        },
        30000))
        << server.Log();

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
        web.board().AddPost(std::move(post));
    }

    const auto& list = program.Session().Logs().messageList;
    const auto rowOf = [&](const std::string& title) {
        const auto& lines = list.Lines();
        const std::string line = " " + Cp(title.c_str());
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].ends_with(line)) return static_cast<int>(i);
        return -1;
    };
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return std::all_of(posts.begin(), posts.end(), [&](const auto& p) { return rowOf(p.first) >= 0; }); },
        30000))
        << server.Log();
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
