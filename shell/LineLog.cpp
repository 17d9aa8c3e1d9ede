#include "LineLog.h"

namespace quorlan::shell {

void LineLog::Append(const std::string& line) {
    const bool drop = lines_.size() > kKeepAbove;
    if (drop) lines_.pop_front();
    lines_.push_back(line);
    if (observer_) observer_(drop, line);
}

} // namespace quorlan::shell
