#include "tools/testweb/TestWebServer.h"

#include "base/Cp949.h"
#include "tools/testweb/BoardPages.h"
#include "tools/testweb/BoardStyles.h"
#include "tools/testweb/MarketTitles.h"
#include "tools/testweb/PostInput.h"
#include "tools/testweb/QueryString.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <charconv>

namespace quorlan::testweb {
namespace {

constexpr const char* kHtml = kHtmlEucKr;
constexpr const char* kJson = kJsonUtf8;
// The side boxes of most read posts: this many, from this many newest posts.
constexpr std::size_t kPopularCount = 5;
constexpr std::size_t kPopularWindow = 100;
constexpr std::size_t kMaxRequestBody = 64 * 1024;

std::string_view QueryOf(const httplib::Request& request) {
    const std::string_view target = request.target;
    const std::size_t mark = target.find('?');
    return mark == std::string_view::npos ? std::string_view{} : target.substr(mark + 1);
}

std::string ParamOf(const httplib::Request& request, std::string_view key) {
    return FindParam(ParseQuery(QueryOf(request)), key).value_or("");
}

std::optional<int> ToNumber(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

long long UnixMs(std::chrono::system_clock::time_point when) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
}

nlohmann::json PostJson(const Post& post) {
    return {{"no", post.no},
            {"title", base::Utf8FromCp949(post.title)},
            {"writer", base::Utf8FromCp949(post.writer)},
            {"created_ms", UnixMs(post.created)}};
}

// Board pages change with every post; like a PHP board they forbid caching, so
// every check of the client really asks the board again.
void NoCache(httplib::Response& response) {
    response.set_header("Cache-Control", "no-store, no-cache, must-revalidate");
    response.set_header("Pragma", "no-cache");
}

void NotFound(httplib::Response& response, std::string_view what) {
    response.status = 404;
    response.set_content(RenderNotFound(what), kHtml);
}

Post NoticePost(std::chrono::system_clock::time_point now) {
    Post notice;
    notice.title = base::Cp949FromUtf8("[공지] 장터 이용 규칙 & 사기 예방 안내");
    notice.writer = base::Cp949FromUtf8("운영자");
    notice.body = base::Cp949FromUtf8("직거래를 권장합니다. 선입금 요구는 사기일 수 있으니 주의하세요.");
    notice.created = now;
    return notice;
}

} // namespace

TestWebServer::TestWebServer(TestWebOptions options)
    : options_(std::move(options)), board_(options_.clock), poster_(board_, options_.autoPost),
      http_(std::make_unique<httplib::Server>()) {
    SeedBoard(board_, options_.clock());
    http_->set_payload_max_length(kMaxRequestBody);
    // SO_REUSEADDR only: a restart may take the port out of TIME_WAIT, but a second
    // fixture on a busy port must fail instead of sharing it (as SO_REUSEPORT would).
    http_->set_socket_options([](int sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    Route();
}

TestWebServer::~TestWebServer() { Stop(); }

StartResult TestWebServer::Start(const std::string& host, int port) {
    if (thread_.joinable()) return {0, "already serving"};
    int bound = port;
    if (port == 0) {
        bound = http_->bind_to_any_port(host);
        if (bound <= 0) return {0, "cannot bind " + host + " to a free port"};
    } else if (port < 0 || port > 65535 || !http_->bind_to_port(host, port)) {
        return {0, "cannot bind " + host + ":" + std::to_string(port)};
    }
    fallbackOrigin_ = "http://" + host + ":" + std::to_string(bound);
    thread_ = std::thread([this] { http_->listen_after_bind(); });
    // The socket already listens; waiting for the accept loop keeps a Stop() that
    // follows at once from racing the loop's start.
    while (!http_->is_running()) std::this_thread::yield();
    poster_.Start();
    return {bound, {}};
}

void TestWebServer::Stop() {
    poster_.Stop();
    if (thread_.joinable()) {
        http_->stop();
        thread_.join();
    }
}

void TestWebServer::Log(const std::string& line) const {
    if (options_.log) options_.log(line);
}

std::string TestWebServer::Origin(const httplib::Request& request) const {
    const std::string host = request.get_header_value("Host");
    return host.empty() ? fallbackOrigin_ : "http://" + host;
}

void TestWebServer::Route() {
    auto origin = [this](const httplib::Request& request) { return Origin(request); };

    http_->Get("/", [this](const httplib::Request& request, httplib::Response& response) {
        response.set_content(RenderHome(Origin(request)), kHtml);
    });
    http_->Get("/portal/naver", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(RenderPortal("네이버"), kHtml);
    });
    http_->Get("/portal/daum", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(RenderPortal("다음"), kHtml);
    });

    http_->Get("/bbs/zboard.php", [this, origin](const httplib::Request& request, httplib::Response& response) {
        if (ParamOf(request, "id") != "share") return NotFound(response, "board");
        NoCache(response);
        response.set_content(RenderBoardList(board_.Newest(kListPageRows), origin(request)), kHtml);
    });
    http_->Get("/bbs/view.php", [this, origin](const httplib::Request& request, httplib::Response& response) {
        const std::optional<int> no = ToNumber(ParamOf(request, "no"));
        if (ParamOf(request, "id") != "share" || !no) return NotFound(response, "post");
        const std::optional<Post> post = *no == 0 ? NoticePost(options_.clock()) : board_.OpenPost(*no);
        if (!post) return NotFound(response, "post " + std::to_string(*no));
        NoCache(response);
        response.set_content(RenderPostView(*post, origin(request)), kHtml);
    });

    RouteStyles();

    http_->Post("/admin/post", [this](const httplib::Request& request, httplib::Response& response) {
        const PostInput input = ReadPostInput(request.get_header_value("Content-Type"), request.body, QueryOf(request));
        if (!input.error.empty()) {
            response.status = 400;
            response.set_content(nlohmann::json{{"error", input.error}}.dump(), kJson);
            return;
        }
        NewPost post;
        post.title = input.title;
        post.writer = input.writer;
        post.body = BodyFor(input.title);
        const Post stored = board_.AddPost(std::move(post));
        Log("new post " + std::to_string(stored.no) + ": " + base::Utf8FromCp949(stored.title));
        response.status = 201;
        response.set_content(PostJson(stored).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), kJson);
    });

    http_->Get("/MSG/send/web_admin_send.htm", [this](const httplib::Request& request, httplib::Response& response) {
        sms_.Record(QueryOf(request), options_.clock());
        response.set_content(RenderSmsReply(true), kHtml);
    });
    http_->Get("/admin/sms", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(SmsLog::ToJson(sms_.Snapshot()), kJson);
    });
    http_->Delete("/admin/sms", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(nlohmann::json{{"cleared", sms_.Clear()}}.dump(), kJson);
    });

    http_->Get("/patch_quorlan.txt", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(RenderPatchList(options_.patch), "text/plain");
    });

    if (!options_.patchFileBody.empty()) {
        http_->Get(kPatchFilePath, [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(options_.patchFileBody, "application/octet-stream");
        });
    }

    http_->set_error_handler([](const httplib::Request& request, httplib::Response& response) {
        if (response.status == 404 && response.body.empty()) {
            response.set_content(RenderNotFound(EscapeUnprintable(request.path)), kHtml);
        }
    });
    http_->set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        Log(request.method + " " + EscapeUnprintable(request.target) + " " + std::to_string(response.status));
    });
}

void TestWebServer::ServeStyle(const httplib::Request& request, httplib::Response& response, StyleRender render,
                               const char* contentType, std::optional<std::string_view> postNo) {
    StylePage page;
    page.now = options_.clock();
    page.origin = Origin(request);
    if (postNo) {
        const std::optional<int> no = ToNumber(std::string(*postNo));
        if (no && *no == 0) page.open = StyleNotice(page.now);
        if (no && *no != 0) page.open = board_.OpenPost(*no);
        if (!page.open) return NotFound(response, "post " + EscapeUnprintable(*postNo));
    }
    page.newest = board_.Newest(kListPageRows);
    page.popular = MostRead(board_.Newest(kPopularWindow), kPopularCount);
    NoCache(response);
    response.set_content(render(page), contentType);
}

void TestWebServer::RouteStyles() {
    using Request = httplib::Request;
    using Response = httplib::Response;
    // The list page, or the post page when the request names a post.
    auto listOrPost = [this](StyleRender render, const char* type, const char* param) {
        return [this, render, type, param](const Request& request, Response& response) {
            const std::optional<std::string> no = FindParam(ParseQuery(QueryOf(request)), param);
            ServeStyle(request, response, render, type, no);
        };
    };
    auto list = [this](StyleRender render, const char* type) {
        return [this, render, type](const Request& request, Response& response) {
            ServeStyle(request, response, render, type, std::nullopt);
        };
    };
    auto post = [this](StyleRender render, const char* type) {
        return [this, render, type](const Request& request, Response& response) {
            ServeStyle(request, response, render, type, request.matches[1].str());
        };
    };
    auto gnuboardFree = [](const StylePage& page) { return RenderGnuboard(page, "free"); };

    http_->Get("/bbs/board.php", [this, listOrPost, gnuboardFree](const Request& request, Response& response) {
        const std::string table = ParamOf(request, "bo_table");
        if (table == "free") return listOrPost(gnuboardFree, kHtmlUtf8, "wr_id")(request, response);
        if (table != "notice") return NotFound(response, "board");
        // The small notice board that gnuboard's side box links to.
        StylePage page;
        page.now = options_.clock();
        page.origin = Origin(request);
        page.newest = NoticeBoardPosts(page.now);
        if (const std::optional<std::string> id = FindParam(ParseQuery(QueryOf(request)), "wr_id")) {
            for (const Post& candidate : page.newest) {
                if (std::to_string(candidate.no) == *id) page.open = candidate;
            }
            if (!page.open) return NotFound(response, "post");
        }
        response.set_content(RenderGnuboard(page, "notice"), kHtmlUtf8);
    });

    http_->Get("/board", list(RenderRhymix, kHtmlUtf8));
    http_->Get(R"(/board/(\d+))", post(RenderRhymix, kHtmlUtf8));
    http_->Get("/index.php", [this, listOrPost](const Request& request, Response& response) {
        if (ParamOf(request, "mid") != "board") return NotFound(response, "module");
        listOrPost(RenderRhymix, kHtmlUtf8, "document_srl")(request, response);
    });

    http_->Get("/forum", list(RenderForum, kHtmlUtf8));
    http_->Get(R"(/post/(\d+))", post(RenderForum, kHtmlUtf8));

    http_->Get("/cafe/market", list(RenderCafeOuter, kHtmlUtf8));
    http_->Get("/cafe/ArticleList.nhn", list(RenderCafeFrame, kHtmlEucKr));
    http_->Get("/cafe/ArticleRead.nhn", [listOrPost](const Request& request, Response& response) {
        if (!FindParam(ParseQuery(QueryOf(request)), "articleid")) return NotFound(response, "article");
        listOrPost(RenderCafeFrame, kHtmlEucKr, "articleid")(request, response);
    });

    http_->Get("/app/board", list(RenderScriptShell, kHtmlUtf8));
    http_->Get(R"(/app/post/(\d+))", post(RenderScriptShell, kHtmlUtf8));
    http_->Get("/app/board.js", [](const Request&, Response& response) {
        response.set_content(RenderScriptCode(), kJavaScript);
    });
    http_->Get("/app/api/posts", list(RenderScriptData, kJsonUtf8));

    http_->Get("/service/board/park", list(RenderClien, kHtmlUtf8));
    http_->Get(R"(/service/board/park/(\d+))", post(RenderClien, kHtmlUtf8));

    http_->Get("/zboard/zboard.php", [list](const Request& request, Response& response) {
        if (ParamOf(request, "id") != "market") return NotFound(response, "board");
        list(RenderPpomppu, kHtmlEucKr)(request, response);
    });
    http_->Get("/zboard/view.php", [listOrPost](const Request& request, Response& response) {
        if (ParamOf(request, "id") != "market" || !FindParam(ParseQuery(QueryOf(request)), "no")) {
            return NotFound(response, "post");
        }
        listOrPost(RenderPpomppu, kHtmlEucKr, "no")(request, response);
    });
}

} // namespace quorlan::testweb
