#include "BoardRegistry.h"

#include <spdlog/spdlog.h>

namespace quorlan::server {

BoardRegistry::BoardRegistry(StoreWorker& store, const IClock& clock, Limits limits, Loaded loaded)
    : store_(store), clock_(clock), limits_(limits), loaded_(std::move(loaded)) {}

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
    if (created) {
        // A board that left and came back before its first read returned
        // waits for its own: each read is told from the others.
        const std::uint64_t reading = board.reading = ++lastReading_;
        store_.Run([url](IStore& store) { return store.BoardLists().Load(url); },
                   [this, url, reading](std::optional<std::string> list) { ListRead(url, reading, std::move(list)); });
    }
    auto& member = board.members.try_emplace(id, Board::Member{interval, Board::kNotMonitoring}).first->second;
    member.interval = interval;
    board.Monitor(id, member, monitoring);
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
        Board& board = it->second;
        if (auto member = board.members.find(id); member != board.members.end()) {
            board.Monitor(id, member->second, false);
            board.members.erase(member);
        }
        if (board.members.empty()) boards_.erase(it);
    }
    return url;
}

std::string BoardRegistry::SetMonitoring(SessionId id, bool monitoring) {
    auto current = boardOf_.find(id);
    if (current == boardOf_.end()) return {};
    Board& board = boards_.at(current->second);
    board.Monitor(id, board.members.at(id), monitoring);
    return current->second;
}

void BoardRegistry::Board::Monitor(SessionId id, Member& member, bool on) {
    if (on == (member.slot != kNotMonitoring)) return;
    if (on) {
        member.slot = monitoring.size();
        monitoring.push_back(id);
        return;
    }
    // The last one takes the place of the one leaving.
    const SessionId last = monitoring.back();
    monitoring[member.slot] = last;
    members.at(last).slot = member.slot;
    monitoring.pop_back();
    member.slot = kNotMonitoring;
}

const std::string& BoardRegistry::BoardOf(SessionId id) const {
    static const std::string none;
    auto current = boardOf_.find(id);
    return current == boardOf_.end() ? none : current->second;
}

std::size_t BoardRegistry::MonitoringCount(const std::string& url) const {
    const Board* board = FindBoard(url);
    return board ? board->monitoring.size() : 0;
}

bool BoardRegistry::IsMonitoring(const std::string& url, SessionId id) const {
    const Board* board = FindBoard(url);
    if (!board) return false;
    auto member = board->members.find(id);
    return member != board->members.end() && member->second.slot != Board::kNotMonitoring;
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
    return member == board->members.end() ? std::chrono::milliseconds{0} : member->second.interval;
}

void BoardRegistry::ListRead(const std::string& url, std::uint64_t reading, std::optional<std::string> list) {
    auto it = boards_.find(url);
    if (it == boards_.end() || it->second.reading != reading) return;
    it->second.reading = 0;
    it->second.list = std::move(list);
    if (loaded_) loaded_(url);
}

bool BoardRegistry::ListLoading(const std::string& url) const {
    const Board* board = FindBoard(url);
    return board && board->reading != 0;
}

std::optional<std::string> BoardRegistry::LastList(const std::string& url) const {
    const Board* board = FindBoard(url);
    return board ? board->list : std::nullopt;
}

void BoardRegistry::StoreList(const std::string& url, const std::string& list) {
    auto it = boards_.find(url);
    if (it == boards_.end()) return;
    const bool first = !it->second.list.has_value();
    it->second.list = list;
    store_.Write([url, list, now = clock_.NowMs(), first, keep = limits_.maxBoards](IStore& store) {
        IBoardListStore& lists = store.BoardLists();
        if (!lists.Save(url, list, now) || !first) return;
        if (const std::size_t evicted = lists.Trim(keep); evicted != 0)
            spdlog::info("forgot the post lists of {} boards: more than {} stored", evicted, keep);
    });
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
