#pragma once
#include "OwnershipLease.h"
#include "server/common/Clock.h"
#include "server/postgres/PgConnection.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace quorlan::server::pg {

// Which boards this instance schedules. Each board is owned by at most one
// instance of the cluster: the holder of the board's advisory lock in its
// PostgreSQL session. The instance wants the boards it has monitoring clients
// for; every tick it sends a heartbeat (its row in cluster_nodes) and tries to
// take the wanted boards it does not hold, so the boards of an instance that
// died are taken over within the takeover time. Ownership is trusted only
// while the lease holds (see OwnershipLease); when it runs out the session is
// dropped, which gives up every lock at once. Each takeover writes the owner
// and a new epoch into cluster_boards.
//
// The locks live in the session of `connection`: give it a connection whose
// resets are acceptable to everyone else using it.
class BoardOwnership {
public:
    struct Options {
        std::string nodeId;
        std::int64_t takeoverMs = 10'000;
    };
    using ChangeListener = std::function<void(const std::string& board, bool owned)>;

    BoardOwnership(asio::io_context& loop, PgConnection& connection, const IClock& clock, Options options);
    ~BoardOwnership();
    BoardOwnership(const BoardOwnership&) = delete;
    BoardOwnership& operator=(const BoardOwnership&) = delete;

    // Ticks every OwnershipLease::TickEveryMs from now on.
    void Start();
    // One heartbeat and one round of attempts; the timer calls it.
    void Tick();

    // This instance has monitoring clients of `board` (cp949 address bytes).
    void Want(const std::string& board);
    // It has none any more: the board is given up if held.
    void Unwant(const std::string& board);
    // Held and the lease is valid now: the board may be scheduled here.
    bool Owns(const std::string& board) const;
    // The takeover number written when this instance took the board.
    std::optional<std::int64_t> Epoch(const std::string& board) const;
    std::size_t OwnedCount() const;
    // Called on the loop when a board is gained or lost.
    void AddChangeListener(ChangeListener listener);

private:
    struct Board {
        bool wanted = false;
        bool held = false;
        bool attempting = false;
        std::optional<std::int64_t> id;
        std::int64_t epoch = 0;
    };

    void OnLink(bool up);
    void Heartbeat();
    void TryTake(const std::string& url);
    void Lock(const std::string& url, std::uint64_t session, std::int64_t sentMs);
    void Claim(const std::string& url, std::uint64_t session);
    void Release(const std::string& url, Board& board);
    void Announce(const std::string& url, bool owned);
    void Arm();

    asio::io_context& loop_;
    PgConnection& connection_;
    const IClock& clock_;
    Options options_;
    OwnershipLease lease_;
    std::int64_t startedMs_;
    asio::steady_timer timer_;
    bool heartbeatInFlight_ = false;
    std::map<std::string, Board> boards_;
    std::vector<ChangeListener> listeners_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace quorlan::server::pg
