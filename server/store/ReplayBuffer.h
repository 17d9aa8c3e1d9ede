#pragma once
#include "IReplayStore.h"

#include <cstddef>
#include <deque>
#include <map>
#include <set>
#include <unordered_map>

namespace quorlan::server {

// The missed lines of a single server, in memory. Bounded three ways: lines
// older than `maxAgeMs` are of no use, an account keeps its `maxLines`
// newest, and at most `maxAccounts` are away at once (the longest away is
// forgotten first).
class ReplayBuffer final : public IReplayStore {
public:
    struct Limits {
        std::int64_t maxAgeMs = 30 * 60'000;
        std::size_t maxLines = 50;
        std::size_t maxAccounts = 10'000;
    };
    explicit ReplayBuffer(Limits limits) : limits_(limits) {}

    void Away(const std::string& account, const std::string& board, std::int64_t nowMs) override;
    void Forwarded(const std::string& board, const std::string& line, std::int64_t nowMs) override;
    std::vector<std::string> Returned(const std::string& account, const std::string& board,
                                      std::int64_t nowMs) override;

    std::size_t AccountsAway() const { return away_.size(); }

private:
    struct Line {
        std::string text;
        std::int64_t atMs;
    };
    struct Absence {
        std::string board;
        std::int64_t sinceMs;
        std::deque<Line> lines;
    };
    void Drop(const std::string& account);
    // Forgets the accounts away so long that nothing they could be given is left.
    void Expire(std::int64_t nowMs);

    Limits limits_;
    std::unordered_map<std::string, Absence> away_;
    std::unordered_map<std::string, std::set<std::string>> awayFrom_; // board -> accounts
    std::multimap<std::int64_t, std::string> bySince_;                // since -> account, oldest first
};

} // namespace quorlan::server
