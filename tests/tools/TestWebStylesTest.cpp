// The board styles: every style draws the one board's posts in its own markup,
// on its own paths, with the charset its content type names.
#include "base/Cp949.h"
#include "tools/testweb/BoardPages.h"
#include "tools/testweb/BoardStyles.h"
#include "tools/testweb/TestWebServer.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <ostream>

using namespace quorlan;

namespace {

struct StyleCase {
    const char* name;
    const char* listPath;   // what the user watches
    const char* listType;   // its content type
    const char* dataPath;   // where the posts are: the frame, the script's data, or the list page itself
    const char* dataType;
    const char* postLink;   // a post's link in the data, up to its number
    const char* postPath;   // a post's own page, up to its number
    const char* postType;
};

const StyleCase kStyles[] = {
    {"gnuboard", "/bbs/board.php?bo_table=free", testweb::kHtmlUtf8, "/bbs/board.php?bo_table=free",
     testweb::kHtmlUtf8, "/bbs/board.php?bo_table=free&amp;wr_id=", "/bbs/board.php?bo_table=free&wr_id=",
     testweb::kHtmlUtf8},
    {"rhymix", "/board", testweb::kHtmlUtf8, "/board", testweb::kHtmlUtf8, "href=\"/board/", "/board/",
     testweb::kHtmlUtf8},
    {"forum", "/forum", testweb::kHtmlUtf8, "/forum", testweb::kHtmlUtf8, "href=\"/post/", "/post/",
     testweb::kHtmlUtf8},
    {"cafe", "/cafe/market", testweb::kHtmlUtf8,
     "/cafe/ArticleList.nhn?search.clubid=10001&search.menuid=5&search.boardtype=L", testweb::kHtmlEucKr,
     "&amp;articleid=", "/cafe/ArticleRead.nhn?clubid=10001&articleid=", testweb::kHtmlEucKr},
    {"script", "/app/board", testweb::kHtmlUtf8, "/app/api/posts", testweb::kJsonUtf8, nullptr, "/app/post/",
     testweb::kHtmlUtf8},
    {"clien", "/service/board/park", testweb::kHtmlUtf8, "/service/board/park", testweb::kHtmlUtf8,
     "href=\"/service/board/park/", "/service/board/park/", testweb::kHtmlUtf8},
    {"ppomppu", "/zboard/zboard.php?id=market", testweb::kHtmlEucKr, "/zboard/zboard.php?id=market",
     testweb::kHtmlEucKr, "href=\"view.php?id=market&amp;page=1&amp;divpage=12&amp;no=",
     "/zboard/view.php?id=market&no=", testweb::kHtmlEucKr},
};

void PrintTo(const StyleCase& style, std::ostream* out) { *out << style.name; }

// The body as UTF-8, whatever the charset its content type names.
std::string Utf8Body(const httplib::Result& response) {
    const std::string body = response->body;
    return response->get_header_value("Content-Type") == testweb::kHtmlEucKr ? base::Utf8FromCp949(body) : body;
}

bool HasLinkTo(const std::string& page, const std::string& prefix, int no) {
    const std::string link = prefix + std::to_string(no);
    for (std::size_t at = page.find(link); at != std::string::npos; at = page.find(link, at + 1)) {
        const std::size_t end = at + link.size();
        if (end < page.size() && !std::isdigit(static_cast<unsigned char>(page[end]))) return true;
    }
    return false;
}

class TestWebStylesTest : public ::testing::TestWithParam<StyleCase> {
protected:
    void SetUp() override {
        const testweb::StartResult started = server_.Start("127.0.0.1", 0);
        ASSERT_TRUE(started.error.empty()) << started.error;
        client_ = std::make_unique<httplib::Client>("127.0.0.1", started.port);
    }

    // The page at path, checked for status and content type, as UTF-8.
    std::string Fetch(const std::string& path, const char* contentType) {
        const auto response = client_->Get(path);
        EXPECT_TRUE(response) << path;
        if (!response) return {};
        EXPECT_EQ(response->status, 200) << path;
        EXPECT_EQ(response->get_header_value("Content-Type"), contentType) << path;
        return Utf8Body(response);
    }

    // Every post of the list and the notice, newest first, in the style's data.
    void ExpectPosts(const StyleCase& style, const std::vector<testweb::Post>& posts) {
        const std::string data = Fetch(style.dataPath, style.dataType);
        if (!style.postLink) {
            const nlohmann::json json = nlohmann::json::parse(data);
            ASSERT_EQ(json["notices"].size(), 1u);
            ASSERT_EQ(json["posts"].size(), posts.size());
            for (std::size_t i = 0; i < posts.size(); ++i) {
                EXPECT_EQ(json["posts"][i]["no"], posts[i].no);
                EXPECT_EQ(json["posts"][i]["title"], base::Utf8FromCp949(posts[i].title));
            }
            return;
        }
        std::size_t previous = 0;
        for (const testweb::Post& post : posts) {
            EXPECT_TRUE(HasLinkTo(data, style.postLink, post.no)) << style.name << " post " << post.no;
            // Titles are found in list order (a side box may show one earlier).
            const std::string title = testweb::EscapeText(base::Utf8FromCp949(post.title));
            const std::size_t at = data.find(title, previous);
            EXPECT_NE(at, std::string::npos) << style.name << ": " << title;
            if (at != std::string::npos) previous = at;
        }
        EXPECT_TRUE(HasLinkTo(data, style.postLink, 0)) << style.name << ": the notice";
    }

    testweb::TestWebServer server_{{}};
    std::unique_ptr<httplib::Client> client_;
};

} // namespace

TEST_P(TestWebStylesTest, ListShowsEveryPostOfTheBoardWithItsOwnLinks) {
    const StyleCase& style = GetParam();
    const std::string list = Fetch(style.listPath, style.listType);
    if (std::string(style.name) == "cafe") {
        // The portal's page holds the list in a same-origin frame.
        EXPECT_NE(list.find("<iframe name=\"cafe_main\" id=\"cafe_main\" title=\"카페 메인\" "
                            "src=\"/cafe/ArticleList.nhn?search.clubid=10001&amp;search.menuid=5"),
                  std::string::npos);
    }
    if (std::string(style.name) == "script") {
        EXPECT_NE(list.find("<script src=\"/app/board.js\"></script>"), std::string::npos);
        EXPECT_NE(Fetch("/app/board.js", testweb::kJavaScript).find("fetch('/app/api/posts'"), std::string::npos);
    }
    ExpectPosts(style, server_.board().Newest(testweb::kListPageRows));
}

TEST_P(TestWebStylesTest, NewPostAppearsOnTopAndOpensWithTheListBelow) {
    const StyleCase& style = GetParam();
    const auto posted = client_->Post("/admin/post", R"({"title":"<급처> 자전거 & 헬멧 직거래","writer":"직거래왕"})",
                                      "application/json");
    ASSERT_TRUE(posted && posted->status == 201);
    const int no = nlohmann::json::parse(posted->body)["no"];
    const std::vector<testweb::Post> newest = server_.board().Newest(testweb::kListPageRows);
    ASSERT_EQ(newest.front().no, no);
    ExpectPosts(style, newest);

    // The post's page shows the post (its title escaped in markup, as it is in
    // the script's embedded data) and the list below it.
    const std::string page = Fetch(style.postPath + std::to_string(no), style.postType);
    const std::string shown = style.postLink ? "&lt;급처&gt; 자전거 &amp; 헬멧 직거래" : "\"<급처> 자전거 & 헬멧 직거래\"";
    EXPECT_NE(page.find(shown), std::string::npos) << page;
    if (style.postLink) {
        EXPECT_TRUE(HasLinkTo(page, style.postLink, newest.back().no)) << "the list below the post";
    }
    EXPECT_EQ(client_->Get(style.postPath + std::string("0"))->status, 200) << "the notice";
    for (const std::string missing : {"99999", "99999999999999"}) {
        const auto response = client_->Get(style.postPath + missing);
        ASSERT_TRUE(response);
        EXPECT_EQ(response->status, 404) << style.postPath << missing;
    }
}

INSTANTIATE_TEST_SUITE_P(Styles, TestWebStylesTest, ::testing::ValuesIn(kStyles),
                         [](const ::testing::TestParamInfo<StyleCase>& info) { return info.param.name; });

TEST(TestWebStyles, HomePageAndStyleListNameEveryStyle) {
    testweb::TestWebServer server({});
    const testweb::StartResult started = server.Start("127.0.0.1", 0);
    ASSERT_TRUE(started.error.empty()) << started.error;
    httplib::Client client("127.0.0.1", started.port);
    const std::string home = base::Utf8FromCp949(client.Get("/")->body);
    ASSERT_EQ(testweb::BoardStyles().size(), std::size(kStyles));
    for (std::size_t i = 0; i < std::size(kStyles); ++i) {
        const testweb::BoardStyle& style = testweb::BoardStyles()[i];
        EXPECT_STREQ(style.name, kStyles[i].name);
        EXPECT_STREQ(style.listPath, kStyles[i].listPath);
        const std::string url = "http://127.0.0.1:" + std::to_string(started.port) + style.listPath;
        EXPECT_NE(home.find("<a href=\"" + testweb::EscapeAttribute(url) + "\">"), std::string::npos) << url;
    }
}

TEST(TestWebStyles, GnuboardSideBoxesLinkToTheNoticeBoardAndTheMostRead) {
    testweb::TestWebServer server({});
    const testweb::StartResult started = server.Start("127.0.0.1", 0);
    ASSERT_TRUE(started.error.empty()) << started.error;
    httplib::Client client("127.0.0.1", started.port);
    const std::string page = client.Get("/bbs/board.php?bo_table=free")->body;
    const std::string origin = "http://127.0.0.1:" + std::to_string(started.port);
    for (int no = 1; no <= 3; ++no) {
        const std::string link = origin + "/bbs/board.php?bo_table=notice&amp;wr_id=" + std::to_string(no);
        EXPECT_NE(page.find("<a href=\"" + link + "\">"), std::string::npos) << link;
        EXPECT_EQ(client.Get("/bbs/board.php?bo_table=notice&wr_id=" + std::to_string(no))->status, 200);
    }
    const std::size_t box = page.find("<section id=\"popular_box\">");
    ASSERT_NE(box, std::string::npos);
    const auto mostRead = testweb::MostRead(server.board().Newest(100), 5);
    ASSERT_EQ(mostRead.size(), 5u);
    EXPECT_NE(page.find(origin + "/bbs/board.php?bo_table=free&amp;wr_id=" + std::to_string(mostRead[0].no), box),
              std::string::npos);
    EXPECT_EQ(client.Get("/bbs/board.php?bo_table=other")->status, 404);
}
