#include "LocalWeb.h"

namespace quorlan::test {

LocalWeb::LocalWeb(std::string boardPageCp949) {
    // One request a connection: the browser's idle keep-alive connections
    // would otherwise hold the workers until their time-out at shutdown.
    server_.set_keep_alive_max_count(1);
    server_.Get("/bbs/zboard.php", [page = std::move(boardPageCp949)](const httplib::Request&, httplib::Response& res) {
        res.set_content(page, "text/html; charset=EUC-KR");
    });
    // A post of the board: its number is its text, and a link leads back to the list.
    server_.Get("/bbs/view.php", [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("<html><body>post " + req.get_param_value("no") +
                            " <a href=\"zboard.php?id=share\">list</a></body></html>",
                        "text/html");
    });
    // An SVG document has no body: the page reader finds nothing to read.
    server_.Get("/picture.svg", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(R"(<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"/>)", "image/svg+xml");
    });
    server_.Get("/old",
                [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/bbs/zboard.php?id=share"); });
    server_.Get("/MSG/send/web_admin_send.htm", [this](const httplib::Request& req, httplib::Response& res) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            gatewayHits_.push_back({{req.params.begin(), req.params.end()}, req.target});
        }
        res.set_content("OK", "text/plain");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    // The socket listens from bind on: requests queue until the thread accepts.
    thread_ = std::thread([this] { server_.listen_after_bind(); });
}

LocalWeb::~LocalWeb() {
    server_.stop();
    thread_.join();
}

std::string LocalWeb::Base() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::string LocalWeb::Url(const std::string& path) const {
    return Base() + path;
}

std::vector<LocalWeb::GatewayHit> LocalWeb::GatewayHits() {
    std::lock_guard<std::mutex> lock(mutex_);
    return gatewayHits_;
}

} // namespace quorlan::test
