#pragma once
#include "server/common/IPeer.h"
#include "server/limits/SmsLimiter.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorlan::server {

// The other instances of a cluster, as this instance sees them: what it sends
// them, what it hears from them, and which boards it may schedule. The single
// process is a cluster of one (LocalCluster).
class ICluster {
public:
    // A monitoring client of a board: its interval and when it may be asked
    // next (wall-clock milliseconds).
    struct Member {
        SessionId id;
        std::int64_t intervalMs;
        std::int64_t dueMs;
        bool operator==(const Member&) const = default;
    };
    // Who is owed the outcome of a check asked by another instance: that
    // instance, and its name for the client.
    struct Ticket {
        std::string node;
        SessionId id;
    };
    // A board's owner asks one of this instance's clients for a check (or a
    // baseline); the list to check against, when it came along.
    struct Ask {
        std::string board;
        SessionId id;
        bool baseline;
        std::optional<std::string> list;
        Ticket ticket;
    };
    // How a turn asked of another instance's client went: answered (with the
    // reported list, empty when it did not come along) or not (the client
    // was gone).
    struct Outcome {
        std::string board;
        SessionId id;
        bool baseline;
        bool answered;
        std::string list;
    };

    // What the other instances say, called on the event loop.
    struct Events {
        // A new post line another instance forwarded to its clients of `board`.
        std::function<void(const std::string& board, const std::string& line)> post;
        // An operator's notice sent on another instance ("" board: everyone).
        std::function<void(const std::string& text, const std::string& board)> notice;
        // This instance gained or lost the right to schedule `board`, or the
        // board's monitoring clients on the other instances changed.
        std::function<void(const std::string& board)> boardChanged;
        // A text message for a relay connected here; `answer` says whether
        // one took it.
        std::function<void(const std::string& phone, const std::string& line, std::function<void(bool taken)> answer)>
            sms;
        std::function<void(const Ask& ask)> ask;
        std::function<void(const Outcome& outcome)> outcome;
    };

    virtual ~ICluster() = default;

    virtual void Start() = 0;
    // The database link is up and the schema is current.
    virtual bool LinkUp() const = 0;
    // One line for /health: the link's state and, when down, why.
    virtual std::string LinkState() const = 0;

    virtual void PostForwarded(const std::string& board, const std::string& line) = 0;
    virtual void NoticeSent(const std::string& text, const std::string& board) = 0;

    // This instance has monitoring clients of `board`, or has none any more.
    virtual void Watch(const std::string& board) = 0;
    virtual void Unwatch(const std::string& board) = 0;
    // Only the owner schedules checks of a board.
    virtual bool Owns(const std::string& board) const = 0;

    // This instance's monitoring clients of `board` as they are now (none:
    // the board has none here), for the owner wherever it is; listed by
    // `members` only when the implementation shares them.
    using MemberList = std::function<std::vector<Member>()>;
    virtual void Members(const std::string& board, const MemberList& members) = 0;
    // The monitoring clients of `board` on the other living instances, under
    // ids of their own that no connection here has (see IsRemote).
    virtual std::vector<Member> RemoteMembers(const std::string& board) const = 0;
    virtual bool IsRemote(SessionId id) const = 0;
    // Asks a remote member for the board's check; the answer comes as an
    // outcome event, or never (the turn then times out).
    virtual void SendAsk(const std::string& board, SessionId remote, bool baseline,
                         const std::optional<std::string>& list) = 0;
    // Tells the owner how the turn it asked went.
    virtual void SendOutcome(const Ticket& ticket, const Outcome& outcome) = 0;

    // A connection here is a relay in robot mode, or is one no longer.
    virtual void RelayJoined(SessionId id, const std::string& phone) = 0;
    virtual void RelayLeft(SessionId id) = 0;
    // How the account's alert limits took an alert, and when by the
    // implementation's own time (to give it back with).
    struct Admission {
        SmsLimiter::Verdict verdict;
        std::int64_t atMs;
    };
    using AdmitDone = std::function<void(std::optional<Admission>)>;
    // The account's alert limits across the cluster: checks, and counts the
    // alert when admitted; nothing when the database did not answer. `done`
    // runs on the loop, never before the call returns.
    virtual void AdmitAlert(const std::string& phone, const std::string& line, AdmitDone done) = 0;
    // Gives back an alert admitted at `atMs` that no relay took.
    virtual void ReleaseAlert(const std::string& phone, const std::string& line, std::int64_t atMs) = 0;
    // Hands the text message to one other instance with a relay; whether a
    // relay there took it (false also when no instance has one, or when the
    // instance did not answer in time).
    virtual void RelayElsewhere(const std::string& phone, const std::string& line,
                                std::function<void(bool sent)> done) = 0;
};

} // namespace quorlan::server
