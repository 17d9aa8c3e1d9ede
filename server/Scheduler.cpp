#include "Scheduler.h"

#include "net/Codec.h"

#include <spdlog/spdlog.h>

namespace quorlan::server {

Scheduler::Scheduler(asio::io_context& loop, IBoardRegistry& boards, ClientDirectory& clients, Metrics& metrics,
                     std::chrono::milliseconds checkTimeout)
    : loop_(loop), boards_(boards), clients_(clients), metrics_(metrics), checkTimeout_(checkTimeout),
      random_(std::random_device{}()) {}

Scheduler::Turn* Scheduler::Find(const std::string& url) {
    auto it = turns_.find(url);
    return it == turns_.end() ? nullptr : it->second.get();
}

void Scheduler::BoardChanged(const std::string& url) {
    if (url.empty()) return;
    const bool watched = boards_.MonitoringCount(url) > 0;
    Turn* turn = Find(url);
    if (!turn) {
        if (!watched) return;
        turn = turns_.emplace(url, std::make_unique<Turn>(loop_)).first->second.get();
    }
    switch (turn->phase) {
    case Phase::Idle:
        if (!watched) break;
        if (turn->turnStart == Clock::time_point{}) {
            // Never checked since it appeared: at once, its list may be old.
            StartTurn(url, *turn, true);
        } else {
            // Checked before: the period holds however often monitoring is
            // switched off and on.
            WaitForNextTurn(url, *turn);
        }
        break;
    case Phase::Waiting:
        if (watched) {
            WaitForNextTurn(url, *turn); // the period may have changed
        } else {
            turn->phase = Phase::Idle;
            ++turn->generation;
            turn->timer.cancel();
        }
        break;
    case Phase::AwaitingReport:
    case Phase::AwaitingBaseline:
        break; // the awaited client answers or times out first
    }
}

void Scheduler::ClientLeft(const std::string& url, SessionId id) {
    Turn* turn = Find(url);
    if (!turn) return;
    turn->silentTurns.erase(id);
    if (turn->holder == id) turn->holder = 0;
    const bool awaited =
        (turn->phase == Phase::AwaitingReport || turn->phase == Phase::AwaitingBaseline) && turn->asked == id;
    if (!boards_.Exists(url)) {
        turns_.erase(url);
        return;
    }
    if (awaited) {
        StartTurn(url, *turn, false);
    } else {
        BoardChanged(url);
    }
}

bool Scheduler::HoldsCheck(const std::string& url, SessionId id) const {
    auto it = turns_.find(url);
    return it != turns_.end() && id != 0 && it->second->holder == id;
}

std::optional<SessionId> Scheduler::PickClient(const std::string& url, const Turn& turn) const {
    const std::size_t count = boards_.MonitoringCount(url);
    SessionId after = turn.cursor;
    std::optional<SessionId> first;
    for (std::size_t i = 0; i < count; ++i) {
        auto next = boards_.NextMonitoring(url, after);
        if (!next) return std::nullopt;
        if (!first) first = next;
        auto silent = turn.silentTurns.find(*next);
        if (silent == turn.silentTurns.end() || silent->second < kMaxSilentTurns) return next;
        after = *next;
    }
    return first; // everyone has been silent: keep asking in turn
}

void Scheduler::StartTurn(const std::string& url, Turn& turn, bool fresh) {
    if (fresh) {
        turn.turnStart = Clock::now();
        turn.attempts = 0;
        turn.jitter = NewJitter(boards_.Period(url));
    }
    const std::size_t count = boards_.MonitoringCount(url);
    if (count == 0) {
        turn.phase = Phase::Idle;
        ++turn.generation;
        turn.timer.cancel();
        return;
    }
    if (!fresh && turn.attempts >= count) {
        // Every monitoring client has had this turn; try again next period.
        WaitForNextTurn(url, turn);
        return;
    }
    const auto next = PickClient(url, turn);
    if (!next) return;
    turn.cursor = *next;
    turn.asked = *next;
    ++turn.attempts;

    const auto list = boards_.LastList(url);
    net::Encoded packet = list ? net::EncodeCheckList(*list) : net::EncodeListRequest();
    if (list && packet.ok()) {
        turn.holder = *next;
        turn.phase = Phase::AwaitingReport;
        metrics_.checksStarted.fetch_add(1, std::memory_order_relaxed);
        spdlog::debug("board {}: CheckList to client {}", url, *next);
    } else {
        packet = net::EncodeListRequest();
        turn.phase = Phase::AwaitingBaseline;
        metrics_.baselinesRequested.fetch_add(1, std::memory_order_relaxed);
        spdlog::debug("board {}: ListRequest to client {} for a baseline", url, *next);
    }
    clients_.Send(*next, Share(std::move(packet.bytes)));
    Arm(url, turn, Clock::now() + checkTimeout_);
}

void Scheduler::WaitForNextTurn(const std::string& url, Turn& turn) {
    turn.phase = Phase::Waiting;
    const auto due = turn.turnStart + boards_.Period(url) + turn.jitter;
    Arm(url, turn, std::max(due, Clock::now()));
}

void Scheduler::Arm(const std::string& url, Turn& turn, Clock::time_point at) {
    const std::uint64_t generation = ++turn.generation;
    turn.timer.expires_at(at);
    turn.timer.async_wait([this, url, generation](const std::error_code& ec) {
        if (!ec) OnTimer(url, generation);
    });
}

void Scheduler::OnTimer(const std::string& url, std::uint64_t generation) {
    Turn* turn = Find(url);
    if (!turn || turn->generation != generation) return;
    switch (turn->phase) {
    case Phase::Idle:
        break;
    case Phase::Waiting:
        StartTurn(url, *turn, true);
        break;
    case Phase::AwaitingReport:
    case Phase::AwaitingBaseline:
        metrics_.checksTimedOut.fetch_add(1, std::memory_order_relaxed);
        ++turn->silentTurns[turn->asked];
        spdlog::info("board {}: client {} did not answer in time ({} in a row); turn passes on", url, turn->asked,
                     turn->silentTurns[turn->asked]);
        StartTurn(url, *turn, false);
        break;
    }
}

bool Scheduler::OnListReport(SessionId id, const std::string& url, const std::string& text) {
    Turn* turn = Find(url);
    if (!turn || turn->phase != Phase::AwaitingReport || turn->asked != id) {
        spdlog::debug("board {}: ListReport from client {} not awaited; ignored", url, id);
        return false;
    }
    // An empty report says nothing about the board (the page did not load).
    if (!text.empty()) boards_.StoreList(url, text);
    turn->silentTurns.erase(id);
    metrics_.checksCompleted.fetch_add(1, std::memory_order_relaxed);
    WaitForNextTurn(url, *turn);
    return true;
}

void Scheduler::OnListReply(SessionId id, const std::string& url, const std::string& text) {
    Turn* turn = Find(url);
    if (!turn || turn->phase != Phase::AwaitingBaseline || turn->asked != id) {
        spdlog::debug("board {}: ListReply from client {} not awaited; ignored", url, id);
        return;
    }
    turn->silentTurns.erase(id);
    if (!text.empty()) boards_.StoreList(url, text);
    WaitForNextTurn(url, *turn);
}

std::chrono::milliseconds Scheduler::NewJitter(std::chrono::milliseconds period) {
    const auto most = std::min<std::int64_t>(period.count() / 20, 5'000);
    if (most <= 0) return std::chrono::milliseconds{0};
    std::uniform_int_distribution<std::int64_t> spread(0, most);
    return std::chrono::milliseconds{spread(random_)};
}

} // namespace quorlan::server
