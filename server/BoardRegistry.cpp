#include "BoardRegistry.h"

#include <spdlog/spdlog.h>

namespace quorlan::server {

BoardRegistry::BoardRegistry(BoardListStore& lists, const IClock& clock, Limits limits)
    : lists_(lists), clock_(clock), limits_(limits) {}

const BoardRegistry::Board* BoardRegistry::FindBoard(const std::string& url) const {
    auto it = boards_.find(url);
    return it == boards_.end() ? nullptr : &it->second;
}

std::string BoardRegistry::Join(SessionId id, const std::string& url, std::chrono::milliseconds interval,
                                bool monitoring) {
    std::string left;
    auto current = boardOf_.find(id);
    if (current != boardOf_.end() && current->second != url) left = Leave(id);
    auto [it, created] = boards_.try_emplace(url, limits_);
    Board& board = it->second;
    if (created) board.list = lists_.Load(url);
    board.members[id] = interval;
    if (monitoring) {
        board.monitoring.insert(id);
    } else {
        board.monitoring.erase(id);
    }
    boardOf_[id] = url;
    return left;
}

std::string BoardRegistry::Leave(SessionId id) {
    auto current = boardOf_.find(id);
    if (current == boardOf_.end()) return {};
    std::string url = std::move(current->second);
    boardOf_.erase(current);
    auto it = boards_.find(url);
    if (it != boards_.end()) {
        it->second.members.erase(id);
        it->second.monitoring.erase(id);
        if (it->second.members.empty()) boards_.erase(it);
    }
    return url;
}

std::string BoardRegistry::SetMonitoring(SessionId id, bool monitoring) {
    auto current = boardOf_.find(id);
    if (current == boardOf_.end()) return {};
    Board& board = boards_.at(current->second);
    if (monitoring) {
        board.monitoring.insert(id);
    } else {
        board.monitoring.erase(id);
    }
    return current->second;
}

std::string BoardRegistry::BoardOf(SessionId id) const {
    auto current = boardOf_.find(id);
    return current == boardOf_.end() ? std::string() : current->second;
}

std::size_t BoardRegistry::MonitoringCount(const std::string& url) const {
    const Board* board = FindBoard(url);
    return board ? board->monitoring.size() : 0;
}

bool BoardRegistry::IsMonitoring(const std::string& url, SessionId id) const {
    const Board* board = FindBoard(url);
    return board && board->monitoring.count(id) != 0;
}

void BoardRegistry::ForEachMonitoring(const std::string& url, const std::function<void(SessionId)>& f) const {
    const Board* board = FindBoard(url);
    if (!board) return;
    for (SessionId id : board->monitoring) f(id);
}

void BoardRegistry::ForEachMember(const std::string& url, const std::function<void(SessionId)>& f) const {
    const Board* board = FindBoard(url);
    if (!board) return;
    for (const auto& member : board->members) f(member.first);
}

std::chrono::milliseconds BoardRegistry::Interval(const std::string& url, SessionId id) const {
    const Board* board = FindBoard(url);
    if (!board) return std::chrono::milliseconds{0};
    auto member = board->members.find(id);
    return member == board->members.end() ? std::chrono::milliseconds{0} : member->second;
}

std::optional<std::string> BoardRegistry::LastList(const std::string& url) const {
    const Board* board = FindBoard(url);
    return board ? board->list : std::nullopt;
}

void BoardRegistry::StoreList(const std::string& url, const std::string& list) {
    auto it = boards_.find(url);
    if (it == boards_.end()) return;
    const bool stored = it->second.list.has_value();
    it->second.list = list;
    if (lists_.Save(url, list, clock_.NowMs()) && !stored) {
        if (const std::size_t evicted = lists_.Trim(limits_.maxBoards); evicted != 0)
            spdlog::info("forgot the post lists of {} boards: more than {} stored", evicted, limits_.maxBoards);
    }
}

bool BoardRegistry::FirstSighting(const std::string& url, std::string_view line) {
    auto it = boards_.find(url);
    if (it == boards_.end()) return false;
    return it->second.recent.FirstSighting(line, clock_.SteadyMs());
}

bool BoardRegistry::Forwarded(const std::string& url, const std::string& line, std::int64_t withinMs) const {
    const Board* board = FindBoard(url);
    return board && board->recent.ForwardedSince(line, clock_.SteadyMs() - withinMs);
}

} // namespace quorlan::server
