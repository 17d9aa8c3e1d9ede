#include "RelayPool.h"

#include <vector>

namespace quorlan::server {

std::optional<SessionId> RelayPool::Dispatch(const std::function<bool(SessionId)>& deliver) {
    // A copy of the order: `deliver` may close connections, and a closed one
    // leaves the pool later, from the loop.
    std::vector<SessionId> order;
    order.reserve(relays_.size());
    order.insert(order.end(), relays_.upper_bound(last_), relays_.end());
    order.insert(order.end(), relays_.begin(), relays_.upper_bound(last_));
    for (const SessionId id : order) {
        if (deliver(id)) {
            last_ = id;
            return id;
        }
    }
    return std::nullopt;
}

} // namespace quorlan::server
