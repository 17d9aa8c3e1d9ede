#include "DuplicateFilter.h"

namespace quorlan::server {

std::string NormalisedLine(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    for (char c : line)
        if (!(c >= '0' && c <= '9') && c != ' ') out.push_back(c);
    return out;
}

DuplicateFilter::DuplicateFilter(std::size_t capacity, std::int64_t maxAgeMs)
    : capacity_(capacity == 0 ? 1 : capacity), maxAgeMs_(maxAgeMs) {}

bool DuplicateFilter::FirstSighting(std::string_view line, std::int64_t nowMs) {
    Expire(nowMs);
    std::string normalised = NormalisedLine(line);
    if (seen_.count(normalised)) return false;
    if (order_.size() >= capacity_) {
        seen_.erase(order_.front().normalised);
        order_.pop_front();
    }
    seen_.insert(normalised);
    order_.push_back(Entry{std::move(normalised), nowMs});
    return true;
}

void DuplicateFilter::Expire(std::int64_t nowMs) {
    while (!order_.empty() && nowMs - order_.front().seenMs > maxAgeMs_) {
        seen_.erase(order_.front().normalised);
        order_.pop_front();
    }
}

} // namespace quorlan::server
