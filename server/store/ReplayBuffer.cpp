#include "ReplayBuffer.h"

#include <algorithm>

namespace quorlan::server {

void ReplayBuffer::Drop(const std::string& account) {
    auto it = away_.find(account);
    if (it == away_.end()) return;
    auto log = logs_.find(it->second.board);
    if (log != logs_.end() && --log->second.away == 0) logs_.erase(log);
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
        Absence& absence = away_.at(account);
        const Log& log = logs_.at(absence.board);
        if (log.next > absence.from && !log.lines.empty() && log.lines.back().atMs + limits_.maxAgeMs >= nowMs) {
            // Still of use: it moves up to the time of its newest line.
            bySince_.erase(bySince_.begin());
            absence.sinceMs = log.lines.back().atMs;
            bySince_.emplace(absence.sinceMs, account);
            continue;
        }
        Drop(account);
    }
}

void ReplayBuffer::Away(const std::string& account, const std::string& board, std::int64_t nowMs) {
    Expire(nowMs);
    Drop(account);
    while (!away_.empty() && away_.size() >= limits_.maxAccounts) Drop(bySince_.begin()->second);
    Log& log = logs_[board];
    ++log.away;
    away_.emplace(account, Absence{board, nowMs, log.next});
    bySince_.emplace(nowMs, account);
}

void ReplayBuffer::Forwarded(const std::string& board, const std::string& line, std::int64_t nowMs) {
    Expire(nowMs);
    auto it = logs_.find(board);
    if (it == logs_.end()) return;
    Log& log = it->second;
    log.lines.push_back({line, nowMs});
    ++log.next;
    while (log.lines.size() > limits_.maxLines) log.lines.pop_front();
}

std::vector<std::string> ReplayBuffer::Returned(const std::string& account, const std::string& board,
                                                std::int64_t nowMs) {
    Expire(nowMs);
    std::vector<std::string> missed;
    auto it = away_.find(account);
    if (it == away_.end()) return missed;
    if (it->second.board == board) {
        const Log& log = logs_.at(board);
        const std::uint64_t first = log.next - log.lines.size();
        for (std::uint64_t n = std::max(first, it->second.from); n < log.next; ++n) {
            const Line& line = log.lines[n - first];
            if (line.atMs + limits_.maxAgeMs >= nowMs) missed.push_back(line.text);
        }
    }
    Drop(account);
    return missed;
}

} // namespace quorlan::server
