#include "tools/testweb/Board.h"

#include <algorithm>
#include <utility>

namespace quorlan::testweb {

Board::Board(Clock clock, std::size_t capacity) : clock_(std::move(clock)), capacity_(std::max<std::size_t>(capacity, 1)) {}

Post Board::AddPost(NewPost post) {
    const auto now = clock_();
    std::lock_guard lock(mutex_);
    Post stored;
    stored.no = nextNo_++;
    stored.title = std::move(post.title);
    stored.writer = std::move(post.writer);
    stored.body = std::move(post.body);
    stored.created = post.created.value_or(now);
    stored.comments = post.comments;
    stored.views = post.views;
    posts_.push_back(stored);
    while (posts_.size() > capacity_) posts_.pop_front();
    return stored;
}

std::vector<Post> Board::Newest(std::size_t count) const {
    std::lock_guard lock(mutex_);
    const std::size_t n = std::min(count, posts_.size());
    return std::vector<Post>(posts_.rbegin(), posts_.rbegin() + static_cast<std::ptrdiff_t>(n));
}

std::optional<Post> Board::OpenPost(int no) {
    std::lock_guard lock(mutex_);
    // Numbers rise with position, so the post sits at a computable place.
    if (posts_.empty() || no < posts_.front().no || no > posts_.back().no) return std::nullopt;
    Post& post = posts_[static_cast<std::size_t>(no - posts_.front().no)];
    ++post.views;
    return post;
}

std::size_t Board::Size() const {
    std::lock_guard lock(mutex_);
    return posts_.size();
}

} // namespace quorlan::testweb
