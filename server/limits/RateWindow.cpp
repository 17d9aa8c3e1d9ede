#include "RateWindow.h"

#include <algorithm>

namespace quorlan::server {

void RateWindow::Expire(std::int64_t nowMs) {
    const auto firstLive = std::find_if(times_.begin(), times_.end(),
                                        [&](std::int64_t at) { return nowMs - at < windowMs_; });
    times_.erase(times_.begin(), firstLive);
}

bool RateWindow::Full(std::int64_t nowMs) {
    Expire(nowMs);
    return times_.size() >= limit_;
}

bool RateWindow::Empty(std::int64_t nowMs) {
    Expire(nowMs);
    return times_.empty();
}

void RateWindow::Record(std::int64_t nowMs) {
    Expire(nowMs);
    times_.push_back(nowMs);
}

} // namespace quorlan::server
