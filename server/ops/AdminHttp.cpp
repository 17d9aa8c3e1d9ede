#include "AdminHttp.h"

#include "base/Cp949.h"
#include "server/common/Endpoint.h"

#include <asio/post.hpp>
#include <fcntl.h>
#include <httplib.h>
#include <sodium.h>
#include <spdlog/spdlog.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <future>
#include <sstream>

namespace quorlan::server {
namespace {

constexpr auto kLoopAnswerTime = std::chrono::seconds(2);
constexpr std::size_t kTokenBytes = 32;
// A token shorter than this is refused as guessable.
constexpr std::size_t kShortestToken = 16;

std::string Trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

} // namespace

AdminHttp::AdminHttp(asio::io_context& loop, const Metrics& metrics, std::string token, NoticeSender sendNotice,
                     HealthProbe probe)
    : loop_(loop), metrics_(metrics), token_(std::move(token)), sendNotice_(std::move(sendNotice)),
      probe_(std::move(probe)) {}

std::optional<std::string> AdminHttp::LoadOrCreateToken(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        unsigned char bytes[kTokenBytes];
        randombytes_buf(bytes, sizeof bytes);
        char hex[2 * kTokenBytes + 1];
        sodium_bin2hex(hex, sizeof hex, bytes, sizeof bytes);
        const std::string line = std::string(hex) + "\n";
        const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
        ::close(fd);
        if (!written) {
            error = "cannot write the admin token to " + path;
            return std::nullopt;
        }
        spdlog::info("created the admin token file {} (mode 0600)", path);
        return std::string(hex);
    }
    if (errno != EEXIST) {
        error = "cannot create the admin token file " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::string token = Trimmed(text.str());
    if (!in || token.size() < kShortestToken) {
        error = "the admin token file " + path + " holds no token of at least 16 characters";
        return std::nullopt;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && (st.st_mode & 077) != 0)
        spdlog::warn("the admin token file {} is readable by other users", path);
    return token;
}

bool AdminHttp::Authorised(const std::string& header) const {
    constexpr std::string_view kScheme = "Bearer ";
    if (header.size() != kScheme.size() + token_.size() || header.compare(0, kScheme.size(), kScheme) != 0)
        return false;
    return sodium_memcmp(header.data() + kScheme.size(), token_.data(), token_.size()) == 0;
}

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
    const auto address = LoopbackAddress(host);
    if (!address) {
        error = "the admin endpoint listens on a loopback address only, not on " + host;
        return false;
    }
    http_ = std::make_unique<httplib::Server>();
    http_->new_task_queue = [] { return new httplib::ThreadPool(2); };
    http_->set_payload_max_length(64 * 1024);

    http_->Get("/health", [this](const httplib::Request&, httplib::Response& res) {
        const auto health = OnLoop<Health>(probe_);
        if (!health) {
            res.status = 503;
            res.set_content("event loop not answering\n", "text/plain");
            return;
        }
        res.status = health->ok ? 200 : 503;
        const std::string detail = health->detail.empty() ? "" : health->detail + "\n";
        res.set_content(health->ok ? "ok\n" + detail : detail, "text/plain");
    });
    http_->Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(metrics_.Render(), "text/plain; version=0.0.4");
    });
    http_->Post("/notice", [this](const httplib::Request& req, httplib::Response& res) {
        if (!Authorised(req.get_header_value("Authorization"))) {
            spdlog::warn("admin: POST /notice without the right token from {}", req.remote_addr);
            res.status = 401;
            res.set_header("WWW-Authenticate", "Bearer");
            res.set_content("admin token required\n", "text/plain");
            return;
        }
        const std::string text = base::Cp949FromUtf8(req.body);
        const bool forBoard = req.has_param("board");
        const std::string board = forBoard ? base::Cp949FromUtf8(req.get_param_value("board")) : "";
        if (forBoard && board.empty()) {
            res.status = 400;
            res.set_content("empty board\n", "text/plain");
            return;
        }
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

    const int bound =
        port == 0 ? http_->bind_to_any_port(*address) : (http_->bind_to_port(*address, port) ? port : -1);
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
