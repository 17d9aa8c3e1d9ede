#pragma once
#include <cstdint>
#include <optional>

namespace quorlan::server::pg {

// How long an instance may believe the session that holds its board locks is
// still alive, with the time as a parameter. PostgreSQL frees a session's
// advisory locks when it notices the session gone; an instance that cannot
// reach the database does not notice that itself. So the instance trusts its
// locks only for `LeaseMs` after sending the last query the server answered,
// and the session is set up (ServerSideSettings) so that the server waits at
// least that long of silence before it drops the session and frees the locks
// to another instance. The two owners therefore never overlap, and a dead
// instance's boards are free again within the takeover time.
class OwnershipLease {
public:
    struct KeepaliveSettings {
        int idleSeconds;
        int intervalSeconds;
        int count;
        int userTimeoutMs;
    };

    // Keepalives count in whole seconds: below this the server's wait, plus
    // one tick to notice the free lock, would not fit in the takeover time.
    static constexpr std::int64_t kMinTakeoverMs = 7'000;

    // Takeover times below kMinTakeoverMs are raised to it.
    explicit OwnershipLease(std::int64_t takeoverMs);

    // Heartbeats and new attempts to take boards run this often.
    std::int64_t TickEveryMs() const { return takeoverMs_ / 5; }
    std::int64_t LeaseMs() const { return takeoverMs_ / 2; }
    // TCP settings for the server's end of the session: it drops a silent or
    // unresponsive session no sooner than LeaseMs after its last traffic.
    KeepaliveSettings ServerSideSettings() const;

    // A query sent at sentMs was answered by the server.
    void Answered(std::int64_t sentMs);
    // The session ended; every lock it held is gone.
    void Lost();
    bool Valid(std::int64_t nowMs) const;
    // The lease was confirmed once and has run out: the session must be
    // dropped, since the server may already have freed its locks.
    bool Expired(std::int64_t nowMs) const;

private:
    std::int64_t takeoverMs_;
    std::optional<std::int64_t> confirmedAtMs_;
};

} // namespace quorlan::server::pg
