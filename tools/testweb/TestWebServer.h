#pragma once
#include "tools/testweb/AutoPoster.h"
#include "tools/testweb/Board.h"
#include "tools/testweb/BoardStyles.h"
#include "tools/testweb/PatchList.h"
#include "tools/testweb/SmsLog.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace quorlan::testweb {

struct TestWebOptions {
    PatchListOptions patch;
    std::chrono::seconds autoPost{0}; // zero: no automatic posts
    // Served at kPatchFilePath when not empty: a new program file, so that an
    // update can be tried out without another web server.
    std::string patchFileBody;
    Board::Clock clock = &std::chrono::system_clock::now;
    std::function<void(const std::string& utf8Line)> log; // one line per request and per new post; may be empty
};

inline constexpr const char* kPatchFilePath = "/patch/quorlan";

struct StartResult {
    int port = 0;
    std::string error; // empty on success
};

// The local outside world of the client on one HTTP listener: the board list
// and post pages, the admin paths that add posts and read the SMS gateway's
// record, the SMS gateway path, the patch list, a home page and portal pages.
class TestWebServer {
public:
    explicit TestWebServer(TestWebOptions options);
    ~TestWebServer();
    TestWebServer(const TestWebServer&) = delete;
    TestWebServer& operator=(const TestWebServer&) = delete;

    // Binds host:port (port 0 picks a free one) and serves on a thread of its own;
    // the port is accepting connections when this returns.
    [[nodiscard]] StartResult Start(const std::string& host, int port);
    void Stop();

    Board& board() { return board_; }
    SmsLog& sms() { return sms_; }
    AutoPoster& autoPoster() { return poster_; }

private:
    using StyleRender = std::string (*)(const StylePage&);

    void Route();
    void RouteStyles();
    std::string Origin(const httplib::Request& request) const;
    // Serves a board style's list page, or its post page when postNo is given
    // (404 when no post has that number).
    void ServeStyle(const httplib::Request& request, httplib::Response& response, StyleRender render,
                    const char* contentType, std::optional<std::string_view> postNo);
    void Log(const std::string& line) const;

    TestWebOptions options_;
    Board board_;
    SmsLog sms_;
    AutoPoster poster_;
    std::unique_ptr<httplib::Server> http_;
    std::thread thread_;
    std::string fallbackOrigin_;
};

} // namespace quorlan::testweb
