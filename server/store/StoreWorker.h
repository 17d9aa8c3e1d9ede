#pragma once
#include "Store.h"

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/thread_pool.hpp>

#include <memory>
#include <type_traits>
#include <utility>

namespace quorlan::server {

// The one thread every store call runs on, so that the event loop never waits
// for a disk or a database. Jobs run one at a time, in the order they were
// given, each against the engine this worker owns; an engine is therefore
// used by one thread only. Results are posted back to the loop.
//
// A job holds copies of what it needs, never its requester: it may run after
// the requester has gone. Its result reaches the loop all the same, and a
// `done` that needs a connection looks it up again by its id.
class StoreWorker {
public:
    StoreWorker(asio::io_context& loop, std::unique_ptr<IStore> store);
    // Stop(), then the engine goes.
    ~StoreWorker();
    StoreWorker(const StoreWorker&) = delete;
    StoreWorker& operator=(const StoreWorker&) = delete;

    // Runs `job(IStore&)` on the worker, then `done(result)` on the loop,
    // never before returning.
    template <class Job, class Done> void Run(Job job, Done done) {
        asio::post(pool_, [this, job = std::move(job), done = std::move(done)]() mutable {
            auto result = job(*store_);
            asio::post(loop_, [done = std::move(done), result = std::move(result)]() mutable {
                done(std::move(result));
            });
        });
    }
    // A write nobody waits for: `job(IStore&)` on the worker, in its turn.
    template <class Job> void Write(Job job) {
        static_assert(std::is_void_v<std::invoke_result_t<Job&, IStore&>>, "a write gives nothing back");
        asio::post(pool_, [this, job = std::move(job)]() mutable { job(*store_); });
    }

    // Finishes every job given so far and ends the thread. Their results are
    // posted, to run only if the loop runs again; a job given later is never
    // run. The server stops its worker once its loop has stopped.
    void Stop();

private:
    asio::io_context& loop_;
    std::unique_ptr<IStore> store_;
    asio::thread_pool pool_{1};
};

} // namespace quorlan::server
