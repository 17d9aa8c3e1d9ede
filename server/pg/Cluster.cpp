#include "Cluster.h"

#include "PgSchema.h"

#include <spdlog/spdlog.h>

#include <optional>

namespace quorlan::server::pg {
namespace {

// Payload: sender node, board, text, separated by NUL (which no address, post
// line or notice of the system holds).
constexpr char kSeparator = '\0';

struct Message {
    std::string node;
    std::string first;
    std::string second;
};

std::optional<Message> Split(const std::string& payload) {
    const auto a = payload.find(kSeparator);
    if (a == std::string::npos) return std::nullopt;
    const auto b = payload.find(kSeparator, a + 1);
    if (b == std::string::npos) return std::nullopt;
    return Message{payload.substr(0, a), payload.substr(a + 1, b - a - 1), payload.substr(b + 1)};
}

} // namespace

Cluster::Cluster(asio::io_context& loop, const IClock& clock, Options options, Events events)
    : options_(std::move(options)), events_(std::move(events)),
      connection_(loop, PgConnection::Options{options_.conninfo}), bus_(connection_),
      ownership_(loop, connection_, clock, BoardOwnership::Options{options_.nodeId, options_.takeoverMs}) {
    connection_.AddLinkListener([this](bool up) { OnLink(up); });
    bus_.AddListener([this](const std::string& channel, const std::string& payload) { OnMessage(channel, payload); });
    ownership_.AddChangeListener([this](const std::string& board, bool owned) {
        spdlog::info("node {}: board {} {}", options_.nodeId, board, owned ? "taken over" : "given up");
        if (events_.ownershipChanged) events_.ownershipChanged(board);
    });
    if (!bus_.Listen(NotifyBus::kPostsChannel) || !bus_.Listen(NotifyBus::kNoticesChannel))
        spdlog::error("cluster channels refused");
}

void Cluster::Start() {
    connection_.Start();
    ownership_.Start();
}

std::string Cluster::LinkState() const {
    if (LinkUp()) return "database up";
    if (connection_.LinkUp()) return "database schema not ready: " + migrateError_;
    return "database down: " + connection_.LastError();
}

void Cluster::OnLink(bool up) {
    if (!up) {
        migrated_ = false;
        spdlog::warn("node {}: database link down: {}", options_.nodeId, connection_.LastError());
        return;
    }
    PgSchema::Migrate(connection_, [this](PgSchema::Migrated migrated) {
        migrated_ = migrated.ok;
        migrateError_ = migrated.error;
        if (migrated.ok) {
            spdlog::info("node {}: database up, schema version {}", options_.nodeId, migrated.version);
        } else {
            spdlog::error("node {}: database schema: {}", options_.nodeId, migrated.error);
        }
    });
}

void Cluster::Publish(const char* channel, const std::string& first, const std::string& second) {
    std::string payload = options_.nodeId;
    payload += kSeparator;
    payload += first;
    payload += kSeparator;
    payload += second;
    if (!bus_.Publish(channel, payload, [channel](PgReply reply) {
            if (!reply.ok) spdlog::warn("cluster message on {} not sent: {}", channel, reply.error);
        }))
        spdlog::warn("cluster message on {} too long; not sent", channel);
}

void Cluster::PostForwarded(const std::string& board, const std::string& line) {
    Publish(NotifyBus::kPostsChannel, board, line);
}

void Cluster::NoticeSent(const std::string& text, const std::string& board) {
    Publish(NotifyBus::kNoticesChannel, board, text);
}

void Cluster::OnMessage(const std::string& channel, const std::string& payload) {
    const auto message = Split(payload);
    if (!message) {
        spdlog::warn("cluster message on {} without its parts; ignored", channel);
        return;
    }
    if (message->node == options_.nodeId) return; // this instance's own
    if (channel == NotifyBus::kPostsChannel && events_.post) {
        events_.post(message->first, message->second);
    } else if (channel == NotifyBus::kNoticesChannel && events_.notice) {
        events_.notice(message->second, message->first);
    }
}

} // namespace quorlan::server::pg
