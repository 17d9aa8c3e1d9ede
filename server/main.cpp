// quorlan-server: the coordination server, and the operator's subcommands on
// its database.
#include "server/common/Clock.h"
#include "server/common/Endpoint.h"
#include "server/accounts/PhoneNumber.h"
#include "Server.h"
#include "ServerConfig.h"
#include "server/link/SocketOptions.h"
#include "server/store/sqlite/SqliteStore.h"
#include "server/store/Store.h"
#include "net/ProgramVersion.h"
#include "server/cluster/pg/Cluster.h"
#include "server/store/pg/CopyFromSqlite.h"
#include "server/store/pg/PgStore.h"

#include <CLI/CLI.hpp>
#include <asio/signal_set.hpp>
#include <spdlog/spdlog.h>

#include <cmath>
#include <csignal>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>

namespace {

using quorlan::server::ServerConfig;

std::chrono::milliseconds Seconds(double seconds) {
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::llround(seconds * 1000.0)));
}

quorlan::server::ReplayBuffer::Limits ReplayLimits(const ServerConfig& config) {
    return {config.replayMaxAgeMs, config.replayMaxLines, config.replayMaxAccounts};
}

// The running server's store in cluster mode: the PostgreSQL database every
// instance shares, reached once it is up. Empty for the single process,
// whose store is the SQLite file.
quorlan::server::Server::StoreFactory MakeStoreFactory(const ServerConfig& config) {
    if (config.postgres.empty()) return {};
    return [conninfo = config.postgres, limits = ReplayLimits(config)](
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
        store = quorlan::server::pg::PgStore::Open(config.postgres, ReplayLimits(config), error);
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
    CLI::App app{"Quorlan coordination server"};
    app.set_version_flag("--version", quorlan::net::ProgramVersion("quorlan-server"));
    // Every option can also be a key of an INI file, e.g. "min-interval = 60";
    // the command line overrides the file, and an unknown key is an error.
    app.config_formatter(std::make_shared<CLI::ConfigINI>());
    app.set_config("--config", "", "Read options from this INI file");
    app.allow_config_extras(CLI::config_extras_mode::error);
    ServerConfig config;
    std::string listen = "127.0.0.1:3000";
    std::string admin = "127.0.0.1:3001";
    double minInterval = 60, siteInterval = 0, checkTimeout = 30, packetTimeout = 60, takeover = 10;
    std::string logLevel = "info";
    app.add_option("--listen", listen, "Client address, host:port")->capture_default_str();
    app.add_option("--db", config.databasePath, "SQLite database file")->capture_default_str();
    app.add_option("--admin", admin, "Admin HTTP address on loopback, host:port; \"off\" disables it")
        ->capture_default_str();
    app.add_option("--min-interval", minInterval,
                   "Politeness floor: a board is checked at most this often, seconds")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--site-interval", siteInterval,
                   "Checks of the boards of one host are at least this far apart, seconds (default: --min-interval)")
        ->check(CLI::PositiveNumber);
    app.add_option("--check-timeout", checkTimeout, "Time a client has to answer a check, seconds")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--packet-timeout", packetTimeout, "Time to complete a started packet, seconds")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_flag("--open-signup", config.openSignup, "Sign-up without an identification number");
    app.add_option("--max-connections", config.maxConnections, "Connection limit")->capture_default_str();
    app.add_option("--max-per-address", config.trust.maxPerAddress, "Connections from one address at once")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--boards-per-hour", config.trust.boardsPerHour,
                   "New boards one connection may set per hour")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--max-boards", config.trust.maxBoards, "Board lists kept in the database")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--admin-token-file", config.adminTokenFile,
                   "Bearer token for the admin endpoint's POST requests; created (0600) when missing "
                   "(default: the database path + .admin-token)");
    app.add_flag("--log-ident-numbers", config.trust.logIdentNumbers,
                 "Log identification numbers that no relay could send (demos only)");
    app.add_option("--send-buffer", config.socketSendBuffer, "Socket send buffer per client, bytes (0: system)");
    app.add_option("--ident-per-hour", config.identPerHour,
                   "Identification numbers the server issues per hour at most")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--postgres", config.postgres,
                   "Cluster mode: PostgreSQL connection string shared by every instance (host given by address)");
    app.add_option("--node-id", config.nodeId, "Cluster mode: this instance's name, distinct in the cluster")
        ->check([](const std::string& id) {
            const bool fits = !id.empty() && id.size() <= 63 &&
                              id.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") == std::string::npos;
            return fits ? std::string() : "lower-case letters, digits and _, at most 63";
        });
    app.add_option("--takeover-seconds", takeover,
                   "Cluster mode: the boards of an instance that died are taken over within this time")
        ->check(CLI::Range(7.0, 86'400.0))
        ->capture_default_str();
    app.add_option("--log-level", logLevel, "trace, debug, info, warn, error, critical or off")
        ->check(CLI::IsMember({"trace", "debug", "info", "warn", "error", "critical", "off"}))
        ->capture_default_str();

    // The options above may also follow a subcommand: "migrate-to --postgres ...".
    app.fallthrough();
    std::string phone;
    auto* robot = app.add_subcommand("robot", "Mark an account as SMS relay, or unmark it");
    auto* robotAdd = robot->add_subcommand("add", "Mark PHONE as relay");
    robotAdd->add_option("PHONE", phone)->required();
    auto* robotRemove = robot->add_subcommand("remove", "Unmark PHONE as relay");
    robotRemove->add_option("PHONE", phone)->required();
    robot->require_subcommand(1);
    auto* unlock = app.add_subcommand("unlock", "Lift the login lock of an account");
    unlock->add_option("PHONE", phone)->required();
    auto* migrateTo = app.add_subcommand(
        "migrate-to", "Copy accounts, identification numbers and board lists from the SQLite file (--db) into "
                      "PostgreSQL (--postgres); rows already there are kept");

    CLI11_PARSE(app, argc, argv);

    using quorlan::server::IAccountStore;
    if (robotAdd->parsed())
        return RunAccountCommand(config, phone, "marked as relay",
                                 [](IAccountStore& s, const std::string& p) { return s.SetRelay(p, true); });
    if (robotRemove->parsed())
        return RunAccountCommand(config, phone, "no longer a relay",
                                 [](IAccountStore& s, const std::string& p) { return s.SetRelay(p, false); });
    if (unlock->parsed())
        return RunAccountCommand(config, phone, "unlocked",
                                 [](IAccountStore& s, const std::string& p) { return s.ClearLoginFailures(p); });
    if (migrateTo->parsed()) return RunMigrateTo(config);

    spdlog::set_level(spdlog::level::from_str(logLevel));
    const auto listenAt = quorlan::server::ParseEndpoint(listen);
    if (!listenAt) {
        std::cerr << "--listen: expected host:port, got " << listen << "\n";
        return 2;
    }
    config.listenHost = listenAt->host;
    config.listenPort = listenAt->port;
    if (admin == "off") {
        config.adminHost.clear();
    } else {
        const auto adminAt = quorlan::server::ParseEndpoint(admin);
        if (!adminAt) {
            std::cerr << "--admin: expected host:port, got " << admin << "\n";
            return 2;
        }
        config.adminHost = adminAt->host;
        config.adminPort = adminAt->port;
    }
    config.minInterval = Seconds(minInterval);
    config.siteInterval = Seconds(siteInterval);
    config.checkTimeout = Seconds(checkTimeout);
    config.packetTimeout = Seconds(packetTimeout);
    config.takeoverMs = Seconds(takeover).count();
    if (!config.postgres.empty() && config.nodeId.empty()) {
        std::cerr << "--postgres needs --node-id\n";
        return 2;
    }

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
