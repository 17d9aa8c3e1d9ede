#pragma once
#include "ManualClock.h"
#include "server/Server.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace quorlan::test {

// A temporary directory removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Settings that keep a test server quick: loopback, free ports, cheap hashes,
// checks in fractions of a second.
server::ServerConfig TestConfig(const std::string& databasePath);

// The real server on its own thread, stopped and joined on destruction, on
// the test's clock (wall and steady time).
class RunningServer {
public:
    RunningServer(const server::ServerConfig& config, const server::IClock& clock,
                  const server::Server::ClusterFactory& cluster = {}, const server::Server::StoreFactory& store = {});
    // After the test moved the clock: returns once the server has acted on the
    // new time and written what that made it send.
    void TimeChanged();
    // As SIGHUP does; returns once the server has loaded the files.
    void ReloadTls();
    ~RunningServer();
    bool Ok() const { return server_ != nullptr; }
    const std::string& Error() const { return error_; }
    std::uint16_t Port() const { return server_->Port(); }
    std::uint16_t AdminPort() const { return server_->AdminPort(); }
    const server::Metrics& Metrics() const { return server_->CurrentMetrics(); }

private:
    std::unique_ptr<server::Server> server_;
    std::string error_;
    std::thread thread_;
};

} // namespace quorlan::test
