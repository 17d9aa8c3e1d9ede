#pragma once
#include "tools/testweb/Board.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace quorlan::testweb {

// Adds one marketplace post to the board every interval, cycling through the
// automatic titles and the writers, on a thread of its own.
class AutoPoster {
public:
    AutoPoster(Board& board, std::chrono::seconds interval);
    ~AutoPoster();
    AutoPoster(const AutoPoster&) = delete;
    AutoPoster& operator=(const AutoPoster&) = delete;

    // Starts the thread; does nothing for an interval of zero or when running.
    void Start();
    // Wakes the thread and waits for it; returns at once, whatever the interval.
    void Stop();
    // The next automatic post, added now.
    Post PostNext();

private:
    void Run();

    Board& board_;
    std::chrono::seconds interval_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::size_t next_ = 0;
    std::thread thread_;
};

} // namespace quorlan::testweb
