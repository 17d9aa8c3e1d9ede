#include "tools/testweb/AutoPoster.h"

#include "base/Cp949.h"
#include "tools/testweb/MarketTitles.h"

namespace quorlan::testweb {

AutoPoster::AutoPoster(Board& board, std::chrono::seconds interval) : board_(board), interval_(interval) {}

AutoPoster::~AutoPoster() { Stop(); }

void AutoPoster::Start() {
    if (interval_.count() <= 0 || thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    thread_ = std::thread(&AutoPoster::Run, this);
}

void AutoPoster::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

Post AutoPoster::PostNext() {
    std::size_t index = 0;
    {
        std::lock_guard lock(mutex_);
        index = next_++;
    }
    const auto& titles = AutoPostTitles();
    const auto& writers = Writers();
    NewPost post;
    post.title = base::Cp949FromUtf8(titles[index % titles.size()]);
    post.writer = base::Cp949FromUtf8(writers[index % writers.size()]);
    post.body = BodyFor(post.title);
    return board_.AddPost(std::move(post));
}

void AutoPoster::Run() {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, interval_, [this] { return stopping_; })) {
        lock.unlock();
        PostNext();
        lock.lock();
    }
}

} // namespace quorlan::testweb
