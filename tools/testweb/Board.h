#pragma once
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorlan::testweb {

// One post of the board. Texts are cp949 bytes, stored raw (escaped only when a
// page is written).
struct Post {
    int no = 0;
    std::string title;
    std::string writer;
    std::string body;
    std::chrono::system_clock::time_point created;
    int comments = 0;
    int views = 0;
};

// What a new post is made from; missing times are taken from the board's clock.
struct NewPost {
    std::string title;
    std::string writer;
    std::string body;
    int comments = 0;
    int views = 0;
    std::optional<std::chrono::system_clock::time_point> created;
};

// The in-memory board: numbered posts, newest last. Shared by the HTTP worker
// threads and the automatic poster, so every member takes the one lock.
class Board {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // Keeps at most capacity posts; the oldest go first, numbers are never reused.
    explicit Board(Clock clock = &std::chrono::system_clock::now, std::size_t capacity = 10000);

    Post AddPost(NewPost post);
    // Up to count posts, newest first.
    std::vector<Post> Newest(std::size_t count) const;
    // The post with this number, counting one more view; nothing when unknown.
    std::optional<Post> OpenPost(int no);
    std::size_t Size() const;

private:
    Clock clock_;
    std::size_t capacity_;
    mutable std::mutex mutex_;
    std::deque<Post> posts_;
    int nextNo_ = 1;
};

} // namespace quorlan::testweb
