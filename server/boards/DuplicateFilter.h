#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace quorlan::server {

// Remembers the lines recently forwarded for one board: in the clients'
// comparable form (board::NormaliseLine), so that a post reported twice (by
// two checkers, or after a page shifted) reaches the clients once; and as
// sent, so that an alert can be asked only for a line the board was sent.
// Bounded in count and in age (steady milliseconds).
class DuplicateFilter {
public:
    DuplicateFilter(std::size_t capacity, std::int64_t maxAgeMs);

    // True when the line was not forwarded recently; it is then remembered.
    bool FirstSighting(std::string_view line, std::int64_t nowMs);
    // Whether exactly this line was forwarded at `sinceMs` or later.
    bool ForwardedSince(const std::string& line, std::int64_t sinceMs) const;
    std::size_t Size() const { return order_.size(); }

private:
    void Expire(std::int64_t nowMs);

    struct Entry {
        std::string normalised;
        std::string line;
        std::int64_t seenMs;
    };
    void DropOldest();
    std::size_t capacity_;
    std::int64_t maxAgeMs_;
    std::deque<Entry> order_;
    std::unordered_set<std::string> seen_;
    std::unordered_map<std::string, std::int64_t> sent_; // line as sent -> when
};

} // namespace quorlan::server
