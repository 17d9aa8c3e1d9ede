// The page script of the board window's browser, run by the real engine on
// pages served over loopback: the records it returns are the records the
// markup collector makes from the served bytes (so both find the same posts),
// a list inside a same-origin frame is read, and a list drawn by a script
// after the page loaded is read once it is there.
#include "board/MarkupLinks.h"
#include "board/PagePosts.h"
#include "board/ui/WebEngineBrowser.h"

#include "base/Cp949.h"

#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace quorlan;

namespace {

// Every kind of link the collectors tell apart: relative, root-relative and
// absolute addresses, "#" and script links, entities, no-break spaces, a
// script inside a link, a title over several lines and elements, noscript.
const char* const kListPage = R"P(<!DOCTYPE html><html><head><meta charset="utf-8"><title>list</title></head><body>
<a href="#content">본문 바로가기</a>
<div class="menu"><a href="/">홈</a> <a href="/market/list">장터</a></div>
<table><tbody>
<tr class="notice"><td>공지</td><td><a href="/market/view/1"><b>[공지]</b> 거래 규칙</a></td><td><a href="#popup" onclick="return false">운영자</a></td></tr>
<tr><td>12</td><td><a href="view/12">
        &lt;급처&gt; 의자&nbsp;&amp; 책상
        <span class="cnt">[3]</span><script>var x = 1;</script></a></td><td><a href="javascript:void(0)">판매자</a></td></tr>
<tr><td>11</td><td><a href="http://HOST/market/view/11">모니터 팝니다</a></td><td><a href="/member/kim">김씨</a></td></tr>
</tbody></table>
<noscript><a href="/market/view/99">스크립트 없을 때</a></noscript>
<div class="pages"><a href="?page=1">1</a><a href="?page=2">2</a></div>
</body></html>)P";

// A portal café: the page around holds only menus; the board is in a frame.
const char* const kFramedPage = R"P(<!DOCTYPE html><html><head><meta charset="utf-8"></head><body>
<div class="cafe-menu"><a href="/cafe/home">카페 홈</a> <a href="/cafe/rules">카페 규칙</a></div>
<iframe name="main" src="/market/list"></iframe>
</body></html>)P";

// A list drawn by the page's own script a moment after the page loaded.
const char* const kScriptedPage = R"P(<!DOCTYPE html><html><head><meta charset="utf-8"></head><body>
<ul id="list"></ul>
<script>
window.addEventListener('load', function () {
  setTimeout(function () {
    var titles = ['자전거 팝니다', '노트북 삽니다', '캠핑 의자'];
    for (var i = 0; i < titles.length; ++i) {
      var li = document.createElement('li'), a = document.createElement('a');
      a.href = '/market/view/' + (30 - i);
      a.textContent = titles[i];
      li.appendChild(a);
      document.getElementById('list').appendChild(li);
    }
  }, 300);
});
</script></body></html>)P";

class Pages {
public:
    Pages() {
        // One request a connection, so idle keep-alive connections hold no worker at shutdown.
        server_.set_keep_alive_max_count(1);
        port_ = server_.bind_to_any_port("127.0.0.1");
        const std::string host = "127.0.0.1:" + std::to_string(port_);
        list_ = kListPage;
        list_.replace(list_.find("HOST"), 4, host);
        Serve("/market/list", list_);
        Serve("/cafe", kFramedPage);
        Serve("/scripted", kScriptedPage);
        // The socket listens from bind on: requests queue until the thread accepts.
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~Pages() {
        server_.stop();
        thread_.join();
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    const std::string& List() const { return list_; }

private:
    void Serve(const std::string& path, std::string page) {
        server_.Get(path, [page = std::move(page)](const httplib::Request&, httplib::Response& res) {
            res.set_content(page, "text/html; charset=utf-8");
        });
    }
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::string list_;
};

class WebEngineBrowserTest : public ::testing::Test {
protected:
    // Loads url and waits for the load to finish (frames included).
    bool Load(const std::string& url) {
        QSignalSpy loaded(&view, &QWebEngineView::loadFinished);
        browser.Navigate(url);
        return loaded.wait(30000) && loaded.takeFirst().at(0).toBool();
    }
    std::optional<std::vector<board::LinkRecord>> Read() {
        std::optional<std::optional<std::vector<board::LinkRecord>>> answer;
        browser.ReadPageLinks([&](std::optional<std::vector<board::LinkRecord>> links) { answer = std::move(links); });
        if (!QTest::qWaitFor([&] { return answer.has_value(); }, 10000)) return std::nullopt;
        return *answer;
    }
    // (title in UTF-8, link) of the posts.
    static std::vector<std::pair<std::string, std::string>> Posts(const std::vector<board::LinkRecord>& links) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const board::PagePost& post : board::FindPagePosts(links))
            out.emplace_back(base::Utf8FromCp949(post.title), post.link);
        return out;
    }

    Pages pages;
    QWebEngineView view;
    board::WebEngineBrowser browser{view, "about:blank"};
};

} // namespace

TEST_F(WebEngineBrowserTest, TheScriptGivesTheRecordsTheMarkupCollectorMakes) {
    const std::string url = pages.Url("/market/list");
    ASSERT_TRUE(Load(url));
    const auto links = Read();
    ASSERT_TRUE(links.has_value());
    EXPECT_EQ(*links, board::CollectMarkupLinks(base::Cp949FromUtf8(pages.List()), url));
    using Found = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(Posts(*links), (Found{{"[공지] 거래 규칙", pages.Url("/market/view/1")},
                                    {"<급처> 의자 & 책상 [3]", pages.Url("/market/view/12")},
                                    {"모니터 팝니다", pages.Url("/market/view/11")}}));
}

TEST_F(WebEngineBrowserTest, AListInASameOriginFrameIsRead) {
    ASSERT_TRUE(Load(pages.Url("/cafe")));
    // The frame's document may complete after the page's load.
    std::vector<std::pair<std::string, std::string>> posts;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const auto links = Read();
        if (links) posts = Posts(*links);
        return posts.size() == 3u;
    }, 10000));
    EXPECT_EQ(posts.front().second, pages.Url("/market/view/1"));
    // The frame's links continue the path of the frame element: body, then the
    // iframe as its second element.
    const auto links = Read();
    ASSERT_TRUE(links.has_value());
    const auto framed = std::find_if(links->begin(), links->end(),
                                     [&](const auto& link) { return link.href == pages.Url("/market/view/1"); });
    ASSERT_NE(framed, links->end());
    EXPECT_EQ(std::vector<int>(framed->path.begin(), framed->path.begin() + 4), (std::vector<int>{0, 1, 1, 0}));
}

TEST_F(WebEngineBrowserTest, AListDrawnAfterLoadIsReadOnceItIsThere) {
    ASSERT_TRUE(Load(pages.Url("/scripted")));
    std::vector<std::pair<std::string, std::string>> posts;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const auto links = Read();
        if (links) posts = Posts(*links);
        return !posts.empty();
    }, 10000));
    using Found = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(posts, (Found{{"자전거 팝니다", pages.Url("/market/view/30")},
                            {"노트북 삽니다", pages.Url("/market/view/29")},
                            {"캠핑 의자", pages.Url("/market/view/28")}}));
}
