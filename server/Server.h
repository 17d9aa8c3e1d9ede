#pragma once
#include "Hub.h"
#include "ServerConfig.h"
#include "server/accounts/AccountService.h"
#include "server/accounts/PasswordHasher.h"
#include "server/alerts/AlertRelay.h"
#include "server/boards/BoardRegistry.h"
#include "server/boards/CheckLoop.h"
#include "server/cluster/ICluster.h"
#include "server/common/ClientDirectory.h"
#include "server/common/Clock.h"
#include "server/common/Metrics.h"
#include "server/limits/TrustRules.h"
#include "server/link/Acceptor.h"
#include "server/ops/AdminHttp.h"
#include "server/store/Store.h"
#include "server/store/StoreWorker.h"

#include <asio/io_context.hpp>

#include <functional>
#include <memory>
#include <string>

namespace quorlan::server {

// The whole coordination server, wired together: one event loop, the client
// acceptor, the hub and its registries, the admin endpoint. `main` and the
// integration tests create it the same way.
class Server {
public:
    struct [[nodiscard]] Created {
        std::unique_ptr<Server> server;
        std::string error;
    };
    // Makes this instance's link to the rest of a cluster, on the server's
    // loop, reporting to `events`.
    using ClusterFactory =
        std::function<std::unique_ptr<ICluster>(asio::io_context& loop, const IClock& clock, ICluster::Events events)>;
    // Opens the engine everything durable is kept in, to be used on the
    // store's worker only; nothing (and why) when it cannot be opened.
    using StoreFactory = std::function<std::unique_ptr<IStore>(std::string& error)>;
    // `clock` gives both the wall time of what is stored and the steady time
    // of every limit and checking turn. Without a cluster factory: the single
    // process. Without a store factory: the SQLite file of the configuration.
    static Created Create(const ServerConfig& config, const IClock& clock, const ClusterFactory& cluster = {},
                          const StoreFactory& store = {});
    // Stops the store's worker once the loop has stopped: every write given
    // to it is done first.
    ~Server();

    // Runs the event loop until Stop().
    void Run();
    // Safe from any thread and from signal handlers run by the loop.
    void Stop();
    // Safe from any thread: the checking turns look at the clock's steady
    // time again. Needed only when that clock is moved by hand.
    void TimeChanged();

    std::uint16_t Port() const { return acceptor_.Port(); }
    std::uint16_t AdminPort() const { return admin_ ? admin_->Port() : 0; }
    asio::io_context& Loop() { return loop_; }
    const Metrics& CurrentMetrics() const { return metrics_; }

private:
    Server(const ServerConfig& config, const IClock& clock, std::unique_ptr<IStore> store,
           const ClusterFactory& cluster);

    ServerConfig config_;
    const IClock& clock_;
    asio::io_context loop_{1};
    StoreWorker store_;
    Metrics metrics_;
    TrustRules rules_;
    PasswordHasher hasher_;
    ClientDirectory clients_;
    BoardRegistry boards_;
    // Before the parts that use it; its events reach them only once the loop
    // runs. A LocalCluster for the single process.
    std::unique_ptr<ICluster> cluster_;
    CheckLoop checks_;
    AccountService accounts_;
    AlertRelay relay_;
    Hub hub_;
    Acceptor acceptor_;
    std::unique_ptr<AdminHttp> admin_;
};

} // namespace quorlan::server
