// Post-to-alert latency against crowd size: one real server, and for each
// crowd size a web board on a loopback host of its own watched by that many
// honest checkers, all at the same interval, side by side in one run.
//
// A checker does what the client does with a CheckList: it loads the board
// page, waits the client's 2,000 ms compare delay, reports the page's list
// and sends every line new against the server's list. A post appears on a
// board at random moments; its latency runs from its creation to the first
// NewPost for it that reaches one of the board's checkers.
#include "board/MarkupLinks.h"
#include "board/PostListCompare.h"
#include "board/PostListText.h"
#include "fakes/LoopbackSocket.h"
#include "net/Codec.h"
#include "net/StreamFramer.h"
#include "server/Server.h"
#include "tools/testweb/TestWebServer.h"

#include <CLI/CLI.hpp>
#include <httplib.h>
#include <poll.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
constexpr auto kCompareDelay = 2000ms;

// First arrival of each line at any checker of one board.
class Arrivals {
public:
    void Saw(const std::string& line, Clock::time_point at) {
        std::lock_guard lock(mutex_);
        first_.try_emplace(line, at);
    }
    std::optional<Clock::time_point> First(const std::string& line) const {
        std::lock_guard lock(mutex_);
        auto it = first_.find(line);
        return it == first_.end() ? std::nullopt : std::optional(it->second);
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, Clock::time_point> first_;
};

// One honest checker: a reader thread that stamps what arrives, and a worker
// that does the checks, so a check in progress delays no stamp.
class Checker {
public:
    // `source`: the loopback address the checker connects from, its machine.
    Checker(std::uint16_t serverPort, const std::string& source, std::string webHost, int webPort, std::string path,
            Arrivals& arrivals)
        : web_(webHost, webPort), pageUrl_("http://" + webHost + ":" + std::to_string(webPort) + path),
          path_(std::move(path)), arrivals_(arrivals) {
        fd_ = quorlan::test::ConnectLoopback(serverPort, 0, true, source.c_str());
        web_.set_keep_alive(true);
        reader_ = std::thread([this] { Read(); });
        worker_ = std::thread([this] { Work(); });
    }
    ~Checker() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        ::shutdown(fd_, SHUT_RDWR);
        reader_.join();
        worker_.join();
        ::close(fd_);
    }
    bool Send(const quorlan::net::Encoded& packet) {
        std::lock_guard lock(writeMutex_);
        return packet.ok() && quorlan::test::SendAll(fd_, packet.bytes);
    }
    std::size_t Checks() const { return checks_.load(); }

private:
    struct Job {
        bool check; // CheckList, else ListRequest
        std::string serverList;
    };

    std::optional<quorlan::board::PostList> LoadPage() {
        auto response = web_.Get(path_);
        if (!response || response->status != 200) return std::nullopt;
        return quorlan::board::ExtractPostList(response->body, pageUrl_);
    }

    void Work() {
        while (true) {
            Job job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return stopping_ || job_.has_value(); });
                if (stopping_) return;
                job = std::move(*job_);
                job_.reset();
            }
            auto page = LoadPage();
            if (!job.check) {
                Send(quorlan::net::EncodeListReply(page ? quorlan::board::WritePostListText(*page) : ""));
                continue;
            }
            std::this_thread::sleep_for(kCompareDelay);
            if (!page) page = quorlan::board::PostList{};
            ++checks_;
            Send(quorlan::net::EncodeListReport(quorlan::board::WritePostListText(*page)));
            const auto fresh = quorlan::board::FindNewLines(*page, quorlan::board::ReadPostListText(job.serverList));
            if (fresh.size() >= quorlan::board::kNewLineCutOff) continue;
            for (std::size_t at : fresh) Send(quorlan::net::EncodeNewPost((*page)[at]));
        }
    }

    void Read() {
        quorlan::net::StreamFramer framer(quorlan::net::kAnyLength);
        std::uint8_t chunk[16384];
        while (true) {
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) return;
            const auto at = Clock::now();
            framer.Feed(chunk, static_cast<std::size_t>(n));
            for (auto frame = framer.Next(); frame.kind == quorlan::net::StreamFramer::Frame::Kind::Packet;
                 frame = framer.Next()) {
                const auto message = quorlan::net::DecodeServerMessage(frame.data, frame.size);
                if (message.type == quorlan::net::ServerNewPost) arrivals_.Saw(message.text, at);
                if (message.type == quorlan::net::CheckList || message.type == quorlan::net::ListRequest) {
                    std::lock_guard lock(mutex_);
                    job_ = Job{message.type == quorlan::net::CheckList, message.text};
                    wake_.notify_all();
                }
            }
            if (framer.Failed()) return;
        }
    }

    int fd_ = -1;
    httplib::Client web_;
    std::string pageUrl_;
    std::string path_;
    Arrivals& arrivals_;
    std::mutex writeMutex_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Job> job_;
    bool stopping_ = false;
    std::atomic<std::size_t> checks_{0};
    std::thread reader_;
    std::thread worker_;
};

// A title no other post has: the comparison ignores digits and spaces, so
// posts differ by letters.
std::string Title(int n) {
    std::string tag;
    for (int k = n;; k = k / 26 - 1) {
        tag.insert(tag.begin(), static_cast<char>('A' + k % 26));
        if (k < 26) break;
    }
    return "Crowd" + tag + " sale";
}

struct Crowd {
    int size = 0;
    std::string host;
    std::unique_ptr<quorlan::testweb::TestWebServer> web;
    std::string url;
    Arrivals arrivals;
    std::vector<std::unique_ptr<Checker>> checkers;
    std::vector<std::pair<std::string, Clock::time_point>> posts;
};

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return 0;
    // nearest rank
    const auto rank = static_cast<std::size_t>(std::max(1.0, std::ceil(p * static_cast<double>(v.size()))));
    return v[std::min(rank, v.size()) - 1];
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Post-to-alert latency against crowd size"};
    int interval = 40;
    double floor = 1;
    int seconds = 240;
    double postEvery = 8;
    std::vector<int> sizes = {1, 4, 16};
    app.add_option("--interval", interval, "Every checker's interval (SetBoard), seconds")->capture_default_str();
    app.add_option("--min-interval", floor, "The server's politeness floor, seconds")->capture_default_str();
    app.add_option("--seconds", seconds, "How long posts are made")->capture_default_str();
    app.add_option("--post-every", postEvery, "Mean time between posts on each board, seconds")
        ->capture_default_str();
    app.add_option("--crowds", sizes, "Crowd sizes, one board each")->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    spdlog::set_level(spdlog::level::warn);

    const auto dir = std::filesystem::temp_directory_path() / ("quorlan-crowd-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    quorlan::server::ServerConfig config;
    config.listenPort = 0;
    config.adminHost.clear();
    config.databasePath = (dir / "crowd.db").string();
    config.minInterval = std::chrono::milliseconds(static_cast<std::int64_t>(floor * 1000));
    config.checkTimeout = 30s;
    config.maxConnections = 1000;
    quorlan::server::SystemClock clock;
    auto created = quorlan::server::Server::Create(config, clock);
    if (!created.server) {
        std::fprintf(stderr, "server: %s\n", created.error.c_str());
        return 1;
    }
    std::thread serverThread([&] { created.server->Run(); });
    const std::uint16_t port = created.server->Port();

    std::vector<std::unique_ptr<Crowd>> crowds;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        auto crowd = std::make_unique<Crowd>();
        crowd->size = sizes[i];
        crowd->host = "127.0.0." + std::to_string(i + 2); // a site of its own
        crowd->web = std::make_unique<quorlan::testweb::TestWebServer>(quorlan::testweb::TestWebOptions{});
        const auto started = crowd->web->Start(crowd->host, 0);
        if (!started.error.empty()) {
            std::fprintf(stderr, "web fixture on %s: %s\n", crowd->host.c_str(), started.error.c_str());
            return 1;
        }
        const std::string path = "/bbs/zboard.php?id=share";
        crowd->url = "http://" + crowd->host + ":" + std::to_string(started.port) + path;
        for (int c = 0; c < crowd->size; ++c) {
            // Every checker a machine of its own, as a real crowd is.
            const std::string source = "127.1." + std::to_string(i) + "." + std::to_string(c + 1);
            auto checker = std::make_unique<Checker>(port, source, crowd->host, started.port, path, crowd->arrivals);
            checker->Send(quorlan::net::EncodeSetBoard(interval, crowd->url));
            checker->Send(quorlan::net::EncodeSearchState(1));
            crowd->checkers.push_back(std::move(checker));
        }
        crowds.push_back(std::move(crowd));
    }
    std::printf("%zu boards, checkers at %d s, floor %.1f s; posting for %d s (one per %.0f s per board)...\n",
                crowds.size(), interval, floor, seconds, postEvery);
    std::fflush(stdout);
    // Let every board get its baseline and first check before posting.
    std::this_thread::sleep_for(kCompareDelay + 2s);

    std::mt19937 random(std::random_device{}());
    std::exponential_distribution<double> gap(1.0 / postEvery);
    std::vector<Clock::time_point> nextPost(crowds.size(), Clock::now());
    int made = 0;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (true) {
        const auto due = std::min_element(nextPost.begin(), nextPost.end());
        if (*due >= end) break;
        std::this_thread::sleep_until(*due);
        Crowd& crowd = *crowds[static_cast<std::size_t>(due - nextPost.begin())];
        quorlan::testweb::NewPost post;
        post.title = Title(made++);
        post.writer = "bench";
        crowd.posts.emplace_back(post.title, Clock::now());
        crowd.web->board().AddPost(std::move(post));
        *due += std::chrono::milliseconds(static_cast<std::int64_t>(gap(random) * 1000));
    }
    // The last posts need up to an interval and a check to arrive.
    std::this_thread::sleep_for(std::chrono::seconds(interval) + kCompareDelay + 3s);

    std::printf("\nPost-to-alert latency (ms), checkers at %d s, floor %.1f s:\n", interval, floor);
    std::printf("%8s %10s %8s %8s %8s %8s %14s\n", "clients", "board every", "posts", "missed", "median", "p90",
                "expected");
    for (const auto& crowd : crowds) {
        std::vector<double> latencies;
        std::size_t missed = 0;
        for (const auto& [line, at] : crowd->posts) {
            const auto seen = crowd->arrivals.First(line);
            if (!seen) {
                ++missed;
                continue;
            }
            latencies.push_back(std::chrono::duration<double, std::milli>(*seen - at).count());
        }
        const double boardEvery = std::max(floor, static_cast<double>(interval) / crowd->size);
        const double expected = boardEvery * 1000 / 2 + static_cast<double>(kCompareDelay.count());
        std::printf("%8d %9.1fs %8zu %8zu %8.0f %8.0f %14.0f\n", crowd->size, boardEvery, crowd->posts.size(), missed,
                    Percentile(latencies, 0.5), Percentile(latencies, 0.9), expected);
    }
    std::printf("(expected: half the board's check interval + the %lld ms compare delay, page load aside)\n",
                static_cast<long long>(kCompareDelay.count()));

    for (auto& crowd : crowds) crowd->checkers.clear();
    created.server->Stop();
    serverThread.join();
    for (auto& crowd : crowds) crowd->web->Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}
