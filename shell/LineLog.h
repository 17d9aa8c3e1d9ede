#pragma once
#include <deque>
#include <functional>
#include <string>

namespace quorlan::shell {

// One line log (message list or debug log): cp949 lines, oldest first. When
// it already holds more than 1,000 lines the oldest goes before the next is
// appended, so a full log holds 1,001 lines. Views follow through the
// observer; the log records whether or not any view is shown.
class LineLog {
public:
    static constexpr std::size_t kKeepAbove = 1000;
    // Called after every append: droppedOldest tells the view to remove its
    // first line before appending `line`.
    using Observer = std::function<void(bool droppedOldest, const std::string& line)>;

    void Append(const std::string& line);
    const std::deque<std::string>& Lines() const { return lines_; }
    std::size_t Size() const { return lines_.size(); }
    void SetObserver(Observer observer) { observer_ = std::move(observer); }

private:
    std::deque<std::string> lines_;
    Observer observer_;
};

} // namespace quorlan::shell
