#pragma once
#include "IBoardRegistry.h"
#include "Scheduler.h"
#include "server/cluster/ICluster.h"
#include "server/common/ClientDirectory.h"
#include "server/common/Clock.h"
#include "server/common/Metrics.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorlan::server {

// The check loop's part in a cluster. A board is scheduled only by the
// instance that owns it, with the board's monitoring clients of every
// instance as checkers: an ask for another instance's client goes to that
// instance, which sends it, takes the answer as its own (the reporter's posts
// are judged there) and tells the owner how the turn went. This instance's
// members of each board, with the time each may next be asked (wall clock),
// go to the cluster. The single process is a cluster of one that owns every
// board and has no members elsewhere.
class ClusterChecks {
public:
    ClusterChecks(ICluster& cluster, const IClock& clock, IBoardRegistry& boards, ClientDirectory& clients,
                  Metrics& metrics, Scheduler& scheduler, Scheduler::TimeMs checkTimeoutMs);

    // The board's checkers as this instance schedules them: its monitoring
    // clients here and elsewhere when it owns the board, none otherwise (the
    // board then pauses here, its timing kept). Tells the cluster of the
    // members here.
    std::vector<Scheduler::Checker> Checkers(const std::string& url);
    // A member here joined, left, paused, resumed or changed its interval,
    // the board staying: tells the cluster. Whether the scheduler here takes
    // the change (it owns the board and knows its list).
    bool LocalChanged(const std::string& url);
    void BoardGone(const std::string& url);
    void ClientLeft(const std::string& url, SessionId id);

    // An ask for a client of another instance, sent there.
    bool IsRemote(SessionId id) const { return cluster_.IsRemote(id); }
    void SendAsk(const std::string& url, SessionId id, Scheduler::Kind kind, const std::optional<std::string>& list);
    // The client here was sent a check: its budget is spent for an interval.
    void Asked(const std::string& url, SessionId id);
    // A client of another instance was found gone when asked.
    void RemoteLeft(const std::string& url, SessionId id);

    // The owner of a board, another instance, asks a client here.
    void OnAsk(const ICluster::Ask& ask);
    // The client holds a check another instance asked of it, or made the
    // report of one.
    bool HoldsCheck(const std::string& url, SessionId id) const;
    // True when the answer was to another instance's ask (and is passed on).
    bool Answer(SessionId id, const std::string& url, const std::string& text, Scheduler::Kind kind);

private:
    // An ask of another instance's owner, sent to a client here.
    struct Delegated {
        SessionId id;
        Scheduler::Kind kind;
        Scheduler::TimeMs askedMs;
        ICluster::Ticket ticket;
    };

    std::vector<Scheduler::Checker> LocalCheckers(const std::string& url);
    // The members here, with the time each may next be asked.
    std::vector<ICluster::Member> MembersOf(const std::vector<Scheduler::Checker>& local);
    // The board's members elsewhere join `checkers`; those gone leave.
    void AddRemote(const std::string& url, std::vector<Scheduler::Checker>& checkers);

    ICluster& cluster_;
    const IClock& clock_;
    IBoardRegistry& boards_;
    ClientDirectory& clients_;
    Metrics& metrics_;
    Scheduler& scheduler_;
    Scheduler::TimeMs checkTimeoutMs_;
    // When each member here may next be asked (wall clock), the members
    // elsewhere of each board, and the asks taken for owners.
    std::unordered_map<SessionId, std::int64_t> dueWallMs_;
    std::map<std::string, std::set<SessionId>> remoteOf_;
    std::map<std::string, Delegated> delegated_;
    std::map<std::string, SessionId> delegatedReporter_;
};

} // namespace quorlan::server
