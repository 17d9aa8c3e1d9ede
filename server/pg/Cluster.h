#pragma once
#include "BoardOwnership.h"
#include "NotifyBus.h"
#include "PgConnection.h"
#include "server/Clock.h"
#include "server/ICluster.h"

#include <asio/io_context.hpp>

#include <cstdint>
#include <string>

namespace quorlan::server::pg {

// One instance's part of a cluster on PostgreSQL: the session on the event
// loop, the schema brought up to date whenever the link comes up, board
// ownership by advisory lock, and the bus that carries forwarded posts and
// notices to the other instances. A message names the instance that sent it,
// so that an instance ignores its own.
class Cluster final : public ICluster {
public:
    struct Options {
        std::string conninfo;
        std::string nodeId;
        std::int64_t takeoverMs = 10'000;
    };

    Cluster(asio::io_context& loop, const IClock& clock, Options options, Events events);

    void Start() override;
    bool LinkUp() const override { return connection_.LinkUp() && migrated_; }
    std::string LinkState() const override;
    void PostForwarded(const std::string& board, const std::string& line) override;
    void NoticeSent(const std::string& text, const std::string& board) override;
    void Watch(const std::string& board) override { ownership_.Want(board); }
    void Unwatch(const std::string& board) override { ownership_.Unwant(board); }
    bool Owns(const std::string& board) const override { return LinkUp() && ownership_.Owns(board); }

private:
    void OnLink(bool up);
    void OnMessage(const std::string& channel, const std::string& payload);
    void Publish(const char* channel, const std::string& first, const std::string& second);

    Options options_;
    Events events_;
    PgConnection connection_;
    NotifyBus bus_;
    BoardOwnership ownership_;
    bool migrated_ = false;
    std::string migrateError_;
};

} // namespace quorlan::server::pg
