// The client reads the board through Chromium, as the browser draws it. These
// tests load the fixture's board styles in a real QWebEnginePage.
#include "base/Cp949.h"
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


using namespace quorlan;

namespace {

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
