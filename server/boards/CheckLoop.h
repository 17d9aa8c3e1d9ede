#pragma once
#include "ClusterChecks.h"
#include "IBoardRegistry.h"
#include "Scheduler.h"
#include "server/cluster/ICluster.h"
#include "server/common/ClientDirectory.h"
#include "server/common/Clock.h"
#include "server/common/Metrics.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorlan::server {

// Carries out the scheduler's turns on the event loop: tells it of every
// change, sends the asks it makes, takes the answers and arms one timer for
// the next moment it names. The time is the injected clock's steady time, so
// a test can move it by hand. What a cluster adds (boards owned elsewhere,
// checkers on other instances) is ClusterChecks'.
class CheckLoop {
public:
    CheckLoop(asio::io_context& loop, const IClock& clock, IBoardRegistry& boards, ClientDirectory& clients,
              Metrics& metrics, Scheduler::Options options, ICluster& cluster);

    // The board as a whole: its stored list has been read, this instance
    // gained or lost it, or its members elsewhere changed.
    void BoardChanged(const std::string& url);
    // The client joined the board, or its monitoring or interval changed.
    void MemberChanged(const std::string& url, SessionId id);
    // The client has left the board (disconnected or moved elsewhere).
    void ClientLeft(const std::string& url, SessionId id);

    bool HoldsCheck(const std::string& url, SessionId id) const;
    // True when the report was the awaited one (and taken as the board's list).
    bool OnListReport(SessionId id, const std::string& url, const std::string& text);
    void OnListReply(SessionId id, const std::string& url, const std::string& text);

    // The owner of a board, another instance, asks a client here.
    void OnRemoteAsk(const ICluster::Ask& ask) { cluster_.OnAsk(ask); }
    // A client of another instance was asked from here: how it went.
    void OnRemoteOutcome(const ICluster::Outcome& outcome);

    // Looks at the clock again at once. The timer follows a clock that runs
    // with real time by itself; one moved by jumps says so here.
    void TimeChanged() { Run(); }

private:
    bool Answer(SessionId id, const std::string& url, const std::string& text, Scheduler::Kind kind);
    // Sends what is due now and arms the timer for the next moment.
    void Run();
    void Publish(const std::string& url);

    asio::steady_timer timer_;
    const IClock& clock_;
    IBoardRegistry& boards_;
    ClientDirectory& clients_;
    Metrics& metrics_;
    Scheduler scheduler_;
    ClusterChecks cluster_;
    std::uint64_t generation_ = 0; // tells a stale timer completion from the current one
};

} // namespace quorlan::server
