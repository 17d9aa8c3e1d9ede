// quorlan-server: the coordination server, and the operator's subcommands on
// its database.
#include "CommandLine.h"
#include "Server.h"
#include "server/accounts/PhoneNumber.h"
#include "server/cluster/pg/Cluster.h"
#include "server/common/Clock.h"
#include "server/link/SocketOptions.h"
#include "server/store/Store.h"
#include "server/store/pg/CopyFromSqlite.h"
#include "server/store/pg/PgStore.h"
#include "server/store/sqlite/SqliteStore.h"

#include <asio/signal_set.hpp>
#include <spdlog/spdlog.h>

#include <csignal>
#include <functional>
#include <iostream>
#include <memory>
#include <variant>

namespace {

using quorlan::server::ServerConfig;

// The running server's store in cluster mode: the PostgreSQL database every
// instance shares, reached once it is up. Empty for the single process,
// whose store is the SQLite file.
quorlan::server::Server::StoreFactory MakeStoreFactory(const ServerConfig& config) {
    if (config.postgres.empty()) return {};
    return [conninfo = config.postgres, limits = config.Replay()](
               std::string& error) -> std::unique_ptr<quorlan::server::IStore> {
        return quorlan::server::pg::PgStore::OpenForInstance(conninfo, limits, error);
    };
}

// Marks or unmarks an account as SMS relay, or lifts a login lock: in the
// SQLite file, or in PostgreSQL when --postgres is given.
int RunAccountCommand(const ServerConfig& config, const std::string& typedPhone, const char* what,
                      bool (*apply)(quorlan::server::IAccountStore&, const std::string&)) {
    const auto phone = quorlan::server::CanonicalPhone(typedPhone);
    if (!phone) {
        std::cerr << typedPhone << " is not a phone number (10 or 11 digits, dashes allowed)\n";
        return 2;
    }
    std::unique_ptr<quorlan::server::IStore> store;
    std::string error;
    if (!config.postgres.empty()) {
        store = quorlan::server::pg::PgStore::Open(config.postgres, config.Replay(), error);
    } else {
        auto opened = quorlan::server::SqliteStore::Open(config.databasePath, config.Replay());
        store = std::move(opened.store);
        error = opened.error;
    }
    if (!store) {
        std::cerr << error << "\n";
        return 1;
    }
    if (!apply(store->Accounts(), *phone)) {
        std::cerr << "no account " << *phone << " in " << (config.postgres.empty() ? config.databasePath : "PostgreSQL")
                  << "\n";
        return 1;
    }
    std::cout << *phone << ": " << what << "\n";
    return 0;
}

// Copies the SQLite file into the PostgreSQL database of a cluster.
int RunMigrateTo(const ServerConfig& config) {
    if (config.postgres.empty()) {
        std::cerr << "migrate-to needs --postgres CONNINFO\n";
        return 2;
    }
    const auto copied = quorlan::server::pg::CopyFromSqlite(config.databasePath, config.postgres);
    if (!copied.ok) {
        std::cerr << copied.error << "\nnothing was copied\n";
        return 1;
    }
    for (const auto& table : copied.tables)
        std::cout << table.name << ": " << table.copied << " copied, " << table.kept
                  << " already in PostgreSQL (kept as they are)\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    auto parsed = quorlan::server::CommandLine::Parse(argc, argv);
    if (const int* exitCode = std::get_if<int>(&parsed)) return *exitCode;
    auto& line = std::get<quorlan::server::CommandLine>(parsed);
    const ServerConfig& config = line.config;

    using Command = quorlan::server::CommandLine::Command;
    using quorlan::server::IAccountStore;
    switch (line.command) {
    case Command::RobotAdd:
        return RunAccountCommand(config, line.phone, "marked as relay",
                                 [](IAccountStore& s, const std::string& p) { return s.SetRelay(p, true); });
    case Command::RobotRemove:
        return RunAccountCommand(config, line.phone, "no longer a relay",
                                 [](IAccountStore& s, const std::string& p) { return s.SetRelay(p, false); });
    case Command::Unlock:
        return RunAccountCommand(config, line.phone, "unlocked",
                                 [](IAccountStore& s, const std::string& p) { return s.ClearLoginFailures(p); });
    case Command::MigrateTo:
        return RunMigrateTo(config);
    case Command::Serve:
        break;
    }

    spdlog::set_level(spdlog::level::from_str(line.logLevel));
    const unsigned long files = quorlan::server::RaiseFileLimit();
    if (files < config.maxConnections + 64)
        spdlog::warn("open-file limit {} is below --max-connections {}", files, config.maxConnections);
    std::signal(SIGPIPE, SIG_IGN);

    quorlan::server::SystemClock clock;
    quorlan::server::Server::ClusterFactory cluster;
    if (!config.postgres.empty()) {
        cluster = [&config](asio::io_context& loop, const quorlan::server::IClock& clock,
                            quorlan::server::ICluster::Events events) -> std::unique_ptr<quorlan::server::ICluster> {
            return std::make_unique<quorlan::server::pg::Cluster>(
                loop, clock,
                quorlan::server::pg::Cluster::Options{config.postgres, config.nodeId, config.takeoverMs},
                std::move(events));
        };
        spdlog::info("cluster mode as node {}: posts, notices and board ownership shared through PostgreSQL",
                     config.nodeId);
    }
    auto created = quorlan::server::Server::Create(config, clock, cluster, MakeStoreFactory(config));
    if (!created.server) {
        spdlog::error("{}", created.error);
        return 1;
    }
    asio::signal_set signals(created.server->Loop(), SIGINT, SIGTERM);
    signals.async_wait([&](const std::error_code& ec, int signal) {
        if (ec) return;
        spdlog::info("signal {}: shutting down", signal);
        created.server->Stop();
    });
    created.server->Run();
    return 0;
}
