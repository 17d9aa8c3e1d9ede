#include "PostGate.h"

#include "board/PostListCompare.h"
#include "board/PostListText.h"

namespace quorlan::server {

void PostGate::Expect(const std::string& url, SessionId reporter, const std::optional<std::string>& previous,
                      const std::string& report, std::int64_t nowMs) {
    const board::PostList page = board::ReadPostListText(report);
    const board::PostList server = previous ? board::ReadPostListText(*previous) : board::PostList{};
    const auto fresh = board::FindNewLines(page, server);
    Expected& expected = boards_[url];
    expected = Expected{reporter, nowMs + windowMs_, {}};
    if (fresh.size() >= board::kNewLineCutOff) return; // the checker sends none of them
    for (std::size_t i : fresh) ++expected.lines[page[i]];
}

PostGate::Verdict PostGate::Take(const std::string& url, SessionId id, const std::string& line, std::int64_t nowMs) {
    auto it = boards_.find(url);
    if (it == boards_.end() || it->second.reporter != id) return Verdict::NotChecker;
    if (nowMs > it->second.untilMs) return Verdict::Late;
    auto found = it->second.lines.find(line);
    if (found == it->second.lines.end()) return Verdict::NotNew;
    if (--found->second == 0) it->second.lines.erase(found);
    return Verdict::Accepted;
}

void PostGate::Forget(const std::string& url) { boards_.erase(url); }

} // namespace quorlan::server
