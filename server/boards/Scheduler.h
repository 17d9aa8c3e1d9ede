#pragma once
#include "server/common/IPeer.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorlan::server {

// Who checks which board, and when. Plain rules over times the caller gives
// (milliseconds of a monotonic clock); no timers and no I/O, so every rule
// can be played through with a hand-set clock.
//
// - Each monitoring client's interval is its own reload budget: it is asked
//   at most once per interval.
// - A board is checked as often as the budgets of its clients together allow
//   (N clients at interval R: every R/N), never more often than the floor
//   (`minIntervalMs`), and the checks of all boards on one host are at least
//   `siteIntervalMs` apart.
// - Of the clients whose budget allows a check, the one most overdue is asked.
// - A board has at most one ask outstanding. One not answered within
//   `checkTimeoutMs` counts against the client, whose turn is then spent, and
//   the board is asked again as soon as the floor allows. A client silent for
//   kMaxSilentTurns asks in a row is passed over while others can be asked.
// - A board without a list is first asked for its page as it stands (a
//   baseline), so that the first real check compares against the page. A
//   baseline loads nothing, so it spends no budget and is not held to the
//   host's interval; only a baseline asked again waits for the floor.
// - The floor and the host interval count every check asked, answered or
//   not: a silent client may well have loaded the page.
class Scheduler {
public:
    using TimeMs = std::int64_t;
    static constexpr unsigned kMaxSilentTurns = 3;

    struct Options {
        TimeMs minIntervalMs = 60'000;
        TimeMs siteIntervalMs = 60'000;
        TimeMs checkTimeoutMs = 30'000;
    };
    struct Checker {
        SessionId id;
        TimeMs intervalMs;
        // When a client new to the scheduler may first be asked (another
        // scheduler asked it before); unset: at once.
        std::optional<TimeMs> dueMs = std::nullopt;
    };
    enum class Kind { Check, Baseline };
    struct Ask {
        std::string url;
        SessionId id;
        Kind kind;
    };
    // What the time has brought: the asks to send now, the asks that went
    // unanswered, and when to look again (nothing: only a change can bring
    // the next ask).
    struct Step {
        std::vector<Ask> asks;
        std::vector<Ask> timedOut;
        std::optional<TimeMs> wakeAt;
    };
    struct Figures {
        TimeMs intervalMs; // how often the board is checked now
        std::size_t checkers;
    };

    explicit Scheduler(Options options) : options_(options) {}

    // One client's budget on the board: it joined, resumed monitoring or
    // changed its interval. A client known already keeps its timing.
    void Set(const std::string& url, const std::string& host, const Checker& checker, TimeMs now);
    // The client stops monitoring the board; its timing is kept, so that
    // switching off and on brings no check forward.
    void Pause(const std::string& url, SessionId id);
    // The board's monitoring clients and their intervals as they are now, and
    // whether the server holds a list of it: Set for each, Pause for the
    // others. An empty list pauses the board.
    void Update(const std::string& url, const std::string& host, const std::vector<Checker>& checkers, bool hasList,
                TimeMs now);
    // The board has no client left at all.
    void Remove(const std::string& url);
    // The client has left the board: an ask it had is void, and it no longer
    // holds the board's check.
    void Left(const std::string& url, SessionId id);
    // The awaited answer came; `hasList` is whether the server now holds a
    // list. False (and nothing changes) when this answer was not awaited.
    bool Answered(const std::string& url, SessionId id, Kind kind, bool hasList);

    Step Advance(TimeMs now);

    // The client may send the board's new posts: it has the check being
    // made, or made the last check answered (its posts follow its report,
    // perhaps after the next check has been asked).
    bool HoldsCheck(const std::string& url, SessionId id) const;
    std::optional<Figures> BoardFigures(const std::string& url) const;

private:
    struct CheckerState {
        TimeMs intervalMs = 0;
        TimeMs joinedMs = 0;
        std::optional<TimeMs> lastAskMs;
        unsigned silent = 0;
        // Monitoring now. A client that pauses keeps its last ask, so that
        // switching off and on does not reset its budget.
        bool active = true;
        TimeMs DueMs() const { return lastAskMs ? *lastAskMs + intervalMs : joinedMs; }
    };
    // Checks per millisecond in fixed point (kRateOne per interval of 1 ms),
    // so that a running total of the budgets adds and takes away exactly.
    using Rate = unsigned __int128;
    static constexpr Rate kRateOne = Rate{1} << 100;
    // The monitoring clients of one kind (answering, or passed over as
    // silent): their budgets summed and their due times in order, the most
    // overdue first (the lowest id among equals).
    struct Group {
        std::set<std::pair<TimeMs, SessionId>> due;
        Rate rate = 0;
    };
    struct Pending {
        SessionId id;
        Kind kind;
        TimeMs askedMs;
    };
    struct Board {
        const std::string* url = nullptr; // the key of its entry in boards_
        std::string host;
        std::unordered_map<SessionId, CheckerState> checkers;
        Group answering;
        Group silent;
        bool hasList = false;
        std::optional<TimeMs> lastAskMs; // of a check
        std::optional<TimeMs> lastBaselineMs;
        bool retry = false; // the last check went unanswered: again at the floor
        std::optional<Pending> pending;
        SessionId reporter = 0; // whose check was answered last
        std::optional<TimeMs> indexedMs; // its key in ready_ or deadlines_
    };
    // Boards by a time, then by address.
    struct ByTime {
        bool operator()(const std::pair<TimeMs, Board*>& a, const std::pair<TimeMs, Board*>& b) const {
            return a.first != b.first ? a.first < b.first : *a.second->url < *b.second->url;
        }
    };

    Board& BoardAt(const std::string& url, const std::string& host);
    Board* Find(const std::string& url);
    // Takes the checker out of its group, and puts it back after a change.
    void Unlink(Board& board, SessionId id, const CheckerState& state);
    void Link(Board& board, SessionId id, const CheckerState& state);
    // The monitoring clients that may be asked: those not passed over as
    // silent, or all when every one is.
    static const Group& Eligible(const Board& board);
    TimeMs CrowdIntervalMs(const Board& board) const;
    // When the board may be asked next, host aside; nothing when it cannot be
    // (no client, or an answer outstanding).
    std::optional<TimeMs> ReadyMs(const Board& board) const;
    TimeMs HostReadyMs(const std::string& host) const;
    // Files the board under its answer's deadline or the time it is ready,
    // after any change.
    void Reindex(Board& board);
    void Unindex(Board& board);

    Options options_;
    std::map<std::string, Board> boards_;
    std::set<std::pair<TimeMs, Board*>, ByTime> ready_;     // boards without an ask outstanding, by ReadyMs
    std::set<std::pair<TimeMs, Board*>, ByTime> deadlines_; // boards awaiting an answer, by its deadline
    std::unordered_map<std::string, TimeMs> hostLastAskMs_;
    std::deque<std::pair<TimeMs, std::string>> hostAsks_; // the host checks of hostLastAskMs_, oldest first
};

} // namespace quorlan::server
