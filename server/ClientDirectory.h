#pragma once
#include "IPeer.h"
#include "RateWindow.h"

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
    bool robotRequested = false; // sent RobotMode 1, or its account did before
    bool monitoring = false;     // last SearchState
    // Identification numbers issued at this connection's request.
    RateWindow identRequests{kIdentPerConnection, kIdentConnectionWindowMs};

    static constexpr std::size_t kIdentPerConnection = 3;
    static constexpr std::int64_t kIdentConnectionWindowMs = 10 * 60'000;
};

// The connected clients, by connection id.
class ClientDirectory {
public:
    ClientRecord& Add(std::shared_ptr<IPeer> peer);
    void Remove(SessionId id);
    ClientRecord* Find(SessionId id);
    // False when the client is gone or its connection is closed.
    bool Send(SessionId id, const SharedPacket& packet);
    std::size_t Size() const { return clients_.size(); }

    template <typename F> void ForEach(F&& f) {
        for (auto& [id, record] : clients_) f(id, record);
    }

private:
    std::unordered_map<SessionId, ClientRecord> clients_;
};

} // namespace quorlan::server
