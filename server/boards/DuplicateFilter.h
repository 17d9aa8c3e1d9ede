#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory_resource>
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
//
// A line costs O(1) and, once the filter has filled, no allocation: the
// lines live in a ring whose slots keep their storage, the look-ups hold
// views of them and take their nodes from a pool of their own.
class DuplicateFilter {
public:
    DuplicateFilter(std::size_t capacity, std::int64_t maxAgeMs);
    DuplicateFilter(const DuplicateFilter&) = delete;
    DuplicateFilter& operator=(const DuplicateFilter&) = delete;

    // True when the line was not forwarded recently; it is then remembered.
    bool FirstSighting(std::string_view line, std::int64_t nowMs);
    // Whether exactly this line was forwarded at `sinceMs` or later.
    bool ForwardedSince(const std::string& line, std::int64_t sinceMs) const;
    std::size_t Size() const { return size_; }

private:
    struct Entry {
        std::string normalised;
        std::string line;
        std::int64_t seenMs = 0;
    };
    void Expire(std::int64_t nowMs);
    void DropOldest();

    std::size_t capacity_;
    std::int64_t maxAgeMs_;
    // Grows up to capacity_, then its slots are reused; growing moves no
    // entry, so the views into them hold.
    std::deque<Entry> ring_;
    std::size_t oldest_ = 0;
    std::size_t size_ = 0;
    std::string scratch_; // the normalised form of the line being offered
    std::pmr::unsynchronized_pool_resource pool_;
    std::pmr::unordered_set<std::string_view> seen_{&pool_};                // normalised, in ring_
    std::pmr::unordered_map<std::string_view, std::int64_t> sent_{&pool_}; // as sent, in ring_ -> when
};

} // namespace quorlan::server
