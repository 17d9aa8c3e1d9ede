#pragma once
#include "PrivatePostgres.h"
#include "server/RunLoopUntil.h"
#include "server/postgres/PgConnection.h"

#include <asio/io_context.hpp>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace quorlan::test {

// Base of the PostgreSQL tests: one private server for the whole program,
// a fresh database for every test, and helpers that run the loop until a
// connection is up or a reply is in. Skips only when PostgreSQL is not
// installed; any other trouble starting it fails the test.
class PgTest : public ::testing::Test {
protected:
    void SetUp() override {
        static PrivatePostgres::Started shared = PrivatePostgres::Start();
        if (shared.missing) GTEST_SKIP() << shared.error;
        ASSERT_TRUE(shared.server) << shared.error;
        server_ = shared.server.get();
        std::string error;
        conninfo_ = server_->CreateDatabase(error);
        ASSERT_FALSE(conninfo_.empty()) << error;
    }

    // A started connection to the test's database, already up.
    std::unique_ptr<server::pg::PgConnection> Connect(const std::string& conninfo = {}) {
        server::pg::PgConnection::Options options;
        options.conninfo = conninfo.empty() ? conninfo_ : conninfo;
        options.minBackoff = std::chrono::milliseconds(20);
        options.maxBackoff = std::chrono::milliseconds(200);
        auto connection = std::make_unique<server::pg::PgConnection>(loop_, options);
        connection->Start();
        EXPECT_TRUE(RunLoopUntil(loop_, [&] { return connection->LinkUp(); })) << connection->LastError();
        return connection;
    }

    // Runs one statement and waits for its answer.
    server::pg::PgReply Run(server::pg::PgConnection& connection, std::string sql,
                            std::vector<server::pg::PgParam> params = {}) {
        std::optional<server::pg::PgReply> answer;
        connection.Query(std::move(sql), std::move(params),
                         [&](server::pg::PgReply reply) { answer = std::move(reply); });
        EXPECT_TRUE(RunLoopUntil(loop_, [&] { return answer.has_value(); }));
        return answer ? std::move(*answer) : server::pg::PgReply{};
    }

    // Ends a session from the server side, as a crash of its instance would.
    void Terminate(int backendPid) {
        auto admin = Connect(server_->AdminConninfo());
        const auto reply = Run(*admin, "SELECT pg_terminate_backend($1)", {server::pg::PgParam::Int(backendPid)});
        ASSERT_TRUE(reply.ok) << reply.error;
    }

    asio::io_context loop_;
    PrivatePostgres* server_ = nullptr;
    std::string conninfo_;
};

} // namespace quorlan::test
