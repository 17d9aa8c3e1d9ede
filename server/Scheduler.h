#pragma once
#include "ClientDirectory.h"
#include "IBoardRegistry.h"
#include "Metrics.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>

namespace quorlan::server {

// Shares the checking of each board among its monitoring clients. One timer
// per board drives its turns:
// - every period (plus a little jitter, so boards with equal periods do not
//   fire together) the next monitoring client in turn gets `CheckList` with
//   the board's last list, and holds the board's check until the next turn;
// - a board without a list first gets a baseline by `ListRequest`, so that
//   the first real check compares against the page, not against nothing;
// - an answer that does not come within the check timeout passes the turn to
//   the next client at once and counts against the silent one. A client
//   silent for kMaxSilentTurns turns in a row is passed over while others
//   answer.
class Scheduler {
public:
    static constexpr unsigned kMaxSilentTurns = 3;

    Scheduler(asio::io_context& loop, IBoardRegistry& boards, ClientDirectory& clients, Metrics& metrics,
              std::chrono::milliseconds checkTimeout);

    // Membership, monitoring or intervals of the board changed.
    void BoardChanged(const std::string& url);
    // The client has left the board (disconnected or moved elsewhere).
    void ClientLeft(const std::string& url, SessionId id);

    bool HoldsCheck(const std::string& url, SessionId id) const;
    // True when the report was the awaited one (and taken as the board's list).
    bool OnListReport(SessionId id, const std::string& url, const std::string& text);
    void OnListReply(SessionId id, const std::string& url, const std::string& text);

private:
    using Clock = std::chrono::steady_clock;
    enum class Phase { Idle, Waiting, AwaitingReport, AwaitingBaseline };
    struct Turn {
        explicit Turn(asio::io_context& loop) : timer(loop) {}
        asio::steady_timer timer;
        std::uint64_t generation = 0; // tells a stale timer completion from the current one
        Phase phase = Phase::Idle;
        SessionId asked = 0;  // whose answer is awaited
        SessionId holder = 0; // who holds the current check (may post NewPost)
        SessionId cursor = 0; // last client given a turn
        Clock::time_point turnStart{}; // the epoch until the board's first turn
        std::chrono::milliseconds jitter{0};
        std::size_t attempts = 0; // clients tried in this turn
        std::unordered_map<SessionId, unsigned> silentTurns;
    };

    Turn* Find(const std::string& url);
    void StartTurn(const std::string& url, Turn& turn, bool fresh);
    void WaitForNextTurn(const std::string& url, Turn& turn);
    void Arm(const std::string& url, Turn& turn, Clock::time_point at);
    void OnTimer(const std::string& url, std::uint64_t generation);
    std::optional<SessionId> PickClient(const std::string& url, const Turn& turn) const;
    std::chrono::milliseconds NewJitter(std::chrono::milliseconds period);

    asio::io_context& loop_;
    IBoardRegistry& boards_;
    ClientDirectory& clients_;
    Metrics& metrics_;
    std::chrono::milliseconds checkTimeout_;
    std::mt19937_64 random_;
    std::unordered_map<std::string, std::unique_ptr<Turn>> turns_;
};

} // namespace quorlan::server
