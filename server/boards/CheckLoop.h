#pragma once
#include "server/common/ClientDirectory.h"
#include "server/common/Clock.h"
#include "server/cluster/ICluster.h"
#include "IBoardRegistry.h"
#include "server/common/Metrics.h"
#include "Scheduler.h"

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
// a test can move it by hand.
//
// In a cluster (`cluster` not null) a board is scheduled here only while this
// instance owns it, with the board's monitoring clients of every instance as
// checkers: an ask for another instance's client goes to that instance, which
// sends it, takes the answer as its own (the reporter's posts are judged
// there) and tells the owner how the turn went. This instance's members of
// each board, with the time each may next be asked, go to the cluster.
class CheckLoop {
public:
    CheckLoop(asio::io_context& loop, const IClock& clock, IBoardRegistry& boards, ClientDirectory& clients,
              Metrics& metrics, Scheduler::Options options, ICluster* cluster = nullptr);

    // Membership, monitoring or intervals of the board changed, or its stored
    // list has been read.
    void BoardChanged(const std::string& url);
    // The client has left the board (disconnected or moved elsewhere).
    void ClientLeft(const std::string& url, SessionId id);

    bool HoldsCheck(const std::string& url, SessionId id) const;
    // True when the report was the awaited one (and taken as the board's list).
    bool OnListReport(SessionId id, const std::string& url, const std::string& text);
    void OnListReply(SessionId id, const std::string& url, const std::string& text);

    // The owner of a board, another instance, asks a client here.
    void OnRemoteAsk(const ICluster::Ask& ask);
    // A client of another instance was asked from here: how it went.
    void OnRemoteOutcome(const ICluster::Outcome& outcome);

    // Looks at the clock again at once. The timer follows a clock that runs
    // with real time by itself; one moved by jumps says so here.
    void TimeChanged() { Run(); }

private:
    // An ask of another instance's owner, sent to a client here.
    struct Delegated {
        SessionId id;
        Scheduler::Kind kind;
        Scheduler::TimeMs askedMs;
        ICluster::Ticket ticket;
    };

    bool Answer(SessionId id, const std::string& url, const std::string& text, Scheduler::Kind kind);
    bool AnswerDelegated(SessionId id, const std::string& url, const std::string& text, Scheduler::Kind kind);
    // Tells the cluster of this instance's members of the board.
    void ShareMembers(const std::string& url, const std::vector<Scheduler::Checker>& local);
    std::vector<Scheduler::Checker> LocalCheckers(const std::string& url);
    // The board's members elsewhere join `checkers`; those gone leave.
    void AddRemote(const std::string& url, std::vector<Scheduler::Checker>& checkers);
    // The client here was sent a check: its budget is spent for an interval.
    void Asked(const std::string& url, SessionId id);
    // Sends what is due now and arms the timer for the next moment.
    void Run();
    void Publish(const std::string& url);

    asio::steady_timer timer_;
    const IClock& clock_;
    IBoardRegistry& boards_;
    ClientDirectory& clients_;
    Metrics& metrics_;
    Scheduler scheduler_;
    ICluster* cluster_;
    Scheduler::TimeMs checkTimeoutMs_;
    // Cluster only: when each member here may next be asked (wall clock),
    // the members elsewhere of each board, and the asks taken for owners.
    std::unordered_map<SessionId, std::int64_t> dueWallMs_;
    std::map<std::string, std::set<SessionId>> remoteOf_;
    std::map<std::string, Delegated> delegated_;
    std::map<std::string, SessionId> delegatedReporter_;
    std::uint64_t generation_ = 0; // tells a stale timer completion from the current one
};

} // namespace quorlan::server
