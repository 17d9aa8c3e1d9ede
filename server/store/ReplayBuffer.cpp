#include "ReplayBuffer.h"

namespace quorlan::server {

void ReplayBuffer::Drop(const std::string& account) {
    auto it = away_.find(account);
    if (it == away_.end()) return;
    auto from = awayFrom_.find(it->second.board);
    if (from != awayFrom_.end()) {
        from->second.erase(account);
        if (from->second.empty()) awayFrom_.erase(from);
    }
    for (auto [i, end] = bySince_.equal_range(it->second.sinceMs); i != end; ++i) {
        if (i->second == account) {
            bySince_.erase(i);
            break;
        }
    }
    away_.erase(it);
}

void ReplayBuffer::Expire(std::int64_t nowMs) {
    // An account away for longer than the age limit keeps only lines that
    // came after it left; once the newest of them is too old, nothing is.
    while (!bySince_.empty() && bySince_.begin()->first + limits_.maxAgeMs < nowMs) {
        const std::string account = bySince_.begin()->second;
        const Absence& absence = away_.at(account);
        if (!absence.lines.empty() && absence.lines.back().atMs + limits_.maxAgeMs >= nowMs) {
            // Still of use: it moves up to the time of its newest line.
            const std::int64_t newest = absence.lines.back().atMs;
            bySince_.erase(bySince_.begin());
            away_.at(account).sinceMs = newest;
            bySince_.emplace(newest, account);
            continue;
        }
        Drop(account);
    }
}

void ReplayBuffer::Away(const std::string& account, const std::string& board, std::int64_t nowMs) {
    Expire(nowMs);
    Drop(account);
    while (!away_.empty() && away_.size() >= limits_.maxAccounts) Drop(bySince_.begin()->second);
    away_.emplace(account, Absence{board, nowMs, {}});
    awayFrom_[board].insert(account);
    bySince_.emplace(nowMs, account);
}

void ReplayBuffer::Forwarded(const std::string& board, const std::string& line, std::int64_t nowMs) {
    Expire(nowMs);
    auto from = awayFrom_.find(board);
    if (from == awayFrom_.end()) return;
    for (const std::string& account : from->second) {
        auto& lines = away_.at(account).lines;
        lines.push_back({line, nowMs});
        while (lines.size() > limits_.maxLines) lines.pop_front();
    }
}

std::vector<std::string> ReplayBuffer::Returned(const std::string& account, const std::string& board,
                                                std::int64_t nowMs) {
    Expire(nowMs);
    std::vector<std::string> missed;
    auto it = away_.find(account);
    if (it == away_.end()) return missed;
    if (it->second.board == board) {
        for (const Line& line : it->second.lines)
            if (line.atMs + limits_.maxAgeMs >= nowMs) missed.push_back(line.text);
    }
    Drop(account);
    return missed;
}

} // namespace quorlan::server
