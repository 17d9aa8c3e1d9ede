#include "WriteBatcher.h"

#include <asio/post.hpp>

namespace quorlan::server {

void WriteBatcher::Schedule(std::shared_ptr<IFlushable> connection) {
    dirty_.push_back(std::move(connection));
    if (posted_) return;
    posted_ = true;
    asio::post(loop_, [this] { FlushAll(); });
}

void WriteBatcher::FlushAll() {
    posted_ = false;
    flushing_.swap(dirty_);
    for (auto& connection : flushing_) connection->FlushNow();
    flushing_.clear();
}

} // namespace quorlan::server
