#pragma once
#include "IPeer.h"
#include "server/limits/TrustRules.h"

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorlan::server {

// What the server knows of one connected client beyond its board.
struct ClientRecord {
    std::shared_ptr<IPeer> peer;
    std::string phone; // canonical, once logged in
    bool loggedIn = false;
    bool robotRequested = false; // sent RobotMode 1, or its account did before
    bool monitoring = false;     // last SearchState
    // Held while the connection is open; password work queued for it is
    // dropped once it has gone.
    std::shared_ptr<const bool> alive = std::make_shared<const bool>(true);
    // Boards this connection set within the last hour.
    std::vector<TrustRules::RecentBoard> recentBoards;
};

// The connected clients, by connection id.
class ClientDirectory {
public:
    ClientRecord& Add(std::shared_ptr<IPeer> peer);
    void Remove(SessionId id);
    ClientRecord* Find(SessionId id);
    // The client has logged in to the account of `phone`.
    void LoggedIn(SessionId id, const std::string& phone);
    // The logged-in connections of the account.
    template <typename F> void ForEachOfAccount(const std::string& phone, F&& f) {
        auto it = byAccount_.find(phone);
        if (it == byAccount_.end()) return;
        for (SessionId id : it->second) f(id, clients_.at(id));
    }
    // False when the client is gone or its connection is closed.
    bool Send(SessionId id, const SharedPacket& packet);
    std::size_t Size() const { return clients_.size(); }

    template <typename F> void ForEach(F&& f) {
        for (auto& [id, record] : clients_) f(id, record);
    }

private:
    void Unlist(SessionId id, const ClientRecord& record);

    std::unordered_map<SessionId, ClientRecord> clients_;
    std::unordered_map<std::string, std::vector<SessionId>> byAccount_; // phone -> logged-in connections
};

} // namespace quorlan::server
