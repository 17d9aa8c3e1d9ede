#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>

namespace quorlan::server {

// The comparable form of a post line: every digit and every space removed, as
// the clients compare lines. View counts, comment counts and times change
// between checks; the post itself does not.
std::string NormalisedLine(std::string_view line);

// Remembers the normalised lines recently forwarded for one board, so that a
// post reported twice (by two checkers, or after a page shifted) reaches the
// clients once. Bounded in count and in age.
class DuplicateFilter {
public:
    DuplicateFilter(std::size_t capacity, std::int64_t maxAgeMs);

    // True when the line was not forwarded recently; it is then remembered.
    bool FirstSighting(std::string_view line, std::int64_t nowMs);
    std::size_t Size() const { return order_.size(); }

private:
    void Expire(std::int64_t nowMs);

    struct Entry {
        std::string normalised;
        std::int64_t seenMs;
    };
    std::size_t capacity_;
    std::int64_t maxAgeMs_;
    std::deque<Entry> order_;
    std::unordered_set<std::string> seen_;
};

} // namespace quorlan::server
