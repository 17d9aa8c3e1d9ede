#include "BoardOwnership.h"

#include <spdlog/spdlog.h>

#include <chrono>

namespace quorlan::server::pg {
namespace {

// First key of every board lock ("QRLN"); the second is the board's id.
constexpr const char* kLockClass = "1364347982";

} // namespace

BoardOwnership::BoardOwnership(asio::io_context& loop, PgConnection& connection, const IClock& clock, Options options)
    : loop_(loop), connection_(connection), clock_(clock), options_(std::move(options)), lease_(options_.takeoverMs),
      startedMs_(clock.NowMs()), timer_(loop) {
    connection_.AddLinkListener([this, alive = std::weak_ptr<int>(alive_)](bool up) {
        if (alive.lock()) OnLink(up);
    });
}

BoardOwnership::~BoardOwnership() = default;

void BoardOwnership::Start() {
    Tick();
    Arm();
}

void BoardOwnership::Arm() {
    timer_.expires_after(std::chrono::milliseconds(lease_.TickEveryMs()));
    timer_.async_wait([this, alive = std::weak_ptr<int>(alive_)](const std::error_code& ec) {
        if (ec || !alive.lock()) return;
        Tick();
        Arm();
    });
}

void BoardOwnership::AddChangeListener(ChangeListener listener) {
    listeners_.push_back(std::move(listener));
}

void BoardOwnership::Announce(const std::string& url, bool owned) {
    spdlog::info("board {} {} by node {}", url, owned ? "taken" : "given up", options_.nodeId);
    const auto listeners = listeners_;
    for (const auto& listener : listeners) listener(url, owned);
}

void BoardOwnership::OnLink(bool up) {
    if (up) {
        // The server's end of this session must stay silent-tolerant for at
        // least the lease before it frees the locks.
        const auto keep = lease_.ServerSideSettings();
        connection_.Query("SELECT set_config('tcp_keepalives_idle', $1, false), "
                          "set_config('tcp_keepalives_interval', $2, false), "
                          "set_config('tcp_keepalives_count', $3, false), "
                          "set_config('tcp_user_timeout', $4, false)",
                          {PgParam::Int(keep.idleSeconds), PgParam::Int(keep.intervalSeconds), PgParam::Int(keep.count),
                           PgParam::Int(keep.userTimeoutMs)},
                          [](PgReply reply) {
                              if (!reply.ok) spdlog::warn("session keepalive settings refused: {}", reply.error);
                          });
        return;
    }
    lease_.Lost();
    heartbeatInFlight_ = false;
    std::vector<std::string> lost;
    for (auto it = boards_.begin(); it != boards_.end();) {
        Board& board = it->second;
        board.attempting = false;
        if (board.held && board.epoch != 0) lost.push_back(it->first);
        board.held = false;
        board.epoch = 0;
        it = board.wanted ? std::next(it) : boards_.erase(it);
    }
    for (const auto& url : lost) Announce(url, false);
}

void BoardOwnership::Tick() {
    if (!connection_.LinkUp()) return;
    if (lease_.Expired(clock_.SteadyMs())) {
        // The server may have freed the locks already: drop the session so
        // that nothing here goes on as owner.
        connection_.Reset("board ownership lease ran out");
        return;
    }
    Heartbeat();
    for (auto& [url, board] : boards_)
        if (board.wanted && !board.held && !board.attempting) TryTake(url);
}

void BoardOwnership::Heartbeat() {
    if (heartbeatInFlight_) return;
    heartbeatInFlight_ = true;
    const std::int64_t sentMs = clock_.SteadyMs();
    const std::uint64_t session = connection_.LinksMade();
    connection_.Query("INSERT INTO cluster_nodes (node_id, started_ms, heartbeat_ms) VALUES ($1, $2, $3) "
                      "ON CONFLICT (node_id) DO UPDATE SET heartbeat_ms = EXCLUDED.heartbeat_ms",
                      {PgParam::Text(options_.nodeId), PgParam::Int(startedMs_), PgParam::Int(clock_.NowMs())},
                      [this, alive = std::weak_ptr<int>(alive_), sentMs, session](PgReply reply) {
                          if (!alive.lock() || session != connection_.LinksMade()) return;
                          heartbeatInFlight_ = false;
                          if (!reply.ok) return spdlog::warn("node heartbeat failed: {}", reply.error);
                          lease_.Answered(sentMs);
                      });
}

void BoardOwnership::Want(const std::string& url) {
    Board& board = boards_[url];
    if (board.wanted) return;
    board.wanted = true;
    if (connection_.LinkUp() && !board.held && !board.attempting) TryTake(url);
}

void BoardOwnership::Unwant(const std::string& url) {
    const auto it = boards_.find(url);
    if (it == boards_.end() || !it->second.wanted) return;
    it->second.wanted = false;
    if (it->second.held) Release(url, it->second);
    if (!it->second.attempting) boards_.erase(it);
}

bool BoardOwnership::Owns(const std::string& url) const {
    const auto it = boards_.find(url);
    return it != boards_.end() && it->second.held && lease_.Valid(clock_.SteadyMs());
}

std::optional<std::int64_t> BoardOwnership::Epoch(const std::string& url) const {
    const auto it = boards_.find(url);
    if (it == boards_.end() || !it->second.held) return std::nullopt;
    return it->second.epoch;
}

std::size_t BoardOwnership::OwnedCount() const {
    std::size_t count = 0;
    for (const auto& [url, board] : boards_) count += board.held ? 1 : 0;
    return count;
}

void BoardOwnership::TryTake(const std::string& url) {
    Board& board = boards_[url];
    board.attempting = true;
    const std::uint64_t session = connection_.LinksMade();
    const std::int64_t sentMs = clock_.SteadyMs();
    if (board.id) return Lock(url, session, sentMs);
    connection_.Query("INSERT INTO cluster_boards (url) VALUES ($1) "
                      "ON CONFLICT (url) DO UPDATE SET url = EXCLUDED.url RETURNING id",
                      {PgParam::Bytes(url)},
                      [this, alive = std::weak_ptr<int>(alive_), url, session, sentMs](PgReply reply) {
                          if (!alive.lock() || session != connection_.LinksMade()) return;
                          const auto it = boards_.find(url);
                          if (it == boards_.end()) return;
                          const auto id = reply.Int(0, 0);
                          if (!reply.ok || !id) {
                              spdlog::warn("board {} has no lock number: {}", url, reply.error);
                              it->second.attempting = false;
                              if (!it->second.wanted) boards_.erase(it);
                              return;
                          }
                          it->second.id = *id;
                          Lock(url, session, sentMs);
                      });
}

void BoardOwnership::Lock(const std::string& url, std::uint64_t session, std::int64_t sentMs) {
    const std::int64_t id = *boards_[url].id;
    connection_.Query(std::string("SELECT pg_try_advisory_lock(") + kLockClass + ", $1::integer)", {PgParam::Int(id)},
                      [this, alive = std::weak_ptr<int>(alive_), url, session, sentMs](PgReply reply) {
                          if (!alive.lock() || session != connection_.LinksMade()) return;
                          const auto it = boards_.find(url);
                          if (it == boards_.end()) return;
                          const bool locked = reply.ok && !reply.rows.empty() && reply.rows[0][0] == "t";
                          if (!reply.ok) spdlog::warn("board {} lock attempt failed: {}", url, reply.error);
                          if (!locked) {
                              it->second.attempting = false;
                              if (!it->second.wanted) boards_.erase(it);
                              return;
                          }
                          lease_.Answered(sentMs);
                          Claim(url, session);
                      });
}

// The lock is ours: record the takeover, then announce it. A board unwanted
// meanwhile is given back.
void BoardOwnership::Claim(const std::string& url, std::uint64_t session) {
    Board& board = boards_[url];
    if (!board.wanted) {
        board.attempting = false;
        Release(url, board);
        boards_.erase(url);
        return;
    }
    connection_.Query("UPDATE cluster_boards SET owner_node = $2, epoch = epoch + 1, owned_since_ms = $3 "
                      "WHERE id = $1 RETURNING epoch",
                      {PgParam::Int(*board.id), PgParam::Text(options_.nodeId), PgParam::Int(clock_.NowMs())},
                      [this, alive = std::weak_ptr<int>(alive_), url, session](PgReply reply) {
                          if (!alive.lock() || session != connection_.LinksMade()) return;
                          Board& board = boards_[url];
                          board.attempting = false;
                          const auto epoch = reply.Int(0, 0);
                          if (!reply.ok || !epoch || !board.wanted) {
                              if (!reply.ok) spdlog::warn("board {} takeover not recorded: {}", url, reply.error);
                              Release(url, board);
                              if (!board.wanted) boards_.erase(url);
                              return;
                          }
                          board.held = true;
                          board.epoch = *epoch;
                          Announce(url, true);
                      });
}

// Gives the lock back; the board was announced as owned once it has an epoch.
void BoardOwnership::Release(const std::string& url, Board& board) {
    const bool announced = board.epoch != 0;
    board.held = false;
    const std::int64_t id = *board.id;
    connection_.Query("UPDATE cluster_boards SET owner_node = NULL WHERE id = $1 AND owner_node = $2 AND epoch = $3",
                      {PgParam::Int(id), PgParam::Text(options_.nodeId), PgParam::Int(board.epoch)}, [](PgReply reply) {
                          if (!reply.ok) spdlog::warn("board owner not cleared: {}", reply.error);
                      });
    connection_.Query(std::string("SELECT pg_advisory_unlock(") + kLockClass + ", $1::integer)", {PgParam::Int(id)},
                      [url](PgReply reply) {
                          if (!reply.ok) spdlog::warn("board {} lock not released: {}", url, reply.error);
                      });
    board.epoch = 0;
    if (announced) Announce(url, false);
}

} // namespace quorlan::server::pg
