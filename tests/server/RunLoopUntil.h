#pragma once
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include <chrono>

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

} // namespace quorlan::test
