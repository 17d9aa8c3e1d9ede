#include "Scheduler.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorlan::server {

void Scheduler::Update(const std::string& url, const std::string& host, const std::vector<Checker>& checkers,
                       bool hasList, TimeMs now) {
    Board& board = boards_[url];
    board.host = host;
    board.hasList = hasList;
    for (auto& entry : board.checkers) entry.second.active = false;
    for (const Checker& c : checkers) {
        auto [it, added] = board.checkers.try_emplace(c.id);
        if (added) it->second.joinedMs = c.dueMs.value_or(now);
        it->second.intervalMs = std::max(c.intervalMs, options_.minIntervalMs);
        it->second.active = true;
    }
}

void Scheduler::Remove(const std::string& url) { boards_.erase(url); }

void Scheduler::Left(const std::string& url, SessionId id) {
    auto it = boards_.find(url);
    if (it == boards_.end()) return;
    Board& board = it->second;
    board.checkers.erase(id);
    if (board.reporter == id) board.reporter = 0;
    if (board.pending && board.pending->id == id) {
        board.pending.reset();
        board.retry = true;
    }
}

bool Scheduler::Answered(const std::string& url, SessionId id, Kind kind, bool hasList) {
    auto it = boards_.find(url);
    if (it == boards_.end()) return false;
    Board& board = it->second;
    if (!board.pending || board.pending->id != id || board.pending->kind != kind) return false;
    if (kind == Kind::Check) board.reporter = id;
    board.pending.reset();
    board.retry = false;
    board.hasList = hasList;
    if (auto checker = board.checkers.find(id); checker != board.checkers.end()) checker->second.silent = 0;
    return true;
}

bool Scheduler::HoldsCheck(const std::string& url, SessionId id) const {
    auto it = boards_.find(url);
    if (it == boards_.end() || id == 0) return false;
    const Board& board = it->second;
    const bool checking = board.pending && board.pending->kind == Kind::Check && board.pending->id == id;
    return checking || board.reporter == id;
}

std::vector<const std::pair<const SessionId, Scheduler::CheckerState>*> Scheduler::Eligible(const Board& board) {
    std::vector<const std::pair<const SessionId, CheckerState>*> answering, all;
    for (const auto& entry : board.checkers) {
        if (!entry.second.active) continue;
        all.push_back(&entry);
        if (entry.second.silent < kMaxSilentTurns) answering.push_back(&entry);
    }
    return answering.empty() ? all : answering;
}

Scheduler::TimeMs Scheduler::CrowdIntervalMs(const Board& board) const {
    // The budgets add up as rates: N clients at R allow a check every R/N.
    double checksPerMs = 0;
    for (const auto* entry : Eligible(board)) checksPerMs += 1.0 / static_cast<double>(entry->second.intervalMs);
    if (checksPerMs <= 0) return options_.minIntervalMs;
    return std::max(options_.minIntervalMs, static_cast<TimeMs>(std::llround(1.0 / checksPerMs)));
}

std::optional<Scheduler::TimeMs> Scheduler::ReadyMs(const Board& board) const {
    if (board.pending) return std::nullopt;
    const auto eligible = Eligible(board);
    if (eligible.empty()) return std::nullopt;
    TimeMs earliestClient = std::numeric_limits<TimeMs>::max();
    for (const auto* entry : eligible) earliestClient = std::min(earliestClient, entry->second.DueMs());
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

Scheduler::Step Scheduler::Advance(TimeMs now) {
    Step step;
    for (auto& [url, board] : boards_) {
        if (!board.pending || now < board.pending->askedMs + options_.checkTimeoutMs) continue;
        if (auto checker = board.checkers.find(board.pending->id); checker != board.checkers.end())
            ++checker->second.silent;
        step.timedOut.push_back({url, board.pending->id, board.pending->kind});
        board.pending.reset();
        board.retry = true;
    }

    // The boards that may be asked now, most overdue first; a host's
    // interval then goes to the board that has waited longest.
    std::vector<std::pair<TimeMs, const std::string*>> ready;
    for (const auto& [url, board] : boards_) {
        const auto at = ReadyMs(board);
        if (at && *at <= now) ready.emplace_back(*at, &url);
    }
    std::stable_sort(ready.begin(), ready.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [at, url] : ready) {
        Board& board = boards_.at(*url);
        if (board.hasList && HostReadyMs(board.host) > now) continue;
        const std::pair<const SessionId, CheckerState>* chosen = nullptr;
        for (const auto* entry : Eligible(board)) {
            if (entry->second.DueMs() > now) continue;
            if (!chosen || entry->second.DueMs() < chosen->second.DueMs()) chosen = entry;
        }
        if (!chosen) continue;
        const SessionId id = chosen->first;
        const Kind kind = board.hasList ? Kind::Check : Kind::Baseline;
        board.pending = Pending{id, kind, now};
        if (kind == Kind::Check) {
            board.checkers.at(id).lastAskMs = now;
            board.lastAskMs = now;
            board.retry = false;
            hostLastAskMs_[board.host] = now;
        } else {
            board.lastBaselineMs = now;
        }
        step.asks.push_back({*url, id, kind});
    }

    // A host's last ask matters only while its interval runs.
    for (auto it = hostLastAskMs_.begin(); it != hostLastAskMs_.end();) {
        it = it->second + options_.siteIntervalMs <= now ? hostLastAskMs_.erase(it) : std::next(it);
    }

    for (const auto& [url, board] : boards_) {
        std::optional<TimeMs> at;
        if (board.pending) {
            at = board.pending->askedMs + options_.checkTimeoutMs;
        } else if (const auto ready = ReadyMs(board)) {
            at = board.hasList ? std::max(*ready, HostReadyMs(board.host)) : *ready;
        }
        if (at && (!step.wakeAt || *at < *step.wakeAt)) step.wakeAt = std::max(*at, now);
    }
    return step;
}

std::optional<Scheduler::Figures> Scheduler::BoardFigures(const std::string& url) const {
    auto it = boards_.find(url);
    if (it == boards_.end()) return std::nullopt;
    std::size_t monitoring = 0;
    for (const auto& entry : it->second.checkers) monitoring += entry.second.active ? 1 : 0;
    return Figures{CrowdIntervalMs(it->second), monitoring};
}

} // namespace quorlan::server
