#include "Server.h"

#include "server/cluster/LocalCluster.h"
#include "server/store/sqlite/SqliteStore.h"

#include <asio/post.hpp>

#include <sodium.h>
#include <spdlog/spdlog.h>

namespace quorlan::server {

Server::Created Server::Create(const ServerConfig& config, const IClock& clock, const ClusterFactory& cluster,
                               const StoreFactory& store) {
    if (sodium_init() < 0) return Created{nullptr, "libsodium failed to initialise"};
    std::string error;
    std::unique_ptr<IStore> engine;
    if (store) {
        engine = store(error);
    } else {
        auto opened = SqliteStore::Open(config.databasePath, config.Replay());
        engine = std::move(opened.store);
        error = std::move(opened.error);
    }
    if (!engine) return Created{nullptr, error.empty() ? "the store could not be opened" : error};
    std::unique_ptr<Server> server(new Server(config, clock, std::move(engine), cluster));
    // The first job of the worker: before any board's list is read.
    server->store_.Write([now = clock.NowMs()](IStore& store) {
        if (const std::size_t stale = store.BoardLists().DeleteStale(now); stale != 0)
            spdlog::info("forgot the post lists of {} boards unchecked for 30 days", stale);
    });
    if (!server->acceptor_.Listen(config.listenHost, config.listenPort, error)) return Created{nullptr, error};
    if (!config.adminHost.empty()) {
        const std::string tokenFile =
            config.adminTokenFile.empty() ? config.databasePath + ".admin-token" : config.adminTokenFile;
        auto token = AdminHttp::LoadOrCreateToken(tokenFile, error);
        if (!token) return Created{nullptr, error};
        server->admin_ = std::make_unique<AdminHttp>(
            server->loop_, server->metrics_, std::move(*token),
            [hub = &server->hub_](const std::string& text, const std::string& board) { return hub->Notice(text, board); },
            [cluster = server->cluster_.get()] {
                return AdminHttp::Health{cluster->LinkUp(), cluster->LinkState()};
            });
        if (!server->admin_->Start(config.adminHost, config.adminPort, error)) return Created{nullptr, error};
    }
    server->cluster_->Start();
    return Created{std::move(server), {}};
}

Server::Server(const ServerConfig& config, const IClock& clock, std::unique_ptr<IStore> store,
               const ClusterFactory& cluster)
    : config_(config), clock_(clock), store_(loop_, std::move(store)), rules_(config_.trust),
      // Each connection has at most one password waiting, so a backlog this
      // long is reached only by connections that left theirs behind.
      hasher_(loop_, config_.hashOpsLimit, config_.hashMemLimit,
              std::max<std::size_t>(PasswordHasher::kMinQueue, config_.maxConnections), &metrics_.passwordWorkDropped),
      clients_(),
      boards_(store_, clock_,
              BoardRegistry::Limits{config_.duplicateMemory, config_.duplicateMaxAgeMs, config_.trust.maxBoards},
              [this](const std::string& url) { checks_.BoardChanged(url); }),
      cluster_(cluster ? cluster(loop_, clock_,
                                 ICluster::Events{
                                     [this](const std::string& board, const std::string& line) {
                                         hub_.OnClusterPost(board, line);
                                     },
                                     [this](const std::string& text, const std::string& board) {
                                         hub_.OnClusterNotice(text, board);
                                     },
                                     [this](const std::string& board) { checks_.BoardChanged(board); },
                                     [this](const std::string& phone, const std::string& line,
                                            std::function<void(bool taken)> answer) {
                                         relay_.OnRemoteAlert(phone, line, std::move(answer));
                                     },
                                     [this](const ICluster::Ask& ask) { checks_.OnRemoteAsk(ask); },
                                     [this](const ICluster::Outcome& outcome) { checks_.OnRemoteOutcome(outcome); }})
                       : std::make_unique<LocalCluster>(loop_, clock_)),
      checks_(loop_, clock_, boards_, clients_, metrics_,
              Scheduler::Options{config_.minInterval.count(),
                                 (config_.siteInterval.count() > 0 ? config_.siteInterval : config_.minInterval).count(),
                                 config_.checkTimeout.count()},
              *cluster_),
      accounts_(loop_, store_, hasher_, rules_, clock_, metrics_, config_.Accounts()),
      relay_(clients_, accounts_, *cluster_, metrics_, config_.trust.logIdentNumbers),
      hub_(clients_, boards_, checks_, store_, relay_, accounts_, rules_, config_.trust, clock_, metrics_,
           config_.minInterval, *cluster_),
      acceptor_(loop_, hub_, rules_, metrics_,
                Acceptor::Options{config_.maxConnections, config_.socketSendBuffer,
                                  SessionLimits{config_.trust.readPauseOutput, config_.trust.maxQueuedOutput,
                                                config_.packetTimeout}}) {}

Server::~Server() {
    if (admin_) admin_->Stop();
    acceptor_.Stop();
    store_.Stop();
}

void Server::Run() {
    spdlog::info("listening on {}:{}", config_.listenHost, Port());
    if (admin_) spdlog::info("admin endpoint on http://{}:{}/", config_.adminHost, AdminPort());
    loop_.run();
    spdlog::info("event loop stopped");
}

void Server::Stop() { loop_.stop(); }

void Server::TimeChanged() {
    asio::post(loop_, [this] { checks_.TimeChanged(); });
}

} // namespace quorlan::server
