#include "CheckLoop.h"

#include "BoardUrl.h"
#include "net/Codec.h"

#include <spdlog/spdlog.h>

#include <chrono>

namespace quorlan::server {

CheckLoop::CheckLoop(asio::io_context& loop, const IClock& clock, IBoardRegistry& boards, ClientDirectory& clients,
                     Metrics& metrics, Scheduler::Options options, ICluster& cluster)
    : timer_(loop), clock_(clock), boards_(boards), clients_(clients), metrics_(metrics), scheduler_(options),
      cluster_(cluster, clock, boards, clients, metrics, scheduler_, options.checkTimeoutMs) {}

void CheckLoop::BoardChanged(const std::string& url) {
    if (url.empty()) return;
    if (!boards_.Exists(url)) {
        cluster_.BoardGone(url);
        scheduler_.Remove(url);
        metrics_.ForgetBoard(url);
    } else {
        std::vector<Scheduler::Checker> checkers = cluster_.Checkers(url);
        // Until its stored list is read, a board is asked nothing: asked as
        // if it had none, it would be bootstrapped afresh.
        if (boards_.ListLoading(url)) checkers.clear();
        scheduler_.Update(url, BoardHost(url), checkers, boards_.LastList(url).has_value(), clock_.SteadyMs());
        Publish(url);
    }
    Run();
}

void CheckLoop::MemberChanged(const std::string& url, SessionId id) {
    if (url.empty()) return;
    // The members elsewhere are scheduled here only with one of this
    // instance's own beside them.
    if (boards_.MonitoringCount(url) <= 1) return BoardChanged(url);
    if (cluster_.LocalChanged(url)) {
        if (boards_.IsMonitoring(url, id)) {
            const Scheduler::Checker checker{id, static_cast<Scheduler::TimeMs>(boards_.Interval(url, id).count())};
            scheduler_.Set(url, BoardHost(url), checker, clock_.SteadyMs());
        } else {
            scheduler_.Pause(url, id);
        }
        Publish(url);
    }
    Run();
}

void CheckLoop::ClientLeft(const std::string& url, SessionId id) {
    scheduler_.Left(url, id);
    cluster_.ClientLeft(url, id);
    if (!boards_.Exists(url) || boards_.MonitoringCount(url) == 0) return BoardChanged(url);
    cluster_.LocalChanged(url);
    Publish(url);
    Run();
}

bool CheckLoop::HoldsCheck(const std::string& url, SessionId id) const {
    return scheduler_.HoldsCheck(url, id) || cluster_.HoldsCheck(url, id);
}

bool CheckLoop::OnListReport(SessionId id, const std::string& url, const std::string& text) {
    return Answer(id, url, text, Scheduler::Kind::Check);
}

void CheckLoop::OnListReply(SessionId id, const std::string& url, const std::string& text) {
    Answer(id, url, text, Scheduler::Kind::Baseline);
}

bool CheckLoop::Answer(SessionId id, const std::string& url, const std::string& text, Scheduler::Kind kind) {
    // An empty list says nothing about the board (the page did not load).
    const bool hasList = !text.empty() || boards_.LastList(url).has_value();
    if (!scheduler_.Answered(url, id, kind, hasList)) {
        if (cluster_.Answer(id, url, text, kind)) return true;
        spdlog::debug("board {}: {} from client {} not awaited; ignored", url,
                      kind == Scheduler::Kind::Check ? "ListReport" : "ListReply", id);
        return false;
    }
    if (!text.empty()) boards_.StoreList(url, text);
    if (kind == Scheduler::Kind::Check) metrics_.checksCompleted.fetch_add(1, std::memory_order_relaxed);
    Run();
    return true;
}

void CheckLoop::OnRemoteOutcome(const ICluster::Outcome& outcome) {
    const Scheduler::Kind kind = outcome.baseline ? Scheduler::Kind::Baseline : Scheduler::Kind::Check;
    if (!outcome.answered) {
        // Gone from its instance: out of the turns until the members say
        // otherwise.
        scheduler_.Left(outcome.board, outcome.id);
        cluster_.RemoteLeft(outcome.board, outcome.id);
        Run();
        return;
    }
    const bool hasList = !outcome.list.empty() || boards_.LastList(outcome.board).has_value();
    if (!scheduler_.Answered(outcome.board, outcome.id, kind, hasList)) return;
    if (!outcome.list.empty()) boards_.StoreList(outcome.board, outcome.list);
    Run();
}

void CheckLoop::Run() {
    const Scheduler::TimeMs now = clock_.SteadyMs();
    const Scheduler::Step step = scheduler_.Advance(now);
    for (const auto& late : step.timedOut) {
        metrics_.checksTimedOut.fetch_add(1, std::memory_order_relaxed);
        spdlog::info("board {}: client {} did not answer in time; its turn is spent", late.url, late.id);
    }
    for (const auto& ask : step.asks) {
        net::Encoded packet = net::EncodeListRequest();
        std::optional<std::string> list;
        if (ask.kind == Scheduler::Kind::Check) {
            list = boards_.LastList(ask.url);
            if (list) packet = net::EncodeCheckList(*list);
            metrics_.checksStarted.fetch_add(1, std::memory_order_relaxed);
            metrics_.CountHostCheck(BoardHost(ask.url));
            spdlog::debug("board {}: CheckList to client {}", ask.url, ask.id);
        } else {
            metrics_.baselinesRequested.fetch_add(1, std::memory_order_relaxed);
            spdlog::debug("board {}: ListRequest to client {} for a baseline", ask.url, ask.id);
        }
        if (cluster_.IsRemote(ask.id)) {
            cluster_.SendAsk(ask.url, ask.id, ask.kind, list);
            continue;
        }
        if (packet.ok()) clients_.Send(ask.id, Share(std::move(packet.bytes)));
        if (ask.kind == Scheduler::Kind::Check) cluster_.Asked(ask.url, ask.id);
    }

    const std::uint64_t generation = ++generation_;
    timer_.cancel();
    if (!step.wakeAt) return;
    timer_.expires_after(std::chrono::milliseconds(*step.wakeAt - now));
    timer_.async_wait([this, generation](const std::error_code& ec) {
        if (!ec && generation == generation_) Run();
    });
}

void CheckLoop::Publish(const std::string& url) {
    const auto figures = scheduler_.BoardFigures(url);
    if (figures) metrics_.SetBoardFigures(url, figures->intervalMs, figures->checkers);
}

} // namespace quorlan::server
