#include "NotifyBus.h"

#include <sodium.h>
#include <spdlog/spdlog.h>

#include <optional>

namespace quorlan::server::pg {
namespace {

constexpr int kBase64 = sodium_base64_VARIANT_ORIGINAL;

std::string Encode(const std::string& bytes) {
    std::string text(sodium_base64_ENCODED_LEN(bytes.size(), kBase64), '\0');
    sodium_bin2base64(text.data(), text.size(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                      kBase64);
    text.resize(text.size() - 1); // the terminating NUL
    return text;
}

std::optional<std::string> Decode(const std::string& text) {
    std::string bytes(text.size() / 4 * 3 + 3, '\0');
    std::size_t length = 0;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), text.data(), text.size(),
                          nullptr, &length, nullptr, kBase64) != 0)
        return std::nullopt;
    bytes.resize(length);
    return bytes;
}

} // namespace

NotifyBus::NotifyBus(PgConnection& connection) : connection_(connection) {
    connection_.AddLinkListener([this, alive = std::weak_ptr<int>(alive_)](bool up) {
        if (!alive.lock() || !up) return;
        for (const auto& channel : channels_) ListenNow(channel, true);
    });
    connection_.AddNotificationListener(
        [this, alive = std::weak_ptr<int>(alive_)](const std::string& channel, const std::string& payload) {
            if (alive.lock()) OnNotification(channel, payload);
        });
}

NotifyBus::~NotifyBus() = default;

bool NotifyBus::ValidChannel(std::string_view channel) {
    if (channel.empty() || channel.size() > 63) return false;
    for (const char c : channel)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

std::string NotifyBus::NodeChannel(std::string_view nodeId) {
    std::string channel = "quorlan_node_" + std::string(nodeId);
    return !nodeId.empty() && ValidChannel(channel) ? channel : std::string();
}

bool NotifyBus::Listen(const std::string& channel) {
    if (!ValidChannel(channel)) return false;
    if (channels_.insert(channel).second && connection_.LinkUp()) ListenNow(channel, true);
    return true;
}

void NotifyBus::Unlisten(const std::string& channel) {
    if (channels_.erase(channel) && connection_.LinkUp()) ListenNow(channel, false);
}

void NotifyBus::ListenNow(const std::string& channel, bool listen) {
    const auto quoted = connection_.QuoteIdentifier(channel);
    if (!quoted) return;
    connection_.Query((listen ? "LISTEN " : "UNLISTEN ") + *quoted, {}, [channel, listen](PgReply reply) {
        if (!reply.ok) spdlog::warn("{} {} failed: {}", listen ? "LISTEN" : "UNLISTEN", channel, reply.error);
    });
}

bool NotifyBus::Publish(const std::string& channel, const std::string& payload, PgConnection::Done done) {
    if (!ValidChannel(channel) || payload.size() > kMaxPayload) return false;
    connection_.Query("SELECT pg_notify($1, $2)", {PgParam::Text(channel), PgParam::Text(Encode(payload))},
                      std::move(done));
    return true;
}

void NotifyBus::AddListener(Listener listener) {
    listeners_.push_back(std::move(listener));
}

void NotifyBus::OnNotification(const std::string& channel, const std::string& encoded) {
    if (!channels_.count(channel)) return;
    const auto payload = Decode(encoded);
    if (!payload) {
        spdlog::warn("message on {} is not base64; dropped", channel);
        return;
    }
    const auto listeners = listeners_;
    for (const auto& listener : listeners) listener(channel, *payload);
}

} // namespace quorlan::server::pg
