#pragma once
#include <QProcess>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <string>

namespace quorlan::test {

// The coordination server as a child process on a free loopback port, as an
// operator runs it: its own database file, its log on standard output.
// Stopped with SIGTERM (then killed, if it will not go) on destruction.
class ServerProcess {
public:
    ServerProcess(QString program, QString databasePath);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts the server with these extra options and waits until its log
    // names the port it listens on. Empty on success, else why not.
    std::string Start(const QStringList& options, std::chrono::milliseconds wait);
    std::uint16_t Port() const { return port_; }

    // The operator's subcommand on the same database: marks PHONE as SMS
    // relay. Empty on success, else the command's output.
    std::string RobotAdd(const std::string& phone) const;

    // Everything the server has logged so far.
    std::string Log();

private:
    QString program_;
    QString databasePath_;
    QProcess process_;
    std::string log_;
    std::uint16_t port_ = 0;
};

} // namespace quorlan::test
