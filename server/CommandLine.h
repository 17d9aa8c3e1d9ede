#pragma once
#include "ServerConfig.h"

#include <string>
#include <variant>

namespace quorlan::server {

// What the program is asked to do: serve, or one of the operator's commands
// on the database, with the configuration the options give.
struct CommandLine {
    enum class Command { Serve, RobotAdd, RobotRemove, Unlock, MigrateTo };
    Command command = Command::Serve;
    ServerConfig config;
    std::string phone;             // of RobotAdd, RobotRemove and Unlock
    std::string logLevel = "info"; // spdlog's name of a level

    // The command line, or the exit code once --help, --version or an error
    // has been printed.
    static std::variant<CommandLine, int> Parse(int argc, char** argv);
};

} // namespace quorlan::server
