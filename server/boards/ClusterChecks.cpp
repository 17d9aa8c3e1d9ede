#include "ClusterChecks.h"

#include "net/Codec.h"

#include <spdlog/spdlog.h>

namespace quorlan::server {

ClusterChecks::ClusterChecks(ICluster& cluster, const IClock& clock, IBoardRegistry& boards, ClientDirectory& clients,
                             Metrics& metrics, Scheduler& scheduler, Scheduler::TimeMs checkTimeoutMs)
    : cluster_(cluster), clock_(clock), boards_(boards), clients_(clients), metrics_(metrics), scheduler_(scheduler),
      checkTimeoutMs_(checkTimeoutMs) {}

std::vector<Scheduler::Checker> ClusterChecks::Checkers(const std::string& url) {
    std::vector<Scheduler::Checker> checkers = LocalCheckers(url);
    if (checkers.empty()) {
        cluster_.Unwatch(url);
    } else {
        cluster_.Watch(url);
    }
    // Listed only for a cluster that shares them.
    cluster_.Members(url, [&] { return MembersOf(checkers); });
    if (!cluster_.Owns(url)) checkers.clear();
    AddRemote(url, checkers);
    return checkers;
}

bool ClusterChecks::LocalChanged(const std::string& url) {
    if (boards_.MonitoringCount(url) == 0) {
        cluster_.Unwatch(url);
    } else {
        cluster_.Watch(url);
    }
    cluster_.Members(url, [&] { return MembersOf(LocalCheckers(url)); });
    // Until its stored list is read, a board is asked nothing.
    return cluster_.Owns(url) && !boards_.ListLoading(url);
}

void ClusterChecks::BoardGone(const std::string& url) {
    cluster_.Unwatch(url);
    cluster_.Members(url, [] { return std::vector<ICluster::Member>{}; });
    remoteOf_.erase(url);
    delegated_.erase(url);
    delegatedReporter_.erase(url);
}

std::vector<Scheduler::Checker> ClusterChecks::LocalCheckers(const std::string& url) {
    std::vector<Scheduler::Checker> checkers;
    boards_.ForEachMonitoring(url, [&](SessionId id) {
        checkers.push_back({id, static_cast<Scheduler::TimeMs>(boards_.Interval(url, id).count())});
    });
    return checkers;
}

std::vector<ICluster::Member> ClusterChecks::MembersOf(const std::vector<Scheduler::Checker>& local) {
    std::vector<ICluster::Member> members;
    members.reserve(local.size());
    for (const auto& checker : local) {
        // A client never asked may be asked from the moment it joined.
        const auto due = dueWallMs_.try_emplace(checker.id, clock_.NowMs()).first->second;
        members.push_back({checker.id, checker.intervalMs, due});
    }
    return members;
}

// Only an owner's checkers, never empty, are joined by the members elsewhere.
void ClusterChecks::AddRemote(const std::string& url, std::vector<Scheduler::Checker>& checkers) {
    std::set<SessionId> present;
    if (!checkers.empty()) {
        const Scheduler::TimeMs now = clock_.SteadyMs();
        const std::int64_t wallNow = clock_.NowMs();
        for (const auto& member : cluster_.RemoteMembers(url)) {
            checkers.push_back({member.id, member.intervalMs, now + (member.dueMs - wallNow)});
            present.insert(member.id);
        }
    }
    const auto known = remoteOf_.find(url);
    if (known == remoteOf_.end()) {
        if (!present.empty()) remoteOf_.emplace(url, std::move(present));
        return;
    }
    for (const SessionId id : known->second)
        if (!present.count(id)) scheduler_.Left(url, id);
    known->second = std::move(present);
    if (known->second.empty()) remoteOf_.erase(known);
}

void ClusterChecks::ClientLeft(const std::string& url, SessionId id) {
    dueWallMs_.erase(id);
    if (const auto it = delegated_.find(url); it != delegated_.end() && it->second.id == id) {
        // The owner need not wait for the turn to time out.
        cluster_.SendOutcome(it->second.ticket,
                             {url, it->second.ticket.id, it->second.kind == Scheduler::Kind::Baseline, false, ""});
        delegated_.erase(it);
    }
    if (const auto it = delegatedReporter_.find(url); it != delegatedReporter_.end() && it->second == id)
        delegatedReporter_.erase(it);
}

void ClusterChecks::SendAsk(const std::string& url, SessionId id, Scheduler::Kind kind,
                            const std::optional<std::string>& list) {
    cluster_.SendAsk(url, id, kind == Scheduler::Kind::Baseline, list);
}

void ClusterChecks::Asked(const std::string& url, SessionId id) {
    dueWallMs_[id] = clock_.NowMs() + boards_.Interval(url, id).count();
    cluster_.Members(url, [&] { return MembersOf(LocalCheckers(url)); });
}

void ClusterChecks::RemoteLeft(const std::string& url, SessionId id) {
    if (const auto it = remoteOf_.find(url); it != remoteOf_.end()) it->second.erase(id);
}

bool ClusterChecks::HoldsCheck(const std::string& url, SessionId id) const {
    if (id == 0) return false;
    const auto asked = delegated_.find(url);
    if (asked != delegated_.end() && asked->second.id == id && asked->second.kind == Scheduler::Kind::Check)
        return true;
    const auto reported = delegatedReporter_.find(url);
    return reported != delegatedReporter_.end() && reported->second == id;
}

bool ClusterChecks::Answer(SessionId id, const std::string& url, const std::string& text, Scheduler::Kind kind) {
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
    cluster_.SendOutcome(asked.ticket, {url, asked.ticket.id, kind == Scheduler::Kind::Baseline, true, text});
    return true;
}

void ClusterChecks::OnAsk(const ICluster::Ask& ask) {
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
        cluster_.SendOutcome(ask.ticket, {ask.board, ask.ticket.id, ask.baseline, false, ""});
        return;
    }
    delegated_[ask.board] = Delegated{ask.id, kind, clock_.SteadyMs(), ask.ticket};
    if (kind == Scheduler::Kind::Check) Asked(ask.board, ask.id);
}

} // namespace quorlan::server
