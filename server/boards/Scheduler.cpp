#include "Scheduler.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_set>

namespace quorlan::server {

Scheduler::Board& Scheduler::BoardAt(const std::string& url, const std::string& host) {
    auto [it, created] = boards_.try_emplace(url);
    if (created) it->second.url = &it->first;
    it->second.host = host;
    return it->second;
}

Scheduler::Board* Scheduler::Find(const std::string& url) {
    auto it = boards_.find(url);
    return it == boards_.end() ? nullptr : &it->second;
}

void Scheduler::Unlink(Board& board, SessionId id, const CheckerState& state) {
    if (!state.active) return;
    Group& group = state.silent < kMaxSilentTurns ? board.answering : board.silent;
    group.due.erase({state.DueMs(), id});
    group.rate -= kRateOne / static_cast<Rate>(std::max<TimeMs>(state.intervalMs, 1));
}

void Scheduler::Link(Board& board, SessionId id, const CheckerState& state) {
    if (!state.active) return;
    Group& group = state.silent < kMaxSilentTurns ? board.answering : board.silent;
    group.due.emplace(state.DueMs(), id);
    group.rate += kRateOne / static_cast<Rate>(std::max<TimeMs>(state.intervalMs, 1));
}

void Scheduler::Set(const std::string& url, const std::string& host, const Checker& checker, TimeMs now) {
    Board& board = BoardAt(url, host);
    auto [it, added] = board.checkers.try_emplace(checker.id);
    CheckerState& state = it->second;
    if (added) {
        state.joinedMs = checker.dueMs.value_or(now);
    } else {
        Unlink(board, checker.id, state);
    }
    state.intervalMs = std::max(checker.intervalMs, options_.minIntervalMs);
    state.active = true;
    Link(board, checker.id, state);
    Reindex(board);
}

void Scheduler::Pause(const std::string& url, SessionId id) {
    Board* board = Find(url);
    if (!board) return;
    auto it = board->checkers.find(id);
    if (it == board->checkers.end() || !it->second.active) return;
    Unlink(*board, id, it->second);
    it->second.active = false;
    Reindex(*board);
}

void Scheduler::Update(const std::string& url, const std::string& host, const std::vector<Checker>& checkers,
                       bool hasList, TimeMs now) {
    Board& board = BoardAt(url, host);
    board.hasList = hasList;
    std::unordered_set<SessionId> listed;
    for (const Checker& c : checkers) listed.insert(c.id);
    for (auto& [id, state] : board.checkers) {
        if (listed.count(id) || !state.active) continue;
        Unlink(board, id, state);
        state.active = false;
    }
    for (const Checker& c : checkers) Set(url, host, c, now);
    Reindex(board);
}

void Scheduler::Remove(const std::string& url) {
    Board* board = Find(url);
    if (!board) return;
    Unindex(*board);
    boards_.erase(url);
}

void Scheduler::Left(const std::string& url, SessionId id) {
    Board* board = Find(url);
    if (!board) return;
    if (auto it = board->checkers.find(id); it != board->checkers.end()) {
        Unlink(*board, id, it->second);
        board->checkers.erase(it);
    }
    if (board->reporter == id) board->reporter = 0;
    if (board->pending && board->pending->id == id) {
        board->pending.reset();
        board->retry = true;
    }
    Reindex(*board);
}

bool Scheduler::Answered(const std::string& url, SessionId id, Kind kind, bool hasList) {
    Board* board = Find(url);
    if (!board) return false;
    if (!board->pending || board->pending->id != id || board->pending->kind != kind) return false;
    if (kind == Kind::Check) board->reporter = id;
    board->pending.reset();
    board->retry = false;
    board->hasList = hasList;
    if (auto it = board->checkers.find(id); it != board->checkers.end()) {
        Unlink(*board, id, it->second);
        it->second.silent = 0;
        Link(*board, id, it->second);
    }
    Reindex(*board);
    return true;
}

bool Scheduler::HoldsCheck(const std::string& url, SessionId id) const {
    auto it = boards_.find(url);
    if (it == boards_.end() || id == 0) return false;
    const Board& board = it->second;
    const bool checking = board.pending && board.pending->kind == Kind::Check && board.pending->id == id;
    return checking || board.reporter == id;
}

const Scheduler::Group& Scheduler::Eligible(const Board& board) {
    return board.answering.due.empty() ? board.silent : board.answering;
}

Scheduler::TimeMs Scheduler::CrowdIntervalMs(const Board& board) const {
    // The budgets add up as rates: N clients at R allow a check every R/N.
    const Rate rate = Eligible(board).rate;
    if (rate == 0) return options_.minIntervalMs;
    const long double ms = static_cast<long double>(kRateOne) / static_cast<long double>(rate);
    return std::max(options_.minIntervalMs, static_cast<TimeMs>(std::llround(ms)));
}

std::optional<Scheduler::TimeMs> Scheduler::ReadyMs(const Board& board) const {
    if (board.pending) return std::nullopt;
    const Group& eligible = Eligible(board);
    if (eligible.due.empty()) return std::nullopt;
    const TimeMs earliestClient = eligible.due.begin()->first;
    if (!board.hasList) {
        return board.lastBaselineMs ? std::max(*board.lastBaselineMs + options_.minIntervalMs, earliestClient)
                                    : earliestClient;
    }
    if (!board.lastAskMs) return earliestClient;
    const TimeMs gap = board.retry ? options_.minIntervalMs : CrowdIntervalMs(board);
    return std::max(*board.lastAskMs + gap, earliestClient);
}

Scheduler::TimeMs Scheduler::HostReadyMs(const std::string& host) const {
    auto it = hostLastAskMs_.find(host);
    return it == hostLastAskMs_.end() ? std::numeric_limits<TimeMs>::min() : it->second + options_.siteIntervalMs;
}

void Scheduler::Unindex(Board& board) {
    if (!board.indexedMs) return;
    ready_.erase({*board.indexedMs, &board});
    deadlines_.erase({*board.indexedMs, &board});
    board.indexedMs.reset();
}

void Scheduler::Reindex(Board& board) {
    Unindex(board);
    if (board.pending) {
        board.indexedMs = board.pending->askedMs + options_.checkTimeoutMs;
        deadlines_.emplace(*board.indexedMs, &board);
    } else if ((board.indexedMs = ReadyMs(board))) {
        ready_.emplace(*board.indexedMs, &board);
    }
}

Scheduler::Step Scheduler::Advance(TimeMs now) {
    Step step;
    while (!deadlines_.empty() && deadlines_.begin()->first <= now) {
        Board& board = *deadlines_.begin()->second;
        if (auto it = board.checkers.find(board.pending->id); it != board.checkers.end()) {
            Unlink(board, it->first, it->second);
            ++it->second.silent;
            Link(board, it->first, it->second);
        }
        step.timedOut.push_back({*board.url, board.pending->id, board.pending->kind});
        board.pending.reset();
        board.retry = true;
        Reindex(board);
    }

    // The boards that may be asked now, most overdue first; a host's
    // interval then goes to the board that has waited longest.
    std::vector<Board*> ready;
    for (auto it = ready_.begin(); it != ready_.end() && it->first <= now; ++it) ready.push_back(it->second);
    for (Board* board : ready) {
        if (board->hasList && HostReadyMs(board->host) > now) continue;
        const Group& eligible = Eligible(*board);
        if (eligible.due.empty() || eligible.due.begin()->first > now) continue;
        const SessionId id = eligible.due.begin()->second;
        const Kind kind = board->hasList ? Kind::Check : Kind::Baseline;
        board->pending = Pending{id, kind, now};
        if (kind == Kind::Check) {
            CheckerState& chosen = board->checkers.at(id);
            Unlink(*board, id, chosen);
            chosen.lastAskMs = now;
            Link(*board, id, chosen);
            board->lastAskMs = now;
            board->retry = false;
            hostLastAskMs_[board->host] = now;
            hostAsks_.emplace_back(now, board->host);
        } else {
            board->lastBaselineMs = now;
        }
        Reindex(*board);
        step.asks.push_back({*board->url, id, kind});
    }

    // A host's last ask matters only while its interval runs.
    while (!hostAsks_.empty() && hostAsks_.front().first + options_.siteIntervalMs <= now) {
        const auto& [at, host] = hostAsks_.front();
        if (auto it = hostLastAskMs_.find(host); it != hostLastAskMs_.end() && it->second == at)
            hostLastAskMs_.erase(it);
        hostAsks_.pop_front();
    }

    // The next moment: the first deadline, or the first board whose host
    // then allows it; a board's host only ever puts it later.
    std::optional<TimeMs> wake;
    if (!deadlines_.empty()) wake = deadlines_.begin()->first;
    for (const auto& [at, board] : ready_) {
        if (wake && at >= *wake) break;
        const TimeMs when = board->hasList ? std::max(at, HostReadyMs(board->host)) : at;
        if (!wake || when < *wake) wake = when;
    }
    if (wake) step.wakeAt = std::max(*wake, now);
    return step;
}

std::optional<Scheduler::Figures> Scheduler::BoardFigures(const std::string& url) const {
    auto it = boards_.find(url);
    if (it == boards_.end()) return std::nullopt;
    const Board& board = it->second;
    return Figures{CrowdIntervalMs(board), board.answering.due.size() + board.silent.due.size()};
}

} // namespace quorlan::server
