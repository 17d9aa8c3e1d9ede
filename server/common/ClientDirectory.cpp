#include "ClientDirectory.h"

#include <vector>

namespace quorlan::server {

ClientRecord& ClientDirectory::Add(std::shared_ptr<IPeer> peer) {
    const SessionId id = peer->Id();
    ClientRecord& record = clients_[id];
    record = ClientRecord{};
    record.peer = std::move(peer);
    return record;
}

void ClientDirectory::Remove(SessionId id) {
    auto it = clients_.find(id);
    if (it == clients_.end()) return;
    Unlist(id, it->second);
    clients_.erase(it);
}

void ClientDirectory::LoggedIn(SessionId id, const std::string& phone) {
    ClientRecord* record = Find(id);
    if (!record) return;
    Unlist(id, *record);
    record->loggedIn = true;
    record->phone = phone;
    byAccount_[phone].push_back(id);
}

void ClientDirectory::Unlist(SessionId id, const ClientRecord& record) {
    if (!record.loggedIn) return;
    auto it = byAccount_.find(record.phone);
    if (it == byAccount_.end()) return;
    std::erase(it->second, id);
    if (it->second.empty()) byAccount_.erase(it);
}

ClientRecord* ClientDirectory::Find(SessionId id) {
    auto it = clients_.find(id);
    return it == clients_.end() ? nullptr : &it->second;
}

bool ClientDirectory::Send(SessionId id, const SharedPacket& packet) {
    ClientRecord* record = Find(id);
    return record && record->peer->Send(packet);
}

} // namespace quorlan::server
