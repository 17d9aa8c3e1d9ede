#include "CheckLoop.h"

#include "BoardUrl.h"
#include "net/Codec.h"

#include <spdlog/spdlog.h>

#include <chrono>

namespace quorlan::server {

CheckLoop::CheckLoop(asio::io_context& loop, const IClock& clock, IBoardRegistry& boards, ClientDirectory& clients,
                     Metrics& metrics, Scheduler::Options options, ICluster* cluster)
    : timer_(loop), clock_(clock), boards_(boards), clients_(clients), metrics_(metrics), scheduler_(options),
      cluster_(cluster), checkTimeoutMs_(options.checkTimeoutMs) {}

void CheckLoop::BoardChanged(const std::string& url) {
    if (url.empty()) return;
    if (!boards_.Exists(url)) {
        if (cluster_) {
            cluster_->Unwatch(url);
            cluster_->Members(url, {});
            remoteOf_.erase(url);
            delegated_.erase(url);
            delegatedReporter_.erase(url);
        }
        scheduler_.Remove(url);
        metrics_.ForgetBoard(url);
    } else {
        std::vector<Scheduler::Checker> checkers = LocalCheckers(url);
        if (cluster_) {
            // Another instance's board pauses here, its timing kept.
            if (checkers.empty()) {
                cluster_->Unwatch(url);
            } else {
                cluster_->Watch(url);
            }
            ShareMembers(url, checkers);
            if (!cluster_->Owns(url)) checkers.clear();
            AddRemote(url, checkers);
        }
        // Until its stored list is read, a board is asked nothing: asked as
        // if it had none, it would be bootstrapped afresh.
        if (boards_.ListLoading(url)) checkers.clear();
        scheduler_.Update(url, BoardHost(url), checkers, boards_.LastList(url).has_value(), clock_.SteadyMs());
        Publish(url);
    }
    Run();
}

std::vector<Scheduler::Checker> CheckLoop::LocalCheckers(const std::string& url) {
    std::vector<Scheduler::Checker> checkers;
    boards_.ForEachMonitoring(url, [&](SessionId id) {
        checkers.push_back({id, static_cast<Scheduler::TimeMs>(boards_.Interval(url, id).count())});
    });
    return checkers;
}

void CheckLoop::ShareMembers(const std::string& url, const std::vector<Scheduler::Checker>& local) {
    std::vector<ICluster::Member> members;
    members.reserve(local.size());
    for (const auto& checker : local) {
        // A client never asked may be asked from the moment it joined.
        const auto due = dueWallMs_.try_emplace(checker.id, clock_.NowMs()).first->second;
        members.push_back({checker.id, checker.intervalMs, due});
    }
    cluster_->Members(url, members);
}

// Only an owner's checkers, never empty, are joined by the members elsewhere.
void CheckLoop::AddRemote(const std::string& url, std::vector<Scheduler::Checker>& checkers) {
    std::set<SessionId> present;
    if (!checkers.empty()) {
        const Scheduler::TimeMs now = clock_.SteadyMs();
        const std::int64_t wallNow = clock_.NowMs();
        for (const auto& member : cluster_->RemoteMembers(url)) {
            checkers.push_back({member.id, member.intervalMs, now + (member.dueMs - wallNow)});
            present.insert(member.id);
        }
    }
    auto& known = remoteOf_[url];
    for (const SessionId id : known)
        if (!present.count(id)) scheduler_.Left(url, id);
    known = std::move(present);
    if (known.empty()) remoteOf_.erase(url);
}

void CheckLoop::ClientLeft(const std::string& url, SessionId id) {
    scheduler_.Left(url, id);
    if (cluster_) {
        dueWallMs_.erase(id);
        if (const auto it = delegated_.find(url); it != delegated_.end() && it->second.id == id) {
            // The owner need not wait for the turn to time out.
            cluster_->SendOutcome(it->second.ticket, {url, it->second.ticket.id,
                                                      it->second.kind == Scheduler::Kind::Baseline, false, ""});
            delegated_.erase(it);
        }
        if (const auto it = delegatedReporter_.find(url); it != delegatedReporter_.end() && it->second == id)
            delegatedReporter_.erase(it);
    }
    BoardChanged(url);
}

bool CheckLoop::HoldsCheck(const std::string& url, SessionId id) const {
    if (scheduler_.HoldsCheck(url, id)) return true;
    if (!cluster_ || id == 0) return false;
    const auto asked = delegated_.find(url);
    if (asked != delegated_.end() && asked->second.id == id && asked->second.kind == Scheduler::Kind::Check)
        return true;
    const auto reported = delegatedReporter_.find(url);
    return reported != delegatedReporter_.end() && reported->second == id;
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
        if (AnswerDelegated(id, url, text, kind)) return true;
        spdlog::debug("board {}: {} from client {} not awaited; ignored", url,
                      kind == Scheduler::Kind::Check ? "ListReport" : "ListReply", id);
        return false;
    }
    if (!text.empty()) boards_.StoreList(url, text);
    if (kind == Scheduler::Kind::Check) metrics_.checksCompleted.fetch_add(1, std::memory_order_relaxed);
    Run();
    return true;
}

bool CheckLoop::AnswerDelegated(SessionId id, const std::string& url, const std::string& text, Scheduler::Kind kind) {
    if (!cluster_) return false;
    const auto it = delegated_.find(url);
    if (it == delegated_.end() || it->second.id != id || it->second.kind != kind) return false;
    const Delegated asked = it->second;
    delegated_.erase(it);
    // The owner has given the turn to another by now.
    if (clock_.SteadyMs() - asked.askedMs >= checkTimeoutMs_) return false;
    if (!text.empty()) boards_.StoreList(url, text);
    if (kind == Scheduler::Kind::Check) {
        delegatedReporter_[url] = id;
        metrics_.checksCompleted.fetch_add(1, std::memory_order_relaxed);
    }
    cluster_->SendOutcome(asked.ticket, {url, asked.ticket.id, kind == Scheduler::Kind::Baseline, true, text});
    return true;
}

void CheckLoop::OnRemoteAsk(const ICluster::Ask& ask) {
    if (!cluster_) return;
    const Scheduler::Kind kind = ask.baseline ? Scheduler::Kind::Baseline : Scheduler::Kind::Check;
    net::Encoded packet = net::EncodeListRequest();
    const bool member = boards_.IsMonitoring(ask.board, ask.id);
    if (member && kind == Scheduler::Kind::Check) {
        // The report is judged here against the list the client was sent.
        if (ask.list && ask.list != boards_.LastList(ask.board)) boards_.StoreList(ask.board, *ask.list);
        if (const auto list = boards_.LastList(ask.board)) packet = net::EncodeCheckList(*list);
    }
    if (!member || !packet.ok() || !clients_.Send(ask.id, Share(std::move(packet.bytes)))) {
        spdlog::debug("board {}: check order for client {} that cannot take it", ask.board, ask.id);
        cluster_->SendOutcome(ask.ticket, {ask.board, ask.ticket.id, ask.baseline, false, ""});
        return;
    }
    delegated_[ask.board] = Delegated{ask.id, kind, clock_.SteadyMs(), ask.ticket};
    if (kind == Scheduler::Kind::Check) Asked(ask.board, ask.id);
}

void CheckLoop::OnRemoteOutcome(const ICluster::Outcome& outcome) {
    const Scheduler::Kind kind = outcome.baseline ? Scheduler::Kind::Baseline : Scheduler::Kind::Check;
    if (!outcome.answered) {
        // Gone from its instance: out of the turns until the members say
        // otherwise.
        scheduler_.Left(outcome.board, outcome.id);
        if (const auto it = remoteOf_.find(outcome.board); it != remoteOf_.end()) it->second.erase(outcome.id);
        Run();
        return;
    }
    const bool hasList = !outcome.list.empty() || boards_.LastList(outcome.board).has_value();
    if (!scheduler_.Answered(outcome.board, outcome.id, kind, hasList)) return;
    if (!outcome.list.empty()) boards_.StoreList(outcome.board, outcome.list);
    Run();
}

void CheckLoop::Asked(const std::string& url, SessionId id) {
    if (!cluster_) return;
    dueWallMs_[id] = clock_.NowMs() + boards_.Interval(url, id).count();
    ShareMembers(url, LocalCheckers(url));
}

void CheckLoop::Run() {
    const Scheduler::TimeMs now = clock_.SteadyMs();
    const Scheduler::Step step = scheduler_.Advance(now);
    for (const auto& late : step.timedOut) {
        metrics_.checksTimedOut.fetch_add(1, std::memory_order_relaxed);
        spdlog::info("board {}: client {} did not answer in time; its turn is spent", late.url, late.id);
    }
    for (const auto& ask : step.asks) {
        const bool remote = cluster_ && cluster_->IsRemote(ask.id);
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
        if (remote) {
            cluster_->SendAsk(ask.url, ask.id, ask.kind == Scheduler::Kind::Baseline, list);
            continue;
        }
        if (packet.ok()) clients_.Send(ask.id, Share(std::move(packet.bytes)));
        if (ask.kind == Scheduler::Kind::Check) Asked(ask.url, ask.id);
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
