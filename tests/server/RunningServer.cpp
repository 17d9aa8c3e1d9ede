#include "RunningServer.h"

#include <asio/post.hpp>
#include <spdlog/spdlog.h>

#include <future>
#include <random>

namespace quorlan::test {
namespace {

// The servers of the tests log only what goes wrong.
const bool kQuietLogs = (spdlog::set_level(spdlog::level::warn), true);

} // namespace

TempDir::TempDir() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() / ("quorlan-server-test-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

server::ServerConfig TestConfig(const std::string& databasePath) {
    server::ServerConfig config;
    config.listenPort = 0;
    config.adminPort = 0;
    config.databasePath = databasePath;
    config.adminTokenFile = databasePath + ".admin-token";
    config.minInterval = std::chrono::milliseconds(200);
    config.checkTimeout = std::chrono::milliseconds(300);
    config.hashOpsLimit = crypto_pwhash_OPSLIMIT_MIN;
    config.hashMemLimit = crypto_pwhash_MEMLIMIT_MIN;
    return config;
}

RunningServer::RunningServer(const server::ServerConfig& config, const server::IClock& clock,
                             const server::Server::ClusterFactory& cluster,
                             const server::Server::StoreFactory& store) {
    auto created = server::Server::Create(config, clock, cluster, store);
    error_ = created.error;
    server_ = std::move(created.server);
    if (server_) thread_ = std::thread([this] { server_->Run(); });
}

void RunningServer::TimeChanged() {
    server_->TimeChanged();
    // Writes leave at the end of the loop's batch, which a handler posted
    // behind the turns' work ends; one posted behind that sees them written.
    std::promise<void> written;
    asio::post(server_->Loop(), [this, &written] { asio::post(server_->Loop(), [&written] { written.set_value(); }); });
    written.get_future().wait();
}

void RunningServer::ReloadTls() {
    server_->ReloadTls();
    std::promise<void> done;
    asio::post(server_->Loop(), [&done] { done.set_value(); });
    done.get_future().wait();
}

RunningServer::~RunningServer() {
    if (!server_) return;
    server_->Stop();
    thread_.join();
}

} // namespace quorlan::test
