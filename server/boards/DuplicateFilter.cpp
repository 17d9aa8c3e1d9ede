#include "DuplicateFilter.h"

#include "board/PostListCompare.h"

namespace quorlan::server {

DuplicateFilter::DuplicateFilter(std::size_t capacity, std::int64_t maxAgeMs)
    : capacity_(capacity == 0 ? 1 : capacity), maxAgeMs_(maxAgeMs) {}

bool DuplicateFilter::FirstSighting(std::string_view line, std::int64_t nowMs) {
    Expire(nowMs);
    board::NormaliseInto(scratch_, line);
    if (seen_.contains(scratch_)) return false;
    if (size_ == capacity_) DropOldest();
    // The slot after the newest: the next one of the ring, or a new one at
    // its end while it grows.
    const std::size_t slot = (oldest_ + size_) % capacity_;
    if (slot == ring_.size()) ring_.emplace_back();
    Entry& entry = ring_[slot];
    entry.normalised.assign(scratch_);
    entry.line.assign(line);
    entry.seenMs = nowMs;
    ++size_;
    seen_.insert(entry.normalised);
    // The same line sent earlier has the same normalised form: it is gone.
    sent_[entry.line] = nowMs;
    return true;
}

bool DuplicateFilter::ForwardedSince(const std::string& line, std::int64_t sinceMs) const {
    auto it = sent_.find(line);
    return it != sent_.end() && it->second >= sinceMs;
}

void DuplicateFilter::DropOldest() {
    const Entry& oldest = ring_[oldest_];
    seen_.erase(oldest.normalised);
    sent_.erase(oldest.line);
    oldest_ = (oldest_ + 1) % capacity_;
    --size_;
}

void DuplicateFilter::Expire(std::int64_t nowMs) {
    while (size_ != 0 && nowMs - ring_[oldest_].seenMs > maxAgeMs_) DropOldest();
}

} // namespace quorlan::server
