// quorlan-loadgen: fan-out figures of quorlan-server against redis-server
// pub/sub, with the same subscribers and message size, on loopback; with
// --cluster-port also of a cluster of instances behind HAProxy.
#include "AbuseRun.h"
#include "ChildProcess.h"
#include "FanoutMeter.h"
#include "QuorlanFleet.h"
#include "RedisFleet.h"
#include "net/Codec.h"
#include "net/ProgramVersion.h"

#include <CLI/CLI.hpp>
#include <asio/io_context.hpp>

#include <algorithm>
#include <csignal>
#include <functional>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <unistd.h>
#include <thread>

namespace {

using namespace quorlan::loadgen;
using Clock = std::chrono::steady_clock;

struct Options {
    std::size_t clients = 10'000;
    std::size_t latencyPosts = 200;
    double seconds = 10;
    std::size_t window = 8;
    std::size_t size = 64;
    std::string serverBin;
    std::string redisBin = "/usr/bin/redis-server";
    bool noRedis = false;
    std::uint16_t clusterPort = 0; // 0: no cluster run
    bool checkTargets = false;
    // Crowds whose join phase is timed on a fresh server each, besides the
    // one of the fan-out run.
    std::vector<std::size_t> joinCrowds;
};

struct Figures {
    double p50 = 0, p99 = 0;       // fan-out to the last subscriber, one post at a time
    double loadedP99 = 0;          // the same under sustained load
    double deliveredPerSecond = 0; // messages received by subscribers per second
    double postsPerSecond = 0;
    long long rssPerConnection = -1;
};

// A crowd's join phase: every client connects and sets the board (quorlan:
// then turns monitoring on, confirmed by a round trip; redis: subscribes).
struct Joins {
    std::size_t clients = 0;
    double seconds = 0;
    double serverCpuSeconds = 0; // the server's processor time meanwhile
    long long residentBefore = 0; // the server's memory before the first client
};

bool WaitForPort(std::uint16_t port) {
    for (int i = 0; i < 500; ++i) {
        asio::io_context probe;
        asio::ip::tcp::socket socket(probe);
        std::error_code ec;
        socket.connect({asio::ip::address_v4::loopback(), port}, ec);
        if (!ec) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Runs the loop until `done` or the time limit; false on timeout.
template <typename Done> bool RunUntil(asio::io_context& loop, Done done, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) return false;
        loop.run_one_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::optional<Figures> Measure(asio::io_context& loop, Fleet& fleet, const Options& o, std::string& error) {
    Figures f;
    std::vector<double> latencies;
    std::size_t completed = 0;
    FanoutMeter meter(o.clients, [&](std::uint64_t, double ms) {
        latencies.push_back(ms);
        ++completed;
    });
    fleet.StartReading(meter);
    std::uint64_t sequence = 0;

    for (std::size_t i = 0; i < o.latencyPosts; ++i) {
        meter.Sent(sequence);
        fleet.Publish(sequence, PostLine(sequence, o.size));
        ++sequence;
        if (!RunUntil(loop, [&] { return completed == i + 1; }, std::chrono::seconds(20))) {
            error = std::string(fleet.Name()) + ": post " + std::to_string(i) + " did not reach every client";
            return std::nullopt;
        }
    }
    f.p50 = Percentile(latencies, 50);
    f.p99 = Percentile(latencies, 99);

    latencies.clear();
    const std::uint64_t deliveriesBefore = meter.Deliveries();
    const std::size_t completedBefore = completed;
    const auto start = Clock::now();
    const auto stopPublishing = start + std::chrono::duration<double>(o.seconds);
    while (Clock::now() < stopPublishing) {
        while (meter.InFlight() < o.window) {
            meter.Sent(sequence);
            fleet.Publish(sequence, PostLine(sequence, o.size));
            ++sequence;
        }
        loop.run_one_for(std::chrono::milliseconds(50));
    }
    if (!RunUntil(loop, [&] { return meter.InFlight() == 0; }, std::chrono::seconds(30))) {
        error = std::string(fleet.Name()) + ": posts of the sustained run did not all arrive";
        return std::nullopt;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    f.deliveredPerSecond = static_cast<double>(meter.Deliveries() - deliveriesBefore) / elapsed;
    f.postsPerSecond = static_cast<double>(completed - completedBefore) / elapsed;
    f.loadedP99 = Percentile(latencies, 99);
    return f;
}

// A server started for one run, the system's fleet and the join phase
// timed; `measure` (when set) then runs against the crowd.
using Measurement =
    std::function<bool(ChildProcess& server, asio::io_context& loop, Fleet& fleet, const Joins& joins)>;

template <typename FleetType>
std::optional<Joins> Join(ChildProcess& server, std::uint16_t port, std::size_t clients, const Measurement& measure,
                          std::string& error) {
    asio::io_context loop(1);
    FleetType fleet(loop);
    if (!WaitForPort(port)) {
        error = std::string(fleet.Name()) + " did not start listening";
        return std::nullopt;
    }
    const long long residentBefore = server.ResidentBytes();
    const double cpuBefore = server.CpuSeconds();
    const auto start = Clock::now();
    std::optional<Joins> joins;
    if (fleet.Setup(port, clients, error)) {
        joins = Joins{clients, std::chrono::duration<double>(Clock::now() - start).count(),
                      server.CpuSeconds() - cpuBefore, residentBefore};
        if (measure && !measure(server, loop, fleet, *joins)) joins.reset();
    }
    fleet.Close();
    return joins;
}

std::optional<Joins> RunQuorlan(const Options& o, std::size_t clients, const Measurement& measure,
                                std::string& error) {
    const auto dir = std::filesystem::temp_directory_path() / ("quorlan-loadgen-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::uint16_t port = FreePort();
    ChildProcess server;
    std::optional<Joins> joins;
    if (server.Start({o.serverBin, "--listen", "127.0.0.1:" + std::to_string(port), "--db",
                      (dir / "load.db").string(), "--admin", "off", "--min-interval", QuorlanFleet::kMinInterval,
                      "--check-timeout", "3600", "--max-connections", std::to_string(clients + 100), "--log-level",
                      "warn"},
                     false, error))
        joins = Join<QuorlanFleet>(server, port, clients, measure, error);
    server.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return joins;
}

std::optional<Joins> RunRedis(const Options& o, std::size_t clients, const Measurement& measure, std::string& error) {
    const std::uint16_t port = FreePort();
    ChildProcess redis;
    std::optional<Joins> joins;
    if (redis.Start({o.redisBin, "--port", std::to_string(port), "--bind", "127.0.0.1", "--save", "", "--appendonly",
                     "no", "--protected-mode", "no", "--maxclients", std::to_string(clients + 100), "--loglevel",
                     "warning"},
                    true, error))
        joins = Join<RedisFleet>(redis, port, clients, measure, error);
    redis.Stop();
    return joins;
}

// The fan-out figures of the crowd that has joined; quorlan-server's also
// its memory per connection.
Measurement FanOut(const Options& o, std::optional<Figures>& figures, std::string& error) {
    return [&o, &figures, &error](ChildProcess& server, asio::io_context& loop, Fleet& fleet, const Joins& joins) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500)); // let the server settle
        const long long after = server.ResidentBytes();
        figures = Measure(loop, fleet, o, error);
        if (figures) figures->rssPerConnection = (after - joins.residentBefore) / static_cast<long long>(o.clients);
        return figures.has_value();
    };
}

// The same clients through a server this program did not start: a cluster
// behind HAProxy (bench/fanout.sh --cluster).
std::optional<Figures> RunRunning(std::uint16_t port, const Options& o, std::string& error) {
    if (!WaitForPort(port)) {
        error = "nothing listens on port " + std::to_string(port);
        return std::nullopt;
    }
    asio::io_context loop(1);
    QuorlanFleet fleet(loop);
    std::optional<Figures> figures;
    if (fleet.Setup(port, o.clients, error)) figures = Measure(loop, fleet, o, error);
    fleet.Close();
    return figures;
}

std::string DefaultServerBin(const char* argv0) {
    std::error_code ec;
    auto self = std::filesystem::canonical("/proc/self/exe", ec);
    if (ec) self = argv0;
    return (self.parent_path() / ".." / ".." / "server" / "quorlan-server").lexically_normal().string();
}

int Probe(std::uint16_t port) {
    asio::io_context loop(1);
    QuorlanFleet fleet(loop);
    std::string error;
    const auto code = fleet.ProbeVersion(port, error);
    fleet.Close();
    if (!code) {
        std::cerr << error << "\n";
        return 1;
    }
    std::cout << "VersionResult " << *code << "\n";
    return *code == quorlan::net::kResultSuccess ? 0 : 1;
}

void Print(const char* name, const Figures& f) {
    std::printf("%-16s %10.2f ms %10.2f ms %10.2f ms %14.0f %10.1f\n", name, f.p50, f.p99, f.loadedP99,
                f.deliveredPerSecond, f.postsPerSecond);
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Fan-out load generator: quorlan-server against redis-server pub/sub"};
    Options o;
    o.serverBin = DefaultServerBin(argv[0]);
    app.add_option("--clients", o.clients, "Simulated clients on one board")->capture_default_str();
    app.add_option("--latency-posts", o.latencyPosts, "Posts sent one at a time for p50/p99")->capture_default_str();
    app.add_option("--seconds", o.seconds, "Length of the sustained run")->capture_default_str();
    app.add_option("--window", o.window, "Posts in flight during the sustained run")->capture_default_str();
    app.add_option("--size", o.size, "Post line length in bytes (at most 255)")->capture_default_str();
    app.add_option("--server-bin", o.serverBin, "quorlan-server program")->capture_default_str();
    app.add_option("--redis-bin", o.redisBin, "redis-server program")->capture_default_str();
    app.add_flag("--no-redis", o.noRedis, "Measure quorlan-server only");
    app.add_option("--cluster-port", o.clusterPort,
                   "Also measure the running server on this loopback port (quorlan-server instances behind "
                   "HAProxy), with the same clients");
    app.add_flag("--check-targets", o.checkTargets, "Exit 1 when a target is missed");
    app.add_option("--join-crowds", o.joinCrowds,
                   "Also time the join phase of crowds of these sizes on one board, each on a fresh server");
    bool abuse = false;
    app.add_flag("--abuse", abuse,
                 "Instead: honest login time without and with a login flood, and the server's growth for a "
                 "client that never reads");
    std::uint16_t probePort = 0;
    app.add_option("--probe", probePort,
                   "Only send Version to the server on this loopback port and print the VersionResult code "
                   "(exit 0 when it is 1)");
    app.set_version_flag("--version", quorlan::net::ProgramVersion("quorlan-loadgen"));
    CLI11_PARSE(app, argc, argv);
    if (probePort != 0) return Probe(probePort);
    if (abuse) {
        std::signal(SIGPIPE, SIG_IGN);
        std::string error;
        const auto figures = AbuseRun::Run(o.serverBin, error);
        if (!figures) {
            std::cerr << "abuse run failed: " << error << "\n";
            return 1;
        }
        std::printf("honest login, median: %.1f ms alone, %.1f ms (worst %.1f ms) while one address floods "
                    "(%zu flood logins)\n",
                    figures->quietLoginMs, figures->floodedLoginMs, figures->floodedWorstMs, figures->floodLogins);
        std::printf("server growth for a client that writes requests and never reads: %.1f KiB\n",
                    static_cast<double>(figures->nonReaderGrowth) / 1024.0);
        return 0;
    }
    if (o.clients == 0 || o.size < 16 || o.size > 255 || o.window == 0) {
        std::cerr << "need --clients > 0, 16 <= --size <= 255, --window > 0\n";
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    const unsigned long files = RaiseFileLimit();
    if (files < o.clients + 64) {
        std::cerr << "open-file limit " << files << " is too low for " << o.clients << " clients\n";
        return 2;
    }

    std::string error;
    std::optional<Figures> ours;
    const auto ourJoins = RunQuorlan(o, o.clients, FanOut(o, ours, error), error);
    if (!ourJoins) {
        std::cerr << "quorlan-server run failed: " << error << "\n";
        return 1;
    }
    std::optional<Figures> cluster;
    if (o.clusterPort != 0) {
        cluster = RunRunning(o.clusterPort, o, error);
        if (!cluster) {
            std::cerr << "cluster run failed: " << error << "\n";
            return 1;
        }
    }
    std::optional<Figures> redis;
    std::optional<Joins> redisJoins;
    if (!o.noRedis) {
        redisJoins = RunRedis(o, o.clients, FanOut(o, redis, error), error);
        if (!redisJoins) {
            std::cerr << "redis-server run failed: " << error << "\n";
            return 1;
        }
    }
    // Each crowd's joins on a server of its own, the largest last.
    std::vector<std::pair<Joins, std::optional<Joins>>> crowds{{*ourJoins, redisJoins}};
    std::sort(o.joinCrowds.begin(), o.joinCrowds.end());
    for (const std::size_t clients : o.joinCrowds) {
        if (clients == o.clients) continue;
        if (files < clients + 64) {
            std::printf("%zu clients: not tried: more than the open-file limit (%lu) of one process\n", clients,
                        files);
            continue;
        }
        const auto joins = RunQuorlan(o, clients, {}, error);
        if (!joins) {
            std::cerr << "quorlan-server join run of " << clients << " failed: " << error << "\n";
            return 1;
        }
        std::optional<Joins> theirs;
        if (!o.noRedis && !(theirs = RunRedis(o, clients, {}, error))) {
            std::cerr << "redis-server join run of " << clients << " failed: " << error << "\n";
            return 1;
        }
        crowds.emplace_back(*joins, theirs);
    }
    std::sort(crowds.begin(), crowds.end(), [](const auto& a, const auto& b) { return a.first.clients < b.first.clients; });
    std::printf("join phase, one board (quorlan: connect, SetBoard, monitoring on; redis: connect, SUBSCRIBE)\n");
    std::printf("%10s %12s %12s %16s %12s %12s %16s\n", "clients", "quorlan s", "joins/s", "CPU us/join",
                "redis s", "joins/s", "CPU us/join");
    for (const auto& [q, r] : crowds) {
        std::printf("%10zu %12.2f %12.0f %16.1f", q.clients, q.seconds, static_cast<double>(q.clients) / q.seconds,
                    q.serverCpuSeconds * 1e6 / static_cast<double>(q.clients));
        if (r)
            std::printf(" %12.2f %12.0f %16.1f", r->seconds, static_cast<double>(r->clients) / r->seconds,
                        r->serverCpuSeconds * 1e6 / static_cast<double>(r->clients));
        std::printf("\n");
    }

    std::printf("%zu clients on one board, %zu-byte posts; %zu posts one at a time, then %.0f s with %zu in flight\n",
                o.clients, o.size, o.latencyPosts, o.seconds, o.window);
    std::printf("%-16s %13s %13s %13s %14s %10s\n", "", "fan-out p50", "fan-out p99", "loaded p99", "delivered/s",
                "posts/s");
    Print("quorlan-server", *ours);
    if (cluster) Print("quorlan cluster", *cluster);
    if (redis) Print("redis-server", *redis);
    std::printf("server RSS per idle connection: %.2f KB\n", static_cast<double>(ours->rssPerConnection) / 1024.0);
    bool met = ours->p99 < 100.0 && ours->rssPerConnection <= 20 * 1024;
    if (redis) {
        const double ratio = ours->deliveredPerSecond / redis->deliveredPerSecond;
        std::printf("delivered msgs/s ratio quorlan/redis: %.2f\n", ratio);
        if (cluster)
            std::printf("delivered msgs/s ratio cluster/redis: %.2f\n",
                        cluster->deliveredPerSecond / redis->deliveredPerSecond);
        met = met && ratio >= 1.0;
    }
    std::printf("targets (p99 < 100 ms, <= 20 KB per connection%s): %s\n", redis ? ", ratio >= 1.0" : "",
                met ? "met" : "MISSED");
    return o.checkTargets && !met ? 1 : 0;
}
