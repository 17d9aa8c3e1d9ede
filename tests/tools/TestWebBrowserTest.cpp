// The client reads the board through Chromium: the body markup it gets is the
// engine's re-serialisation of the page, not the bytes served. These tests load
// the fixture's list page in a real QWebEnginePage and check that the post list
// made from what the engine gives back is the list made from the served page.
#include "base/Cp949.h"
#include "board/Extraction.h"
#include "tools/testweb/BoardPages.h"
#include "tools/testweb/TestWebServer.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>
#include <QWebEnginePage>
#include <gtest/gtest.h>
#include <httplib.h>

#include <optional>

using namespace quorlan;

namespace {

// What the engine gives for document.body.innerHTML, in cp949; nothing when the
// page did not load or the script did not answer within the limit.
std::optional<std::string> LoadAndReadBody(const std::string& url) {
    QWebEnginePage page;
    QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
    page.load(QUrl(QString::fromStdString(url)));
    if (!loaded.wait(30000) || !loaded.takeFirst().at(0).toBool()) return std::nullopt;

    std::optional<std::string> markup;
    QEventLoop loop;
    page.runJavaScript(QStringLiteral("document.body.innerHTML"), [&](const QVariant& result) {
        markup = base::Cp949FromUtf8(result.toString().toStdString());
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    return markup;
}

} // namespace

TEST(TestWebInBrowser, EngineMarkupGivesTheSamePostListAsTheServedPage) {
    testweb::TestWebServer server({});
    const testweb::StartResult started = server.Start("127.0.0.1", 0);
    ASSERT_TRUE(started.error.empty()) << started.error;
    httplib::Client client("127.0.0.1", started.port);
    // Markup characters, quotes, an ampersand and Korean text in one title.
    const auto posted = client.Post("/admin/post", R"({"title":"<급처> \"A&B\" 자전거 직거래"})", "application/json");
    ASSERT_TRUE(posted && posted->status == 201);

    const std::string base = "http://127.0.0.1:" + std::to_string(started.port);
    const std::optional<std::string> engineMarkup = LoadAndReadBody(base + "/bbs/zboard.php?id=share");
    ASSERT_TRUE(engineMarkup.has_value());
    const std::string served = client.Get("/bbs/zboard.php?id=share")->body;

    const board::PostList fromEngine = board::ExtractPostList(*engineMarkup);
    EXPECT_EQ(fromEngine, board::ExtractPostList(served));
    ASSERT_EQ(fromEngine.size(), testweb::kListPageRows + 1);
    // &lt;급처&gt; stays a reference, &amp; becomes "&", quotes stay as they are.
    EXPECT_EQ(fromEngine.front(), "&lt;\xB1\xDE\xC3\xB3&gt; \"A&B\" \xC0\xDA\xC0\xFC\xB0\xC5 \xC1\xF7\xB0\xC5\xB7\xA1");

    // Every post row is still one markup line of its own.
    const board::PostList lines = board::ReadPageLines(*engineMarkup);
    const auto rows = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("<a href=\"view.php?id=share&no=") != std::string::npos;
    });
    EXPECT_EQ(rows, static_cast<long>(testweb::kListPageRows));
}
