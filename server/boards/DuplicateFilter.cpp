#include "DuplicateFilter.h"

#include "board/PostListCompare.h"

namespace quorlan::server {

DuplicateFilter::DuplicateFilter(std::size_t capacity, std::int64_t maxAgeMs)
    : capacity_(capacity == 0 ? 1 : capacity), maxAgeMs_(maxAgeMs) {}

bool DuplicateFilter::FirstSighting(std::string_view line, std::int64_t nowMs) {
    Expire(nowMs);
    std::string normalised = board::NormaliseLine(line);
    if (seen_.count(normalised)) return false;
    if (order_.size() >= capacity_) DropOldest();
    seen_.insert(normalised);
    sent_[std::string(line)] = nowMs;
    order_.push_back(Entry{std::move(normalised), std::string(line), nowMs});
    return true;
}

bool DuplicateFilter::ForwardedSince(const std::string& line, std::int64_t sinceMs) const {
    auto it = sent_.find(line);
    return it != sent_.end() && it->second >= sinceMs;
}

void DuplicateFilter::DropOldest() {
    const Entry& oldest = order_.front();
    seen_.erase(oldest.normalised);
    auto sent = sent_.find(oldest.line);
    if (sent != sent_.end() && sent->second == oldest.seenMs) sent_.erase(sent);
    order_.pop_front();
}

void DuplicateFilter::Expire(std::int64_t nowMs) {
    while (!order_.empty() && nowMs - order_.front().seenMs > maxAgeMs_) DropOldest();
}

} // namespace quorlan::server
