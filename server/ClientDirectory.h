#pragma once
#include "IPeer.h"

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>

namespace quorlan::server {

// What the server knows of one connected client beyond its board.
struct ClientRecord {
    std::shared_ptr<IPeer> peer;
    std::string phone; // canonical, once logged in
    bool loggedIn = false;
    bool relayAccount = false;   // the logged-in account is marked as relay
    bool robotRequested = false; // sent RobotMode 1
    bool monitoring = false;     // last SearchState
};

// The connected clients, by connection id.
class ClientDirectory {
public:
    ClientRecord& Add(std::shared_ptr<IPeer> peer);
    void Remove(SessionId id);
    ClientRecord* Find(SessionId id);
    // False when the client is gone.
    bool Send(SessionId id, const SharedPacket& packet);
    std::size_t Size() const { return clients_.size(); }

    template <typename F> void ForEach(F&& f) {
        for (auto& [id, record] : clients_) f(id, record);
    }

private:
    std::unordered_map<SessionId, ClientRecord> clients_;
};

} // namespace quorlan::server
