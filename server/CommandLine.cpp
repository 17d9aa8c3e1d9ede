#include "CommandLine.h"

#include "net/ProgramVersion.h"
#include "server/common/Endpoint.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <iostream>
#include <memory>
#include <optional>

namespace quorlan::server {
namespace {

std::chrono::milliseconds Seconds(double seconds) {
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::llround(seconds * 1000.0)));
}

// The host:port of an option, or nothing once the error is printed.
std::optional<Endpoint> EndpointOption(const char* option, const std::string& text) {
    auto endpoint = ParseEndpoint(text);
    if (!endpoint) std::cerr << option << ": expected host:port, got " << text << "\n";
    return endpoint;
}

} // namespace

std::variant<CommandLine, int> CommandLine::Parse(int argc, char** argv) {
    CLI::App app{"Quorlan coordination server"};
    app.set_version_flag("--version", net::ProgramVersion("quorlan-server"));
    // Every option can also be a key of an INI file, e.g. "min-interval = 60";
    // the command line overrides the file, and an unknown key is an error.
    app.config_formatter(std::make_shared<CLI::ConfigINI>());
    app.set_config("--config", "", "Read options from this INI file");
    app.allow_config_extras(CLI::config_extras_mode::error);
    CommandLine line;
    ServerConfig& config = line.config;
    std::string listen = "127.0.0.1:3000";
    std::string admin = "127.0.0.1:3001";
    double minInterval = 60, siteInterval = 0, checkTimeout = 30, packetTimeout = 60, takeover = 10;
    app.add_option("--listen", listen, "Client address, host:port")->capture_default_str();
    app.add_option("--db", config.databasePath, "SQLite database file")->capture_default_str();
    app.add_option("--admin", admin, "Admin HTTP address on loopback, host:port; \"off\" disables it")
        ->capture_default_str();
    app.add_option("--min-interval", minInterval, "Politeness floor: a board is checked at most this often, seconds")
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
    app.add_option("--boards-per-hour", config.trust.boardsPerHour, "New boards one connection may set per hour")
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
    app.add_option("--ident-per-hour", config.identPerHour, "Identification numbers the server issues per hour at most")
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
    app.add_option("--log-level", line.logLevel, "trace, debug, info, warn, error, critical or off")
        ->check(CLI::IsMember({"trace", "debug", "info", "warn", "error", "critical", "off"}))
        ->capture_default_str();

    // The options above may also follow a subcommand: "migrate-to --postgres ...".
    app.fallthrough();
    auto* robot = app.add_subcommand("robot", "Mark an account as SMS relay, or unmark it");
    auto* robotAdd = robot->add_subcommand("add", "Mark PHONE as relay");
    robotAdd->add_option("PHONE", line.phone)->required();
    auto* robotRemove = robot->add_subcommand("remove", "Unmark PHONE as relay");
    robotRemove->add_option("PHONE", line.phone)->required();
    robot->require_subcommand(1);
    auto* unlock = app.add_subcommand("unlock", "Lift the login lock of an account");
    unlock->add_option("PHONE", line.phone)->required();
    auto* migrateTo = app.add_subcommand(
        "migrate-to", "Copy accounts, identification numbers and board lists from the SQLite file (--db) into "
                      "PostgreSQL (--postgres); rows already there are kept");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    if (robotAdd->parsed()) line.command = Command::RobotAdd;
    if (robotRemove->parsed()) line.command = Command::RobotRemove;
    if (unlock->parsed()) line.command = Command::Unlock;
    if (migrateTo->parsed()) line.command = Command::MigrateTo;
    // The operator's commands need nothing more than the database.
    if (line.command != Command::Serve) return line;

    const auto listenAt = EndpointOption("--listen", listen);
    if (!listenAt) return 2;
    config.listenHost = listenAt->host;
    config.listenPort = listenAt->port;
    if (admin == "off") {
        config.adminHost.clear();
    } else {
        const auto adminAt = EndpointOption("--admin", admin);
        if (!adminAt) return 2;
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
    return line;
}

} // namespace quorlan::server
