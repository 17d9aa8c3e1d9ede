#pragma once
#include "server/postgres/PgConnection.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quorlan::server::pg {

// Small messages between the instances of a cluster over PostgreSQL's
// LISTEN/NOTIFY: one forwarded post line, one SMS order, one notice, one check
// order for the instance that holds the checker's connection. Every session
// listening to a channel receives each message once, the sender's own session
// included. Payloads are bytes (cp949 lines, encoded packets); they travel
// base64-encoded because NOTIFY carries text. Messages sent while a session
// is down are not replayed to it: after the link comes back the bus listens
// again, and whoever needs the missed state reads it from the tables.
class NotifyBus {
public:
    // NOTIFY takes under 8000 bytes; base64 makes 4 of every 3.
    static constexpr std::size_t kMaxPayload = 5000;
    static constexpr const char* kPostsChannel = "quorlan_posts";
    static constexpr const char* kSmsChannel = "quorlan_sms";
    static constexpr const char* kNoticesChannel = "quorlan_notices";
    // An instance rewrote its members of a board: its owner reads them again.
    static constexpr const char* kMembersChannel = "quorlan_members";

    using Listener = std::function<void(const std::string& channel, const std::string& payload)>;

    explicit NotifyBus(PgConnection& connection);
    ~NotifyBus();
    NotifyBus(const NotifyBus&) = delete;
    NotifyBus& operator=(const NotifyBus&) = delete;

    // Lower-case letters, digits and '_', at most 63 (PostgreSQL cuts longer
    // names silently, which would split one channel into two).
    static bool ValidChannel(std::string_view channel);
    // The channel of one instance, for orders meant for its connections;
    // empty when the node id does not fit a channel name.
    static std::string NodeChannel(std::string_view nodeId);

    // False for an invalid name. Listens now when the link is up, and again
    // after every reconnect.
    [[nodiscard]] bool Listen(const std::string& channel);
    void Unlisten(const std::string& channel);
    // False, and `done` never called, for an invalid channel or a payload over
    // kMaxPayload; otherwise `done` gets the database's answer.
    [[nodiscard]] bool Publish(const std::string& channel, const std::string& payload, PgConnection::Done done = {});
    // Called on the loop for every message on a channel listened to.
    void AddListener(Listener listener);

private:
    void ListenNow(const std::string& channel, bool listen);
    void OnNotification(const std::string& channel, const std::string& encoded);

    PgConnection& connection_;
    std::set<std::string> channels_;
    std::vector<Listener> listeners_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace quorlan::server::pg
