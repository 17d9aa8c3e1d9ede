#pragma once
#include "IReplayStore.h"

#include <cstddef>
#include <deque>
#include <map>
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
    // The newest lines of a board someone is away from, shared by every
    // account away from it: each keeps its `maxLines` newest, which are
    // among the board's. Line i has the number `next - lines.size() + i`.
    struct Log {
        std::deque<Line> lines;
        std::uint64_t next = 0;
        std::size_t away = 0; // accounts away from the board
    };
    struct Absence {
        std::string board;
        std::int64_t sinceMs;
        std::uint64_t from; // the number of the first line it misses
    };
    void Drop(const std::string& account);
    // Forgets the accounts away so long that nothing they could be given is left.
    void Expire(std::int64_t nowMs);

    Limits limits_;
    std::unordered_map<std::string, Absence> away_;
    std::unordered_map<std::string, Log> logs_;        // board -> its lines
    std::multimap<std::int64_t, std::string> bySince_; // since -> account, oldest first
};

} // namespace quorlan::server
