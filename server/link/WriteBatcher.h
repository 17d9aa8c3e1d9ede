#pragma once
#include <asio/io_context.hpp>

#include <memory>
#include <vector>

namespace quorlan::server {

class IFlushable {
public:
    virtual ~IFlushable() = default;
    virtual void FlushNow() = 0;
};

// Defers socket writes to the end of the loop's current batch of ready
// handlers. Several packets queued to one client meanwhile (posts arriving
// together, a result and a notice) then leave in one system call, and a
// fan-out to thousands of clients costs one write per client per batch rather
// than one per packet.
class WriteBatcher {
public:
    explicit WriteBatcher(asio::io_context& loop) : loop_(loop) {}
    void Schedule(std::shared_ptr<IFlushable> connection);

private:
    void FlushAll();

    asio::io_context& loop_;
    std::vector<std::shared_ptr<IFlushable>> dirty_;
    std::vector<std::shared_ptr<IFlushable>> flushing_;
    bool posted_ = false;
};

} // namespace quorlan::server
