// The client reads the board through Chromium: the body markup it gets is the
// engine's re-serialisation of the page, not the bytes served. These tests load
// the fixture's list page in a real QWebEnginePage and check that the post list
// made from what the engine gives back is the list made from the served page.
#include "base/Cp949.h"
#include "board/Extraction.h"
#include "tools/testweb/BoardPages.h"
#include "tools/testweb/BoardStyles.h"
#include "tools/testweb/TestWebServer.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
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

// The result of a script run in the page; invalid when it did not answer in time.
QVariant RunScript(QWebEnginePage& page, const QString& script) {
    QVariant answer;
    QEventLoop loop;
    page.runJavaScript(script, [&](const QVariant& result) {
        answer = result;
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    return answer;
}

// The texts of the links the reader sees (in the frame, when the page has one),
// trimmed and with white space collapsed.
const QString kLinkTexts = QStringLiteral(
    "(() => { const frame = document.querySelector('iframe');"
    " const doc = frame ? frame.contentDocument : document;"
    " if (!doc || !doc.body) return [];"
    " return Array.from(doc.querySelectorAll('a'), a => a.textContent.replace(/\\s+/g, ' ').trim()); })()");

} // namespace

// Each style, drawn by the browser (the café's frame loaded, the script's list
// built after load), shows every post of the list as the text of a link.
TEST(TestWebInBrowser, EveryStyleShowsEachPostTitleAsALink) {
    testweb::TestWebServer server({});
    const testweb::StartResult started = server.Start("127.0.0.1", 0);
    ASSERT_TRUE(started.error.empty()) << started.error;
    httplib::Client client("127.0.0.1", started.port);
    const auto posted = client.Post("/admin/post", R"({"title":"<급처> 자전거 & 헬멧 직거래"})", "application/json");
    ASSERT_TRUE(posted && posted->status == 201);
    QStringList titles;
    for (const testweb::Post& post : server.board().Newest(testweb::kListPageRows)) {
        titles << QString::fromStdString(base::Utf8FromCp949(post.title));
    }
    ASSERT_EQ(titles.front(), QStringLiteral("<급처> 자전거 & 헬멧 직거래"));

    for (const testweb::BoardStyle& style : testweb::BoardStyles()) {
        QWebEnginePage page;
        QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
        page.load(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(started.port).arg(QString::fromUtf8(style.listPath))));
        ASSERT_TRUE(loaded.wait(30000) && loaded.takeFirst().at(0).toBool()) << style.name;
        // Frames and scripts may finish after the load signal: ask until every
        // title is there or the limit passes.
        QStringList missing = titles;
        for (int attempt = 0; attempt < 100 && !missing.isEmpty(); ++attempt) {
            const QStringList links = RunScript(page, kLinkTexts).toStringList();
            missing.removeIf([&](const QString& title) { return links.contains(title); });
            if (!missing.isEmpty()) QTest::qWait(100);
        }
        EXPECT_TRUE(missing.isEmpty()) << style.name << ": " << missing.join(u" | ").toStdString();
    }
}

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
