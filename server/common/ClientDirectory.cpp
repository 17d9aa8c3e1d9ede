#include "ClientDirectory.h"

namespace quorlan::server {

ClientRecord& ClientDirectory::Add(std::shared_ptr<IPeer> peer) {
    const SessionId id = peer->Id();
    ClientRecord& record = clients_[id];
    record = ClientRecord{};
    record.peer = std::move(peer);
    return record;
}

void ClientDirectory::Remove(SessionId id) { clients_.erase(id); }

ClientRecord* ClientDirectory::Find(SessionId id) {
    auto it = clients_.find(id);
    return it == clients_.end() ? nullptr : &it->second;
}

bool ClientDirectory::Send(SessionId id, const SharedPacket& packet) {
    ClientRecord* record = Find(id);
    return record && record->peer->Send(packet);
}

} // namespace quorlan::server
