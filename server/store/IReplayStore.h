#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace quorlan::server {

// The post lines a logged-in account missed while it was away from its
// board, kept for its return. Behind an interface so that a cluster can keep
// them in its shared store.
class IReplayStore {
public:
    virtual ~IReplayStore() = default;

    // The account's last connection watching `board` has gone.
    virtual void Away(const std::string& account, const std::string& board, std::int64_t nowMs) = 0;
    // A line was forwarded to the clients of `board`: every account away from
    // it misses the line.
    virtual void Forwarded(const std::string& board, const std::string& line, std::int64_t nowMs) = 0;
    // The account watches `board` again: what it missed there, oldest first.
    // It is back either way; lines it missed on another board are dropped.
    virtual std::vector<std::string> Returned(const std::string& account, const std::string& board,
                                              std::int64_t nowMs) = 0;
};

} // namespace quorlan::server
