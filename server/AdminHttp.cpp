#include "AdminHttp.h"

#include "Endpoint.h"
#include "net/Cp949.h"

#include <asio/post.hpp>
#include <httplib.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <future>

namespace quorlan::server {
namespace {

constexpr auto kLoopAnswerTime = std::chrono::seconds(2);

} // namespace

AdminHttp::AdminHttp(asio::io_context& loop, const Metrics& metrics, NoticeSender sendNotice)
    : loop_(loop), metrics_(metrics), sendNotice_(std::move(sendNotice)) {}

AdminHttp::~AdminHttp() { Stop(); }

template <typename T> std::optional<T> AdminHttp::OnLoop(std::function<T()> work) {
    auto promise = std::make_shared<std::promise<T>>();
    auto future = promise->get_future();
    asio::post(loop_, [promise, work = std::move(work)] { promise->set_value(work()); });
    if (future.wait_for(kLoopAnswerTime) != std::future_status::ready) return std::nullopt;
    try {
        return future.get();
    } catch (const std::future_error&) {
        return std::nullopt; // the loop stopped and dropped the work
    }
}

bool AdminHttp::Start(const std::string& host, std::uint16_t port, std::string& error) {
    if (!IsLoopbackHost(host)) {
        error = "the admin endpoint listens on loopback only, not on " + host;
        return false;
    }
    http_ = std::make_unique<httplib::Server>();
    http_->new_task_queue = [] { return new httplib::ThreadPool(2); };
    http_->set_payload_max_length(64 * 1024);

    http_->Get("/health", [this](const httplib::Request&, httplib::Response& res) {
        const auto alive = OnLoop<bool>([] { return true; });
        res.status = alive ? 200 : 503;
        res.set_content(alive ? "ok\n" : "event loop not answering\n", "text/plain");
    });
    http_->Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(metrics_.Render(), "text/plain; version=0.0.4");
    });
    http_->Post("/notice", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string text = net::Cp949FromUtf8(req.body);
        const std::string board = req.has_param("board") ? net::Cp949FromUtf8(req.get_param_value("board")) : "";
        if (text.empty()) {
            res.status = 400;
            res.set_content("empty notice\n", "text/plain");
            return;
        }
        auto reached = OnLoop<std::optional<std::size_t>>([this, text, board] { return sendNotice_(text, board); });
        if (!reached) {
            res.status = 503;
            res.set_content("event loop not answering\n", "text/plain");
        } else if (!*reached) {
            res.status = 413;
            res.set_content("notice too long\n", "text/plain");
        } else {
            spdlog::info("notice sent to {} clients", **reached);
            res.set_content("sent to " + std::to_string(**reached) + " clients\n", "text/plain");
        }
    });

    const int bound = port == 0 ? http_->bind_to_any_port(host) : (http_->bind_to_port(host, port) ? port : -1);
    if (bound <= 0) {
        error = "cannot listen on " + host + ":" + std::to_string(port) + " for the admin endpoint";
        http_.reset();
        return false;
    }
    port_ = static_cast<std::uint16_t>(bound);
    thread_ = std::thread([this] { http_->listen_after_bind(); });
    // stop() only takes effect once the listener runs; wait for it so that an
    // early Stop() cannot leave the thread listening forever.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!http_->is_running() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void AdminHttp::Stop() {
    if (http_) http_->stop();
    if (thread_.joinable()) thread_.join();
    http_.reset();
}

} // namespace quorlan::server
