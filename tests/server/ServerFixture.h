#pragma once
#include "ManualClock.h"
#include "RunningServer.h"
#include "TestClient.h"
#include "server/accounts/PasswordHasher.h"
#include "server/store/sqlite/SqliteStore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace quorlan::test {

// A test of the whole server on loopback: its database file in a temporary
// directory, a hand-moved clock, and what the test writes into the file
// before the server starts, as the operator's subcommands would.
class ServerFixture : public ::testing::Test {
protected:
    ServerFixture() : config_(TestConfig(dir_.File("quorlan.db"))) {}

    void Start() {
        server_ = std::make_unique<RunningServer>(config_, clock_);
        ASSERT_TRUE(server_->Ok()) << server_->Error();
    }
    void Stop() { server_.reset(); }

    std::unique_ptr<TestClient> Connect(int receiveBuffer = 0, const std::string& source = "") {
        auto client = std::make_unique<TestClient>(server_->Port(), receiveBuffer, source);
        EXPECT_TRUE(client->Connected()) << source;
        return client;
    }

    // Works on the database file directly.
    void WithAccounts(const std::function<void(server::IAccountStore&)>& work) {
        auto opened = server::SqliteStore::Open(config_.databasePath, config_.Replay());
        ASSERT_TRUE(opened.store) << opened.error;
        work(opened.store->Accounts());
    }
    void CreateAccount(const std::string& phone, const std::string& password, bool relay = false,
                       bool robotMode = false) {
        WithAccounts([&](server::IAccountStore& store) {
            const auto hash = server::PasswordHasher::HashNow(password, config_.hashOpsLimit, config_.hashMemLimit);
            ASSERT_TRUE(hash);
            ASSERT_TRUE(store.Create(phone, *hash, 0));
            if (relay) {
                ASSERT_TRUE(store.SetRelay(phone, true));
            }
            if (robotMode) {
                ASSERT_TRUE(store.SetRobotMode(phone, true));
            }
        });
    }
    // The board's stored list, saved `ageMs` ago.
    void StoreBoardList(const std::string& url, const std::string& list, std::int64_t ageMs = 0) {
        auto opened = server::SqliteStore::Open(config_.databasePath, config_.Replay());
        ASSERT_TRUE(opened.store) << opened.error;
        ASSERT_TRUE(opened.store->BoardLists().Save(url, list, clock_.NowMs() - ageMs));
    }

    std::string AdminToken() const {
        std::ifstream in(config_.adminTokenFile);
        std::string token;
        in >> token;
        return token;
    }

    TempDir dir_;
    ManualClock clock_;
    server::ServerConfig config_;
    std::unique_ptr<RunningServer> server_;
};

} // namespace quorlan::test
