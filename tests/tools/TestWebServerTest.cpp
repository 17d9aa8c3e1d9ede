#include "base/Cp949.h"
#include "board/MarkupLinks.h"
#include "board/SmsGatewayUrl.h"
#include "tools/testweb/BoardPages.h"
#include "tools/testweb/PostInput.h"
#include "tools/testweb/TestWebServer.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <sstream>

using namespace quorlan;
using testweb::TestWebServer;

namespace {

// cp949 bytes of the Korean words used below, written out so that the tests do
// not depend on the converter they check.
const std::string kJikgeorae = "\xC1\xF7\xB0\xC5\xB7\xA1"; // 직거래
const std::string kJajeongeo = "\xC0\xDA\xC0\xFC\xB0\xC5"; // 자전거
const std::string kTest = "\xC5\xD7\xBD\xBA\xC6\xAE";      // 테스트
const std::string kSonnim = "\xBC\xD5\xB4\xD4";            // 손님

std::chrono::system_clock::time_point FixedNow() {
    return std::chrono::system_clock::time_point{std::chrono::seconds{1'700'000'000}};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The markup lines that hold a post row of the list page.
std::vector<std::string> PostRows(const std::string& page) {
    std::vector<std::string> rows;
    for (const std::string& line : Lines(page)) {
        if (line.find("<a href=\"view.php?id=share&amp;no=") != std::string::npos) rows.push_back(line);
    }
    return rows;
}

class TestWebServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        testweb::TestWebOptions options;
        options.clock = &FixedNow;
        server_ = std::make_unique<TestWebServer>(options);
        const testweb::StartResult started = server_->Start("127.0.0.1", 0);
        ASSERT_TRUE(started.error.empty()) << started.error;
        ASSERT_GT(started.port, 0);
        port_ = started.port;
        client_ = std::make_unique<httplib::Client>("127.0.0.1", started.port);
        client_->set_url_encode(false); // send targets byte for byte
    }

    std::string BoardPage() {
        const auto response = client_->Get("/bbs/zboard.php?id=share");
        EXPECT_TRUE(response);
        return response ? response->body : std::string();
    }

    nlohmann::json SmsRecord() {
        const auto response = client_->Get("/admin/sms");
        EXPECT_TRUE(response && response->status == 200);
        return response ? nlohmann::json::parse(response->body) : nlohmann::json();
    }

    std::unique_ptr<TestWebServer> server_;
    int port_ = 0;
    std::unique_ptr<httplib::Client> client_;
};

} // namespace

TEST_F(TestWebServerTest, BoardPageIsCp949WithCharsetAndOneLinePerPost) {
    const auto response = client_->Get("/bbs/zboard.php?id=share");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 200);
    EXPECT_EQ(response->get_header_value("Content-Type"), "text/html; charset=euc-kr");
    EXPECT_EQ(response->get_header_value("Cache-Control"), "no-store, no-cache, must-revalidate");
    const std::string& page = response->body;
    EXPECT_NE(page.find("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=euc-kr\">"), std::string::npos);
    // A seeded title, in cp949 bytes; its UTF-8 form must not appear.
    EXPECT_NE(page.find(kJikgeorae), std::string::npos);
    EXPECT_EQ(page.find("직거래"), std::string::npos);

    const std::vector<std::string> rows = PostRows(page);
    ASSERT_EQ(rows.size(), testweb::kListPageRows);
    int previous = 1 << 30;
    for (const std::string& row : rows) {
        EXPECT_EQ(row.rfind("<tr", 0), 0u) << row;
        EXPECT_EQ(row.substr(row.size() - 5), "</tr>") << row;
        const std::size_t at = row.find("no=") + 3;
        const int no = std::stoi(row.substr(at));
        EXPECT_LT(no, previous) << "rows must be newest first";
        previous = no;
    }
    // Links with absolute addresses and &nbsp; appear in places, as on real boards.
    EXPECT_NE(page.find("<a href=\"http://127.0.0.1:"), std::string::npos);
    EXPECT_NE(page.find("&nbsp;"), std::string::npos);
}

TEST_F(TestWebServerTest, PostListOfTheServedPageHasEveryTitleOnce) {
    const board::PostList list = board::ExtractPostList(
        BoardPage(), "http://127.0.0.1:" + std::to_string(port_) + "/bbs/zboard.php?id=share");
    // The notice (an absolute link), then the 25 post titles; navigation and paging are no posts.
    ASSERT_EQ(list.size(), testweb::kListPageRows + 1);
    EXPECT_EQ(list.front(), base::Cp949FromUtf8("[공지] 장터 이용 규칙 & 사기 예방 안내"));
    const std::vector<testweb::Post> newest = server_->board().Newest(testweb::kListPageRows);
    for (std::size_t i = 0; i < newest.size(); ++i) EXPECT_EQ(list[i + 1], newest[i].title);
}

TEST_F(TestWebServerTest, NewPostAppearsAsTheTopRowInCp949) {
    const auto posted = client_->Post("/admin/post", R"({"title":"테스트 자전거 직거래","writer":""})",
                                      "application/json");
    ASSERT_TRUE(posted);
    ASSERT_EQ(posted->status, 201) << posted->body;
    const nlohmann::json answer = nlohmann::json::parse(posted->body);
    EXPECT_EQ(answer["title"], "테스트 자전거 직거래");
    EXPECT_EQ(answer["writer"], "손님");
    EXPECT_EQ(answer["created_ms"], 1'700'000'000'000LL);

    const std::vector<std::string> rows = PostRows(BoardPage());
    ASSERT_EQ(rows.size(), testweb::kListPageRows);
    const std::string no = std::to_string(answer["no"].get<int>());
    EXPECT_NE(rows.front().find("view.php?id=share&amp;no=" + no + "\">" + kTest + " " + kJajeongeo + " " +
                                kJikgeorae + "</a>"),
              std::string::npos)
        << rows.front();
    EXPECT_NE(rows.front().find("<span>" + kSonnim + "</span>"), std::string::npos);
}

struct PostCase {
    const char* name;
    const char* contentType;
    std::string body;
    std::string query;
    int status;
    std::string storedTitle; // cp949, when accepted
};

class PostInputTest : public TestWebServerTest, public ::testing::WithParamInterface<PostCase> {};

TEST_P(PostInputTest, StoresCleanTitleOrRefusesClearly) {
    const PostCase& c = GetParam();
    const std::size_t before = server_->board().Size();
    const auto response = client_->Post(("/admin/post" + c.query).c_str(), c.body, c.contentType);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, c.status) << response->body;
    if (c.status == 201) {
        ASSERT_EQ(server_->board().Size(), before + 1);
        EXPECT_EQ(server_->board().Newest(1).front().title, c.storedTitle);
    } else {
        EXPECT_EQ(server_->board().Size(), before);
        EXPECT_TRUE(nlohmann::json::parse(response->body).contains("error"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, PostInputTest,
    ::testing::Values(
        PostCase{"json", "application/json", R"({"title":"직거래"})", "", 201, kJikgeorae},
        PostCase{"form", "application/x-www-form-urlencoded", "title=%EC%A7%81%EA%B1%B0%EB%9E%98+A%26B", "", 201,
                 kJikgeorae + " A&B"},
        PostCase{"query", "application/x-www-form-urlencoded", "", "?title=bike%20sale", 201, "bike sale"},
        PostCase{"line breaks become spaces, ends trimmed", "application/json", R"({"title":"  a\r\nb\tc  "})", "",
                 201, "a  b c"},
        PostCase{"no cp949 form becomes ?", "application/json", R"({"title":"bike 🚲"})", "", 201, "bike ?"},
        PostCase{"empty title", "application/json", R"({"title":"   "})", "", 400, ""},
        PostCase{"missing title", "application/json", R"({"writer":"x"})", "", 400, ""},
        PostCase{"title not a string", "application/json", R"({"title":5})", "", 400, ""},
        PostCase{"broken JSON", "application/json", R"({"title":)", "", 400, ""},
        PostCase{"JSON not an object", "application/json", R"(["title"])", "", 400, ""},
        PostCase{"title too long", "application/json",
                 R"({"title":")" + std::string(testweb::kMaxTitleBytes + 1, 'x') + "\"}", "", 400, ""},
        PostCase{"writer too long", "application/json",
                 R"({"title":"t","writer":")" + std::string(testweb::kMaxWriterBytes + 1, 'w') + "\"}", "", 400,
                 ""}),
    [](const ::testing::TestParamInfo<PostCase>& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

TEST_F(TestWebServerTest, TitleMarkupIsEscapedOnThePage) {
    ASSERT_EQ(client_->Post("/admin/post", R"({"title":"<b>A&B</b> \"x\""})", "application/json")->status, 201);
    const std::string top = PostRows(BoardPage()).front();
    EXPECT_NE(top.find(">&lt;b&gt;A&amp;B&lt;/b&gt; \"x\"</a>"), std::string::npos) << top;
}

TEST_F(TestWebServerTest, PostPageCountsViewsAndUnknownPagesAre404) {
    const int no = server_->board().Newest(1).front().no;
    const std::string path = "/bbs/view.php?id=share&no=" + std::to_string(no);
    const int viewsBefore = server_->board().Newest(1).front().views;
    const auto view = client_->Get(path.c_str());
    ASSERT_TRUE(view);
    EXPECT_EQ(view->status, 200);
    EXPECT_NE(view->body.find(server_->board().Newest(1).front().title), std::string::npos);
    EXPECT_EQ(server_->board().Newest(1).front().views, viewsBefore + 1);

    for (const char* missing : {"/bbs/view.php?id=share&no=99999", "/bbs/view.php?id=share&no=abc",
                                "/bbs/view.php?id=other&no=1", "/bbs/zboard.php?id=other", "/nothing/here"}) {
        const auto response = client_->Get(missing);
        ASSERT_TRUE(response) << missing;
        EXPECT_EQ(response->status, 404) << missing;
        EXPECT_EQ(response->get_header_value("Content-Type"), "text/html; charset=euc-kr") << missing;
    }
}

TEST_F(TestWebServerTest, HomeAndPortalPagesAreServed) {
    for (const char* path : {"/", "/portal/naver", "/portal/daum", "/bbs/view.php?id=share&no=0"}) {
        const auto response = client_->Get(path);
        ASSERT_TRUE(response) << path;
        EXPECT_EQ(response->status, 200) << path;
        EXPECT_NE(response->body.find("charset=euc-kr"), std::string::npos) << path;
    }
    EXPECT_NE(client_->Get("/")->body.find("href=\"/bbs/zboard.php?id=share\""), std::string::npos);
}

TEST_F(TestWebServerTest, SmsGatewayRecordsDecodedQuery) {
    const std::string query = "userid=quorlan&passwd=p%26w&sender=01012345678&receiver=01012345678&encode=1"
                              "&message=Quorlan%3A%20%C1%F7%B0%C5%B7%A1+%C0%DA%C0%FC%B0%C5";
    const auto sent = client_->Get(("/MSG/send/web_admin_send.htm?" + query).c_str());
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->status, 200);
    EXPECT_EQ(sent->get_header_value("Content-Type"), "text/html; charset=euc-kr");
    ASSERT_EQ(client_->Get("/MSG/send/web_admin_send.htm?encode=1")->status, 200);

    const nlohmann::json record = SmsRecord();
    ASSERT_EQ(record.size(), 2u);
    EXPECT_EQ(record[0]["query"], query);
    EXPECT_EQ(record[0]["userid"], "quorlan");
    EXPECT_EQ(record[0]["passwd"], "p&w");
    EXPECT_EQ(record[0]["sender"], "01012345678");
    EXPECT_EQ(record[0]["receiver"], "01012345678");
    EXPECT_EQ(record[0]["encode"], "1");
    EXPECT_EQ(record[0]["message"], "Quorlan: 직거래 자전거");
    EXPECT_EQ(record[0]["received_ms"], 1'700'000'000'000LL);
    EXPECT_TRUE(record[1]["message"].is_null());
    EXPECT_EQ(record[1]["encode"], "1");

    const auto cleared = client_->Delete("/admin/sms");
    ASSERT_TRUE(cleared);
    EXPECT_EQ(nlohmann::json::parse(cleared->body)["cleared"], 2);
    EXPECT_TRUE(SmsRecord().empty());
}

TEST_F(TestWebServerTest, SmsGatewayGetsBackWhatTheClientEncoded) {
    // The client's own URL builder, cp949 message with the characters that
    // delimit a query: the gateway must read back the same text.
    const std::string message = kJikgeorae + " A&B=C+D #1 100%";
    const std::string url = board::BuildSmsGatewayUrl("", "id", "pw", "010-1234-5678", message);
    ASSERT_EQ(client_->Get(url.c_str())->status, 200);
    const nlohmann::json record = SmsRecord();
    ASSERT_EQ(record.size(), 1u);
    EXPECT_EQ(record[0]["message"], "Quorlan: 직거래 A&B=C+D #1 100%");
    EXPECT_EQ(record[0]["sender"], "01012345678");
    EXPECT_EQ(record[0]["receiver"], "01012345678");
}

TEST_F(TestWebServerTest, RawNonAsciiQueryIsKeptEscaped) {
    // A client that does not encode sends cp949 bytes as they are.
    const std::string target = "/MSG/send/web_admin_send.htm?encode=1&message=" + kJikgeorae;
    ASSERT_EQ(client_->Get(target.c_str())->status, 200);
    const nlohmann::json record = SmsRecord();
    ASSERT_EQ(record.size(), 1u);
    EXPECT_EQ(record[0]["query"], "encode=1&message=%C1%F7%B0%C5%B7%A1");
    EXPECT_EQ(record[0]["message"], "직거래");
}

TEST_F(TestWebServerTest, PatchListDefaultsToLocalServerAndRunningBuild) {
    const auto response = client_->Get("/patch_quorlan.txt");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->status, 200);
    EXPECT_FALSE(response->get_header_value("Content-Length").empty());
    EXPECT_EQ(response->body, "[config]\nversion=3\nport=3000\nipaddr=127.0.0.1\npatchfile=\nsignature=\n");
}

TEST(TestWebPatchList, PublishesTheGivenOptions) {
    testweb::TestWebOptions options;
    options.patch = {4, "10.0.0.7", 4000, "http://127.0.0.1:8080/files/quorlan", "ab01"};
    TestWebServer server(options);
    const testweb::StartResult started = server.Start("127.0.0.1", 0);
    ASSERT_TRUE(started.error.empty()) << started.error;
    httplib::Client client("127.0.0.1", started.port);
    EXPECT_EQ(client.Get("/patch_quorlan.txt")->body, "[config]\nversion=4\nport=4000\nipaddr=10.0.0.7\n"
                                                      "patchfile=http://127.0.0.1:8080/files/quorlan\n"
                                                      "signature=ab01\n");
}

TEST(TestWebPatchList, RefusesOptionsThatWouldBreakTheList) {
    struct Case {
        testweb::PatchListOptions options;
        bool valid;
    };
    const Case cases[] = {
        {{3, "127.0.0.1", 3000, "", ""}, true},
        {{0, "192.168.0.10", 65535, "http://h/p", "00ff"}, true},
        {{-1, "127.0.0.1", 3000, "", ""}, false},
        {{3, "localhost", 3000, "", ""}, false},
        {{3, "127.0.0.1 ", 3000, "", ""}, false},
        {{3, "127.0.0.1", 0, "", ""}, false},
        {{3, "127.0.0.1", 65536, "", ""}, false},
        {{3, "127.0.0.1", 3000, "http://h/p\nversion=9", ""}, false},
        {{3, "127.0.0.1", 3000, "", "ab\r"}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(testweb::ValidatePatchList(c.options).empty(), c.valid)
            << c.options.serverAddress << ":" << c.options.serverPort << " " << c.options.patchFile;
    }
}

TEST(TestWebServerStart, BusyPortIsAnErrorAndStopIsImmediate) {
    TestWebServer first({});
    const testweb::StartResult started = first.Start("127.0.0.1", 0);
    ASSERT_TRUE(started.error.empty());
    TestWebServer second({});
    const testweb::StartResult clash = second.Start("127.0.0.1", started.port);
    EXPECT_FALSE(clash.error.empty());
    EXPECT_EQ(clash.port, 0);
    first.Stop();
    first.Stop();
}

TEST(TestWebPatchFile, ServedOnlyWhenGiven) {
    for (const std::string& body : {std::string(), std::string("\x7F" "ELF\0\x01 program", 13)}) {
        testweb::TestWebOptions options;
        options.patchFileBody = body;
        TestWebServer server(options);
        const testweb::StartResult started = server.Start("127.0.0.1", 0);
        ASSERT_TRUE(started.error.empty()) << started.error;
        httplib::Client client("127.0.0.1", started.port);
        const auto response = client.Get(testweb::kPatchFilePath);
        ASSERT_TRUE(response);
        if (body.empty()) {
            EXPECT_EQ(response->status, 404);
        } else {
            EXPECT_EQ(response->status, 200);
            EXPECT_EQ(response->body, body);
            EXPECT_EQ(response->get_header_value("Content-Length"), "13");
        }
    }
}
