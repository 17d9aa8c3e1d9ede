#pragma once
#include "server/store/StoreWorker.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include <chrono>
#include <future>

namespace quorlan::test {

// Runs the loop (hashing answers are posted back to it) until done() holds or
// ten seconds have passed; the final done().
template <class Done>
bool RunLoopUntil(asio::io_context& loop, Done&& done) {
    loop.restart(); // a loop that ran out of work stays stopped until restarted
    auto work = asio::make_work_guard(loop);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline) loop.run_one_for(std::chrono::milliseconds(10));
    return done();
}

// Returns once the store's worker has done every job given so far; their
// results wait on the loop, in order, until it runs.
inline void WaitForStore(server::StoreWorker& worker) {
    std::promise<void> reached;
    worker.Write([&reached](server::IStore&) { reached.set_value(); });
    reached.get_future().wait();
}

// Runs the loop and the store's worker until neither has anything left to
// do. Password work is not waited for: RunLoopUntil its answer.
inline void RunUntilIdle(asio::io_context& loop, server::StoreWorker& worker) {
    do {
        WaitForStore(worker);
        loop.restart(); // a poll that ran out of work stopped the loop
    } while (loop.poll() != 0);
}

} // namespace quorlan::test
