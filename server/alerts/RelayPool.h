#pragma once
#include "server/common/IPeer.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>

namespace quorlan::server {

// The connections that may send text messages for the others: logged in and
// in robot mode. Whether the account is (still) marked as relay is asked at
// each dispatch, so the operator's marks take effect on connected clients.
// Messages go to them in turn.
class RelayPool {
public:
    void Add(SessionId id) { relays_.insert(id); }
    void Remove(SessionId id) { relays_.erase(id); }
    bool Contains(SessionId id) const { return relays_.count(id) != 0; }
    std::size_t Size() const { return relays_.size(); }
    const std::set<SessionId>& Members() const { return relays_; }

    // Offers a message to each relay at most once, in turn from the one after
    // the last used, until `deliver` takes it; the relay that took it.
    std::optional<SessionId> Dispatch(const std::function<bool(SessionId)>& deliver);

private:
    std::set<SessionId> relays_;
    SessionId last_ = 0;
};

} // namespace quorlan::server
