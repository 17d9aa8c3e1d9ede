#include "OwnershipLease.h"

#include <algorithm>

namespace quorlan::server::pg {

OwnershipLease::OwnershipLease(std::int64_t takeoverMs) : takeoverMs_(std::max(takeoverMs, kMinTakeoverMs)) {}

OwnershipLease::KeepaliveSettings OwnershipLease::ServerSideSettings() const {
    // Keepalives start after whole seconds of idleness: round the lease up,
    // then one probe a second later ends the session.
    const int idle = static_cast<int>((LeaseMs() + 999) / 1000);
    return {idle, 1, 1, static_cast<int>(LeaseMs())};
}

void OwnershipLease::Answered(std::int64_t sentMs) {
    if (!confirmedAtMs_ || sentMs > *confirmedAtMs_) confirmedAtMs_ = sentMs;
}

void OwnershipLease::Lost() {
    confirmedAtMs_.reset();
}

bool OwnershipLease::Valid(std::int64_t nowMs) const {
    return confirmedAtMs_ && nowMs < *confirmedAtMs_ + LeaseMs();
}

bool OwnershipLease::Expired(std::int64_t nowMs) const {
    return confirmedAtMs_ && !Valid(nowMs);
}

} // namespace quorlan::server::pg
